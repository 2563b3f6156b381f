// Ed25519 verification of a downloaded program file over OpenSSL's EVP
// interface. Ed25519 signs the whole message at once, so the file is mapped
// rather than read into memory.
#include "UpdateSignature.h"

#include <QFile>
#include <QList>

#include <memory>
#include <openssl/evp.h>
#include <openssl/x509.h>

#ifndef QUILLEX_UPDATE_PUBLIC_KEY
#define QUILLEX_UPDATE_PUBLIC_KEY ""
#endif

namespace {

constexpr qsizetype Ed25519SignatureBytes = 64;

struct TPkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct TMdCtxFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using TPkey = std::unique_ptr<EVP_PKEY, TPkeyFree>;

TPkey Ed25519Key(const QByteArray& der)
{
    const auto* data = reinterpret_cast<const unsigned char*>(der.constData());
    TPkey key(d2i_PUBKEY(nullptr, &data, long(der.size())));
    if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_ED25519)
        return nullptr;
    return key;
}

} // namespace

QByteArray BuiltInUpdatePublicKey()
{
    return UpdatePublicKeyFromPem(QByteArrayLiteral(QUILLEX_UPDATE_PUBLIC_KEY));
}

QByteArray UpdatePublicKeyFromPem(const QByteArray& pem)
{
    QByteArray base64;
    for (const QByteArray& line : pem.split('\n'))
        if (!line.trimmed().startsWith("-----"))
            base64 += line.trimmed();
    const QByteArray der = QByteArray::fromBase64(base64);
    return Ed25519Key(der) ? der : QByteArray();
}

bool VerifyUpdateSignature(const QByteArray& publicKey, const QString& fileName, const QByteArray& signature)
{
    const TPkey key = Ed25519Key(publicKey);
    if (!key || signature.size() != Ed25519SignatureBytes)
        return false;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const uchar* data = size > 0 ? file.map(0, size) : reinterpret_cast<const uchar*>("");
    if (!data)
        return false;
    const std::unique_ptr<EVP_MD_CTX, TMdCtxFree> context(EVP_MD_CTX_new());
    const bool valid = context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1
        && EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
               size_t(signature.size()), data, size_t(size))
            == 1;
    if (size > 0)
        file.unmap(const_cast<uchar*>(data));
    return valid;
}
