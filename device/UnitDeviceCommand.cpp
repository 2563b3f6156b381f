#include "UnitDeviceCommand.h"

#include "DeviceFailure.h"

#include "JsonText.h"
#include "PinCache.h"
#include "content/CodePage.h"
#include "content/TextUtil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QString MsgConnectFailed(const QString& ipAddress, quint16 port, int error)
{
    return QString::fromUtf8("%1:%2 adresine bağlanılamadı (hata kodu: %3)").arg(ipAddress).arg(port).arg(error);
}

QString MsgSendFailed(int error)
{
    return QString::fromUtf8("Veri gönderilemedi (hata kodu: %1)").arg(error);
}

QString MsgInfoReceiveFailed(int error)
{
    return QString::fromUtf8("Dosya bilgisi alınamadı (hata kodu: %1)").arg(error);
}

QString MsgDataReceiveFailed(int error)
{
    return QString::fromUtf8("Veri alınamadı (hata kodu: %1)").arg(error);
}

QString MsgPinRefused()
{
    return QString::fromUtf8("Cihaz şifreyi kabul etmedi");
}

QString MsgInfoSendFailed()
{
    return QString::fromUtf8("Dosya bilgisi gönderilemedi");
}

QString MsgReplyTooLong(qint64 limit)
{
    return QString::fromUtf8("Cihazın yanıtı %1 bayt sınırını aşıyor").arg(limit);
}

bool OpenDeviceSocket(TDeviceSocket& socket, const QString& ipAddress, quint16 port, int timeoutMs, QString& errorMsg)
{
    // Linux sockets need no library start-up, so "Ağ bağlantısı başlatılamadı" cannot occur.
    if (!socket.Create()) {
        errorMsg = QString::fromUtf8("Ağ bağlantısı oluşturulamadı");
        SetDeviceFailure(EDeviceFailure::NetworkError);
        return false;
    }
    socket.SetTimeouts(timeoutMs, timeoutMs);
    if (!socket.Connect(ipAddress, port)) {
        errorMsg = MsgConnectFailed(ipAddress, port, socket.LastError());
        SetDeviceFailure(EDeviceFailure::ConnectFailed);
        socket.Close();
        return false;
    }
    return true;
}

QString ReplyText(const QByteArray& reply)
{
    return DecodeAnsi(reply);
}

namespace {

bool IsOkPiece(const char* data, qsizetype size)
{
    return TrimLow(ReplyText(QByteArray::fromRawData(data, size))) == u"OK";
}

} // namespace

bool ReplyIsOk(const QString& replyLine)
{
    return replyLine.size() >= 2 && replyLine.left(2).toUpper() == u"OK";
}

int CountOkLines(const QByteArray& reply)
{
    TOkLineCounter counter;
    counter.Add(reply);
    return counter.Count(reply);
}

void TOkLineCounter::Add(const QByteArray& reply)
{
    while (true) {
        const qsizetype lf = reply.indexOf('\n', FScanned);
        if (lf < 0)
            return;
        if (IsOkPiece(reply.constData() + FScanned, lf - FScanned))
            ++FComplete;
        FScanned = lf + 1;
    }
}

int TOkLineCounter::Count(const QByteArray& reply, qsizetype maxTail) const
{
    const qsizetype tail = reply.size() - FScanned;
    return FComplete + (tail <= maxTail && IsOkPiece(reply.constData() + FScanned, tail) ? 1 : 0);
}

QString ExtractErrText(const QByteArray& reply)
{
    for (const QString& piece : QString::fromUtf8(reply).split(u'\n'))
        if (piece.startsWith(u"ERR "))
            return TrimLow(QStringView(piece).mid(4)).toString();
    return {};
}

bool SendCommandBatch(const QString& ipAddress, quint16 port, const QStringList& commands, QString& responseMsg)
{
    responseMsg.clear();
    if (commands.isEmpty())
        return true;
    const QStringList lines = QStringList { LoginLine } + commands;
    const int expected = int(lines.size());

    TDeviceSocket socket;
    if (!OpenDeviceSocket(socket, ipAddress, port, CommandTimeoutMs, responseMsg))
        return false;

    // All lines go out back to back; the replies are read afterwards.
    for (const QString& line : lines) {
        if (!socket.SendAll(EncodeAnsi(line) + '\n')) {
            responseMsg = MsgSendFailed(socket.LastError());
            SetDeviceFailure(NetworkFailure(socket.LastError()));
            return false;
        }
    }

    QByteArray reply;
    char buffer[256];
    TOkLineCounter counter;
    int okCount = 0;
    const QDeadlineTimer deadline(CommandDeadlineMs);
    while (true) {
        const qint64 received = socket.Receive(buffer, 255, deadline);
        if (received <= 0)
            break;
        reply.append(buffer, received);
        if (reply.size() > MaxCommandReplyBytes) {
            responseMsg = MsgReplyTooLong(MaxCommandReplyBytes);
            SetDeviceFailure(EDeviceFailure::DeviceError);
            return false;
        }
        counter.Add(reply);
        // Looking at a long trailing piece after every read would be quadratic;
        // the final count below looks at it once.
        okCount = counter.Count(reply, 64);
        if (okCount >= expected)
            break;
    }
    okCount = counter.Count(reply);

    if (reply.contains("ERR pin")) {
        responseMsg = MsgPinRefused();
        SetDeviceFailure(EDeviceFailure::PinRefused);
        return false;
    }
    if (const QString error = ExtractErrText(reply); !error.isEmpty()) {
        responseMsg = error;
        SetDeviceFailure(EDeviceFailure::DeviceError);
        return false;
    }
    if (okCount < expected) {
        responseMsg = QString::fromUtf8("Cihaz %1/%2 komutu onayladı, bağlantı beklenenden erken kesildi")
                          .arg(okCount)
                          .arg(expected);
        SetDeviceFailure(EDeviceFailure::DeviceError);
        return false;
    }
    responseMsg = QString::fromUtf8("%1 komut cihaz tarafından onaylandı").arg(okCount);
    return true;
}

bool SendDeviceCommands(const QString& ipAddress, quint16 port, const QStringList& commands, QString& responseMsg)
{
    responseMsg.clear();
    const QString pin = GetCachedPin(ipAddress);
    const QStringList batch = pin.isEmpty() ? commands : QStringList { "PIN&" + pin } + commands;
    return SendCommandBatch(ipAddress, port, batch, responseMsg);
}

// ---- Interactive queries: a reply is read after every line. ----

bool SendCachedPin(TDeviceSocket& socket, const QString& ipAddress, QString& errorMsg, const QDeadlineTimer& deadline)
{
    const QString pin = GetCachedPin(ipAddress);
    if (pin.isEmpty())
        return true;
    if (!socket.SendAll(EncodeAnsi(QString("PIN&" + pin)) + '\n')) {
        errorMsg = MsgSendFailed(socket.LastError());
        SetDeviceFailure(NetworkFailure(socket.LastError()));
        return false;
    }
    char buffer[256];
    const qint64 received = socket.Receive(buffer, 255, deadline);
    if (received <= 0) {
        errorMsg = MsgInfoReceiveFailed(socket.LastError());
        SetDeviceFailure(NetworkFailure(socket.LastError()));
        return false;
    }
    if (TrimLow(ReplyText(QByteArray(buffer, received)).toUpper()) != u"OK") {
        errorMsg = MsgPinRefused();
        SetDeviceFailure(EDeviceFailure::PinRefused);
        return false;
    }
    return true;
}

namespace {

// Login, PIN, the query line, then the reply up to its final "OK" line feed,
// parsed as a JSON object.
bool RunQuery(const QString& ipAddress, quint16 port, const QString& queryLine, const QString& queryName,
    QJsonObject& object, QString& errorMsg)
{
    TDeviceSocket socket;
    if (!OpenDeviceSocket(socket, ipAddress, port, CommandTimeoutMs, errorMsg))
        return false;
    const QDeadlineTimer deadline(CommandDeadlineMs);
    if (!socket.SendAll(EncodeAnsi(LoginLine) + '\n')) {
        errorMsg = MsgSendFailed(socket.LastError());
        SetDeviceFailure(NetworkFailure(socket.LastError()));
        return false;
    }
    char buffer[1024];
    const qint64 received = socket.Receive(buffer, 1023, deadline);
    if (received <= 0) {
        errorMsg = MsgInfoReceiveFailed(socket.LastError());
        SetDeviceFailure(NetworkFailure(socket.LastError()));
        return false;
    }
    const QString loginReply = TrimLow(ReplyText(QByteArray(buffer, received))).toString();
    if (loginReply.toUpper() != u"OK") {
        errorMsg = "LOGIN reddedildi: " + loginReply;
        SetDeviceFailure(EDeviceFailure::DeviceError);
        return false;
    }
    if (!SendCachedPin(socket, ipAddress, errorMsg, deadline))
        return false;
    if (!socket.SendAll(EncodeAnsi(queryLine) + '\n')) {
        errorMsg = MsgSendFailed(socket.LastError());
        SetDeviceFailure(NetworkFailure(socket.LastError()));
        return false;
    }

    QByteArray reply;
    while (true) {
        const qint64 count = socket.Receive(buffer, 1023, deadline);
        if (count <= 0)
            break;
        reply.append(buffer, count);
        if (reply.size() > MaxCommandReplyBytes) {
            errorMsg = MsgReplyTooLong(MaxCommandReplyBytes);
            SetDeviceFailure(EDeviceFailure::DeviceError);
            return false;
        }
        if (reply.size() >= 3 && reply.endsWith("OK\n"))
            break;
    }
    if (reply.size() <= 2 || !reply.endsWith("OK\n")) {
        errorMsg = queryName + " yaniti eksik/beklenmedik.";
        SetDeviceFailure(EDeviceFailure::CorruptData);
        return false;
    }
    const QString jsonText = TrimLow(ReplyText(reply.chopped(3))).toString();
    const QJsonDocument document = QJsonDocument::fromJson(jsonText.toUtf8());
    if (!document.isObject()) {
        errorMsg = queryName + " JSON parse edilemedi: " + jsonText;
        SetDeviceFailure(EDeviceFailure::CorruptData);
        return false;
    }
    object = document.object();
    return true;
}

} // namespace

bool ReadStartFromIndex(
    const QString& ipAddress, quint16 port, QList<TStartFromIndexEntry>& entries, QString& responseMsg)
{
    entries.clear();
    responseMsg.clear();
    QJsonObject object;
    if (!RunQuery(ipAddress, port, QStringLiteral("GETINDEX"), QStringLiteral("GETINDEX"), object, responseMsg))
        return false;
    const QJsonValue list = object.value("entries");
    if (list.isArray()) {
        const QJsonArray array = list.toArray();
        for (qsizetype i = 0; i < array.size(); ++i) {
            TStartFromIndexEntry entry;
            if (array[i].isObject()) {
                entry.Index = JsonIntOrDefault(array[i], "index", qint32(i));
                entry.LineNumber = JsonIntOrDefault(array[i], "line", 0);
                entry.UncompressedOffset = JsonInt64OrDefault(array[i], "uncompressed_offset", 0);
            }
            entries.append(entry);
        }
    }
    responseMsg = QString("%1 giris alindi").arg(entries.size());
    return true;
}

bool PeekProgramLine(const QString& ipAddress, quint16 port, qint32 index, QString& prevLine, QString& lineText,
    QString& nextLine, QString& errorMsg)
{
    prevLine.clear();
    lineText.clear();
    nextLine.clear();
    errorMsg.clear();
    QJsonObject object;
    if (!RunQuery(ipAddress, port, "PEEKLINE" + QString::number(index), QStringLiteral("PEEKLINE"), object, errorMsg))
        return false;
    if (object.contains("error")) {
        const QJsonValue error = object.value("error");
        QString reason;
        if (error.isString())
            reason = error.toString();
        else if (error.isObject() || error.isArray())
            reason = QString::fromUtf8(QJsonDocument::fromVariant(error.toVariant()).toJson(QJsonDocument::Compact));
        else
            reason = JsonValueText(error);
        errorMsg = "Cihaz hatasi: " + reason;
        SetDeviceFailure(EDeviceFailure::DeviceError);
        return false;
    }
    prevLine = JsonStrOrDefault(object, "prev_line", {});
    lineText = JsonStrOrDefault(object, "line_text", {});
    nextLine = JsonStrOrDefault(object, "next_line", {});
    return true;
}
