#pragma once
// Transfer PINs: the in-memory cache, the protected store in the settings file,
// the PIN block of the transfer ports, and the prompt loop run before every
// operation on a device.
#include <QByteArray>
#include <QString>

#include <functional>

bool IsValidPin(const QString& pin);
QByteArray MakePinBlock(const QString& pin);

QString GetCachedPin(const QString& ipAddress);
void SetCachedPin(const QString& ipAddress, const QString& pin); // empty removes

// The INI file holding section "DevicePins"; the store does nothing while empty.
void SetPinStoreFileName(const QString& fileName);
QString PinStoreFileName();

// AES-256-GCM under a per-user master key: Base64 of nonce + ciphertext + tag.
QString ProtectPin(const QString& pin);
QString UnprotectPin(const QString& text);

// An empty PIN removes the entry. acceptedAt: the address at which the device
// accepted the PIN; the stored PIN goes on its own to that address only.
void SavePinToStore(const QString& deviceKey, const QString& pin, const QString& acceptedAt = {});
QString LoadPinFromStore(const QString& deviceKey);
// The address recorded with the stored PIN; empty for none (older settings files).
QString LoadPinAddress(const QString& deviceKey);
void RecordPinAddress(const QString& deviceKey, const QString& ipAddress);
// Why the master key file was refused (a link, another owner, readable by
// others, corrupt); empty when it was not. No PIN is stored or read then.
QString PinStoreError();

// The master key comes from this provider (32 bytes, or empty when none can
// be had); the default keeps it in the Secret Service or a 0600 file.
using TPinMasterKeyProvider = std::function<QByteArray()>;
void SetPinMasterKeyProvider(TPinMasterKeyProvider provider);
QByteArray DefaultPinMasterKey();

// The per-user configuration folder: $XDG_CONFIG_HOME/quillex or ~/.config/quillex.
QString UserConfigFolder();

bool VerifyDevicePin(const QString& ipAddress, quint16 port, const QString& pin, QString& errorMsg);

// How EnsureDevicePin talks to the operator: the window passes modal dialogs,
// the command-line client the terminal, tests a script.
class TPinPrompter {
public:
    virtual ~TPinPrompter() = default;
    // A masked input; false when the operator cancels.
    virtual bool AskPin(const QString& caption, const QString& label, QString& pin) = 0;
    virtual void ShowMessage(const QString& text) = 0;
};

// identityShared: another address announces the same device right now; no
// remembered PIN goes to either on its own.
bool EnsureDevicePin(const QString& ipAddress, quint16 port, const QString& deviceKey, const QString& displayName,
    bool pinRequired, TPinPrompter& prompter, bool identityShared = false);
