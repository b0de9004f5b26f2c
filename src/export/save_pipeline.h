// CMovieSave: the PC save of the edited movie, without windows. It loads the
// three tracks into the preview's timeline, renders the movie to an AVI and
// its sound to an 8 kHz mono WAV in the run's private work folder, samples 176 x 144 I420
// frames every 0.1 s into the frame cache, reads the sound into memory, and
// drives the phone-format encoder through pull callbacks with the encoder
// numbers of the phone model.
//
// CSaveJob (export/save_job.h) runs one for the editor's save dialog and for
// cw-save. Progress and cancellation go through CMovieWorkState.
#pragma once

#include "config/resources.h"
#include "engine/frame_cache.h"
#include "export/save_formats.h"
#include "platform/dialog_service.h"
#include "platform/hresult.h"
#include "project/media_file.h"
#include "project/movie_timeline.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The main frame's results of the last save.
struct SaveResults {
    QString lastSavedPath;
    bool lastSaveSucceeded = false;
    bool saveAttempted = true;
};

// What a save uses of the editor around it.
struct SaveEnvironment {
    QString suiteFolder; // "FOLDER": holds the encoder libraries
    // The run's private folder (platform/private_folder.h: the editor
    // instance's or the cw-save run's): every intermediate of the save lives
    // here, never in "<FOLDER>/Temp" itself nor beside the output, so two
    // saves at once share no file.
    QString workFolder;
    FrameCache* frameCache = nullptr; // the main frame's frame cache
    SaveResults* results = nullptr; // the main frame's save results
    QObject* mainFrame = nullptr; // told 0x5501 when a clip's file is missing
    ResourceLookup lookup; // texts of the messages
    QWidget* dialogOwner = nullptr;
    // The timelines the save loads and renders: the movie, and the sound of
    // the rendered video. Unset, the save uses timelines of its own; the
    // editor passes its movie view's, so one timeline serves preview and save.
    CMovieTimeline* movieTimeline = nullptr;
    CMovieTimeline* soundTimeline = nullptr;
    // Called on the thread running the steps: suspendView(true) before frame
    // sampling and suspendView(false) after it; stopView when a cancel ends
    // the save during or after sampling. Either may be unset.
    std::function<void(bool)> suspendView;
    std::function<void()> stopView;
};

// Three lists of clip records held by value.
class CProjectLists : public CTimelineProject {
public:
    CMediaFileList tracks[kTrackCount];
    const CMediaFileList& track(int index) const override { return tracks[index]; }
    // Lays every track's clips back to back from 0 (timeline starts).
    void Layout();
};

// Where the sample data of a RIFF WAVE image start: after the first "data"
// tag and its 32-bit little-endian length, which becomes *length. Without
// one, *length is 0 and the image start is returned.
const std::uint8_t* FindWavData(const std::uint8_t* image, std::uint32_t* length);

// Why outputPath cannot be written by a save that reads inputs and works in
// workFolder; empty when it can. Refused: no work folder; an output path
// that does not fit the encoder block (520 bytes of UTF-8 with its end) or a
// work folder too long for the block's scratch names; an output that is one
// of the inputs (same device and inode), which a failed save would cost.
QString OutputRefusal(const QString& outputPath, const QStringList& inputs, const QString& workFolder);

// Bytes the intermediates of a movie of durationMs need in the work folder
// (the AVI, the WAV, the sampled frames and the encoder's scratch files), and
// why folder lacks them (empty when it has room or cannot be asked).
std::int64_t WorkBytesNeeded(std::int64_t durationMs);
QString FreeSpaceRefusal(const QString& folder, std::int64_t bytesNeeded);

// The steps of a save, in the order they run.
enum class SaveStep { Render, Sound, Sampling, Encoding };
inline constexpr int kSaveStepCount = 4;

class CMovieSave {
public:
    enum class Outcome { Saved, Cancelled, Failed };

    static constexpr int kFrameWidth = 176;
    static constexpr int kFrameHeight = 144;
    static constexpr const char* kVideoAviName = "MS_AVI_VIDEO.avi";
    static constexpr const char* kAudioWavName = "MS_AVI_AUDIO.wav";

    explicit CMovieSave(SaveEnvironment env);
    ~CMovieSave();
    CMovieSave(const CMovieSave&) = delete;
    CMovieSave& operator=(const CMovieSave&) = delete;

    SaveEnvironment& environment() { return env_; }

    // Builds the preview timeline from the project: refuses an empty project
    // (no message), one without video ("NOT_SELCT_VIDEO") and one with a
    // clip the timeline does not take (a message names it); sound clips are
    // cut at the end of the video track or dropped after it.
    bool LoadProjectIntoPreview(const CTimelineProject& project);
    // False, after "NO_FILE" and message 0x5501 to the main frame, when no
    // file of that name exists.
    bool CheckSourceExists(const QString& path);
    // Length of the loaded movie in ms (0 when empty).
    std::int64_t DurationMs() const;

    // The start of a save request: results marked attempted, work state and
    // save buffers cleared. EndSave clears them again afterwards.
    void BeginSave();
    void EndSave();

    // The part of a PC save after the file dialog: chosenPath is the file the
    // user picked. An output OutputRefusal refuses is shown and gives Failed
    // before any work (the editor then asks again). Otherwise prepares the
    // paths, runs the worker steps on this thread, then sets the save
    // results. A progress target, when set, is posted 0x464 when the worker
    // ends.
    Outcome Save(const QString& chosenPath);
    // OutputRefusal for chosenPath and the loaded project's files.
    QString CheckOutput(const QString& chosenPath) const;
    // Steps of Save, for a caller that runs the worker on its own thread.
    void PrepareRun(const QString& chosenPath);
    int SaveWorker();
    Outcome FinishRun();
    void setProgressTarget(QObject* target) { progressTarget_ = target; }
    // Told, on the thread running SaveWorker, as each step begins; the work
    // state's total and current are 0 then until the step sets them.
    void setStepObserver(std::function<void(SaveStep)> observer) { stepObserver_ = std::move(observer); }
    int workerResult() const { return workerResult_.load(std::memory_order_relaxed); }
    // What the encoder library's export returned in the last encode (0 when
    // it could not be used).
    int lastEncoderResult() const { return lastEncoderResult_; }

    // Encoding (the save's last step): 1 only when the library reported
    // success and left a new, non-empty file at outputPath; its scratch
    // files go to the work folder and are removed afterwards.
    int EncodeForPhone(const QString& yuvName, const QString& pcmName, const QString& outputPath, int width, int height,
        std::int64_t durationMs, int frameCount, const EncoderParams& params);
    void SetPhoneFrameFormat(int width, int height, int samplesPerChunk, int framesPerSecond);
    void ReleaseSaveBuffers();
    // Audio chunks announced to the encoder for a movie of durationMs.
    static int AudioChunkCount(std::int64_t durationMs, int samplesPerChunk);

    // Encoder callbacks; they reach the running save through SavingPane.
    static int ProvideVideoFrame(unsigned char* buffer, int index, int* timeMs);
    static int ProvidePcmChunk(short* buffer, int index, int* sampleCount, int* startSample);
    static int OnEncoderStatus(int kind, int value);

    // Paths of the current save.
    QString chosenPath() const { return chosenPath_; }
    QString chosenFolder() const { return chosenFolder_; }
    QString tempFolder() const { return tempFolder_; }
    QString outputPath() const { return outputPath_; }
    QString videoAviPath() const { return videoAviPath_; }
    QString audioWavPath() const { return audioWavPath_; }
    // The PCM sound read for the encoder (empty when released).
    const std::vector<std::int16_t>& pcm() const { return pcm_; }
    std::int64_t audioByteCount() const { return audioBytes_; }

    // The text of the last message the save showed (empty when none).
    QString lastMessage() const { return lastMessage_; }
    // SaveWorker shows nothing itself: what it would show is kept here, in
    // order, and shown by FinishRun on the thread that runs it (the UI
    // thread in the editor, after the progress dialog has closed).
    DeferredMessages& deferredMessages() { return deferred_; }

    // The model whose encoder numbers are used ("ORVT_DEFAULT_MODELNAME"
    // unless set).
    void setModel(const QString& model) { model_ = model; }
    QString model() const;

private:
    void showMessage(const QString& key, bool selfClosing);
    void showText(const QString& text, bool selfClosing);
    // Adds a clip to the movie; false, after a message naming it, when the
    // timeline does not take it.
    bool addClip(const CMediaFile& clip, int trackKind);
    void beginStep(SaveStep step);
    void postProgressEnd();
    void removeFile(const QString& path) const;
    bool readWav(const QString& path);
    CMovieTimeline& movie() { return env_.movieTimeline ? *env_.movieTimeline : ownMovie_; }
    CMovieTimeline& sound() { return env_.soundTimeline ? *env_.soundTimeline : ownSound_; }
    void suspendView(bool on) const
    {
        if (env_.suspendView)
            env_.suspendView(on);
    }

    SaveEnvironment env_;
    CMovieTimeline ownMovie_;
    CMovieTimeline ownSound_;
    DeferredMessages deferred_;
    QPointer<QObject> progressTarget_;
    std::function<void(SaveStep)> stepObserver_;
    QString lastMessage_;
    std::atomic<int> workerResult_ { 0 };
    std::int64_t durationMs_ = 0;
    QString model_;
    QStringList inputs_; // the loaded project's files

    QString outputPath_;
    QString videoAviPath_;
    QString audioWavPath_;
    QString chosenPath_;
    QString chosenFolder_;
    QString tempFolder_;

    // Encoder state read by the callbacks.
    int samplesPerChunk_ = 0;
    int bytesPerFrame_ = 0;
    int msPerFrame_ = 200;
    int frameWidth_ = kFrameWidth;
    int frameHeight_ = kFrameHeight;
    int frameCount_ = 0;
    std::atomic<int> lastFrame_ { 0 };
    std::vector<std::int16_t> pcm_;
    std::int64_t audioBytes_ = 0;
    int lastEncoderResult_ = 0;
    int statusTotal_ = 0;
    int statusSteps_ = 0;
};

// The save whose encoder is running; the encoder callbacks read it.
extern std::atomic<CMovieSave*> SavingPane;
