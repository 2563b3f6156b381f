#pragma once
// The device link: short TCP exchanges with one device. Every operation blocks
// until its exchange is over, opens and closes its own socket, and reports a
// success flag with a Turkish message for the operator; nothing is thrown.
#include "DeviceSocket.h"
#include "WireFormat.h"

#include <QList>
#include <QString>
#include <QStringList>

// Sent first on every command connection; the same for all devices.
inline const QString LoginLine = QStringLiteral("LOGIN&70216953");

constexpr int CommandTimeoutMs = 5000;
// A device that trickles bytes would renew the per-receive time-out forever:
// every command-port exchange ends this long after its connection, whatever
// the device sends.
constexpr int CommandDeadlineMs = CommandTimeoutMs + 3000;
// No reply on the command port is anywhere near this long; more is refused.
constexpr qsizetype MaxCommandReplyBytes = 1048576;

// Messages of the connection layer, shared by every operation.
QString MsgConnectFailed(const QString& ipAddress, quint16 port, int error);
QString MsgSendFailed(int error); // "Veri gönderilemedi (hata kodu: %d)"
QString MsgInfoReceiveFailed(int error); // "Dosya bilgisi alınamadı (hata kodu: %d)"
QString MsgDataReceiveFailed(int error); // "Veri alınamadı (hata kodu: %d)"
QString MsgPinRefused(); // "Cihaz şifreyi kabul etmedi"
QString MsgInfoSendFailed(); // "Dosya bilgisi gönderilemedi"
QString MsgReplyTooLong(qint64 limit); // "Cihazın yanıtı %d bayt sınırını aşıyor"

// Connects with send and receive time-outs; on failure ErrorMsg says why.
bool OpenDeviceSocket(TDeviceSocket& socket, const QString& ipAddress, quint16 port, int timeoutMs, QString& errorMsg);

// Byte text in the default code page, as replies are compared and shown.
QString ReplyText(const QByteArray& reply);

// A transfer port's final reply line is a success when it starts with "OK"
// (any letter case).
bool ReplyIsOk(const QString& replyLine);

int CountOkLines(const QByteArray& reply);

// Counts the OK lines of a growing reply, looking at each byte once: the
// complete lines as they arrive, the piece after the last line feed on demand.
class TOkLineCounter {
public:
    void Add(const QByteArray& reply); // the whole reply so far
    // The complete lines plus the trailing piece, when that is at most maxTail bytes.
    int Count(const QByteArray& reply, qsizetype maxTail = MaxCommandReplyBytes) const;

private:
    qsizetype FScanned = 0;
    int FComplete = 0;
};
QString ExtractErrText(const QByteArray& reply);

// The login line and the commands in one connection; true when every line got "OK".
bool SendCommandBatch(const QString& ipAddress, quint16 port, const QStringList& commands, QString& responseMsg);

// A batch authenticated with the PIN cached for the address, when there is one.
bool SendDeviceCommands(const QString& ipAddress, quint16 port, const QStringList& commands, QString& responseMsg);

struct TStartFromIndexEntry {
    qint32 Index = 0;
    qint32 LineNumber = 0;
    qint64 UncompressedOffset = 0;
    bool operator==(const TStartFromIndexEntry&) const = default;
};

bool SendCachedPin(TDeviceSocket& socket, const QString& ipAddress, QString& errorMsg,
    const QDeadlineTimer& deadline = QDeadlineTimer(CommandDeadlineMs));
bool ReadStartFromIndex(
    const QString& ipAddress, quint16 port, QList<TStartFromIndexEntry>& entries, QString& responseMsg);
bool PeekProgramLine(const QString& ipAddress, quint16 port, qint32 index, QString& prevLine, QString& lineText,
    QString& nextLine, QString& errorMsg);
