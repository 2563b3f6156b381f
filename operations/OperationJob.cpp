#include "OperationJob.h"

void TOperationJob::Start(
    QObject* context, std::shared_ptr<TOperationProgress> progress, TWork work, std::function<void()> done)
{
    auto* job = new TOperationJob(context);
    job->FProgress = progress ? std::move(progress) : std::make_shared<TOperationProgress>();
    job->FWork = std::move(work);
    job->FDone = std::move(done);
    job->start();
}

void TOperationJob::run()
{
    const std::shared_ptr<TOperationProgress> sink = FProgress;
    TProgressCallbacks relay; // the operation's side: each call goes to the window's thread
    relay.OnPercent = [this, sink](qint32 percent) { ReportProgress(percent, [sink](qint32 p) { sink->Percent(p); }); };
    relay.OnErase
        = [this, sink](qint64 done, qint64 total) { HandOver([sink, done, total] { sink->Erase(done, total); }); };
    relay.OnLargeUpload = [this, sink] { HandOver([sink] { sink->LargeUpload(); }); };
    relay.OnVerifyStarted = [this, sink] {
        RestartProgress(); // the read-back's percentages start afresh
        HandOver([sink] { sink->VerifyStarted(); });
    };
    FWork(relay);
    HandOver(FDone);
}
