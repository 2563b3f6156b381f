#pragma once
// An operation run for a window: on a worker thread of its own, its progress
// handed to the window's thread (each percentage once; the worker waits for
// each hand-over), its outcome delivered there when it ends. Once the window is gone
// nothing is delivered; the job deletes itself when done.
#include "Operation.h"

#include "transfer/UnitFileTransfer.h"

#include <functional>
#include <memory>
#include <optional>

class TOperationJob : public TTransferJob {
    Q_OBJECT
public:
    using TWork = std::function<void(TOperationProgress& progress)>;
    // progress is called on the context's thread; done there after work returned.
    static void Start(
        QObject* context, std::shared_ptr<TOperationProgress> progress, TWork work, std::function<void()> done);

protected:
    void run() override;

private:
    using TTransferJob::TTransferJob;
    std::shared_ptr<TOperationProgress> FProgress;
    TWork FWork;
    std::function<void()> FDone;
};

// Runs work (an operation returning its outcome) as a job and hands the outcome to done.
template <typename TOutcome>
void RunOperationJob(QObject* context, std::shared_ptr<TOperationProgress> progress,
    std::function<TOutcome(TOperationProgress&)> work, std::function<void(const TOutcome&)> done)
{
    auto result = std::make_shared<std::optional<TOutcome>>();
    TOperationJob::Start(
        context, std::move(progress),
        [work = std::move(work), result](TOperationProgress& p) { result->emplace(work(p)); },
        [done = std::move(done), result] {
            if (*result)
                done(**result);
        });
}
