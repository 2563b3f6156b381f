#include "TransferPanel.h"

#include "WindowLook.h"
#include "operations/Operation.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>

TTransferPanel::TTransferPanel(QWidget* panel, QLabel* title, QLabel* status, QProgressBar* bar, QLabel* verify,
    std::function<quint32()> tickSource, QObject* parent)
    : QObject(parent)
    , FPanel(panel)
    , FTitle(title)
    , FStatus(status)
    , FBar(bar)
    , FVerify(verify)
    , FTickSource(std::move(tickSource))
{
    // On the status panel's Base background a label would draw with the Text
    // role; pinned to WindowText, the colours set on it are the ones drawn.
    FTitle->setForegroundRole(QPalette::WindowText);
    FStatus->setForegroundRole(QPalette::WindowText);
    SetStatusColor(GreyText(FStatus->palette()));
    // The read-back's line under the success text, always in the success green.
    FVerify->setForegroundRole(QPalette::WindowText);
    QPalette verified = FVerify->palette();
    verified.setColor(QPalette::WindowText, SuccessGreen);
    FVerify->setPalette(verified);
}

TTransferPanel::~TTransferPanel() = default;

TTransferProgress& TTransferPanel::Start(const QString& title)
{
    FProgress.reset(); // the last one's panel state goes first
    FProgress = std::make_unique<TTransferProgress>(static_cast<TTransferProgressView&>(*this), title, FTickSource);
    FProgress->UpdateProgress(0);
    FVerify->hide();
    return *FProgress;
}

void TTransferPanel::End()
{
    FProgress.reset();
}

std::shared_ptr<TOperationProgress> TTransferPanel::OperationProgress(std::function<QString()> deviceStatus)
{
    // Called on the window's thread while the window, and so the panel, lives.
    auto progress = std::make_shared<TProgressCallbacks>();
    progress->OnPercent = [this](qint32 percent) {
        if (FProgress)
            FProgress->UpdateProgress(percent);
    };
    progress->OnLargeUpload = [this, deviceStatus = std::move(deviceStatus)] {
        if (FProgress && deviceStatus)
            FProgress->UseDeviceProgress(deviceStatus);
    };
    progress->OnErase = [this](qint64 done, qint64 total) {
        if (FProgress)
            FProgress->UpdateEraseProgress(done, total);
    };
    progress->OnVerifyStarted = [this] {
        if (FProgress)
            FProgress->BeginVerification();
    };
    return progress;
}

void TTransferPanel::ShowTransferSuccess(const QString& title)
{
    if (!FTransferDoneTimer) {
        // A repeating timer, stopped by its own first tick: StopTransferDoneTimer
        // acts only while it runs.
        FTransferDoneTimer = new QTimer(this);
        FTransferDoneTimer->setInterval(4000);
        connect(FTransferDoneTimer, &QTimer::timeout, this, &TTransferPanel::TransferDoneTimerTimer);
    }
    if (!FTransferDoneTimer->isActive())
        FTransferStatusColor = StatusColor();
    FTitle->setText(title);
    FStatus->setText(MsgDone());
    SetStatusColor(SuccessGreen);
    FBar->setRange(0, 100);
    FBar->setValue(100);
    FVerify->hide();
    FPanel->show();
    FTransferDoneTimer->start();
}

void TTransferPanel::ShowTransferSuccess(const QString& title, const QString& verifiedLine)
{
    ShowTransferSuccess(title);
    FVerify->setText(verifiedLine);
    FVerify->show();
}

void TTransferPanel::StopTransferDoneTimer(bool hidePanel)
{
    if (!SuccessShown())
        return;
    FTransferDoneTimer->stop();
    SetStatusColor(FTransferStatusColor);
    if (hidePanel) {
        FPanel->hide();
        FVerify->hide();
    }
}

bool TTransferPanel::SuccessShown() const
{
    return FTransferDoneTimer && FTransferDoneTimer->isActive();
}

void TTransferPanel::SetTitle(const QString& title)
{
    FTitle->setText(title);
}

void TTransferPanel::SetStatus(const QString& text)
{
    FStatus->setText(text);
}

void TTransferPanel::SetBar(int position)
{
    FBar->setRange(0, 100);
    FBar->setValue(position);
}

void TTransferPanel::SetBarMarquee()
{
    FBar->setRange(0, 0);
}

void TTransferPanel::SetPanelVisible(bool visible)
{
    FPanel->setVisible(visible);
}

void TTransferPanel::SetStatusColor(const QColor& color)
{
    QPalette palette = FStatus->palette();
    palette.setColor(FStatus->foregroundRole(), color);
    FStatus->setPalette(palette);
}

QColor TTransferPanel::StatusColor() const
{
    return FStatus->palette().color(FStatus->foregroundRole());
}
