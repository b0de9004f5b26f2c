#include "skin/work_dialog_run.h"

#include "engine/work_state.h"
#include "platform/dialog_service.h"
#include "platform/messages.h"

#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <memory>

namespace {

// Lives for one run: posts the job when the dialog first shows and closes
// the dialog when the job's end is delivered. The worker drops that delivery
// once this object is gone, so a late end never reaches a later run.
class WorkRun : public QObject {
public:
    WorkRun(CBackgroundWorker& worker, QDialog& dialog, std::uint32_t closeMessage,
        std::function<void(const CBackgroundWorker::CancelFlag&)> job)
        : worker_(worker)
        , dialog_(&dialog)
        , closeMessage_(closeMessage)
        , job_(std::move(job))
        , lane_(QStringLiteral("work dialog %1").arg(++runs_))
    {
        dialog.installEventFilter(this);
    }

    bool started() const { return posted_; }
    bool ended() const { return ended_->load(std::memory_order_acquire); }
    void cancel()
    {
        worker_.Cancel(lane_);
        CMovieWorkState::SetCancel(1);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched == dialog_ && e->type() == QEvent::Show && !shown_) {
            shown_ = true;
            // From the event loop, not from inside show(): the run's loop is
            // running before the job can end it.
            QTimer::singleShot(0, this, [this] { post(); });
        }
        return false;
    }

private:
    void post()
    {
        posted_ = true;
        worker_.Post<bool>(
            this, lane_,
            [job = std::move(job_), ended = ended_](const CBackgroundWorker::CancelFlag& cancel) {
                job(cancel);
                ended->store(true, std::memory_order_release);
                return true;
            },
            [this](bool) { SendMessage(dialog_, closeMessage_); });
    }

    static inline int runs_ = 0;
    CBackgroundWorker& worker_;
    QPointer<QDialog> dialog_;
    std::uint32_t closeMessage_;
    std::function<void(const CBackgroundWorker::CancelFlag&)> job_;
    QString lane_;
    bool shown_ = false;
    bool posted_ = false;
    std::shared_ptr<std::atomic<bool>> ended_ = std::make_shared<std::atomic<bool>>(false);
};

} // namespace

WorkRunResult RunWorkBesideDialog(CBackgroundWorker& worker, QDialog& dialog, std::uint32_t closeMessage,
    std::function<void(const CBackgroundWorker::CancelFlag&)> job)
{
    WorkRun run(worker, dialog, closeMessage, std::move(job));
    WorkRunResult r;
    r.dialogResult = Dialogs().runModal(&dialog);
    r.jobStarted = run.started();
    r.jobEnded = run.ended();
    if (r.jobStarted && !r.jobEnded)
        run.cancel();
    return r;
}
