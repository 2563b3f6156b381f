#pragma once
// HTTPS GET for the self-update: the server's certificate is verified against
// the system's certificate authorities (plus one named for tests), plain http
// is refused, a stalled transfer ends after the time-out, a slow one at a
// deadline that grows with its length, and a body longer than the caller's
// bound is refused the moment it passes it. Bodies reach the caller in pieces
// through a bounded read buffer, so a program file never sits whole in memory.
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

// The whole request ends at floor + length ÷ rate, the length being the
// announced one or, without one, what has arrived so far: a body that trickles
// cannot hold the download open for ever.
inline constexpr int UpdateDeadlineFloorTimeouts = 4; // × TimeoutMs
inline constexpr qint64 UpdateMinimumBytesPerSecond = 256 * 1024;

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
    // The same, each piece of the body handed to sink as it arrives; false also
    // when the sink refuses a piece.
    using TBodySink = std::function<bool(const QByteArray& piece)>;
    bool Get(const QString& path, qint64 maxBytes, const TBodySink& sink);

private:
    TUpdateHttpOptions FOptions;
    std::unique_ptr<QNetworkAccessManager> FManager;
    QSslConfiguration FSsl;
    bool FSslReady = false;
    TUpdateProgressSink FProgressSink;
};
