// CCW_VideoView: the movie view window of the preview panes. It hosts one
// CGraphBasic, shows its pictures on a video surface, receives its events, and
// offers the transport in milliseconds. It also owns the two timelines the
// save flow renders (the movie and the sound of one clip) and wraps frame
// extraction so that its own playback pauses meanwhile.
//
// End of playback: the view sends msg::PlaybackFinished (0x415) to the main
// frame and rewinds.
#pragma once

#include "engine/graph_basic.h"
#include "panes/movie_view/video_surface.h"
#include "platform/messages.h"
#include "project/movie_timeline.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>

class CMediaFile;
class FrameCache;

class CCW_VideoView : public MessageWindow<QWidget> {
public:
    // ViewKind values.
    enum Kind : std::int32_t { KindNone = 0, KindVideoFile = 1, KindAudioFile = 2, KindEditedMovie = 5 };

    explicit CCW_VideoView(QWidget* parent = nullptr);
    ~CCW_VideoView() override;

    // The receiver of msg::PlaybackFinished (the pane context's main frame).
    void SetMainFrame(QObject* mainFrame) { mainFrame_ = mainFrame; }

    // Close what is shown, then open. 0 or E_FAIL. An audio file hides the view.
    HRESULT OpenVideoFile(const QString& path);
    HRESULT OpenAudioFile(const QString& path);
    // Plays the movie timeline. 0 or the failing code.
    HRESULT OpenEditedMovie();
    // Closes the graph for kinds 1, 2, 3 and 5; the kind becomes 0.
    void Close();

    // States 1, 3, 4: play; 2: pause; otherwise E_FAIL.
    HRESULT PlayPause();
    HRESULT Play() { return graph_.Play(); }
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
    std::int32_t GraphState() const { return graph_.GraphState(); }
    std::int64_t DurationMs() const { return durationMs_; }
    QSize VideoSize() const { return videoSize_; }
    const QString& Path() const { return path_; }
    CGraphBasic& Graph() { return graph_; }
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
    HRESULT openFile(const QString& path, Kind kind);
    void attachGraph();
    void onGraphNotify();

    CGraphBasic graph_;
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
