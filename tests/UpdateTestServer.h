#pragma once
// The update server for the self-update tests: HTTPS on 127.0.0.1 with a port
// of its own, run on a thread of its own, with switches for the faults of a
// real server. TTestPki makes its certificate authorities and certificates
// with the openssl command at test time.
#include <QDir>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QThread>
#include <QTimer>

#include <limits>
#include <memory>
#include <zlib.h>

#include "update/VersionMarker.h"

// Certificate authorities and server certificates in a folder, each made by
// the openssl command: <name>.pem, <name>.key.
class TTestPki {
public:
    explicit TTestPki(const QString& folder)
        : FFolder(folder)
    {
        QFile config(Path("openssl.cnf"));
        if (config.open(QIODevice::WriteOnly))
            config.write("[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = unused\n"
                         "[ca_ext]\nbasicConstraints = critical,CA:TRUE\nkeyUsage = critical,keyCertSign,cRLSign\n"
                         "subjectKeyIdentifier = hash\n"
                         "[server_ext]\nbasicConstraints = CA:FALSE\nkeyUsage = critical,digitalSignature\n"
                         "extendedKeyUsage = serverAuth\nsubjectKeyIdentifier = hash\n"
                         "authorityKeyIdentifier = keyid\nsubjectAltName = $ENV::QUILLEX_TEST_SAN\n");
    }

    QString Path(const QString& name) const { return QDir(FFolder).filePath(name); }

    // A certificate authority of its own.
    bool MakeAuthority(const QString& name)
    {
        return Run({ "req", "-x509", "-config", Path("openssl.cnf"), "-extensions", "ca_ext", "-newkey", "ec",
                       "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", Path(name + ".key"), "-out",
                       Path(name + ".pem"), "-days", "2", "-subj", "/CN=Quillex Test " + name },
            "IP:127.0.0.1");
    }

    // A server certificate for the subject alternative names (e.g. "IP:127.0.0.1"), issued by the authority.
    bool MakeServer(const QString& name, const QString& authority, const QString& altNames)
    {
        return Run({ "req", "-new", "-config", Path("openssl.cnf"), "-newkey", "ec", "-pkeyopt",
                       "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", Path(name + ".key"), "-out",
                       Path(name + ".csr"), "-subj", "/CN=" + name },
                   altNames)
            && Run({ "x509", "-req", "-in", Path(name + ".csr"), "-CA", Path(authority + ".pem"), "-CAkey",
                       Path(authority + ".key"), "-set_serial", QString::number(++FSerial), "-days", "2", "-extfile",
                       Path("openssl.cnf"), "-extensions", "server_ext", "-out", Path(name + ".pem") },
                altNames);
    }

    QString Error() const { return FError; }

private:
    bool Run(const QStringList& arguments, const QString& altNames)
    {
        QProcess openssl;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUILLEX_TEST_SAN", altNames);
        openssl.setProcessEnvironment(env);
        openssl.start("openssl", arguments);
        if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit
            || openssl.exitCode() != 0) {
            FError = "openssl " + arguments.join(' ') + ": " + openssl.errorString() + " "
                + QString::fromLocal8Bit(openssl.readAllStandardError());
            return false;
        }
        return true;
    }

    QString FFolder;
    QString FError;
    int FSerial = 1000;
};

// A program file for the tests: a shell script that writes the note into
// "started" beside itself, with the version marker after its exit line, where
// the shell never reads.
inline QByteArray TestProgramBytes(const TVersionComponents& version, const QByteArray& note)
{
    return "#!/bin/sh\nprintf %s '" + note + "' > \"${0%/*}/started\"\nexit 0\n" + VersionMarkerBytes(version);
}

// The CRC file's content for the bytes: 8 upper-case hexadecimal digits.
inline QByteArray TestCrcText(const QByteArray& bytes)
{
    const uLong crc
        = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size()));
    return QByteArray::number(quint32(crc), 16).rightJustified(8, '0').toUpper();
}

// Whether the process exists and has not ended (a zombie has).
inline bool TestProcessRunning(qint64 pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close > 0 && close + 2 < text.size() && text[close + 2] != 'Z';
}

class TUpdateTestServer {
public:
    enum class TServe {
        Normal, // Content-Length and the whole body
        NoLength, // the whole body, its end shown by closing the connection
        Stall, // half the body, then silence
        Drop, // half the body, then the connection closes
        HugeLength, // 600 MiB announced, and sent for as long as the client reads
        // The body in pieces up to the cuts (default: quarters), 400 ms apart:
        // Qt reports progress at most every 100 ms.
        Paced,
        Trickle, // Content-Length and the body one byte every 200 ms
        Endless, // no Content-Length, and sent for as long as the client reads
    };

    TUpdateTestServer(const QString& certificateFile, const QString& keyFile)
    {
        FContext = new QObject;
        FContext->moveToThread(&FThread);
        FThread.start();
        QMetaObject::invokeMethod(
            FContext, [&] { Listen(certificateFile, keyFile); }, Qt::BlockingQueuedConnection);
    }

    ~TUpdateTestServer()
    {
        QMetaObject::invokeMethod(
            FContext, [this] { delete FServer; }, Qt::BlockingQueuedConnection);
        FThread.quit();
        FThread.wait();
        delete FContext;
    }

    bool Listening() const { return FPort != 0; }
    quint16 Port() const { return FPort; }
    QString BaseUrl() const { return QString("https://127.0.0.1:%1").arg(FPort); }

    // cuts: for Paced, the byte offsets where the pieces end.
    void Serve(const QString& path, const QByteArray& body, TServe mode = TServe::Normal, QList<qsizetype> cuts = {})
    {
        if (cuts.isEmpty())
            cuts = { body.size() / 4, body.size() / 2, body.size() * 3 / 4, body.size() };
        QMutexLocker locker(&FLock);
        FFiles[path] = { body, mode, cuts };
    }
    // The path answers 404 again.
    void Forget(const QString& path)
    {
        QMutexLocker locker(&FLock);
        FFiles.remove(path);
    }
    int Requests(const QString& path) const
    {
        QMutexLocker locker(&FLock);
        return FRequests.value(path);
    }
    qint64 BytesSent() const
    {
        QMutexLocker locker(&FLock);
        return FBytesSent;
    }

private:
    struct TFile {
        QByteArray Body;
        TServe Mode = TServe::Normal;
        QList<qsizetype> Cuts;
    };

    void Listen(const QString& certificateFile, const QString& keyFile)
    {
        const QList<QSslCertificate> certificates = QSslCertificate::fromPath(certificateFile);
        QFile key(keyFile);
        if (certificates.isEmpty() || !key.open(QIODevice::ReadOnly))
            return;
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificate(certificates.first());
        config.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec, QSsl::Pem));
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        FServer = new QSslServer(FContext);
        FServer->setSslConfiguration(config);
        QObject::connect(FServer, &QSslServer::pendingConnectionAvailable, FContext, [this] {
            while (QTcpSocket* socket = FServer->nextPendingConnection())
                Handle(static_cast<QSslSocket*>(socket));
        });
        if (FServer->listen(QHostAddress::LocalHost, 0))
            FPort = FServer->serverPort();
    }

    void Handle(QSslSocket* socket)
    {
        QObject::connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
        auto request = std::make_shared<QByteArray>();
        auto read = [this, socket, request] {
            if (request->contains("\r\n\r\n"))
                return;
            *request += socket->readAll();
            if (!request->contains("\r\n\r\n"))
                return;
            const QList<QByteArray> words = request->left(request->indexOf("\r\n")).split(' ');
            Respond(socket, words.size() >= 2 ? QString::fromLatin1(words[1]) : QString());
        };
        QObject::connect(socket, &QSslSocket::readyRead, socket, read);
        read();
    }

    void Count(qint64 bytes)
    {
        QMutexLocker locker(&FLock);
        FBytesSent += bytes;
    }

    void Respond(QSslSocket* socket, const QString& path)
    {
        TFile file;
        bool found = false;
        {
            QMutexLocker locker(&FLock);
            FRequests[path] += 1;
            found = FFiles.contains(path);
            file = FFiles.value(path);
        }
        if (!found) {
            socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found");
            socket->disconnectFromHost();
            return;
        }
        const QByteArray& body = file.Body;
        const qint64 announced = file.Mode == TServe::HugeLength ? qint64(600) * 1024 * 1024 : body.size();
        QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n";
        if (file.Mode != TServe::NoLength && file.Mode != TServe::Endless)
            head += "Content-Length: " + QByteArray::number(announced) + "\r\n";
        head += "\r\n";
        socket->write(head);
        switch (file.Mode) {
        case TServe::Normal:
        case TServe::NoLength:
            socket->write(body);
            Count(body.size());
            socket->disconnectFromHost();
            break;
        case TServe::Stall:
            socket->write(body.left(body.size() / 2));
            Count(body.size() / 2);
            break;
        case TServe::Drop:
            socket->write(body.left(body.size() / 2));
            Count(body.size() / 2);
            socket->disconnectFromHost();
            break;
        case TServe::HugeLength:
        case TServe::Endless: {
            // Sent in 1 MiB pieces whenever the last one is gone, as long as the client reads.
            auto sent = std::make_shared<qint64>(0);
            const qint64 end = file.Mode == TServe::Endless ? std::numeric_limits<qint64>::max() : announced;
            auto more = [this, socket, sent, end] {
                if (socket->bytesToWrite() > 0 || *sent >= end)
                    return;
                const QByteArray piece(qMin<qint64>(1024 * 1024, end - *sent), 'x');
                socket->write(piece);
                *sent += piece.size();
                Count(piece.size());
            };
            QObject::connect(socket, &QSslSocket::encryptedBytesWritten, socket, more);
            more();
            break;
        }
        case TServe::Trickle: {
            auto sent = std::make_shared<qsizetype>(0);
            auto* timer = new QTimer(socket);
            QObject::connect(timer, &QTimer::timeout, socket, [this, socket, sent, body] {
                if (*sent < body.size()) {
                    socket->write(body.mid((*sent)++, 1));
                    Count(1);
                }
            });
            timer->start(200);
            break;
        }
        case TServe::Paced: {
            qsizetype from = 0;
            for (qsizetype i = 0; i < file.Cuts.size(); ++i) {
                const QByteArray piece = body.mid(from, file.Cuts[i] - from);
                from = file.Cuts[i];
                const bool last = i + 1 == file.Cuts.size();
                QTimer::singleShot(400 * (i + 1), socket, [this, socket, piece, last] {
                    socket->write(piece);
                    Count(piece.size());
                    if (last)
                        socket->disconnectFromHost();
                });
            }
            break;
        }
        }
    }

    QThread FThread;
    QObject* FContext = nullptr;
    QSslServer* FServer = nullptr; // lives on FThread
    quint16 FPort = 0;
    mutable QMutex FLock;
    QHash<QString, TFile> FFiles; // under FLock
    QHash<QString, int> FRequests; // under FLock
    qint64 FBytesSent = 0; // under FLock
};
