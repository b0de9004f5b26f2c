// CCW_TimeLineWnd: the timeline window inside the timeline container. It owns
// the three track views (the project) and routes what reaches the timeline:
// new clips by their kind, edited clips back to the track they came from,
// deletions, the active track, dropped files, and the zoom, scroll and
// playback-position messages for the ruler and the views.
//
// A new video clip lands when the media-probe service has said, off the UI
// thread, whether its file has a video stream. Until then the adds and
// deletions sent after it wait behind it, so clips land in the order sent.
//
// The ruler (CCW_TimeLineRuler) plugs in with SetRuler(). Keys act on the
// active track; a horizontal scroll bar spans the zoom's scroll extent; files
// dropped from the desktop open in the source preview (0x5402 per editable
// file, checked off the UI thread).
#pragma once

#include "config/resources.h"

#include "engine/media_probe.h"
#include "platform/messages.h"
#include "project/media_file.h"
#include "project/timeline_scale.h"

#include <QJsonObject>
#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class CBackgroundWorker;
class CCW_TimeLineView;
class QScrollBar;

class CCW_TimeLineWnd : public MessageWindow<QWidget>, public CTimelineProject {
    Q_OBJECT
public:
    // Answers whether a source file has a video stream.
    using VideoStreamProbe = std::function<bool(const QString& path)>;

    explicit CCW_TimeLineWnd(QWidget* parent);
    ~CCW_TimeLineWnd() override;

    // Texts and images of the views' menus and the ruler.
    void SetResources(const ResourceLookup& lookup);

    // The main frame (receiver of 0x5011, 0x5403, 0x5353, 0x5502 and of the
    // track views' notifications); may be null. Messages for the container go
    // to the parent widget.
    void SetFrame(QObject* frame);
    // Where the ruler plugs in (placed at the top, 32 pixels high).
    void SetRuler(QWidget* ruler);
    // The service that tells whether a video clip's file has a video stream
    // (the shell's; may be null). Without one the window makes its own when
    // first needed.
    void SetMediaProbe(CMediaProbe* probe);
    // Answers synchronously instead of the service (tests use this).
    void SetVideoStreamProbe(VideoStreamProbe probe) { probe_ = std::move(probe); }
    // Whether the media detector lists a video stream (cover pictures do not
    // count). False when it cannot open the file.
    static bool HasVideoStream(const QString& path);
    // True while a new clip waits for the probe's answer (and what was sent
    // after it waits too).
    bool HasPendingAdds() const { return !pending_.empty(); }

    CCW_TimeLineView* view(int track) const;
    // The track number of a view's window handle (as sent in wParam), or -1.
    int TrackOf(WPARAM viewHandle) const;

    int activeTrack() const { return activeTrack_; }
    int trimTrack() const { return trimTrack_; }
    float scrollScale() const { return scrollScale_; }
    int zoom() const { return zoom_; }
    QScrollBar* scrollBar() const { return scrollBar_; }
    QWidget* ruler() const { return ruler_; }

    // Zoom to fit (message 0x5350): the zoom value that shows the longest
    // track in the window's width, or none.
    std::optional<int> FitZoom() const;
    // Runs a key on the active track (Enter, End, Home, Left, Right, Delete);
    // false for other keys.
    bool HandleKey(int key);
    // The paths of a drop that open as clips, each with 0 (video) or 1
    // (sound), in order; folders, missing files and other types are left
    // out. Reads the file system: call off the UI thread.
    static std::vector<std::pair<int, QString>> EditableDrops(const QStringList& paths);
    // True while a drop is being checked.
    bool HasPendingDrop() const { return pendingDrops_ > 0; }

    // What the host's script mode shows of the timeline.
    Q_INVOKABLE QJsonObject ScriptState() const;

    // CTimelineProject: the clip list of each track view.
    const CMediaFileList& track(int index) const override;

    // A new clip by its kind (message 0x5017, wParam 0): a video clip goes
    // to the video track, and with sound to the audio track too, when its
    // file has a video stream, else to the audio track as sound; sound to
    // the audio track, voice to the voice track. False when the clip goes
    // nowhere (empty, unknown kind). A video clip lands when the probe
    // answers; a clip sent while one waits lands after it.
    bool RouteNewClip(const CMediaFile& clip);
    // An edited clip back to trimTrack (message 0x5017, wParam 1). False for
    // an empty clip.
    bool RouteEditedClip(const CMediaFile& clip);

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // A request waiting for its turn: the add of a video clip until the
    // probe answers, and whatever was sent after it.
    struct PendingStep {
        std::uint64_t ticket = 0; // of the probe request; 0 when none
        QString path; // the probed file
        bool answered = false;
        bool hasVideo = false;
        std::function<void(bool hasVideo)> apply;
    };

    // Puts a clip on its track(s) once the answer is known; the receiving track.
    int PlaceNewClip(CMediaFile record, bool hasVideo);
    int PlaceEditedClip(const CMediaFile& clip, int track);
    // Runs step now, or after the requests that wait.
    void Defer(std::function<void()> step);
    void Ask(PendingStep& step);
    void OnProbeAnswer(std::uint64_t ticket, bool hasVideo);
    void RunReadySteps();
    // The service's answers are lost with it: its questions go to another.
    void OnProbeGone();
    CMediaProbe* Probe();
    void DeleteAll(WPARAM track);
    void DeleteFromTrack(WPARAM track);
    // Makes the clip just put on track the selected one and tells the window.
    void AnnounceNewClip(int track);
    void ActivateTrack(int track, WPARAM position);
    void DropFile(WPARAM kind, LPARAM path);
    // Sends a message to the ruler and the three track views.
    void PassToViews(std::uint32_t message, WPARAM wParam, LPARAM lParam);
    void PlaceChildren();
    // Zoom value z: the views and the ruler take it, the scroll extent
    // follows and the time at the left edge stays there.
    void SetZoom(LPARAM z);
    void LayoutScroll();
    void OnScrolled(int value);

    std::array<CCW_TimeLineView*, kTrackCount> views_ {};
    QPointer<QWidget> ruler_;
    QPointer<QObject> frame_;
    VideoStreamProbe probe_;
    QPointer<CMediaProbe> service_;
    std::unique_ptr<CMediaProbe> ownService_;
    std::deque<PendingStep> pending_;
    std::uint64_t nextTicket_ = 1;
    bool runningSteps_ = false;
    int activeTrack_ = kVideoTrack;
    int trimTrack_ = kVideoTrack;
    float scrollScale_ = 51.196877f;
    int zoom_ = kZoomDefault;
    QScrollBar* scrollBar_ = nullptr;
    std::unique_ptr<CBackgroundWorker> dropWorker_;
    int pendingDrops_ = 0;
};
