#include "UnitFileTransfer.h"

#include "device/DeviceFailure.h"
#include "device/WireFormat.h"

#include <QCoreApplication>

bool RunTransferGuarded(const std::function<bool()>& fn, QString& responseMsg)
{
    try {
        return fn();
    } catch (const EQuillexError& e) {
        responseMsg = e.Message();
    } catch (const std::bad_alloc&) {
        responseMsg = QString::fromUtf8("Bellek yetersiz, aktarım yapılamadı");
    } catch (const std::exception& e) {
        responseMsg = QString::fromUtf8("Beklenmeyen hata: %1").arg(QString::fromLocal8Bit(e.what()));
    }
    SetDeviceFailure(EDeviceFailure::DeviceError);
    return false;
}

TTransferJob::TTransferJob(QObject* context)
    : FContext(context)
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TTransferJob::HandOver(const std::function<void()>& fn)
{
    if (!fn || !FContext)
        return;
    // Posted to the application object, which outlives every window; the
    // context is checked again on its own thread, where it is destroyed.
    const QPointer<QObject> context = FContext;
    QObject* receiver
        = context->thread() == QCoreApplication::instance()->thread() ? QCoreApplication::instance() : context.data();
    QMetaObject::invokeMethod(
        receiver,
        [context, fn] {
            if (context)
                fn();
        },
        Qt::BlockingQueuedConnection);
}

void TTransferJob::ReportProgress(qint32 percent, const TSendProgramProgressProc& onProgress)
{
    if (percent == FLastPercent)
        return;
    FLastPercent = percent;
    if (onProgress)
        HandOver([onProgress, percent] { onProgress(percent); });
}

void TSendProgramThread::Create(QObject* context, const QString& ipAddress, quint16 port, const QByteArray& content,
    TSendProgramCompleteProc onComplete, TSendProgramProgressProc onProgress, qint64 maxRawSize,
    const QList<TStartFromCandidate>& toolChangeCandidates, TNotifyProc onLargeUpload, bool legacyDevice,
    TEraseProgressProc onEraseProgress, bool verifyAfterUpload, TNotifyProc onVerifyStart)
{
    auto* job = new TSendProgramThread(context);
    job->FIPAddress = ipAddress;
    job->FPort = port;
    job->FContent = content;
    job->FOnComplete = std::move(onComplete);
    job->FOnProgress = std::move(onProgress);
    job->FMaxRawSize = maxRawSize;
    job->FToolChangeCandidates = toolChangeCandidates;
    job->FOnLargeUpload = std::move(onLargeUpload);
    job->FLegacyDevice = legacyDevice;
    job->FOnEraseProgress = std::move(onEraseProgress);
    job->FVerifyAfterUpload = verifyAfterUpload;
    job->FOnVerifyStart = std::move(onVerifyStart);
    job->start();
}

void TSendProgramThread::run()
{
    FResponseMsg.clear();
    const TSendProgramProgressProc progress = [this](qint32 percent) { ReportProgress(percent, FOnProgress); };
    const TNotifyProc largeUpload = [this] { HandOver(FOnLargeUpload); };
    const TEraseProgressProc erase = [this](qint64 done, qint64 total) {
        if (FOnEraseProgress)
            HandOver([this, done, total] { FOnEraseProgress(done, total); });
    };
    FSuccess = RunTransferGuarded(
        [&] {
            return SendProgramToDevice(FIPAddress, FPort, FContent, FResponseMsg, progress, FMaxRawSize,
                FToolChangeCandidates, largeUpload, FLegacyDevice, erase);
        },
        FResponseMsg);
    if (FSuccess && FVerifyAfterUpload) {
        RestartProgress();
        HandOver(FOnVerifyStart);
        QString failure;
        const bool ran = RunTransferGuarded(
            [&] {
                FVerification = VerifyStoredProgram(FIPAddress, DownloadPort, FContent, FMaxRawSize, progress);
                return true;
            },
            failure);
        if (!ran)
            FVerification = VerificationFailed(failure);
    }
    if (FOnComplete)
        HandOver([this] { FOnComplete(FSuccess, FResponseMsg, FVerification); });
}

void TReceiveProgramThread::Create(QObject* context, const QString& ipAddress, quint16 port,
    TReceiveProgramCompleteProc onComplete, TSendProgramProgressProc onProgress, qint64 maxFileSize)
{
    auto* job = new TReceiveProgramThread(context);
    job->FIPAddress = ipAddress;
    job->FPort = port;
    job->FMaxFileSize = maxFileSize;
    job->FOnComplete = std::move(onComplete);
    job->FOnProgress = std::move(onProgress);
    job->start();
}

void TReceiveProgramThread::run()
{
    FContent.clear();
    FResponseMsg.clear();
    const TSendProgramProgressProc progress = [this](qint32 percent) { ReportProgress(percent, FOnProgress); };
    FSuccess = RunTransferGuarded(
        [&] {
            return ReceiveProgramFromDevice(FIPAddress, FPort, FContent, FIsRaw, FResponseMsg, progress, FMaxFileSize);
        },
        FResponseMsg);
    if (!FSuccess)
        FContent.clear();
    if (FOnComplete)
        HandOver([this] { FOnComplete(FSuccess, FContent, FIsRaw, FResponseMsg); });
}
