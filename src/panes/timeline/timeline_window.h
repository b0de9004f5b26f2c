// CCW_TimeLineWnd: the timeline window inside the timeline container. It owns
// the three track views (the project) and routes what reaches the timeline:
// new clips by their kind, edited clips back to the track they came from,
// deletions, the active track, dropped files, and the zoom, scroll and
// playback-position messages for the ruler and the views.
//
// The ruler (CCW_TimeLineRuler), the keyboard, zoom to fit and the scroll
// extent come with the timeline drawing; the ruler plugs in with SetRuler().
#pragma once

#include "platform/messages.h"
#include "project/media_file.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>

class CCW_TimeLineView;

class CCW_TimeLineWnd : public MessageWindow<QWidget>, public CTimelineProject {
public:
    // Answers whether a source file has a video stream.
    using VideoStreamProbe = std::function<bool(const QString& path)>;

    explicit CCW_TimeLineWnd(QWidget* parent);

    // The main frame (receiver of 0x5011, 0x5403, 0x5353, 0x5502 and of the
    // track views' notifications); may be null. Messages for the container go
    // to the parent widget.
    void SetFrame(QObject* frame);
    // Where the ruler plugs in (placed at the top, 32 pixels high).
    void SetRuler(QWidget* ruler);
    // Replaces the default probe (tests use this).
    void SetVideoStreamProbe(VideoStreamProbe probe) { probe_ = std::move(probe); }
    // The default probe: whether the media detector lists a video stream
    // (cover pictures do not count). False when it cannot open the file.
    static bool HasVideoStream(const QString& path);

    CCW_TimeLineView* view(int track) const;
    // The track number of a view's window handle (as sent in wParam), or -1.
    int TrackOf(WPARAM viewHandle) const;

    int activeTrack() const { return activeTrack_; }
    int trimTrack() const { return trimTrack_; }
    float scrollScale() const { return scrollScale_; }

    // CTimelineProject: the clip list of each track view.
    const CMediaFileList& track(int index) const override;

    // Routing of a new clip by its kind (message 0x5017, wParam 0). Returns
    // the receiving track, or -1 when the clip went nowhere.
    int RouteNewClip(const CMediaFile& clip);
    // Routing of an edited clip back to trimTrack (message 0x5017, wParam 1).
    int RouteEditedClip(const CMediaFile& clip);

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Makes the clip just put on track the selected one and tells the window.
    void AnnounceNewClip(int track);
    void ActivateTrack(int track, WPARAM position);
    void DropFile(WPARAM kind, LPARAM path);
    // Sends a message to the ruler and the three track views.
    void PassToViews(std::uint32_t message, WPARAM wParam, LPARAM lParam);
    void PlaceChildren();

    std::array<CCW_TimeLineView*, kTrackCount> views_ {};
    QPointer<QWidget> ruler_;
    QPointer<QObject> frame_;
    VideoStreamProbe probe_;
    int activeTrack_ = kVideoTrack;
    int trimTrack_ = kVideoTrack;
    float scrollScale_ = 51.196877f;
};
