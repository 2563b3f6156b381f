#include "SimDevice.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTime>
#include <QTimer>
#include <QUdpSocket>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <zlib.h>

namespace {

// Writes a file for the benchmarks; a file that cannot be written is reported.
void SaveBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        std::fprintf(stderr, "cannot save %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
}

const QByteArray Login = "LOGIN&70216953";

// The fleet key, kept here on its own so that the client's copy is checked, not trusted.
const unsigned char FleetKey[32] = {
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

QByteArray DeviceKey(bool wrong)
{
    QByteArray key = QByteArray(reinterpret_cast<const char*>(FleetKey), 32);
    const QByteArray hex = qgetenv("QUILLEX_STATUS_KEY");
    if (hex.size() == 64)
        key = QByteArray::fromHex(hex);
    if (wrong)
        key[0] = char(key[0] ^ 0x5A);
    return key;
}

QByteArray Encrypt(const QByteArray& key, const QByteArray& iv, QByteArray plain)
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

// Inflates the whole stream, each piece of output handed to take; false when
// the data is not a complete zlib stream.
template <typename F> bool InflatePieces(const QByteArray& in, F&& take)
{
    z_stream s {};
    if (inflateInit(&s) != Z_OK)
        return false;
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    s.avail_in = uInt(in.size());
    static char chunk[65536];
    int rc;
    do {
        s.next_out = reinterpret_cast<Bytef*>(chunk);
        s.avail_out = sizeof chunk;
        rc = inflate(&s, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            inflateEnd(&s);
            return false;
        }
        take(chunk, qsizetype(sizeof chunk - s.avail_out));
    } while (rc != Z_STREAM_END);
    inflateEnd(&s);
    return true;
}

bool Inflate(const QByteArray& in, QByteArray& out)
{
    out.clear();
    return InflatePieces(in, [&](const char* piece, qsizetype size) { out.append(piece, size); });
}

// The inflated size alone, without keeping what a device only checks; -1 for
// data that does not inflate.
qint64 InflatedSize(const QByteArray& in)
{
    qint64 size = 0;
    return InflatePieces(in, [&](const char*, qsizetype piece) { size += piece; }) ? size : -1;
}

quint32 BigEndian(const QByteArray& b, qsizetype at)
{
    return (quint32(uchar(b[at])) << 24) | (quint32(uchar(b[at + 1])) << 16) | (quint32(uchar(b[at + 2])) << 8)
        | quint32(uchar(b[at + 3]));
}

QByteArray BigEndianBytes(quint32 v)
{
    QByteArray b(4, '\0');
    b[0] = char(v >> 24);
    b[1] = char(v >> 16);
    b[2] = char(v >> 8);
    b[3] = char(v);
    return b;
}

bool IsDigits(const QByteArray& s, int minLen, int maxLen)
{
    if (s.size() < minLen || s.size() > maxLen)
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

QByteArray JsonLine(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// ---- Port sessions: one per connection, owned by its socket. ----

class Session : public QObject {
public:
    Session(SimDevice* device, QTcpSocket* socket)
        : QObject(socket)
        , Device(device)
        , Socket(socket)
    {
        connect(socket, &QTcpSocket::readyRead, this, [this] { OnData(); });
    }

protected:
    virtual void OnData() = 0;
    // Fault switch: a connection that breaks after this many received bytes.
    bool Count(qint64 bytes)
    {
        Received += bytes;
        const qint64 limit = Device->Config().CloseAfterBytes;
        if (limit >= 0 && Received >= limit) {
            Socket->abort();
            return false;
        }
        return true;
    }
    SimDevice* Device;
    QTcpSocket* Socket;
    qint64 Received = 0;
};

class CommandSession : public Session {
public:
    using Session::Session;

private:
    void OnData() override
    {
        const QByteArray data = Socket->readAll();
        if (!Count(data.size()) || Device->Config().Silent)
            return;
        Buffer += data;
        qsizetype lf;
        while ((lf = Buffer.indexOf('\n')) >= 0) {
            QByteArray line = Buffer.left(lf);
            Buffer.remove(0, lf + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            const QByteArray answer = Device->HandleCommandLine(LoggedIn, PinOk, line);
            const bool torn = Device->Config().TornReplies && ++Answered >= 2;
            Device->Reply(Socket, answer, torn);
            if (torn)
                return;
        }
    }
    QByteArray Buffer;
    bool LoggedIn = false;
    bool PinOk = false;
    int Answered = 0;
};

class UploadSession : public Session {
public:
    UploadSession(SimDevice* device, QTcpSocket* socket)
        : Session(device, socket)
    {
        connect(&EraseTimer, &QTimer::timeout, this, [this] { TickErase(); });
    }
    // A connection that goes away mid-transfer leaves the device idle again.
    ~UploadSession() override
    {
        if (!LiveDevice) // the whole simulator is shutting down
            return;
        if (Erasing)
            LiveDevice->SetErasing(false, 0, 0);
        if (HeaderDone && !Done)
            LiveDevice->SetTransfer("idle", 0, 0);
    }

private:
    void OnData() override
    {
        if (Done)
            return;
        if (Erasing) // the flash is busy: bytes wait in the socket
            return;
        const QByteArray data = Socket->readAll();
        if (!Count(data.size()) || Device->Config().Silent)
            return;
        Buffer += data;
        if (!HeaderDone && !ParseHeader())
            return;
        if (HeaderDone && !Index) {
            Payload += Buffer;
            Buffer.clear();
            Device->SetTransfer("receive", Payload.size(), PayloadLength);
            if (Payload.size() >= PayloadLength)
                Finish();
        }
    }

    // Flag byte, PIN block, lengths; false while more bytes are needed.
    bool ParseHeader()
    {
        if (Buffer.size() < 1)
            return false;
        Flags = quint8(Buffer[0]);
        qsizetype at = 1;
        if (Flags & 0x08)
            at += 8;
        if (Buffer.size() < at + 4)
            return false;
        const QByteArray pinBlock = Flags & 0x08 ? Buffer.mid(1, 8) : QByteArray();
        const quint32 first = BigEndian(Buffer, at);
        at += 4;
        if (Flags & 0x02) {
            if (Buffer.size() < at + qint64(first) * 12)
                return false;
            Index = true;
            HeaderDone = true;
            Done = true;
            const bool pinOk = !Device->HasPin() || Device->PinMatches(pinBlock);
            const QString refusal = Device->Config().RefuseIndex;
            Device->Reply(Socket,
                !pinOk                  ? QByteArray("ERR pin\n")
                    : refusal.isEmpty() ? Device->StoreIndex(Buffer.mid(at, qint64(first) * 12), first)
                                        : "ERR " + refusal.toUtf8() + "\n",
                true);
            return false;
        }
        const bool extended = (Flags & 0x01) && (Flags & 0x04);
        if (extended) {
            if (Buffer.size() < at + 4)
                return false;
            Uncompressed = BigEndian(Buffer, at);
            at += 4;
        }
        PayloadLength = first;
        Buffer.remove(0, at);
        HeaderDone = true;
        if (qEnvironmentVariableIsSet("QUILLEX_DEVSIM_TRACE"))
            std::fprintf(stderr, "%s: upload flags %02x length %lld\n", qPrintable(Device->Config().Ip), Flags,
                qlonglong(PayloadLength));
        if (Device->HasPin() && !Device->PinMatches(pinBlock))
            return Refuse("ERR pin\n");
        if (!Device->Config().Refuse.isEmpty())
            return Refuse("ERR " + Device->Config().Refuse.toUtf8() + "\n");
        if (PayloadLength > Device->Config().MaxFileSize)
            return Refuse("ERR full\n");
        StartErase();
        return !Erasing;
    }

    bool Refuse(const QByteArray& line)
    {
        Done = true;
        Device->Reply(Socket, line, true);
        return false;
    }

    void StartErase()
    {
        if (qEnvironmentVariableIsSet("QUILLEX_DEVSIM_TRACE"))
            std::fprintf(stderr, "%s: erase starts %s\n", qPrintable(Device->Config().Ip),
                qPrintable(QTime::currentTime().toString("HH:mm:ss.zzz")));
        const qint64 rate = Device->Config().EraseBytesPerSecond;
        EraseTotal = qMax<qint64>(4096, (PayloadLength + 4095) / 4096 * 4096);
        if (rate <= 0)
            return;
        Erasing = true;
        EraseDone = 0;
        Device->SetErasing(true, 0, EraseTotal);
        EraseTimer.start(100);
    }

    void TickErase()
    {
        EraseDone = qMin(EraseTotal, EraseDone + qMax<qint64>(1, Device->Config().EraseBytesPerSecond / 10));
        Device->Reply(
            Socket, QByteArray("ERASE ") + QByteArray::number(EraseDone) + " " + QByteArray::number(EraseTotal) + "\n");
        Device->SetErasing(EraseDone < EraseTotal, EraseDone, EraseTotal);
        if (EraseDone >= EraseTotal) {
            EraseTimer.stop();
            Erasing = false;
            Payload += Buffer;
            Buffer.clear();
            if (Payload.size() >= PayloadLength)
                Finish();
            else
                OnData();
        }
    }

    void Finish()
    {
        if (qEnvironmentVariableIsSet("QUILLEX_DEVSIM_TRACE"))
            std::fprintf(stderr, "%s: finish %s\n", qPrintable(Device->Config().Ip),
                qPrintable(QTime::currentTime().toString("HH:mm:ss.zzz")));
        Done = true;
        Device->SetTransfer("idle", 0, 0);
        Device->Reply(Socket, Device->StoreProgram(Payload.left(PayloadLength), Flags, Uncompressed), true);
    }

    QPointer<SimDevice> LiveDevice { Device };
    QByteArray Buffer;
    QByteArray Payload;
    bool HeaderDone = false, Index = false, Done = false, Erasing = false;
    quint8 Flags = 0;
    qint64 PayloadLength = 0, Uncompressed = -1, EraseDone = 0, EraseTotal = 0;
    QTimer EraseTimer;
};

class DownloadSession : public Session {
public:
    DownloadSession(SimDevice* device, QTcpSocket* socket)
        : Session(device, socket)
    {
        if (Device->Config().Silent || Device->Config().DownloadFault == "silent")
            return;
        if (Device->Config().DownloadFault == "close") {
            Socket->disconnectFromHost();
            return;
        }
        if (!Device->HasPin()) {
            Answer(true);
            return;
        }
        // The client sends its PIN block first when it has one; without it, it waits.
        QTimer::singleShot(1000, this, [this] {
            if (!Answered)
                Answer(false);
        });
    }

private:
    void OnData() override
    {
        const QByteArray data = Socket->readAll();
        if (!Count(data.size()) || Answered || !Device->HasPin())
            return;
        Buffer += data;
        if (Buffer.size() >= 8)
            Answer(Device->PinMatches(Buffer.left(8)));
    }
    void Answer(bool pinOk)
    {
        Answered = true;
        Device->Reply(Socket, Device->DownloadAnswer(pinOk), true);
    }
    QByteArray Buffer;
    bool Answered = false;
};

} // namespace

SimDevice::SimDevice(const SimConfig& config, QHostAddress statusTarget, quint16 statusPort, QObject* parent)
    : QObject(parent)
    , FConfig(config)
    , FStatusTarget(statusTarget)
    , FStatusPort(statusPort)
    , FStored(config.Program)
    , FCapture(config.Capture)
{
    for (const auto& [line, offset] : config.Index)
        FIndex.append({ line, offset, 0 });
}

bool SimDevice::Start(QString& error)
{
    const QHostAddress address(FConfig.Ip);
    const auto listen = [&](quint16 port, auto makeSession) {
        auto* server = new QTcpServer(this);
        if (!server->listen(address, port)) {
            error = QString("%1:%2: %3").arg(FConfig.Ip).arg(port).arg(server->errorString());
            return false;
        }
        connect(server, &QTcpServer::newConnection, this, [this, server, makeSession] {
            while (QTcpSocket* socket = server->nextPendingConnection()) {
                socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                makeSession(this, socket);
            }
        });
        return true;
    };
    if (!listen(5000, [](SimDevice* d, QTcpSocket* s) { new CommandSession(d, s); })
        || !listen(5001, [](SimDevice* d, QTcpSocket* s) { new UploadSession(d, s); })
        || !listen(5002, [](SimDevice* d, QTcpSocket* s) { new DownloadSession(d, s); }))
        return false;

    FUdp = new QUdpSocket(this);
    if (!FUdp->bind(address, 0)) {
        error = QString("%1 (UDP): %2").arg(FConfig.Ip, FUdp->errorString());
        return false;
    }
    FStatusTimer = new QTimer(this);
    connect(FStatusTimer, &QTimer::timeout, this, &SimDevice::SendStatus);
    FStatusTimer->start(FConfig.StatusIntervalMs);
    QTimer::singleShot(0, this, &SimDevice::SendStatus);
    return true;
}

void SimDevice::Reply(QTcpSocket* socket, const QByteArray& bytes, bool closeAfter)
{
    if (!FConfig.SplitReplies) {
        socket->write(bytes);
        if (closeAfter)
            socket->disconnectFromHost();
        return;
    }
    // One byte per send, a few milliseconds apart, so the reader sees them apart.
    // Replies to lines that arrived together queue behind each other on their
    // connection, so the bytes keep the order of the lines.
    if (!FSplitClock.isValid())
        FSplitClock.start();
    const qint64 now = FSplitClock.elapsed();
    const qint64 start = qMax(now, socket->property("splitDue").toLongLong());
    const QPointer<QTcpSocket> guarded(socket);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        QTimer::singleShot(int(start - now + 3 * i), this, [guarded, b = bytes.mid(i, 1)] {
            if (guarded)
                guarded->write(b), guarded->flush();
        });
    }
    const qint64 end = start + 3 * bytes.size();
    socket->setProperty("splitDue", end + 1);
    if (closeAfter)
        QTimer::singleShot(int(end - now + 3), this, [guarded] {
            if (guarded)
                guarded->disconnectFromHost();
        });
}

bool SimDevice::PinMatches(const QByteArray& pinBlock) const
{
    QByteArray expected = FConfig.Pin.toLatin1();
    expected.append(QByteArray(8 - expected.size(), '\0'));
    return pinBlock == expected;
}

QByteArray SimDevice::HandleCommandLine(bool& loggedIn, bool& pinOk, const QByteArray& line)
{
    if (FConfig.LogCommands) {
        std::printf("%s: %s\n", qPrintable(FConfig.Ip), line.constData());
        std::fflush(stdout);
    }
    if (!loggedIn) {
        if (line != Login)
            return "ERR login\n";
        loggedIn = true;
        return "OK\n";
    }
    if (line.startsWith("PIN&")) {
        const QByteArray pin = line.mid(4);
        if (HasPin() && pin != FConfig.Pin.toLatin1())
            return "ERR pin\n";
        pinOk = true;
        return "OK\n";
    }
    if (HasPin() && !pinOk)
        return "ERR pin\n";
    if (!FConfig.Refuse.isEmpty())
        return "ERR " + FConfig.Refuse.toUtf8() + "\n";

    auto value = [&](const char* word) { return line.mid(qsizetype(strlen(word))); };
    if (line.startsWith("NAME&")) {
        const QByteArray name = value("NAME&");
        for (char c : name)
            if (!(std::isalnum(uchar(c)) || c == ' ' || c == '-' || c == '_'))
                return "ERR invalid name\n";
        if (name.isEmpty() || name.size() > 32)
            return "ERR invalid name\n";
        FConfig.Name = QString::fromLatin1(name);
        return "OK\n";
    }
    if (line.startsWith("CONTROLLER&")) {
        const QByteArray type = value("CONTROLLER&");
        static const QList<QByteArray> types { "FANUC", "MITSUBISHI", "SIEMENS", "OKUMA", "YASNAC", "MAZATROL-CMT",
            "MAZATROL-TAPE" };
        if (!types.contains(type))
            return "ERR unknown controller\n";
        FConfig.Controller = QString::fromLatin1(type);
        return "OK\n";
    }
    if (line.startsWith("BR")) {
        static const QList<int> rates { 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 };
        bool ok = false;
        const int rate = value("BR").toInt(&ok);
        if (!ok || !rates.contains(rate))
            return "ERR bad baud rate\n";
        FConfig.Baud = rate;
        return "OK\n";
    }
    if (line.startsWith("XOFFTO")) {
        bool ok = false;
        const int seconds = value("XOFFTO").toInt(&ok);
        if (!ok || seconds < 0 || seconds > 65535)
            return "ERR bad xoff timeout\n";
        FConfig.XoffTimeout = seconds;
        return "OK\n";
    }
    if (line == "XONXOFF&1" || line == "XONXOFF&0") {
        FConfig.XonXoff = line.endsWith('1');
        return "OK\n";
    }
    if (line.startsWith("DATABITS")) {
        const QByteArray bits = value("DATABITS");
        if (bits != "5" && bits != "6" && bits != "7" && bits != "8")
            return "ERR bad data bits\n";
        FConfig.DataBits = bits.toInt();
        return "OK\n";
    }
    if (line.startsWith("PARITY")) {
        const QByteArray p = value("PARITY");
        if (p != "N" && p != "E" && p != "O")
            return "ERR bad parity\n";
        FConfig.Parity = QString::fromLatin1(p);
        return "OK\n";
    }
    if (line.startsWith("STOPBITS")) {
        const QByteArray bits = value("STOPBITS");
        if (bits != "1" && bits != "2")
            return "ERR bad stop bits\n";
        FConfig.StopBits = bits.toInt();
        return "OK\n";
    }
    if (line.startsWith("SETPIN&")) {
        const QByteArray pin = value("SETPIN&");
        if (!IsDigits(pin, 4, 8))
            return "ERR bad pin\n";
        FConfig.Pin = QString::fromLatin1(pin);
        pinOk = true;
        return "OK\n";
    }
    if (line == "CLEARPIN") {
        FConfig.Pin.clear();
        return "OK\n";
    }
    if (line == "GETINDEX") {
        QJsonArray entries;
        for (int i = 0; i < FIndex.size(); ++i)
            entries.append(QJsonObject { { "index", i }, { "line", qint64(FIndex[i].Line) },
                { "uncompressed_offset", qint64(FIndex[i].Uncompressed) },
                { "compressed_offset", qint64(FIndex[i].Compressed) } });
        return JsonLine(QJsonObject { { "entries", entries } }) + "\nOK\n";
    }
    if (line.startsWith("PEEKLINE")) {
        bool ok = false;
        const int index = value("PEEKLINE").toInt(&ok);
        if (!ok || index < 0 || index >= FIndex.size())
            return JsonLine(QJsonObject { { "error", "index out of range" } }) + "\nOK\n";
        if (FConfig.PeekErrors.contains(index))
            return JsonLine(QJsonObject { { "error", "line unreadable" }, { "line_text", "?" } }) + "\nOK\n";
        // The preview shows the tool-change line with its neighbours.
        const QList<QByteArray> lines = StoredProgramLines();
        const qsizetype at = qsizetype(FIndex[index].Line) - 1;
        QJsonObject answer;
        if (at - 1 >= 0 && at - 1 < lines.size())
            answer["prev_line"] = QString::fromLatin1(lines[at - 1]);
        answer["line_text"] = at >= 0 && at < lines.size() ? QString::fromLatin1(lines[at]) : QString();
        if (at + 1 >= 0 && at + 1 < lines.size())
            answer["next_line"] = QString::fromLatin1(lines[at + 1]);
        return JsonLine(answer) + "\nOK\n";
    }
    if (line.startsWith("STARTFROM")) {
        bool ok = false;
        const int index = value("STARTFROM").toInt(&ok);
        if (!ok || index < 0 || index >= FIndex.size())
            return "ERR no such start point\n";
        StartPlayback();
        return "OK\n";
    }
    return "ERR unknown command\n";
}

QByteArray SimDevice::StoreIndex(const QByteArray& entries, quint32 count)
{
    QList<IndexEntry> index;
    for (quint32 i = 0; i < count; ++i)
        index.append({ BigEndian(entries, i * 12), BigEndian(entries, i * 12 + 4), BigEndian(entries, i * 12 + 8) });
    if (index.size() > 20)
        return "ERR index too long\n";
    FIndex = index;
    if (!FConfig.SaveFile.isEmpty()) {
        QByteArray offsets;
        for (const IndexEntry& entry : index)
            offsets += QByteArray::number(entry.Uncompressed) + '\n';
        SaveBytes(FConfig.SaveFile + ".index", offsets);
    }
    return "OK\n";
}

QByteArray SimDevice::StoreProgram(const QByteArray& payload, quint8 flags, qint64 uncompressedLength)
{
    const bool compressed = flags & 0x01;
    if (compressed) {
        const qint64 plainSize = InflatedSize(payload);
        if (plainSize < 0)
            return "ERR bad data\n";
        if (uncompressedLength >= 0 && plainSize != uncompressedLength)
            return "ERR length mismatch\n";
        if (plainSize > FConfig.MaxFileSize * 4)
            return "ERR full\n";
    }
    FStored = payload;
    FStoredCompressed = compressed;
    if (!FConfig.SaveFile.isEmpty()) {
        SaveBytes(FConfig.SaveFile, payload);
        SaveBytes(FConfig.SaveFile + ".index", {});
    }
    FCapture.clear();
    FIndex.clear();
    return "OK\n";
}

QByteArray SimDevice::DownloadAnswer(bool pinOk)
{
    if (!pinOk)
        return QByteArray(1, char(0x80));
    if (!FCapture.isEmpty())
        return QByteArray(1, char(0x02)) + BigEndianBytes(quint32(FCapture.size())) + FCapture;
    const QByteArray stored = GivenBackProgram();
    return QByteArray(1, char(FStoredCompressed ? 0x01 : 0x00)) + BigEndianBytes(quint32(stored.size())) + stored;
}

QByteArray SimDevice::GivenBackProgram() const
{
    if (FConfig.Alter < 0 && FConfig.Cut <= 0)
        return FStored;
    // The fault lies in the program itself, so a compressed one is changed
    // inflated and compressed again.
    QByteArray plain = FStored;
    if (FStoredCompressed && !Inflate(FStored, plain))
        return FStored;
    if (FConfig.Alter >= 0 && FConfig.Alter < plain.size())
        plain[qsizetype(FConfig.Alter)] = char(plain[qsizetype(FConfig.Alter)] ^ 0x01);
    plain.chop(qsizetype(qMin<qint64>(FConfig.Cut, plain.size())));
    if (!FStoredCompressed)
        return plain;
    uLongf size = compressBound(uLong(plain.size()));
    QByteArray packed(qsizetype(size), '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(plain.constData()),
            uLong(plain.size()), Z_DEFAULT_COMPRESSION)
        != Z_OK)
        return FStored;
    packed.truncate(qsizetype(size));
    return packed;
}

QList<QByteArray> SimDevice::StoredProgramLines() const
{
    QByteArray plain = FStored;
    if (FStoredCompressed && !Inflate(FStored, plain))
        return {};
    QList<QByteArray> lines = plain.split('\n');
    for (QByteArray& l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    return lines;
}

qint64 SimDevice::StoredProgramSize() const
{
    if (!FStoredCompressed)
        return FStored.size();
    return qMax<qint64>(InflatedSize(FStored), 0);
}

void SimDevice::SetErasing(bool on, qint64 done, qint64 total)
{
    FErasing = on;
    FEraseDone = done;
    FEraseTotal = total;
}

void SimDevice::SetTransfer(const QString& status, qint64 bytes, qint64 total)
{
    if (status != FXferStatus)
        FXferClock.start();
    FXferStatus = status;
    FXferBytes = bytes;
    FXferTotal = total;
}

void SimDevice::StartPlayback()
{
    const qint64 total = StoredProgramSize();
    SetTransfer("send", 0, total);
    if (!FPlaybackTimer) {
        FPlaybackTimer = new QTimer(this);
        connect(FPlaybackTimer, &QTimer::timeout, this, [this] {
            FXferBytes = qMin(FXferTotal, FXferBytes + qMax<qint64>(1, FXferTotal / 10));
            if (FXferBytes >= FXferTotal) {
                FPlaybackTimer->stop();
                SetTransfer("idle", 0, 0);
            }
        });
    }
    FPlaybackTimer->start(1000);
}

QJsonObject SimDevice::StatusDocument() const
{
    QJsonObject s {
        { "macid", FConfig.MacId },
        { "name", FConfig.Name },
        { "pw", HasPin() },
        { "controller", FConfig.Controller },
        { "ip", FConfig.Ip },
        { "hw", FConfig.Hw },
        { "fw", FConfig.Fw },
        { "build", FConfig.Build },
        { "baud", FConfig.Baud },
        { "databits", FConfig.DataBits },
        { "parity", FConfig.Parity },
        { "stopbits", FConfig.StopBits },
        { "xofftimeout", FConfig.XoffTimeout },
        { "xonxoff", FConfig.XonXoff },
        { "filesize", StoredProgramSize() },
        { "maxfilesize", FConfig.MaxFileSize },
        { "time", QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss") },
        { "xfer_status", FXferStatus },
        { "xfer_bytes", FXferBytes },
        { "xfer_total", FXferTotal },
        { "ota_status", "idle" },
        { "ota_bytes", 0 },
        { "ota_total", 0 },
    };
    if (FXferStatus != "idle")
        s["xfer_elapsed_sec"] = qint64(FXferClock.elapsed() / 1000);
    if (FErasing) {
        s["erasing"] = true;
        s["erase_bytes"] = FEraseDone;
        s["erase_total"] = FEraseTotal;
    }
    if (FConfig.MacId.isEmpty())
        s.remove("macid");
    return s;
}

void SimDevice::SendStatus()
{
    if (FConfig.NoStatus)
        return;
    QByteArray iv(16, '\0');
    RAND_bytes(reinterpret_cast<unsigned char*>(iv.data()), 16);
    QByteArray datagram;
    if (FConfig.GarbageDatagrams) {
        datagram = QByteArray(64, '\0');
        RAND_bytes(reinterpret_cast<unsigned char*>(datagram.data()), 64);
    } else {
        datagram = iv + Encrypt(DeviceKey(FConfig.WrongKey), iv, JsonLine(StatusDocument()));
    }
    FUdp->writeDatagram(datagram, FStatusTarget, FStatusPort);
}
