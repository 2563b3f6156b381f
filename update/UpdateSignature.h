#pragma once
// The publisher's Ed25519 signature over a downloaded program file: a detached
// signature of 64 bytes, checked with OpenSSL's libcrypto against the public
// key the program was built with (scripts/sign-release.sh makes it).
#include <QByteArray>
#include <QString>

// The built-in public key (DER SubjectPublicKeyInfo); empty when the program
// was built without one and downloads are checked by their CRC only.
QByteArray BuiltInUpdatePublicKey();

// The key from the base64 text of a PEM public key (with or without its
// BEGIN/END lines); empty when the text holds no Ed25519 key.
QByteArray UpdatePublicKeyFromPem(const QByteArray& pem);

// Whether signature is a valid Ed25519 signature by publicKey over the file's bytes.
bool VerifyUpdateSignature(const QByteArray& publicKey, const QString& fileName, const QByteArray& signature);
