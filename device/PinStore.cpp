#include "PinStore.h"

#include "BlockingCall.h"
#include "PinCache.h"
#include "config/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMutex>
#include <QSettings>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <qt6keychain/keychain.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

const QString PinSection = QStringLiteral("DevicePins");
// Where each device last accepted its stored PIN: the PIN goes to no other address on its own.
const QString PinAddressSection = QStringLiteral("DevicePinAddresses");
constexpr int MasterKeySize = 32;
constexpr int NonceSize = 12;
constexpr int TagSize = 16;

QMutex StoreLock;
// One master key fetch at a time, so that two first uses do not each create a
// key. Taken only on the thread that fetches, never on the user-interface thread.
QMutex FetchLock;
QString StoreFileName;
TPinMasterKeyProvider MasterKeyProvider;
QByteArray CachedMasterKey;
// Why the key file was refused, empty when it was not. Its own lock: it is
// set while StoreLock is held for the master key.
QMutex ProblemLock;
QString MasterKeyProblem;

using TCipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// The Secret Service's answer is awaited in an event loop that lets timers and
// queued calls through, and a PIN check started by one of them must not find
// the store locked: the key is fetched with no lock of the store held, on a
// worker thread when asked on the user-interface thread (as the device waits).
QByteArray FetchMasterKey(const TPinMasterKeyProvider& provider)
{
    QByteArray key;
    const auto fetch = [&] {
        QMutexLocker fetching(&FetchLock);
        if (!provider) {
            QMutexLocker locker(&StoreLock);
            if (!CachedMasterKey.isEmpty()) { // fetched while this one waited
                key = CachedMasterKey;
                return;
            }
        }
        key = provider ? provider() : DefaultPinMasterKey();
    };
    const QCoreApplication* application = QCoreApplication::instance();
    if (application && QThread::currentThread() == application->thread())
        RunOffThreadAndWait(fetch);
    else
        fetch();
    return key;
}

QByteArray MasterKey()
{
    TPinMasterKeyProvider provider;
    {
        QMutexLocker locker(&StoreLock);
        if (!MasterKeyProvider && !CachedMasterKey.isEmpty())
            return CachedMasterKey;
        provider = MasterKeyProvider;
    }
    const QByteArray key = FetchMasterKey(provider);
    if (provider)
        return key;
    QMutexLocker locker(&StoreLock);
    if (CachedMasterKey.isEmpty())
        CachedMasterKey = key;
    return CachedMasterKey;
}

QByteArray RandomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), count) != 1)
        return {};
    return bytes;
}

// ---- Master key: Secret Service when one answers, otherwise a 0600 file. ----

const QString KeychainService = QStringLiteral("quillex");
const QString KeychainKey = QStringLiteral("pin-master-key");

bool KeychainWanted()
{
    return qEnvironmentVariableIsEmpty("QUILLEX_NO_KEYCHAIN")
        && !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
}

// Runs a keychain job in a local event loop; false when it did not finish within 5 s.
bool RunKeychainJob(QKeychain::Job& job)
{
    bool finished = false;
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    job.setAutoDelete(false);
    job.start();
    if (!finished)
        loop.exec();
    return finished;
}

QByteArray KeychainMasterKey()
{
    QKeychain::ReadPasswordJob read(KeychainService);
    read.setKey(KeychainKey);
    if (!RunKeychainJob(read))
        return {};
    if (read.error() == QKeychain::NoError)
        return read.binaryData().size() == MasterKeySize ? read.binaryData() : QByteArray();
    if (read.error() != QKeychain::EntryNotFound)
        return {};
    const QByteArray key = RandomBytes(MasterKeySize);
    QKeychain::WritePasswordJob write(KeychainService);
    write.setKey(KeychainKey);
    write.setBinaryData(key);
    return RunKeychainJob(write) && write.error() == QKeychain::NoError ? key : QByteArray();
}

void SetMasterKeyProblem(const QString& problem)
{
    QMutexLocker locker(&ProblemLock);
    MasterKeyProblem = problem;
}

QByteArray RefuseKeyFile(const QString& path, const QString& reason)
{
    SetMasterKeyProblem(QString::fromUtf8("Şifre anahtar dosyası kullanılmadı (%1): %2").arg(path, reason));
    return {};
}

// A PIN sealed with a key that others can read or swap is not protected: the
// key file must be the user's own regular file, readable by nobody else.
QByteArray FileMasterKey()
{
    const QString folder = UserConfigFolder();
    const QString path = folder + "/pin-master.key";
    const QByteArray native = QFile::encodeName(path);
    // No symbolic link is followed, and a FIFO does not block the open.
    const int fd = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* f) {
            ::close(*f);
            delete f;
        });
        struct stat info { };
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
            return RefuseKeyFile(path, QString::fromUtf8("normal bir dosya değil"));
        if (info.st_uid != ::getuid())
            return RefuseKeyFile(path, QString::fromUtf8("başka bir kullanıcıya ait"));
        if (info.st_mode & (S_IRWXG | S_IRWXO))
            return RefuseKeyFile(path, QString::fromUtf8("grup veya diğer kullanıcılar erişebiliyor"));
        if (info.st_size != MasterKeySize)
            return RefuseKeyFile(path,
                QString::fromUtf8("bozuk, %1 bayt (%2 bayt olmalı)").arg(qint64(info.st_size)).arg(MasterKeySize));
        QByteArray key(MasterKeySize, Qt::Uninitialized);
        if (::read(fd, key.data(), size_t(MasterKeySize)) != MasterKeySize)
            return RefuseKeyFile(path, QString::fromUtf8("okunamadı"));
        SetMasterKeyProblem({});
        return key;
    }
    if (errno == ELOOP)
        return RefuseKeyFile(path, QString::fromUtf8("sembolik bağlantı"));
    if (errno != ENOENT)
        return RefuseKeyFile(path, QString::fromLocal8Bit(std::strerror(errno)));
    if (!QDir().mkpath(folder))
        return {};
    const QByteArray key = RandomBytes(MasterKeySize);
    // Created readable by the user only, before any byte is in it.
    const int created = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (created < 0)
        return {};
    const bool written = ::write(created, key.constData(), size_t(key.size())) == key.size();
    ::close(created);
    SetMasterKeyProblem({});
    return written && key.size() == MasterKeySize ? key : QByteArray();
}

// The settings file is only as private as its mode once it holds a protected PIN.
void KeepSettingsPrivate(const QString& fileName)
{
    QFile::setPermissions(fileName, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace

void SetPinStoreFileName(const QString& fileName)
{
    QMutexLocker locker(&StoreLock);
    StoreFileName = fileName;
}

QString PinStoreFileName()
{
    QMutexLocker locker(&StoreLock);
    return StoreFileName;
}

QString PinStoreKey(const QString& macId, const QString& ipAddress)
{
    return macId.isEmpty() ? ipAddress : macId;
}

void SetPinMasterKeyProvider(TPinMasterKeyProvider provider)
{
    QMutexLocker locker(&StoreLock);
    MasterKeyProvider = std::move(provider);
    CachedMasterKey.clear();
}

QByteArray DefaultPinMasterKey()
{
    if (KeychainWanted()) {
        const QByteArray key = KeychainMasterKey();
        if (key.size() == MasterKeySize)
            return key;
    }
    return FileMasterKey();
}

QString ProtectPin(const QString& pin)
{
    const QByteArray key = MasterKey();
    const QByteArray nonce = RandomBytes(NonceSize);
    if (key.size() != MasterKeySize || nonce.isEmpty())
        return {};
    const QByteArray plain = pin.toUtf8();
    TCipherContext context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    QByteArray cipher(plain.size() + 16, Qt::Uninitialized);
    QByteArray tag(TagSize, Qt::Uninitialized);
    int length = 0, finalLength = 0;
    const auto* k = reinterpret_cast<const unsigned char*>(key.constData());
    const auto* n = reinterpret_cast<const unsigned char*>(nonce.constData());
    if (!context || EVP_EncryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, k, n) != 1
        || EVP_EncryptUpdate(context.get(), reinterpret_cast<unsigned char*>(cipher.data()), &length,
               reinterpret_cast<const unsigned char*>(plain.constData()), int(plain.size()))
            != 1
        || EVP_EncryptFinal_ex(context.get(), reinterpret_cast<unsigned char*>(cipher.data()) + length, &finalLength)
            != 1
        || EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, TagSize, tag.data()) != 1)
        return {};
    cipher.truncate(length + finalLength);
    return QString::fromLatin1((nonce + cipher + tag).toBase64());
}

QString UnprotectPin(const QString& text)
{
    const QByteArray blob = QByteArray::fromBase64(text.toLatin1());
    if (blob.isEmpty() || blob.size() <= NonceSize + TagSize)
        return {};
    const QByteArray key = MasterKey();
    if (key.size() != MasterKeySize)
        return {};
    const QByteArray nonce = blob.left(NonceSize);
    const QByteArray cipher = blob.mid(NonceSize, blob.size() - NonceSize - TagSize);
    QByteArray tag = blob.right(TagSize);
    TCipherContext context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    QByteArray plain(cipher.size() + 16, Qt::Uninitialized);
    int length = 0, finalLength = 0;
    const auto* k = reinterpret_cast<const unsigned char*>(key.constData());
    const auto* n = reinterpret_cast<const unsigned char*>(nonce.constData());
    if (!context || EVP_DecryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, k, n) != 1
        || EVP_DecryptUpdate(context.get(), reinterpret_cast<unsigned char*>(plain.data()), &length,
               reinterpret_cast<const unsigned char*>(cipher.constData()), int(cipher.size()))
            != 1
        || EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, TagSize, tag.data()) != 1
        // A wrong master key fails the tag check here: the PIN counts as absent.
        || EVP_DecryptFinal_ex(context.get(), reinterpret_cast<unsigned char*>(plain.data()) + length, &finalLength)
            != 1)
        return {};
    plain.truncate(length + finalLength);
    return QString::fromUtf8(plain);
}

void SavePinToStore(const QString& deviceKey, const QString& pin, const QString& acceptedAt)
{
    const QString fileName = PinStoreFileName();
    if (fileName.isEmpty() || deviceKey.isEmpty())
        return;
    QSettings settings = OpenSettingsFile(fileName);
    if (pin.isEmpty()) {
        settings.remove(PinSection + "/" + deviceKey);
        settings.remove(PinAddressSection + "/" + deviceKey);
        return;
    }
    const QString protectedPin = ProtectPin(pin);
    if (protectedPin.isEmpty())
        return;
    settings.setValue(PinSection + "/" + deviceKey, protectedPin);
    if (acceptedAt.isEmpty())
        settings.remove(PinAddressSection + "/" + deviceKey);
    else
        settings.setValue(PinAddressSection + "/" + deviceKey, acceptedAt);
    settings.sync();
    KeepSettingsPrivate(fileName);
}

QString LoadPinFromStore(const QString& deviceKey)
{
    const QString fileName = PinStoreFileName();
    if (fileName.isEmpty() || deviceKey.isEmpty())
        return {};
    QString value;
    QString address;
    {
        QSettings settings = OpenSettingsFile(fileName);
        value = settings.value(PinSection + "/" + deviceKey).toString();
        address = settings.value(PinAddressSection + "/" + deviceKey).toString();
    }
    if (value.isEmpty())
        return {};
    if (IsValidPin(value)) { // written by hand: keep it, but protected from now on
        SavePinToStore(deviceKey, value, address);
        return value;
    }
    return UnprotectPin(value);
}

QString LoadPinAddress(const QString& deviceKey)
{
    const QString fileName = PinStoreFileName();
    if (fileName.isEmpty() || deviceKey.isEmpty())
        return {};
    return OpenSettingsFile(fileName).value(PinAddressSection + "/" + deviceKey).toString();
}

void RecordPinAddress(const QString& deviceKey, const QString& ipAddress)
{
    const QString fileName = PinStoreFileName();
    if (fileName.isEmpty() || deviceKey.isEmpty())
        return;
    OpenSettingsFile(fileName).setValue(PinAddressSection + "/" + deviceKey, ipAddress);
}

QString PinStoreError()
{
    QMutexLocker locker(&ProblemLock);
    return MasterKeyProblem;
}
