// The update server's HTTPS client over QNetworkAccessManager, run on the
// calling thread with a local event loop.
#include "UpdateHttpClient.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QThread>
#include <QTimer>

namespace {

// Replies whose error only reports the HTTP status: their body counts.
bool IsHttpStatusError(QNetworkReply::NetworkError error)
{
    return (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError)
        || (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

// Bytes held by the reply between two reads.
constexpr qint64 ReadBufferBytes = 256 * 1024;

} // namespace

TUpdateHttpClient::TUpdateHttpClient(TUpdateHttpOptions options)
    : FOptions(std::move(options))
    , FManager(std::make_unique<QNetworkAccessManager>())
{
    FSsl = QSslConfiguration::defaultConfiguration();
    FSsl.setPeerVerifyMode(QSslSocket::VerifyPeer);
    QList<QSslCertificate> authorities = QSslConfiguration::systemCaCertificates();
    FSslReady = true;
    if (!FOptions.CaFile.isEmpty()) {
        // A named authority that cannot be read fails every request rather than
        // quietly verifying against fewer authorities than the caller meant.
        const QList<QSslCertificate> extra = QSslCertificate::fromPath(FOptions.CaFile, QSsl::Pem);
        FSslReady = !extra.isEmpty();
        authorities += extra;
    }
    FSsl.setCaCertificates(authorities);
}

TUpdateHttpClient::~TUpdateHttpClient() = default;

bool TUpdateHttpClient::Get(const QString& path, qint64 maxBytes, QByteArray& body)
{
    body.clear();
    return Get(path, maxBytes, [&body](const QByteArray& piece) {
        body += piece;
        return true;
    });
}

bool TUpdateHttpClient::Get(const QString& path, qint64 maxBytes, const TBodySink& sink)
{
    QString base = FOptions.BaseUrl;
    while (base.endsWith('/'))
        base.chop(1);
    const QUrl url(base + path, QUrl::StrictMode);
    if (!FSslReady || !url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty())
        return false;

    QNetworkRequest request(url);
    request.setSslConfiguration(FSsl);
    request.setTransferTimeout(FOptions.TimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    std::unique_ptr<QNetworkReply> reply(FManager->get(request));
    reply->setReadBufferSize(ReadBufferBytes);

    bool refused = false;
    qint64 announced = -1;
    qint64 received = 0;
    auto refuse = [&] {
        refused = true;
        reply->abort();
    };
    auto take = [&] {
        while (!refused && reply->bytesAvailable() > 0) {
            const QByteArray piece = reply->read(ReadBufferBytes);
            received += piece.size();
            if (received > maxBytes || !sink(piece))
                refuse();
        }
    };
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, [&] {
        bool known = false;
        const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known)
            announced = length;
        if (known && length > maxBytes)
            refuse();
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, take);
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, [&](qint64 bytes, qint64 total) {
        if (FProgressSink && !refused)
            FProgressSink(total, bytes);
    });
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // The program's exit interrupts a worker, and the deadline ends a slow
    // body; either ends the request at once.
    QElapsedTimer elapsed;
    elapsed.start();
    const qint64 floorMs = qint64(UpdateDeadlineFloorTimeouts) * FOptions.TimeoutMs;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const qint64 length = qMax(announced, received);
        const qint64 deadlineMs = floorMs + length * 1000 / UpdateMinimumBytesPerSecond;
        if (QThread::currentThread()->isInterruptionRequested() || elapsed.elapsed() > deadlineMs)
            refuse();
    });
    watch.start(100);
    if (!reply->isFinished())
        loop.exec();
    watch.stop();
    if (!refused && reply->isOpen())
        take();
    if (refused)
        return false;
    const QNetworkReply::NetworkError error = reply->error();
    const bool hasStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    return error == QNetworkReply::NoError || (hasStatus && IsHttpStatusError(error));
}
