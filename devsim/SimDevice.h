#pragma once
// One simulated Quillex device: status datagrams, command port, upload port and
// download port on its own loopback address. Written apart from the client's
// code (own parsing, own zlib and OpenSSL calls), so that a misunderstanding of
// the protocol cannot be written twice and pass.
#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpServer;
class QTcpSocket;
class QTimer;
class QUdpSocket;

struct SimConfig {
    QString Ip = "127.0.0.2";
    QString Name = "Torna 1";
    QString MacId; // empty: the device sends no "macid"
    bool MacIdGiven = false; // otherwise one is made from the address
    QString Controller = "FANUC";
    QString Hw = "HW4";
    QString Fw = "2.4.1";
    int Build = 512;
    qint64 MaxFileSize = 33554432;
    QString Pin;
    int Baud = 9600;
    int DataBits = 8;
    QString Parity = "N";
    int StopBits = 1;
    int XoffTimeout = 30;
    bool XonXoff = true;
    qint64 EraseBytesPerSecond = 0; // 0: erasing takes no time
    int StatusIntervalMs = 1000;
    QByteArray Capture; // a raw capture the next download returns
    QByteArray Program; // stored program at start (uncompressed)
    QList<QPair<quint32, quint32>> Index; // stored start-from index at start: line, uncompressed offset
    bool LogCommands = false; // print every command line received to standard output
    QString SaveFile; // each upload's payload as received goes here, its start-from offsets to SaveFile.index
    // Fault switches.
    bool SplitReplies = false; // every reply byte in a send of its own
    qint64 CloseAfterBytes = -1; // close a connection after this many received bytes
    bool Silent = false; // accept connections, never answer
    bool GarbageDatagrams = false;
    bool WrongKey = false;
    bool NoStatus = false;
    QString Refuse; // answer commands and uploads with "ERR " + this
    bool TornReplies = false; // close command connections after the first OK
    QList<int> PeekErrors; // start-from points whose PEEKLINE answers with an error
    qint64 Alter = -1; // the program given back on download has this byte (0-based) flipped
    qint64 Cut = 0; // the program given back on download lacks this many bytes at its end
    QString DownloadFault; // "silent": the download port never answers; "close": it hangs up at once
    QString RefuseIndex; // answer start-from index uploads with "ERR " + this; the program stays stored
};

class SimDevice : public QObject {
    Q_OBJECT
public:
    SimDevice(const SimConfig& config, QHostAddress statusTarget, quint16 statusPort, QObject* parent = nullptr);
    bool Start(QString& error);
    const SimConfig& Config() const { return FConfig; }

    // Used by the port sessions.
    QByteArray HandleCommandLine(bool& loggedIn, bool& pinOk, const QByteArray& line);
    bool PinMatches(const QByteArray& pinBlock) const;
    bool HasPin() const { return !FConfig.Pin.isEmpty(); }
    QByteArray StoreIndex(const QByteArray& entries, quint32 count);
    QByteArray StoreProgram(const QByteArray& payload, quint8 flags, qint64 uncompressedLength);
    QByteArray DownloadAnswer(bool pinOk);
    void Reply(QTcpSocket* socket, const QByteArray& bytes, bool closeAfter = false);
    void SetErasing(bool on, qint64 done, qint64 total);
    void SetTransfer(const QString& status, qint64 bytes, qint64 total);

private:
    void SendStatus();
    QJsonObject StatusDocument() const;
    QList<QByteArray> StoredProgramLines() const;
    // The stored bytes as a download gives them back, with the alter and cut faults applied.
    QByteArray GivenBackProgram() const;
    qint64 StoredProgramSize() const;
    void StartPlayback();

    SimConfig FConfig;
    QHostAddress FStatusTarget;
    quint16 FStatusPort;
    QUdpSocket* FUdp = nullptr;
    QTimer* FStatusTimer = nullptr;
    QTimer* FPlaybackTimer = nullptr;

    // Storage: the bytes as uploaded and whether they are a zlib stream.
    QByteArray FStored;
    bool FStoredCompressed = false;
    QByteArray FCapture;
    struct IndexEntry {
        quint32 Line, Uncompressed, Compressed;
    };
    QList<IndexEntry> FIndex;

    // Live counters of the status document.
    bool FErasing = false;
    qint64 FEraseDone = 0, FEraseTotal = 0;
    QString FXferStatus = "idle";
    qint64 FXferBytes = 0, FXferTotal = 0;
    QElapsedTimer FXferClock;
    QElapsedTimer FSplitClock; // when the split bytes of each connection are due
};
