// The update server's HTTPS client over QNetworkAccessManager, run on the
// calling thread with a local event loop.
#include "UpdateHttpClient.h"

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

    bool tooLong = false;
    auto refuse = [&] {
        tooLong = true;
        reply->abort();
    };
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, [&] {
        bool known = false;
        const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && length > maxBytes)
            refuse();
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, [&] {
        body += reply->readAll();
        if (body.size() > maxBytes)
            refuse();
    });
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, [&](qint64 received, qint64 total) {
        if (FProgressSink && !tooLong)
            FProgressSink(total, received);
    });
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // The program's exit interrupts a worker; the request ends at once.
    QTimer interruption;
    QObject::connect(&interruption, &QTimer::timeout, [&] {
        if (QThread::currentThread()->isInterruptionRequested())
            reply->abort();
    });
    interruption.start(100);
    if (!reply->isFinished())
        loop.exec();
    interruption.stop();
    if (tooLong)
        return false;
    if (reply->isOpen())
        body += reply->readAll();
    if (body.size() > maxBytes)
        return false;
    const QNetworkReply::NetworkError error = reply->error();
    const bool hasStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    return error == QNetworkReply::NoError || (hasStatus && IsHttpStatusError(error));
}
