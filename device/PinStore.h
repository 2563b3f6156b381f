#pragma once
// The protected PIN store: section "DevicePins" of the settings file, each PIN
// sealed with AES-256-GCM under a per-user master key that the Secret Service
// or a 0600 file keeps.
#include <QByteArray>
#include <QString>

#include <functional>

// The INI file holding section "DevicePins"; the store does nothing while empty.
void SetPinStoreFileName(const QString& fileName);
QString PinStoreFileName();

// A device's entry in the store: its MacId, or its address when it has none.
QString PinStoreKey(const QString& macId, const QString& ipAddress);

// AES-256-GCM under the master key: Base64 of nonce + ciphertext + tag.
QString ProtectPin(const QString& pin);
QString UnprotectPin(const QString& text);

// An empty PIN removes the entry. acceptedAt: the address at which the device
// accepted the PIN; the stored PIN goes on its own to that address only.
void SavePinToStore(const QString& deviceKey, const QString& pin, const QString& acceptedAt = {});
QString LoadPinFromStore(const QString& deviceKey);
// The address recorded with the stored PIN; empty for none (older settings files).
QString LoadPinAddress(const QString& deviceKey);
void RecordPinAddress(const QString& deviceKey, const QString& ipAddress);
// Why the master key file was refused (a link, another owner, open to others,
// corrupt); empty when it was not. No PIN is stored or read through it then.
QString PinStoreError();

// The master key comes from this provider (32 bytes, or empty when none can
// be had); the default keeps it in the Secret Service or a 0600 file.
using TPinMasterKeyProvider = std::function<QByteArray()>;
void SetPinMasterKeyProvider(TPinMasterKeyProvider provider);
QByteArray DefaultPinMasterKey();
