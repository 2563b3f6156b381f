#pragma once
// Status datagrams as a device sends them: vector, then AES-256-CBC of the
// zero-padded JSON text. Used by tests and benchmarks; the simulator has its own.
#include "discovery/UnitStatusListener.h"

#include <QByteArray>
#include <openssl/evp.h>

inline QByteArray EncryptStatus(const QByteArray& key, const QByteArray& iv, QByteArray plain)
{
    while (plain.size() % 16 != 0)
        plain.append('\0');
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    QByteArray out(plain.size() + 16, '\0');
    int n1 = 0, n2 = 0;
    EVP_EncryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, reinterpret_cast<const unsigned char*>(key.constData()),
        reinterpret_cast<const unsigned char*>(iv.constData()));
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &n1,
        reinterpret_cast<const unsigned char*>(plain.constData()), int(plain.size()));
    EVP_EncryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + n1, &n2);
    EVP_CIPHER_CTX_free(ctx);
    out.truncate(n1 + n2);
    return out;
}

inline QByteArray StatusDatagram(
    const QByteArray& json, const QByteArray& key = StatusKey(), const QByteArray& iv = QByteArray("0123456789abcdef"))
{
    return iv + EncryptStatus(key, iv, json);
}
