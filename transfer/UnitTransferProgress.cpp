#include "UnitTransferProgress.h"

#include "device/JsonText.h"
#include "device/Ticks.h"
#include "device/UnitDeviceCommand.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

QString VerifyingCaption()
{
    return QString::fromUtf8("Doğrulanıyor");
}

} // namespace

TTransferProgress::TTransferProgress(
    TTransferProgressView& view, const QString& title, std::function<quint32()> tickSource)
    : FView(view)
    , FTickSource(std::move(tickSource))
{
    FView.SetTitle(title);
    FView.SetStatus({});
    FView.SetBar(0);
    FView.SetPanelVisible(true);
}

TTransferProgress::~TTransferProgress()
{
    FView.SetPanelVisible(false);
}

quint32 TTransferProgress::Now() const
{
    return FTickSource ? FTickSource() : GetTickCount32();
}

void TTransferProgress::UpdateProgress(int percent)
{
    if (FStatusProvider)
        return;
    if (FVerifying) {
        ShowStageProgress(VerifyingCaption(), qBound(0, percent, 100), 100);
        return;
    }
    percent = qBound(0, percent, 100);
    FView.SetBar(percent);
    FView.SetStatus(percent == 100 ? QString::fromUtf8("100% - işlem tamamlanıyor, lütfen bekleyin...")
                                   : QString("%1%").arg(percent));
}

void TTransferProgress::UseDeviceProgress(std::function<QString()> statusProvider)
{
    FStatusProvider = std::move(statusProvider);
    FView.SetStatus(QString::fromUtf8("Cihaz hazırlanıyor, lütfen bekleyin..."));
    FView.SetBarMarquee();
    if (!FPollTimer) {
        FPollTimer = new QTimer(this);
        FPollTimer->setInterval(PollIntervalMs);
        connect(FPollTimer, &QTimer::timeout, this, &TTransferProgress::PollDeviceStatus);
        FPollTimer->start();
    }
}

void TTransferProgress::BeginVerification()
{
    FStatusProvider = nullptr;
    delete FPollTimer;
    FPollTimer = nullptr;
    FVerifying = true;
    FView.SetBar(0);
    FView.SetStatus(VerifyingCaption());
}

void TTransferProgress::UpdateEraseProgress(qint64 done, qint64 total)
{
    FLastSocketEraseTicks = Now();
    ShowStageProgress(QStringLiteral("Flash siliniyor"), done, total);
}

void TTransferProgress::PollDeviceStatus()
{
    if (!FStatusProvider)
        return;
    const QString text = FStatusProvider();
    if (text.isEmpty())
        return;
    QJsonObject status;
    if (!ParseJsonObject(text, status))
        return;
    if (status.contains("erasing")) {
        // Erase progress from the connection is fresher and wins for a while.
        if (FLastSocketEraseTicks != 0 && TicksSince(FLastSocketEraseTicks, Now()) <= SocketErasePriorityMs)
            return;
        ShowStageProgress(QStringLiteral("Flash siliniyor"), JsonInt64OrDefault(status, "erase_bytes", 0),
            JsonInt64OrDefault(status, "erase_total", 0));
        return;
    }
    if (JsonStrOrDefault(status, "xfer_status", "idle") == u"receive")
        ShowStageProgress(QStringLiteral("Dosya transferi"), JsonInt64OrDefault(status, "xfer_bytes", 0),
            JsonInt64OrDefault(status, "xfer_total", 0));
}

void TTransferProgress::ShowStageProgress(const QString& caption, qint64 done, qint64 total)
{
    if (total <= 0) {
        FView.SetBarMarquee();
        FView.SetStatus(caption);
        return;
    }
    const double percent = qMin(100.0, double(done) / double(total) * 100.0);
    FView.SetBar(int(std::nearbyint(percent)));
    FView.SetStatus(QString("%1 (%%2)").arg(caption).arg(percent, 0, 'f', 0));
}
