// CCW_VideoView: the movie view window of the preview panes. It hosts one
// CGraphBasic, shows its pictures on a video surface, receives its events, and
// offers the transport in milliseconds. It also owns the two timelines the
// save flow renders (the movie and the sound of one clip) and wraps frame
// extraction so that its own playback pauses meanwhile.
//
// Files open off the UI thread: OpenVideoFile / OpenAudioFile close what is
// shown and hand the open to the view's background worker, which builds the
// graph (probing the file and reading the media detector's facts) and, for a
// path containing ".MP3", reads the MP3 playing time (a child process). When
// the result arrives on the UI thread the view takes the graph, attaches it
// to the video surface and posts msg::MovieViewOpened to the main frame
// (wParam: the result, 0 or E_FAIL, as a 32-bit code; lParam: the view
// kind). The newest open wins: a newer open, Close, OpenEditedMovie or the
// view's destruction drops an open still under way; its graph is closed on
// the worker, or where the dropped result is released (on the UI thread a
// graph that never played has no streaming threads to join, only the sound
// output's).
//
// A pane that runs the open itself (beside a wait dialog) uses the two
// halves: OpenOnWorker on its own worker, TakeOpened on the UI thread.
//
// End of playback: the view sends msg::PlaybackFinished (0x415) to the main
// frame, its own address in wParam, and rewinds; the frame hands it to the
// pane that owns the view.
#pragma once

#include "engine/playback_graph.h"
#include "panes/movie_view/video_surface.h"
#include "platform/background_worker.h"
#include "platform/messages.h"
#include "project/movie_timeline.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>

class CMediaFile;
class FrameCache;

class CCW_VideoView : public MessageWindow<QWidget> {
public:
    // ViewKind values.
    enum Kind : std::int32_t { KindNone = 0, KindVideoFile = 1, KindAudioFile = 2, KindEditedMovie = 5 };

    // What the worker half of an open hands back: the graph (null when the
    // open was dropped meanwhile), its result and the MP3 playing time (-1:
    // none).
    struct OpenedFile {
        std::unique_ptr<CGraphBasic> graph;
        HRESULT result = E_FAIL;
        std::int64_t mp3Ms = -1;
    };

    explicit CCW_VideoView(QWidget* parent = nullptr);
    ~CCW_VideoView() override;

    // The receiver of msg::PlaybackFinished (the pane context's main frame).
    void SetMainFrame(QObject* mainFrame) { mainFrame_ = mainFrame; }

    // Close what is shown, then start opening path on the worker (see the
    // class comment): S_OK, or E_INVALIDARG for an empty path. The kind and
    // the path are set at once; the graph, the sizes and the duration when
    // the result is taken. An audio file then hides the view. A file the
    // media detector cannot describe has its message shown then.
    HRESULT OpenVideoFile(const QString& path);
    HRESULT OpenAudioFile(const QString& path);
    // The worker half of an open: builds the graph of path (or of timeline)
    // and reads its facts, for a path containing ".MP3" also the playing
    // time (in a child process). Any thread; a graph whose open is cancelled
    // meanwhile is closed here.
    static OpenedFile OpenOnWorker(
        const QString& path, std::shared_ptr<CTimeline> timeline, const CBackgroundWorker::CancelFlag& cancel);
    // The UI half: closes what is shown and shows what OpenOnWorker opened as
    // kind (the surface attached, the sizes and the duration taken). The
    // open's result: 0, or E_FAIL with nothing shown.
    HRESULT TakeOpened(const QString& path, Kind kind, OpenedFile opened);
    // True from an open request until its result is taken or dropped.
    bool IsOpening() const { return opening_; }
    // The result of the last open taken: 0 or E_FAIL; S_FALSE while one is
    // under way, before the first, and after Close.
    HRESULT OpenResult() const { return openResult_; }
    // Plays the movie timeline (opened on the UI thread, as the timeline is
    // edited there). 0 or the failing code.
    HRESULT OpenEditedMovie();
    // Opens the movie timeline on the worker, as OpenVideoFile opens a file
    // (the timeline must not change until the result is taken): S_OK, or
    // E_FAIL for an empty timeline.
    HRESULT OpenEditedMovieInBackground();
    // Drops an open under way and closes the graph for kinds 1, 2, 3 and 5;
    // the kind becomes 0.
    void Close();

    // States 1, 3, 4: play; 2: pause; otherwise E_FAIL.
    HRESULT PlayPause();
    HRESULT Play() { return graph_->Play(); }
    // Only in states 1 to 3.
    HRESULT Pause();
    // Only in states 2 and 4.
    HRESULT Stop();
    HRESULT GetPosition(std::int64_t* ms) const;
    HRESULT SetPosition(std::int64_t ms);

    // on: hide, remember the state, pause and wait until paused. off: show
    // and restore (running: play, paused: pause, otherwise stop).
    void Suspend(bool on);

    std::int32_t ViewKind() const { return viewKind_; }
    std::int32_t GraphState() const { return graph_->GraphState(); }
    std::int64_t DurationMs() const { return durationMs_; }
    QSize VideoSize() const { return videoSize_; }
    const QString& Path() const { return path_; }
    // The graph shown (closed while none is, or while an open is under way).
    CGraphBasic& Graph() { return *graph_; }
    // The child that shows the pictures; hidden while there are none.
    CVideoSurface* Surface() const { return surface_; }

    // The movie timeline of the edited-movie preview and the save.
    CMovieTimeline& MovieTimeline() { return movieTimeline_; }
    CMovieTimeline& SoundTimeline() { return soundTimeline_; }
    HRESULT ResetTimeline() { return movieTimeline_.ResetMovieTimeline(); }
    HRESULT AddClip(const CMediaFile& clip, int trackKind) { return movieTimeline_.AddClip(clip, trackKind); }
    HRESULT FinishTimeline() { return movieTimeline_.ValidateSources(); }
    // Length of the edited movie in milliseconds (0 when empty).
    std::int64_t TimelineDurationMs() const;

    // Render entry points of the save (times in 100 ns units): 0, 1 when
    // cancelled, or the failing code after its message.
    HRESULT CompressVideo(const QString& outputPath, REFERENCE_TIME start, REFERENCE_TIME duration);
    HRESULT CompressSound(
        const QString& outputPath, REFERENCE_TIME start, REFERENCE_TIME duration, const QString& clipPath);

    // Frame extraction with this view's playback suspended meanwhile.
    // Returns 1 at once when cancellation is already requested; *count is 0
    // when cancelled.
    HRESULT ExtractFrames(const QString& path, std::int32_t width, std::int32_t height, std::int32_t* count,
        double step, double start, double length, std::int32_t mode, FrameCache& cache);

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    HRESULT openFile(const QString& path, Kind kind, std::shared_ptr<CTimeline> timeline = nullptr);
    void takeOpenedFile(OpenedFile opened, std::uint64_t serial, Kind kind);
    HRESULT showOpened(OpenedFile opened, Kind kind);
    void dropOpen();
    void setBusy(bool busy);
    void attachGraph();
    void onGraphNotify();

    std::unique_ptr<CGraphBasic> graph_; // never null
    std::unique_ptr<CBackgroundWorker> worker_;
    std::uint64_t openSerial_ = 0; // of the newest open request
    bool opening_ = false;
    bool busy_ = false; // the busy cursor is up
    HRESULT openResult_ = S_FALSE;
    CVideoSurface* surface_ = nullptr;
    CMovieTimeline movieTimeline_;
    CMovieTimeline soundTimeline_;
    std::int32_t viewKind_ = KindNone;
    std::int32_t savedState_ = 0;
    QSize videoSize_;
    std::int64_t durationMs_ = 0;
    QString path_;
    QPointer<QObject> mainFrame_;
};
