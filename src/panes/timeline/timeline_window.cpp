#include "panes/timeline/timeline_window.h"

#include "config/media_classify.h"
#include "engine/media_source.h"
#include "panes/timeline/timeline_ruler.h"
#include "panes/timeline/timeline_view.h"
#include "platform/background_worker.h"
#include "platform/hresult.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>

#include <memory>

namespace {

struct TrackLayout {
    const char* title;
    int y;
    int height;
    int controlId;
};
// Placement of the track views below the 32-pixel ruler.
constexpr std::array<TrackLayout, kTrackCount> kTrackLayout { {
    { "Video TimeLine", 32, 57, 0x17E4 },
    { "Audio TimeLine", 89, 58, 0x17E5 },
    { "Voice TimeLine", 147, 63, 0x17E6 },
} };
constexpr int kRulerHeight = 32;
constexpr int kTracksBottom = 210;
// The scrollable width is measured against the client width less the
// media menu's and the edit menu's share.
constexpr int kMenusWidth = 98 + 201;

// Window key codes of the keys the timeline acts on; codes with none of the
// bits 0x2F set are no key of the timeline's.
constexpr int kVkReturn = 0x0D;
constexpr int kVkEnd = 0x23;
constexpr int kVkHome = 0x24;
constexpr int kVkLeft = 0x25;
constexpr int kVkRight = 0x27;
constexpr int kVkDelete = 0x2E;

int VirtualKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return kVkReturn;
    case Qt::Key_End:
        return kVkEnd;
    case Qt::Key_Home:
        return kVkHome;
    case Qt::Key_Left:
        return kVkLeft;
    case Qt::Key_Right:
        return kVkRight;
    case Qt::Key_Delete:
        return kVkDelete;
    default:
        return 0;
    }
}

QJsonObject ClipJson(const CMediaFile& c)
{
    const MediaRect& r = c.rect();
    return QJsonObject {
        { "path", c.path() },
        { "name", c.name() },
        { "kind", c.kind() },
        { "width", c.width() },
        { "height", c.height() },
        { "sourceLength", qint64(c.sourceLength()) },
        { "length", qint64(c.length()) },
        { "mediaStart", qint64(c.mediaStart()) },
        { "timelineStart", qint64(c.timelineStart()) },
        { "selected", c.IsSelected() },
        { "empty", c.IsEmpty() },
        { "rect", QJsonArray { r.left, r.top, r.right, r.bottom } },
    };
}

} // namespace

CCW_TimeLineWnd::CCW_TimeLineWnd(QWidget* parent)
    : MessageWindow<QWidget>(parent)
{
    setObjectName("CCW_TimeLineWnd");
    setFocusPolicy(Qt::StrongFocus); // keys act on the active track
    setAcceptDrops(true);
    for (int i = 0; i < kTrackCount; ++i) {
        views_[i] = new CCW_TimeLineView(QString::fromLatin1(kTrackLayout[i].title), i, this);
        views_[i]->setProperty("controlId", kTrackLayout[i].controlId);
    }
    scrollBar_ = new QScrollBar(Qt::Horizontal, this);
    scrollBar_->setObjectName("scroll");
    connect(scrollBar_, &QScrollBar::valueChanged, this, &CCW_TimeLineWnd::OnScrolled);
    PlaceChildren();
}

CCW_TimeLineWnd::~CCW_TimeLineWnd() = default;

void CCW_TimeLineWnd::SetResources(const ResourceLookup& lookup)
{
    for (auto* v : views_)
        v->SetResources(lookup);
    if (auto* r = dynamic_cast<CCW_TimeLineRuler*>(ruler_.data()))
        r->LoadImages(lookup);
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
    if (ruler) {
        ruler->setParent(this);
        ruler->show();
    }
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
    // Every add is answered, none supersedes another; a file the service
    // has read before (the source preview probed it) is not read again.
    Probe()->ProbeHasVideo(
        this, step.path, [this, ticket = step.ticket](bool hasVideo) { OnProbeAnswer(ticket, hasVideo); });
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
        SetZoom(lParam);
        return 0;
    case msg::SetScroll:
        // The bar tells the views when its value changes; the same value
        // again still reaches them.
        if (scrollBar_->value() == int(lParam))
            PassToViews(message, wParam, lParam);
        else
            scrollBar_->setValue(int(lParam));
        return 0;
    case msg::PositionMarker:
        PassToViews(message, wParam, lParam);
        return 0;
    case msg::SeekMovie:
        PassToViews(message, wParam, lParam);
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
    case msg::ZoomToFit: {
        auto* value = FromParam<int>(lParam);
        const auto fit = FitZoom();
        if (!value || !fit)
            return E_FAIL;
        *value = *fit;
        return 0;
    }
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
    const int barHeight = scrollBar_->sizeHint().height();
    scrollBar_->setGeometry(0, std::max(kTracksBottom, height() - barHeight), w, barHeight);
    LayoutScroll();
}

void CCW_TimeLineWnd::LayoutScroll()
{
    const int w = width();
    scrollScale_ = float(ScrollExtent(zoom_)) / float(std::max(1, w - kMenusWidth));
    if (scrollScale_ <= 1.0f) {
        scrollScale_ = 1.0f;
        scrollBar_->setRange(0, 0);
        scrollBar_->setEnabled(false);
        return;
    }
    const int scrollWidth = int(float(w) * scrollScale_ / 10.0f);
    scrollBar_->setRange(0, std::max(0, scrollWidth - w));
    scrollBar_->setPageStep(std::max(1, w));
    scrollBar_->setSingleStep(std::max(1, w / 20));
    scrollBar_->setEnabled(scrollBar_->maximum() > 0);
}

void CCW_TimeLineWnd::SetZoom(LPARAM z)
{
    if (z < 2)
        return;
    const TimelineScale before = views_[0]->scale();
    const qint64 leftMs = before.ToMs(views_[0]->scrollOffset());
    zoom_ = int(std::min<LPARAM>(z, 1 << 20));
    PassToViews(msg::SetZoom, 0, z);
    LayoutScroll();
    const qint64 offset = views_[0]->scale().ToPixels(leftMs);
    const int value = int(std::clamp<qint64>(offset, 0, scrollBar_->maximum()));
    const QSignalBlocker quiet(scrollBar_);
    scrollBar_->setValue(value);
    PassToViews(msg::SetScroll, 0, value);
}

void CCW_TimeLineWnd::OnScrolled(int value)
{
    PassToViews(msg::SetScroll, 0, value);
}

std::optional<int> CCW_TimeLineWnd::FitZoom() const
{
    std::int64_t end = 0;
    for (auto* v : views_) {
        const auto& clips = v->track().clips();
        if (!clips.empty())
            end = std::max<std::int64_t>(end, std::int64_t(clips.back().timelineStart()) + clips.back().length());
    }
    return ZoomToFit(end, width());
}

bool CCW_TimeLineWnd::HandleKey(int key)
{
    const int vk = VirtualKey(key);
    if (!(vk & 0x2F))
        return false;
    CCW_TimeLineView* v = views_[activeTrack_];
    if (v->track().empty())
        return true;
    switch (vk) {
    case kVkReturn:
        v->PreviewSelected();
        break;
    case kVkEnd:
        v->MoveEnd();
        break;
    case kVkHome:
        v->MoveFirst();
        break;
    case kVkLeft:
        v->MoveForward();
        break;
    case kVkRight:
        v->MoveBackward();
        break;
    case kVkDelete:
        v->DeleteSelected();
        break;
    default:
        return false;
    }
    return true;
}

void CCW_TimeLineWnd::keyPressEvent(QKeyEvent* event)
{
    if (!HandleKey(event->key()))
        MessageWindow<QWidget>::keyPressEvent(event);
}

std::vector<std::pair<int, QString>> CCW_TimeLineWnd::EditableDrops(const QStringList& paths)
{
    std::vector<std::pair<int, QString>> accepted;
    for (const QString& path : paths) {
        const MediaKind kind = EditableMediaKind(path);
        if (kind != MediaKind::Video && kind != MediaKind::Audio)
            continue;
        if (!QFileInfo(path).isFile())
            continue;
        accepted.emplace_back(kind == MediaKind::Video ? 0 : 1, path);
    }
    return accepted;
}

void CCW_TimeLineWnd::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CCW_TimeLineWnd::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CCW_TimeLineWnd::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    if (!dropWorker_)
        dropWorker_ = std::make_unique<CBackgroundWorker>(QStringLiteral("timeline-drop"));
    ++pendingDrops_;
    using Drops = std::vector<std::pair<int, QString>>;
    dropWorker_->Post<Drops>(
        this, QString(), [paths](const CBackgroundWorker::CancelFlag&) { return EditableDrops(paths); },
        [this](Drops drops) {
            --pendingDrops_;
            for (auto& [kind, path] : drops)
                SendMessage(this, msg::FilesDropped, WPARAM(kind), ToLParam(&path));
        });
}

QJsonObject CCW_TimeLineWnd::ScriptState() const
{
    QJsonObject state;
    QJsonArray tracks;
    for (auto* v : views_) {
        const CClipTrack& t = v->track();
        QJsonArray clips;
        for (const CMediaFile& c : t.clips())
            clips.append(ClipJson(c));
        tracks.append(QJsonObject {
            { "name", v->objectName() },
            { "clips", clips },
            { "selectedPos", t.selectedPos() ? qint64(*t.selectedPos()) : -1 },
            { "editedPos", t.editedPos() ? qint64(*t.editedPos()) : -1 },
        });
    }
    const CCW_TimeLineView* v = views_[0];
    state["tracks"] = tracks;
    state["activeTrack"] = activeTrack_;
    state["trimTrack"] = trimTrack_;
    state["zoom"] = zoom_;
    state["zoomLevel"] = v->zoomLevel();
    state["pixelsPerUnit"] = v->scale().pixelsPerUnit();
    state["scrollOffset"] = v->scrollOffset();
    state["scrollScale"] = double(scrollScale_);
    state["markerShown"] = v->positionShown();
    state["marker"] = v->position();
    return state;
}
