// CSaveJob: one save of a movie project as a phone file, without windows and
// without printing. It checks the target (model, output file, suite folder),
// loads the three tracks, runs the steps of CMovieSave (render, sound,
// sampling, encoding), reports the step, the share done and the time left,
// can be cancelled, and removes what it leaves behind: the intermediates in
// its private work folder unless told to keep them, and a new output that
// did not come out whole. A file that was there before is never removed.
//
// The editor's save dialog and cw-save drive the same job:
//   - Start() loads on the caller's thread and runs the steps on a worker
//     thread; Progress() is polled from any thread (a dialog's timer) until
//     IsDone(), then Finish() gives the result.
//   - RunWithProgress() does that on the caller's thread, calling back with
//     the progress every interval.
//   - Run() runs the steps on the caller's thread; another thread may poll
//     Progress() or Cancel().
//   - Prepare() checks and loads on the caller's thread, RunPrepared() runs
//     the steps on a thread of the caller's choosing (the editor's
//     background worker), then Finish() on the first thread.
// Progress and cancellation go through CMovieWorkState, which the editor's
// progress dialog polls too; messages the save shows go through the dialog
// service, as in the editor.
#pragma once

#include "export/save_pipeline.h"
#include "platform/private_folder.h"

#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

// What to save.
struct SaveRequest {
    CProjectLists project; // the three tracks, laid out
    QString model; // the phone model; empty: ORVT_DEFAULT_MODELNAME
    std::optional<int> effect; // the colour effect (0 to 18); unset: the current one
    QString outputPath; // the phone file; its extension must be the model's
    // Keep MS_AVI_VIDEO.avi and MS_AVI_AUDIO.wav in the work folder after the
    // save (the editor hands them on); otherwise they are removed whatever
    // the result.
    bool keepWorkFiles = false;
    // Read the saved file's length for the result (fileSeconds); the editor,
    // which finishes on its UI thread, does not.
    bool probeOutput = true;
};

struct SaveJobProgress {
    SaveStep step = SaveStep::Render; // the step running (Render until one begins)
    double share = 0; // of this step done, 0 to 1
    std::int64_t elapsedMs = 0; // since the job started
    std::int64_t stepElapsedMs = 0; // since this step began
    std::optional<double> secondsLeft; // in this step, once enough of it is done to tell
};

struct SaveStepTime {
    SaveStep step;
    std::int64_t ms;
};

struct SaveJobResult {
    enum class Status { Saved, Cancelled, Refused, Failed };
    Status status = Status::Failed;
    QString message; // why it was refused or failed; empty otherwise
    QString outputPath; // the phone file, absolute
    std::int64_t bytes = 0; // of the saved file
    double fileSeconds = 0; // the saved file's longest stream (when probed)
    std::int64_t movieMs = 0; // length of the loaded movie
    std::int64_t elapsedMs = 0; // from the start of the steps to their end
    std::vector<SaveStepTime> steps; // each step that began, in order, with its time
};

// Length of a media file's longest stream in seconds; 0 when it cannot be read.
double MediaFileSeconds(const QString& path);

// A clip of the media file at path from startMs, lengthMs long or to the end
// of the file (its length rounded down to whole seconds). Empty, with the
// reason in *why, when the file is shorter than that or no reader opens it.
// A missing file counts as 0 long (it is refused on loading).
std::optional<CMediaFile> FileClip(
    const QString& path, std::int32_t kind, std::uint32_t startMs, std::optional<std::uint32_t> lengthMs, QString* why);

// Message texts from the suite's English table (suiteFolder/tables/text_EN.ini,
// else the bundled suite's), for a save without a host. One table per
// process: the last call's.
ResourceLookup SuiteTextLookup(const QString& suiteFolder);

class CSaveJob {
public:
    // env.suiteFolder holds the encoder libraries; without env.frameCache
    // the job uses its own, without env.workFolder a private folder of its
    // own under the suite's work folder base (platform/private_folder.h).
    CSaveJob(SaveEnvironment env, SaveRequest request);
    // A job still running is cancelled and waited for.
    ~CSaveJob();
    CSaveJob(const CSaveJob&) = delete;
    CSaveJob& operator=(const CSaveJob&) = delete;

    // Why the model, output file, encoder library or work folder cannot be
    // saved with; empty when they can. Start and Run check this first, before
    // any work: an output that is one of the project's files, or too long a
    // path, is refused here (OutputRefusal), and an encoder library that may
    // not be loaded with "Invalid Setting. Please reinstall" and the reason.
    static QString CheckTarget(const SaveRequest& request, const SaveEnvironment& env);
    // Time left in a step from the share done after elapsedMs; none until 2 %
    // is done.
    static std::optional<double> EstimateSecondsLeft(double share, std::int64_t elapsedMs);
    // Asks the running save to stop (it ends Cancelled): sets the process-wide
    // cancel flag of CMovieWorkState, which a progress dialog's Cancel sets
    // too. Only stores a flag, so a signal handler may call it.
    static void Cancel();

    // A job saves once, through one of Start, RunWithProgress or Run.
    //
    // Checks, loads the project on this thread and starts the steps on a
    // worker thread. False when nothing was started; Finish() then tells why.
    bool Start();
    // Whether the worker has ended (true too when it never started).
    bool IsDone() const;
    // The step running, its share done and the time left in it; from any
    // thread while the steps run.
    SaveJobProgress Progress() const;
    // Waits for the worker, removes what the save leaves behind (the output
    // unless saved, the work files unless kept) and gives the result; once.
    SaveJobResult Finish();

    // Start without the thread: checks and loads on this thread; false when
    // nothing is to run (Finish() then tells why).
    bool Prepare();
    // The steps of a prepared job, on the calling thread (once).
    void RunPrepared();

    // Start, then onProgress on this thread every intervalMs until done.
    SaveJobResult RunWithProgress(const std::function<void(const SaveJobProgress&)>& onProgress, int intervalMs = 10);
    // Checks, loads and runs every step on this thread.
    SaveJobResult Run();

    // The save itself (a progress target, its paths).
    CMovieSave& save() { return save_; }
    // Told, on the thread running the steps, as each step begins (after the
    // job has noted it); set before the job runs.
    void setStepObserver(std::function<void(SaveStep)> observer) { stepObserver_ = std::move(observer); }

private:
    bool prepare();
    void runSteps();
    std::int64_t sinceStartMs() const;

    SaveRequest request_;
    FrameCache ownCache_;
    std::unique_ptr<CPrivateFolder> ownFolder_;
    std::function<void(SaveStep)> stepObserver_;
    CMovieSave save_;
    std::optional<SaveJobResult> early_; // refused or cancelled before any step
    std::thread worker_;
    std::atomic<bool> done_ { true };
    bool used_ = false; // Start or Run was called
    bool ran_ = false; // the steps were started
    bool finished_ = false;
    bool outputExisted_ = false; // a file of the output's name was there before the save
    std::chrono::steady_clock::time_point start_;
    std::atomic<int> step_ { -1 };
    std::array<std::atomic<std::int64_t>, kSaveStepCount> stepStartMs_ {};
    std::atomic<std::int64_t> endMs_ { 0 };
};
