#include "UnitStatusListener.h"

#include "device/JsonText.h"
#include "device/Ticks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMutexLocker>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int ReceiveBatch = 64;
constexpr unsigned long ReceivePauseMs = 20;

// The fleet's built-in status key (32 bytes); devices encrypt with the same.
const unsigned char BuiltInStatusKey[32] = {
    0x51,
    0x75,
    0x69,
    0x6C,
    0x6C,
    0x65,
    0x78,
    0x2D,
    0x53,
    0x74,
    0x61,
    0x74,
    0x75,
    0x73,
    0x2D,
    0x4B,
    0x65,
    0x79,
    0x2D,
    0x76,
    0x31,
    0x9A,
    0x3C,
    0xE1,
    0x07,
    0x5B,
    0xD2,
    0x48,
    0x6F,
    0x13,
    0xA4,
    0xC9,
};

QMutex KeyLock;
QByteArray CurrentStatusKey(reinterpret_cast<const char*>(BuiltInStatusKey), 32);

using TCipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// A UDP socket closed on every path.
struct TUdpSocket {
    int Handle = -1;
    ~TUdpSocket()
    {
        if (Handle >= 0)
            ::close(Handle);
    }
};

} // namespace

QByteArray DecryptAes256Cbc(const QByteArray& key, const QByteArray& iv, const QByteArray& cipherText)
{
    if (cipherText.isEmpty() || cipherText.size() % 16 != 0 || key.size() != 32 || iv.size() != 16)
        return {};
    // Looked up once: a lookup per datagram costs more than the decryption.
    static EVP_CIPHER* const cipher = EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr);
    TCipherContext context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    if (!context || !cipher
        || EVP_DecryptInit_ex(context.get(), cipher, nullptr, reinterpret_cast<const unsigned char*>(key.constData()),
               reinterpret_cast<const unsigned char*>(iv.constData()))
            != 1)
        return {};
    EVP_CIPHER_CTX_set_padding(context.get(), 0);
    QByteArray plain(cipherText.size(), Qt::Uninitialized);
    int length = 0, finalLength = 0;
    if (EVP_DecryptUpdate(context.get(), reinterpret_cast<unsigned char*>(plain.data()), &length,
            reinterpret_cast<const unsigned char*>(cipherText.constData()), int(cipherText.size()))
            != 1
        || EVP_DecryptFinal_ex(context.get(), reinterpret_cast<unsigned char*>(plain.data()) + length, &finalLength)
            != 1)
        return {};
    plain.truncate(length + finalLength);
    return plain;
}

QByteArray StatusKey()
{
    QMutexLocker locker(&KeyLock);
    return CurrentStatusKey;
}

bool LoadStatusKeyFromEnvironment(QString& errorMsg)
{
    if (!qEnvironmentVariableIsSet("QUILLEX_STATUS_KEY"))
        return true;
    const QByteArray hex = qgetenv("QUILLEX_STATUS_KEY").trimmed();
    const bool allHex = std::all_of(hex.begin(), hex.end(), [](char c) { return std::isxdigit(uchar(c)); });
    if (hex.size() != 64 || !allHex) {
        errorMsg = "QUILLEX_STATUS_KEY must be 64 hexadecimal digits (a 32-byte key); got "
            + QString::number(hex.size()) + " characters";
        return false;
    }
    QMutexLocker locker(&KeyLock);
    CurrentStatusKey = QByteArray::fromHex(hex);
    return true;
}

bool LoadStatusPortFromEnvironment(quint16& port, QString& errorMsg)
{
    port = StatusPort;
    if (!qEnvironmentVariableIsSet("QUILLEX_STATUS_PORT"))
        return true;
    const QByteArray text = qgetenv("QUILLEX_STATUS_PORT").trimmed();
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value < 1 || value > 65535) {
        errorMsg
            = "QUILLEX_STATUS_PORT must be a port number from 1 to 65535; got \"" + QString::fromLocal8Bit(text) + "\"";
        return false;
    }
    port = quint16(value);
    return true;
}

bool IdentityShared(const TQuillexDevice& device, const QList<TQuillexDevice>& heard)
{
    if (device.MacId.isEmpty())
        return false;
    for (const TQuillexDevice& other : heard)
        if (other.IPAddress != device.IPAddress && other.MacId.compare(device.MacId, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString StatusTextFromPlain(const QByteArray& plain)
{
    // The devices send 7-bit ASCII; a byte above 127 keeps its Latin-1 meaning.
    QString text = QString::fromLatin1(plain);
    const qsizetype zero = text.indexOf(QChar(0));
    if (zero >= 0)
        text.truncate(zero);
    return text;
}

bool DeviceFromStatus(const QString& ipAddress, const QString& statusText, TQuillexDevice& device)
{
    QJsonObject status;
    if (!ParseJsonObject(statusText, status))
        return false;
    device = TQuillexDevice();
    device.IPAddress = ipAddress;
    device.Port = CommandPort;
    device.MacId = JsonMemberText(status, "macid");
    device.PinRequired
        = status.contains("pw") && JsonMemberText(status, "pw").compare("true", Qt::CaseInsensitive) == 0;
    device.Controller = JsonMemberText(status, "controller");
    const QString name = JsonMemberText(status, "name");
    device.DisplayName = !name.isEmpty() ? name : !device.MacId.isEmpty() ? device.MacId : ipAddress;
    return true;
}

bool DeviceListOrder(const TQuillexDevice& a, const TQuillexDevice& b)
{
    if (const int byName = a.DisplayName.compare(b.DisplayName, Qt::CaseInsensitive); byName != 0)
        return byName < 0;
    if (const int exactly = a.DisplayName.compare(b.DisplayName); exactly != 0)
        return exactly < 0;
    in_addr left {}, right {};
    if (::inet_pton(AF_INET, a.IPAddress.toLatin1().constData(), &left) == 1
        && ::inet_pton(AF_INET, b.IPAddress.toLatin1().constData(), &right) == 1 && left.s_addr != right.s_addr)
        return ntohl(left.s_addr) < ntohl(right.s_addr);
    return a.IPAddress < b.IPAddress;
}

TStatusListenerThread::TStatusListenerThread(TStatusLog* logTarget, quint16 port, std::function<quint32()> tickSource)
    : FLogTarget(logTarget)
    , FPort(port)
    , FTickSource(tickSource ? std::move(tickSource) : std::function<quint32()>(GetTickCount32))
{
    start();
}

TStatusListenerThread::~TStatusListenerThread()
{
    requestInterruption();
    wait();
}

void TStatusListenerThread::run()
{
    TUdpSocket udp;
    udp.Handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (udp.Handle < 0) {
        FailToListen(errno);
        return;
    }
    // No SO_REUSEADDR: a second listener on the port would quietly share it
    // and take every unicast datagram from the first, splitting the devices.
    // The bind fails instead, and the status panel says the port is taken.
    int bufferSize = 4 * 1024 * 1024; // bursts of many devices
    ::setsockopt(udp.Handle, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(FPort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(udp.Handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        FailToListen(errno);
        return;
    }
    timeval timeout { 0, 500 * 1000 };
    ::setsockopt(udp.Handle, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    FListeningSince = Now();
    FListening = true;

    // Datagrams are taken in batches: after a batch the thread pauses briefly,
    // so a thousand devices wake it some tens of times a second, not a
    // thousand; what arrives meanwhile waits in the socket's buffer.
    std::vector<char> buffers(size_t(ReceiveBatch) * MaxDatagramSize);
    std::array<iovec, ReceiveBatch> pieces {};
    std::array<sockaddr_in, ReceiveBatch> senders {};
    std::array<mmsghdr, ReceiveBatch> messages {};
    while (!isInterruptionRequested()) {
        for (int i = 0; i < ReceiveBatch; ++i) {
            pieces[i] = { buffers.data() + size_t(i) * MaxDatagramSize, MaxDatagramSize };
            messages[i] = {};
            messages[i].msg_hdr.msg_iov = &pieces[i];
            messages[i].msg_hdr.msg_iovlen = 1;
            messages[i].msg_hdr.msg_name = &senders[i];
            messages[i].msg_hdr.msg_namelen = sizeof senders[i];
        }
        // Waits for the first datagram (at most the receive time-out), then
        // takes whatever else is queued.
        const int count = ::recvmmsg(udp.Handle, messages.data(), ReceiveBatch, MSG_WAITFORONE, nullptr);
        for (int i = 0; i < count; ++i) {
            const unsigned received = messages[i].msg_len;
            if (received <= 16 || received > unsigned(MaxDatagramSize) || (messages[i].msg_hdr.msg_flags & MSG_TRUNC))
                continue;
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &senders[i].sin_addr, text, sizeof text);
            AcceptDatagram(
                QString::fromLatin1(text), QByteArray(static_cast<const char*>(pieces[i].iov_base), received));
        }
        if (count > 0 && count < ReceiveBatch && !isInterruptionRequested())
            QThread::msleep(ReceivePauseMs);
    }
    FListening = false;
}

void TStatusListenerThread::FailToListen(int error)
{
    const QString message = QString::fromUtf8("Durum portu %1 dinlenemiyor: %2").arg(FPort).arg(qt_error_string(error));
    {
        QMutexLocker locker(&FLock);
        FListenError = message;
    }
    emit ListenFailed(message);
}

quint32 TStatusListenerThread::ListeningMs() const
{
    return FListening ? TicksSince(FListeningSince, Now()) : 0;
}

QString TStatusListenerThread::ListenError() const
{
    QMutexLocker locker(&FLock);
    return FListenError;
}

void TStatusListenerThread::AcceptDatagram(const QString& senderAddress, const QByteArray& datagram)
{
    if (datagram.size() <= 16 || datagram.size() > MaxDatagramSize)
        return;
    const QByteArray plain = DecryptAes256Cbc(StatusKey(), datagram.left(16), datagram.mid(16));
    if (plain.isEmpty())
        return;
    const QString text = StatusTextFromPlain(plain);
    {
        QMutexLocker locker(&FLock);
        const quint32 now = Now();
        FStatusCache.insert(senderAddress, text);
        FLastSeenTicks.insert(senderAddress, now);
        if (const auto position = FHeardPosition.constFind(senderAddress); position != FHeardPosition.cend())
            FHeardOrder.splice(FHeardOrder.end(), FHeardOrder, position.value());
        else
            FHeardPosition.insert(senderAddress, FHeardOrder.insert(FHeardOrder.end(), senderAddress));
        PruneLocked(now);
    }
    // Logged before it is counted: whoever sees the count sees the line.
    if (FLogTarget)
        FLogTarget->Append(QString("[%1] %2").arg(senderAddress, text));
    ++FAccepted;
}

void TStatusListenerThread::PruneLocked(quint32 now)
{
    while (!FHeardOrder.empty()) {
        const QString& oldest = FHeardOrder.front();
        if (FHeardOrder.size() <= size_t(MaxStatusSenders)
            && TicksSince(FLastSeenTicks.value(oldest), now) <= StatusForgetMs)
            break;
        FStatusCache.remove(oldest);
        FLastSeenTicks.remove(oldest);
        FHeardPosition.remove(oldest);
        FHeardOrder.pop_front();
    }
}

qsizetype TStatusListenerThread::CachedSenders() const
{
    QMutexLocker locker(&FLock);
    return FStatusCache.size();
}

QString TStatusListenerThread::GetStatusFor(const QString& ipAddress) const
{
    QMutexLocker locker(&FLock);
    return FStatusCache.value(ipAddress);
}

QList<TQuillexDevice> TStatusListenerThread::GetLastDeviceList() const
{
    QMutexLocker locker(&FLock);
    return FLastDeviceList;
}

QList<TQuillexDevice> TStatusListenerThread::BuildDeviceList() const
{
    const quint32 now = Now();
    QList<TQuillexDevice> devices;
    QMutexLocker locker(&FLock);
    for (auto it = FStatusCache.cbegin(); it != FStatusCache.cend(); ++it) {
        const auto seen = FLastSeenTicks.constFind(it.key());
        if (seen == FLastSeenTicks.cend() || TicksSince(seen.value(), now) > DeviceAgeLimitMs)
            continue;
        TQuillexDevice device;
        if (DeviceFromStatus(it.key(), it.value(), device))
            devices.append(device);
    }
    locker.unlock();
    std::sort(devices.begin(), devices.end(), DeviceListOrder);
    return devices;
}

QList<TQuillexDevice> TStatusListenerThread::RefreshDeviceList()
{
    {
        QMutexLocker locker(&FLock);
        PruneLocked(Now());
    }
    const QList<TQuillexDevice> devices = BuildDeviceList();
    QMutexLocker locker(&FLock);
    FLastDeviceList = devices;
    return devices;
}
