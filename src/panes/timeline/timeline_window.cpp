#include "panes/timeline/timeline_window.h"

#include "engine/media_source.h"

#include "panes/timeline/timeline_view.h"

#include <QFile>

#include <memory>

namespace {

struct TrackLayout {
    const char* title;
    int y;
    int height;
};
// Placement of the track views below the 32-pixel ruler.
constexpr std::array<TrackLayout, kTrackCount> kTrackLayout { {
    { "Video TimeLine", 32, 57 },
    { "Audio TimeLine", 89, 58 },
    { "Voice TimeLine", 147, 63 },
} };
constexpr int kRulerHeight = 32;

} // namespace

CCW_TimeLineWnd::CCW_TimeLineWnd(QWidget* parent)
    : MessageWindow<QWidget>(parent)
{
    setObjectName("CCW_TimeLineWnd");
    setFocusPolicy(Qt::StrongFocus); // keys act on the active track
    for (int i = 0; i < kTrackCount; ++i)
        views_[i] = new CCW_TimeLineView(QString::fromLatin1(kTrackLayout[i].title), this);
    PlaceChildren();
}

void CCW_TimeLineWnd::SetFrame(QObject* frame)
{
    frame_ = frame;
    for (auto* v : views_)
        v->SetFrame(frame);
}

void CCW_TimeLineWnd::SetMediaProbe(CMediaProbe* probe)
{
    if (service_)
        disconnect(service_, nullptr, this, nullptr);
    service_ = probe;
    if (probe)
        connect(probe, &QObject::destroyed, this, &CCW_TimeLineWnd::OnProbeGone);
}

void CCW_TimeLineWnd::SetRuler(QWidget* ruler)
{
    ruler_ = ruler;
    if (ruler)
        ruler->setParent(this);
    PlaceChildren();
}

bool CCW_TimeLineWnd::HasVideoStream(const QString& path)
{
    return ::HasVideoStream(path);
}

CCW_TimeLineView* CCW_TimeLineWnd::view(int track) const
{
    return (track >= 0 && track < kTrackCount) ? views_[track] : nullptr;
}

int CCW_TimeLineWnd::TrackOf(WPARAM viewHandle) const
{
    for (int i = 0; i < kTrackCount; ++i) {
        if (ToWParam(views_[i]) == viewHandle)
            return i;
    }
    return -1;
}

const CMediaFileList& CCW_TimeLineWnd::track(int index) const
{
    return views_.at(index)->track().clips();
}

void CCW_TimeLineWnd::AnnounceNewClip(int track)
{
    CCW_TimeLineView* v = views_[track];
    v->track().SetSelectedPos(v->track().lastPos());
    v->Repaint();
    SendMessage(this, msg::TrackActivated, *v->track().selectedPos(), ToLParam(v));
}

CMediaProbe* CCW_TimeLineWnd::Probe()
{
    if (service_)
        return service_;
    if (!ownService_)
        ownService_ = std::make_unique<CMediaProbe>();
    return ownService_.get();
}

bool CCW_TimeLineWnd::RouteNewClip(const CMediaFile& clip)
{
    if (clip.IsEmpty())
        return false;
    switch (clip.kind()) {
    case ClipKind::VideoWithSound:
    case ClipKind::VideoOnly:
        break;
    case ClipKind::Sound:
    case ClipKind::Voice:
        Defer([this, clip] { PlaceNewClip(clip, false); });
        return true;
    default:
        return false;
    }
    if (probe_) {
        const bool hasVideo = probe_(clip.path());
        Defer([this, clip, hasVideo] { PlaceNewClip(clip, hasVideo); });
        return true;
    }
    PendingStep step;
    step.path = clip.path();
    step.apply = [this, clip](bool hasVideo) { PlaceNewClip(clip, hasVideo); };
    pending_.push_back(std::move(step));
    Ask(pending_.back());
    return true;
}

bool CCW_TimeLineWnd::RouteEditedClip(const CMediaFile& clip)
{
    if (clip.IsEmpty())
        return false;
    // The track being trimmed when the clip was sent.
    Defer([this, clip, track = trimTrack_] { PlaceEditedClip(clip, track); });
    return true;
}

void CCW_TimeLineWnd::Defer(std::function<void()> step)
{
    if (pending_.empty()) {
        step();
        return;
    }
    PendingStep ready;
    ready.answered = true;
    ready.apply = [step = std::move(step)](bool) { step(); };
    pending_.push_back(std::move(ready));
}

void CCW_TimeLineWnd::Ask(PendingStep& step)
{
    step.ticket = nextTicket_++;
    // No lane: every add is answered, none supersedes another.
    Probe()->ProbeStreams(this, QString(), step.path,
        [this, ticket = step.ticket](MediaStreams streams) { OnProbeAnswer(ticket, streams.hasVideo); });
}

void CCW_TimeLineWnd::OnProbeAnswer(std::uint64_t ticket, bool hasVideo)
{
    for (auto& step : pending_) {
        if (step.ticket == ticket && !step.answered) {
            step.answered = true;
            step.hasVideo = hasVideo;
            break;
        }
    }
    RunReadySteps();
}

void CCW_TimeLineWnd::RunReadySteps()
{
    // A step that sends messages may come back here; the outer loop goes on.
    if (runningSteps_)
        return;
    runningSteps_ = true;
    while (!pending_.empty() && pending_.front().answered) {
        PendingStep step = std::move(pending_.front());
        pending_.pop_front();
        step.apply(step.hasVideo);
    }
    runningSteps_ = false;
}

void CCW_TimeLineWnd::OnProbeGone()
{
    service_ = nullptr;
    for (auto& step : pending_) {
        if (!step.answered)
            Ask(step);
    }
}

int CCW_TimeLineWnd::PlaceNewClip(CMediaFile record, bool hasVideo)
{
    int receiver = -1;
    switch (record.kind()) {
    case ClipKind::VideoWithSound:
    case ClipKind::VideoOnly:
        if (hasVideo) {
            views_[kVideoTrack]->AddClip(record);
            // A video's own sound goes on the audio track too.
            if (record.kind() == ClipKind::VideoWithSound)
                views_[kAudioTrack]->AddClip(record);
            receiver = kVideoTrack;
        } else {
            // No picture after all: the file is sound.
            record.SetKind(ClipKind::Sound);
            views_[kAudioTrack]->AddClip(record);
            receiver = kAudioTrack;
        }
        break;
    case ClipKind::Sound:
        views_[kAudioTrack]->AddClip(record);
        receiver = kAudioTrack;
        break;
    case ClipKind::Voice:
        views_[kVoiceTrack]->AddClip(record);
        receiver = kVoiceTrack;
        break;
    default:
        return -1;
    }
    AnnounceNewClip(receiver);
    return receiver;
}

int CCW_TimeLineWnd::PlaceEditedClip(const CMediaFile& clip, int track)
{
    CCW_TimeLineView* v = view(track);
    if (!v)
        return -1;
    if (v->track().editedPos()) {
        v->ReplaceClip(clip);
        SendMessage(this, msg::TrackActivated, *v->track().selectedPos(), ToLParam(v));
    } else {
        v->AddClip(clip);
        AnnounceNewClip(track);
    }
    return track;
}

void CCW_TimeLineWnd::ActivateTrack(int track, WPARAM /*position*/)
{
    activeTrack_ = track;
    for (int i = 0; i < kTrackCount; ++i) {
        if (i == track)
            continue;
        views_[i]->track().ClearSelection();
        views_[i]->Repaint();
    }
    const int selected = views_[track]->track().HasSelection() ? track : -1;
    SendMessage(parent(), msg::TrackActivated, WPARAM(selected), 0);
}

void CCW_TimeLineWnd::DropFile(WPARAM kind, LPARAM path)
{
    SendMessage(frame_, msg::OpenSource, kind, path);
    SendMessage(frame_, msg::ShowSourcePreview, 0, 0);
    const int track = kind == 0 ? kVideoTrack : kAudioTrack;
    CCW_TimeLineView* v = views_[track];
    v->track().SetSelectedPos(v->track().lastPos());
    v->track().SetEditedPos(v->track().lastPos());
    trimTrack_ = track;
    activeTrack_ = track;
    setFocus();
}

void CCW_TimeLineWnd::DeleteAll(WPARAM track)
{
    if (track == WPARAM(kWholeMovie)) {
        for (auto* v : views_)
            v->DeleteAll();
    } else if (auto* v = view(int(track))) {
        v->DeleteAll();
    }
}

void CCW_TimeLineWnd::DeleteFromTrack(WPARAM track)
{
    if (auto* v = view(int(track))) {
        if (v->track().HasSelection())
            v->DeleteSelected();
        else
            v->DeleteAll();
    }
}

void CCW_TimeLineWnd::PassToViews(std::uint32_t message, WPARAM wParam, LPARAM lParam)
{
    if (ruler_)
        SendMessage(ruler_, message, wParam, lParam);
    for (auto* v : views_)
        SendMessage(v, message, wParam, lParam);
}

LRESULT CCW_TimeLineWnd::onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    case msg::ClipToTimeline: {
        const auto* clip = FromParam<const CMediaFile>(lParam);
        if (!clip)
            return 1;
        return (wParam == 1 ? RouteEditedClip(*clip) : RouteNewClip(*clip)) ? 0 : 1;
    }
    case msg::PreviewClip: {
        // A track view asks: its handle becomes the track number, and that
        // track is the one being trimmed.
        const int track = TrackOf(wParam);
        if (track >= 0) {
            trimTrack_ = track;
            wParam = WPARAM(track);
        }
        return SendMessage(parent(), msg::PreviewClip, wParam, lParam);
    }
    case msg::DeleteAllClips:
        // After the adds sent before it.
        Defer([this, wParam] { DeleteAll(wParam); });
        return 0;
    case msg::DeleteFromTrack:
        Defer([this, wParam] { DeleteFromTrack(wParam); });
        return 0;
    case msg::SetZoom:
    case msg::SetScroll:
    case msg::PositionMarker:
        PassToViews(message, wParam, lParam);
        return 0;
    case msg::SeekMovie:
        for (auto* v : views_)
            SendMessage(v, message, wParam, lParam);
        return SendMessage(frame_, message, wParam, lParam);
    case msg::TrackActivated: {
        const int track = TrackOf(WPARAM(lParam));
        if (track < 0)
            return 1;
        ActivateTrack(track, wParam);
        return 0;
    }
    case msg::FilesDropped:
        if (!lParam)
            return 1;
        DropFile(wParam, lParam);
        return 0;
    case msg::FileGone:
        PassToViews(message, wParam, lParam);
        return 0;
    case msg::TrackEmptied:
        // Only the track whose clip is open in the source preview matters.
        if (TrackOf(wParam) == trimTrack_)
            return SendMessage(frame_, msg::TrackEmptied, 1, 0);
        return 0;
    case msg::PreviewEnded:
        return 0;
    case msg::ZoomToFit:
        // The zoom is the view's; the window itself has nothing to fit.
        return 1;
    default:
        handled = false;
        return 0;
    }
}

void CCW_TimeLineWnd::resizeEvent(QResizeEvent* event)
{
    MessageWindow<QWidget>::resizeEvent(event);
    PlaceChildren();
}

void CCW_TimeLineWnd::PlaceChildren()
{
    const int w = width();
    if (ruler_)
        ruler_->setGeometry(0, 0, w, kRulerHeight);
    for (int i = 0; i < kTrackCount; ++i)
        views_[i]->setGeometry(0, kTrackLayout[i].y, w, kTrackLayout[i].height);
}
