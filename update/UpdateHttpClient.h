#pragma once
// HTTPS GET for the self-update: the server's certificate is verified against
// the system's certificate authorities (plus one named for tests), plain http
// is refused, a stalled transfer ends after the time-out, and a body longer
// than the caller's bound is refused before it fills memory.
#include <QByteArray>
#include <QSslConfiguration>
#include <QString>

#include <functional>
#include <memory>

class QNetworkAccessManager;

struct TUpdateHttpOptions {
    QString BaseUrl; // "https://host[:port][/folder]"
    QString CaFile; // one more trusted authority (PEM); empty: the system's only
    int TimeoutMs = 15000; // connection and response
};

// Called with the announced content length (-1 when unknown) and the bytes read so far.
using TUpdateProgressSink = std::function<void(qint64 contentLength, qint64 bytesRead)>;

class TUpdateHttpClient {
public:
    explicit TUpdateHttpClient(TUpdateHttpOptions options);
    ~TUpdateHttpClient();
    TUpdateHttpClient(const TUpdateHttpClient&) = delete;
    TUpdateHttpClient& operator=(const TUpdateHttpClient&) = delete;

    void SetProgressSink(TUpdateProgressSink sink) { FProgressSink = std::move(sink); }

    // GET base + path into body. False on a refused address, a failed connection
    // or verification, a time-out, an interrupted thread or a body above maxBytes.
    // The HTTP status is not examined: an error page is a body like any other.
    bool Get(const QString& path, qint64 maxBytes, QByteArray& body);

private:
    TUpdateHttpOptions FOptions;
    std::unique_ptr<QNetworkAccessManager> FManager;
    QSslConfiguration FSsl;
    bool FSslReady = false;
    TUpdateProgressSink FProgressSink;
};
