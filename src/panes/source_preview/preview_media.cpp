#include "panes/source_preview/preview_media.h"

#include "config/media_classify.h"
#include "config/suite_settings.h"
#include "engine/media_probe.h"
#include "engine/video_renderer.h"
#include "panes/edited_preview/preview_edited.h"
#include "panes/movie_view/movie_view.h"
#include "panes/source_preview/level_bars.h"
#include "platform/background_worker.h"
#include "platform/dialog_service.h"
#include "platform/system_volume.h"
#include "project/clip_text.h"
#include "project/media_file.h"
#include "skin/movie_work_dlg.h"
#include "skin/range_slider.h"
#include "skin/skin_button.h"
#include "skin/skin_slider.h"
#include "skin/work_dialog_run.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QPainter>
#include <QPointer>
#include <QTimerEvent>
#include <QVariant>
#include <algorithm>
#include <cmath>
#include <filesystem>

namespace {
const QString kMessages = QStringLiteral("CW_MESSAGE");
const QString kMixerLane = QStringLiteral("mixer");
constexpr int kMaxProbeSide = 8192;

std::int64_t WholeSecondMs(double seconds)
{
    return std::int64_t(WholeSecondsMs(seconds));
}
} // namespace

// What the worker hands back from one open.
struct CCW_PreviewMedia::Load {
    bool refused = false; // by the import rule
    bool notAFile = false; // missing, a folder, a FIFO...
    std::int64_t bytes = 0;
    CCW_VideoView::OpenedFile opened;
};

CCW_PreviewMedia::CCW_PreviewMedia(const PaneContext& context, QWidget* parent)
    : MessageWindow<QWidget>(parent)
    , context_(context)
    , worker_(std::make_shared<CBackgroundWorker>(QStringLiteral("source preview")))
    , converter_(std::make_shared<CPhoneMovieConverter>())
    , seekLane_(CMediaProbe::Lane(this, "seek"))
{
    setObjectName("CCW_PreviewMedia");
    const ResourceLookup& lookup = context_.resources;
    frame_.Load(lookup, QStringLiteral("CW_PREVIEWVIDEO"));
    LoadSkinBitmap(volumeIcon_, lookup, "CW_PREVIEWVIDEO_IMG_VOLUME", "IMAGE");

    view_ = new CCW_VideoView(this);
    view_->setObjectName(QString::number(kViewId));
    // Its end of playback reaches this pane through the frame and the container.
    view_->SetMainFrame(context_.mainFrame);
    spectrum_ = new CCW_AudioSpectrum(lookup, this);
    spectrum_->setObjectName(QString::number(kSpectrumId));
    spectrum_->hide();

    toggle_ = new CSkinButton(this, kToggleId);
    toggle_->setObjectName(QString::number(kToggleId));
    toggle_->SetImages(lookup.GetResourceImagePath("CW_PREVIEWVIDEO_BTN_PLAY", "IMAGE"),
        lookup.GetResourceImagePath("CW_PREVIEWVIDEO_BTN_PAUSE", "IMAGE"));
    toggle_->setToolTip(QStringLiteral("Play"));
    connect(toggle_, &QAbstractButton::clicked, this, [this] { PlayPause(); });
    stop_ = new CSkinButton(this, kStopId);
    stop_->setObjectName(QString::number(kStopId));
    stop_->LoadImages(lookup, "CW_PREVIEWVIDEO_BTN_STOP");
    stop_->SetToolTipKey(lookup, "CW_PREVIEWVIDEO_TOOLTIPS", "BTN_STOP");
    connect(stop_, &QAbstractButton::clicked, this, [this] { Stop(); });
    send_ = new CSkinButton(this, kSendId);
    send_->setObjectName(QString::number(kSendId));
    send_->SetImages(lookup.GetResourceImagePath("CW_PREVIEWVIDEO_BTN_SEND2TIMELINE", "IMAGE"));
    send_->SetToolTipKey(lookup, "CW_PREVIEWVIDEO_TOOLTIPS", "BTN_SEND2TIMELINE");
    connect(send_, &QAbstractButton::clicked, this, [this] { SendClip(false); });
    change_ = new CSkinButton(this, kChangeId);
    change_->setObjectName(QString::number(kChangeId));
    change_->SetImages(lookup.GetResourceImagePath("CW_PREVIEWVIDEO_BTN_SEND2TIMELINE", "IMAGE2"));
    change_->SetToolTipKey(lookup, "CW_PREVIEWVIDEO_TOOLTIPS", "BTN_CHANGEDURATION");
    connect(change_, &QAbstractButton::clicked, this, [this] { SendClip(true); });

    range_ = new CRangeSlider(this, kRangeId);
    range_->setObjectName(QString::number(kRangeId));
    range_->LoadBitmaps(lookup, "CW_PREVIEWVIDEO_CTRL_MULTISLIDER_VIDEO");
    range_->SetVisualMode(true);
    SetRangeQuietly(1, 0, 1);
    volume_ = new CSkinSlider(this, kVolumeId);
    volume_->setObjectName(QString::number(kVolumeId));
    volume_->LoadBitmaps(lookup, "CW_PREVIEWVIDEO_CTRL_SLIDER_SOUND");
    volume_->SetRange(0, 0);

    setProperty(CCW_PreviewEdited::kStateProperty, QVariant::fromValue(quintptr(&CCW_PreviewMedia::StateOf)));
    setFont(MakeSkinFont(lookup, "CLIPWEAVER", "FONT_NORMAL", SkinFontRole::Pane));
    SetEditingFlagOnWorker(false);
    ShowActionButton();
    LayOut();
}

CCW_PreviewMedia::~CCW_PreviewMedia()
{
    timer_.stop();
    if (context_.probe)
        context_.probe->Cancel(seekLane_);
    spectrum_->RestoreMicSource();
}

void CCW_PreviewMedia::SetEditingFlagOnWorker(bool editing)
{
    // A registry write waits on the disk; the worker keeps the order.
    worker_->Post<int>(
        nullptr, QString(),
        [editing](const CBackgroundWorker::CancelFlag&) {
            SetEditingFlag(editing);
            return 0;
        },
        [](int) {});
}

QString CCW_PreviewMedia::Text(const QString& section, const QString& key) const
{
    return context_.resources.GetResourceText(section, key);
}

void CCW_PreviewMedia::AskVolumeMaximum()
{
    // Once, before the first load on the same worker, so the answer comes
    // before the load's: the mixer may answer slowly.
    if (volumeAsked_ || volumeGiven_)
        return;
    volumeAsked_ = true;
    worker_->Post<long>(
        this, kMixerLane,
        [](const CBackgroundWorker::CancelFlag&) {
            CSystemVolumeCtrl mixer;
            return mixer.OpenMixer() ? mixer.GetMasterVolumeMax() : -1L;
        },
        [this](long maximum) {
            if (!volumeGiven_)
                TakeVolumeMaximum(maximum);
        });
}

void CCW_PreviewMedia::SetVolumeMaximum(long maximum)
{
    volumeGiven_ = true;
    worker_->Cancel(kMixerLane);
    TakeVolumeMaximum(maximum);
}

void CCW_PreviewMedia::TakeVolumeMaximum(long maximum)
{
    volumeMax_ = maximum > 0 ? maximum : -1;
    volumeAvailable_ = volumeMax_ > 0;
    volume_->SetRange(0, int(std::max(0L, volumeMax_)));
    volume_->SetPos(int(std::max(0L, volumeMax_)));
    attenuation_ = volumeAvailable_ ? CCW_PreviewEdited::AttenuationFor(volume_->GetPos(), int(volumeMax_)) : 0;
}

// Layout.

void CCW_PreviewMedia::LayOut()
{
    const QRect r = rect();
    const int L = r.left(), T = r.top(), R = r.right() + 1, B = r.bottom() + 1;
    const auto place = [](QWidget* w, int left, int top, int right, int bottom) {
        w->setGeometry(left, top, std::max(0, right - left), std::max(0, bottom - top));
    };
    place(toggle_, L + 9, B - 32, L + 39, B - 2);
    place(stop_, L + 39, B - 32, L + 69, B - 2);
    for (CSkinButton* action : { send_, change_ }) {
        const int w = action->sizeHint().isValid() ? action->sizeHint().width() : 60;
        place(action, R - (w + 5), B - 28, R - 5, B - 5);
    }
    place(volume_, 89, B - 23, 155, B - 10);
    place(range_, L + 8, B - 50, R - 76, B - 33);
    const QMargins m = frame_.margins();
    const QRect picture(QPoint(L + m.left(), T + m.top()), QPoint(R - m.right() - 1, B - 52));
    view_->setGeometry(picture);
    spectrum_->setGeometry(picture);
}

void CCW_PreviewMedia::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    LayOut();
}

void CCW_PreviewMedia::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    frame_.paint(p, rect());
    const QRect slider = range_->geometry();
    p.drawText(QRect(slider.right() + 4, slider.top(), width() - slider.right() - 8, slider.height()),
        Qt::AlignLeft | Qt::AlignVCenter, label_);
    if (!volumeIcon_.isNull())
        volumeIcon_.draw(p, volume_->geometry().left() - volumeIcon_.width() - 2, volume_->geometry().top());
}

void CCW_PreviewMedia::mousePressEvent(QMouseEvent* e)
{
    QWidget::mousePressEvent(e);
    SendInfoLine();
}

void CCW_PreviewMedia::ShowActionButton()
{
    send_->setVisible(!fromTimeline_);
    change_->setVisible(fromTimeline_);
    for (QWidget* w : std::initializer_list<QWidget*> { toggle_, stop_, send_, change_, range_, volume_ })
        w->setEnabled(true);
}

void CCW_PreviewMedia::SetPlayFace(bool playing)
{
    toggle_->SetSecondMode(playing);
    toggle_->setToolTip(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
}

void CCW_PreviewMedia::SetRangeQuietly(double max, double left, double right)
{
    rangeGuard_ = true;
    range_->SetMinMax(0, max);
    range_->SetRange(left, right);
    range_->SetVisualRange(0, 0);
    rangeGuard_ = false;
}

bool CCW_PreviewMedia::IsSound() const
{
    return kind_ == ClipKind::Sound || kind_ == ClipKind::Voice;
}

// Opening.

LRESULT CCW_PreviewMedia::Open(WPARAM sourceKind, const QString& path, bool fromTimeline)
{
    if (path.isEmpty() || sourceKind > 2)
        return E_FAIL;
    if (loaded_)
        Stop();
    Reset();
    fromTimeline_ = fromTimeline;
    path_ = displayPath_ = path;
    ShowActionButton();
    phoneFormat_ = IsPhoneFormatFile(path);

    AskVolumeMaximum();
    const std::uint64_t serial = ++loadSerial_;
    auto load = std::make_shared<Load>();
    auto setup = std::make_shared<ImportSetup>();
    setup->resources = context_.resources;
    setup->workFolder = context_.importFolders ? context_.workFolder : QString();
    setup->owner = window();
    // No parent: the editor's window may go while the dialog runs.
    CMovie_WorkDlg dialog(nullptr, this);
    dialog.setWindowModality(Qt::ApplicationModal);
    setup->progressWindow = &dialog;
    dialog.SetResourceCallbacks(context_.resources.textCallback(), context_.resources.imageCallback());
    dialog.SetTitle(Text("CW_WORKDLG", "TITLE"));
    dialog.SetWorkTexts(Text(kMessages, "READ_FILE"), Text(kMessages, "WAIT"), false);

    // Both outlive the pane while the dialog runs: the editor may go from
    // inside the dialog's loop.
    QPointer<CCW_PreviewMedia> self(this);
    std::shared_ptr<CBackgroundWorker> worker = worker_;
    ++opening_;
    const WorkRunResult run = RunWorkBesideDialog(*worker, dialog, msg::CloseMovieWork,
        [load, setup, converter = converter_, path, phone = phoneFormat_](const CBackgroundWorker::CancelFlag& cancel) {
            if (phone && RunImportRule(path, ImportVariant::Preview, *setup, *converter) == ImportResult::Refused) {
                load->refused = true;
                return;
            }
            // Only regular files open: a FIFO named like a movie would block
            // the reader for good.
            std::error_code error;
            const std::filesystem::path file(QFile::encodeName(path).toStdString());
            if (!std::filesystem::is_regular_file(file, error)) {
                load->notAFile = true;
                return;
            }
            load->bytes = std::int64_t(std::filesystem::file_size(file, error));
            load->opened = CCW_VideoView::OpenOnWorker(path, nullptr, cancel);
        });
    CPhoneMovieConverter::progressReceiver = nullptr;
    // An open that lost (the pane went, a newer open came, the run ended
    // early): its graph is closed on the worker, after the job.
    const auto drop = [worker, load] {
        worker->Post<int>(
            nullptr, QString(),
            [load](const CBackgroundWorker::CancelFlag&) {
                load->opened.graph.reset();
                return 0;
            },
            [](int) {});
    };
    if (!self) {
        drop();
        return E_FAIL;
    }
    --opening_;
    if (serial != loadSerial_ || !run.jobEnded) {
        drop();
        return E_FAIL;
    }
    if (load->refused || load->notAFile || FAILED(load->opened.result) || !load->opened.graph) {
        Reset();
        return E_FAIL;
    }
    TakeLoad(*load, sourceKind);
    return loaded_ ? 0 : E_FAIL;
}

void CCW_PreviewMedia::TakeLoad(Load& load, WPARAM sourceKind)
{
    const auto viewKind = sourceKind == 0 ? CCW_VideoView::KindVideoFile : CCW_VideoView::KindAudioFile;
    if (FAILED(view_->TakeOpened(path_, viewKind, std::move(load.opened)))) {
        Reset();
        return;
    }
    loaded_ = true;
    fileBytes_ = load.bytes;
    const CGraphBasic& graph = view_->Graph();
    if (sourceKind == 0)
        kind_ = graph.IsAudioOnly() ? ClipKind::Sound
            : graph.IsVideoOnly()   ? ClipKind::VideoOnly
                                    : ClipKind::VideoWithSound;
    else
        kind_ = sourceKind == 1 ? ClipKind::Sound : ClipKind::Voice;
    const std::int64_t seconds = std::max<std::int64_t>(0, view_->DurationMs()) / 1000;
    lengthMs_ = std::uint32_t(seconds * 1000);
    SetRangeQuietly(double(seconds), 0, double(seconds));
    width_ = view_->VideoSize().width();
    height_ = view_->VideoSize().height();
    view_->setVisible(!IsSound());
    spectrum_->setVisible(IsSound());
    ShowActionButton();
    SendInfoLine();
    ApplyVolume();
    PlayPause();
}

// Transport.

bool CCW_PreviewMedia::CheckFile()
{
    if (QFileInfo::exists(path_))
        return true;
    SkinnedMessage m;
    m.text = Text(kMessages, "NO_FILE");
    m.title = GetAppTitle();
    m.textCallback = context_.resources.textCallback();
    m.imageCallback = context_.resources.imageCallback();
    Dialogs().skinnedMessage(this, m);
    QString gone = path_;
    SendMessage(context_.mainFrame, msg::FileGone, 0, ToLParam(&gone));
    return false;
}

void CCW_PreviewMedia::PlayPause()
{
    if (!loaded_) {
        SetPlayFace(false);
        return;
    }
    if (!CheckFile())
        return;
    if (view_->GraphState() == CGraphBasic::Running) {
        view_->Pause();
        if (IsSound())
            spectrum_->StopSpectrum();
        timer_.stop();
        SetPlayFace(false);
        return;
    }
    if (FAILED(view_->PlayPause()))
        return;
    SetPlayFace(true);
    if (IsSound())
        spectrum_->StartSpectrum();
    timer_.start(kTimerMs, this);
    SendMessage(context_.mainFrame, msg::PlayingState, 1, 0);
    ApplyVolume();
}

void CCW_PreviewMedia::Stop()
{
    if (!loaded_ || !CheckFile())
        return;
    view_->Stop();
    if (IsSound())
        spectrum_->StopSpectrum();
    double left = 0, right = 0;
    range_->GetRange(left, right);
    const std::int64_t ms = WholeSecondMs(left);
    SeekTo(ms);
    ShowPosition(ms);
    timer_.stop();
    SetPlayFace(false);
    SendMessage(context_.mainFrame, msg::PlayingState, 0, 0);
}

void CCW_PreviewMedia::Reset()
{
    if (context_.probe)
        context_.probe->Cancel(seekLane_);
    view_->Close();
    spectrum_->StopSpectrum();
    timer_.stop();
    SetPlayFace(false);
    loaded_ = false;
    path_.clear();
    fromTimeline_ = false;
    kind_ = 0;
    lengthMs_ = 0;
    width_ = height_ = 0;
    fileBytes_ = 0;
    ShowActionButton();
    SetRangeQuietly(1, 0, 1);
    label_ = QStringLiteral("00:00:00");
    labelIsLength_ = false;
    update();
    SendMessage(context_.mainFrame, msg::PlayingState, 0, 0);
}

void CCW_PreviewMedia::OnPlaybackFinished()
{
    std::int64_t ms = 0;
    view_->GetPosition(&ms);
    ShowPosition(ms);
    timer_.stop();
    SetPlayFace(false);
    if (IsSound())
        spectrum_->StopSpectrum();
    SendMessage(context_.mainFrame, msg::PlayingState, 0, 0);
}

void CCW_PreviewMedia::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != timer_.timerId()) {
        QWidget::timerEvent(e);
        return;
    }
    std::int64_t ms = 0;
    view_->GetPosition(&ms);
    if (!loaded_ || view_->GraphState() != CGraphBasic::Running) {
        timer_.stop();
        ShowPosition(ms);
        return;
    }
    ShowPosition(ms);
    double left = 0, right = 0;
    range_->GetRange(left, right);
    if (right <= double(ms) / 1000.0) {
        ShowPosition(std::int64_t(right * 1000));
        Stop();
    }
}

void CCW_PreviewMedia::ShowPosition(std::int64_t ms)
{
    range_->SetVisualRange(0, double(ms) / 1000.0);
    label_ = DurationText(ms);
    labelIsLength_ = false;
    update();
}

void CCW_PreviewMedia::SeekTo(std::int64_t ms)
{
    if (!loaded_)
        return;
    if (!context_.probe || width_ <= 0 || height_ <= 0) {
        // Nothing to decode for a sound.
        view_->SetPosition(ms);
        return;
    }
    view_->Graph().MovePosition(REFERENCE_TIME(ms) * 10000);
    const QString path = path_;
    context_.probe->ProbeBitmap(this, seekLane_, path, double(ms) / 1000.0, std::min(width_, kMaxProbeSide),
        std::min(height_, kMaxProbeSide), [this, path, ms](MediaBitmap bitmap) {
            if (!bitmap.ok || !loaded_ || path != path_ || view_->GraphState() == CGraphBasic::Running)
                return;
            if (const auto& slot = view_->Graph().VideoSlot())
                slot->Present(bitmap.ToImage(), REFERENCE_TIME(ms) * 10000);
        });
}

void CCW_PreviewMedia::OnRangeChanged(WPARAM which, LPARAM released)
{
    if (rangeGuard_ || !loaded_)
        return;
    double left = 0, right = 0;
    range_->GetRange(left, right);
    if (view_->GraphState() == CGraphBasic::Running) {
        view_->PlayPause();
        timer_.stop();
        if (IsSound())
            spectrum_->StopSpectrum();
        SetPlayFace(false);
    }
    const bool rightDragged = which == 1 && released != 1;
    const double shown = rightDragged ? right : left;
    range_->SetVisualRange(0, shown);
    SeekTo(rightDragged ? std::int64_t(right * 1000) : WholeSecondMs(left));
    label_ = DurationText(WholeSecondMs(right - left));
    labelIsLength_ = true;
    update();
    SendInfoLine();
}

void CCW_PreviewMedia::SendClip(bool changeDuration)
{
    if (!loaded_ || !CheckFile())
        return;
    Stop();
    double left = 0, right = 0;
    range_->GetRange(left, right);
    std::int32_t kind = kind_;
    if (!changeDuration && view_->Graph().AudioLength() == 0)
        kind = ClipKind::VideoOnly;
    CMediaFile clip(path_, lengthMs_, width_, height_, kind);
    clip.SetTimes(WholeSecondsMs(left), WholeSecondsMs(right - left), lengthMs_);
    SendMessage(parentWidget(), msg::ClipToTimeline, changeDuration ? 1 : 0, ToLParam(&clip));
    if (!changeDuration)
        SetEditingFlagOnWorker(true);
}

// Volume.

void CCW_PreviewMedia::OnVolume(int position)
{
    if (volumeAvailable_)
        attenuation_ = CCW_PreviewEdited::AttenuationFor(position, int(volumeMax_));
    ApplyVolume();
    // The edited-movie preview follows with its own slider.
    SendMessage(parentWidget(), msg::SliderMoved, kVolumeId, position);
}

void CCW_PreviewMedia::ApplyVolume()
{
    if (volumeAvailable_ && loaded_)
        view_->Graph().PutVolume(attenuation_);
}

void CCW_PreviewMedia::SendInfoLine()
{
    if (!loaded_)
        return;
    const CMediaFile clip(path_, lengthMs_, width_, height_, kind_);
    infoLine_ = ClipInfoLine(clip, fileBytes_);
    QString path = displayPath_;
    QString line = infoLine_;
    SendMessage(context_.mainFrame, msg::HostStatus, ToWParam(&path), ToLParam(&line));
}

QJsonObject CCW_PreviewMedia::StateOf(const QObject* object, const QString& section)
{
    const auto* pane = dynamic_cast<const CCW_PreviewMedia*>(object);
    if (!pane || section != QLatin1String("preview"))
        return {};
    double min = 0, max = 0, left = 0, right = 0, playedFrom = 0, playedTo = 0;
    pane->range_->GetMinMax(min, max);
    pane->range_->GetRange(left, right);
    pane->range_->GetVisualRange(playedFrom, playedTo);
    QJsonArray heights;
    for (int h : pane->spectrum_->shownFrame())
        heights.append(h);
    return QJsonObject { { "path", pane->path_ }, { "kind", pane->kind_ }, { "loaded", pane->loaded_ },
        { "fromTimeline", pane->fromTimeline_ }, { "lengthMs", qint64(pane->lengthMs_) },
        { "bounds", QJsonArray { min, max } }, { "marks", QJsonArray { left, right } },
        { "played", QJsonArray { playedFrom, playedTo } }, { "label", pane->label_ },
        { "labelIsLength", pane->labelIsLength_ }, { "graphState", pane->loaded_ ? pane->view_->GraphState() : 0 },
        { "attenuation", qint64(pane->attenuation_) }, { "volumeMax", qint64(pane->volumeMax_) },
        { "spectrum", heights } };
}

LRESULT CCW_PreviewMedia::onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    case msg::OpenSource: {
        const auto* path = FromParam<const QString>(lParam);
        return path ? Open(wParam, *path, false) : E_FAIL;
    }
    case msg::PreviewClip: {
        const auto* clip = FromParam<const CMediaFile>(lParam);
        return clip ? Open(wParam, clip->path(), true) : E_FAIL;
    }
    case msg::ResetPreviews:
        Reset();
        return 0;
    case msg::StopPlayback:
        Stop();
        return 0;
    case msg::TrackEmptied:
        if (fromTimeline_)
            SendMessage(this, msg::ResetPreviews, 0, 0);
        return 0;
    case msg::FileGone: {
        const auto* path = FromParam<const QString>(lParam);
        if (path && !path_.isEmpty() && path->compare(path_, Qt::CaseInsensitive) == 0)
            SendMessage(this, msg::ResetPreviews, 0, 0);
        return 0;
    }
    case msg::RangeChanged:
        OnRangeChanged(wParam, lParam);
        return 0;
    case msg::SliderMoved:
        if (wParam == WPARAM(kVolumeId))
            OnVolume(int(lParam));
        return 0;
    case msg::PlaybackFinished:
        OnPlaybackFinished();
        return 0;
    default:
        handled = false;
        return 0;
    }
}
