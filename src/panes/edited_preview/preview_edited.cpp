#include "panes/edited_preview/preview_edited.h"

#include "config/suite_settings.h"
#include "engine/effect_kernels.h"
#include "engine/frame_cache.h"
#include "engine/work_state.h"
#include "export/movie_render.h"
#include "export/phone_link.h"
#include "export/save_formats.h"
#include "export/save_job.h"
#include "panes/movie_view/movie_view.h"
#include "platform/background_worker.h"
#include "platform/dialog_service.h"
#include "platform/private_folder.h"
#include "platform/tsan_annotations.h"
#include "skin/global_work_dlg.h"
#include "skin/skin_button.h"
#include "skin/skin_slider.h"
#include "skin/work_dialog_run.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPainter>
#include <QThread>
#include <QTimerEvent>
#include <QVariant>
#include <algorithm>
#include <chrono>

namespace {
constexpr int kBarHeight = 44;
constexpr int kEffectLast = 18;
constexpr long kSilence = -10000;
constexpr long kSilenceFrom = -2850;
const QString kMessages = QStringLiteral("CW_MESSAGE");
} // namespace

CCW_PreviewEdited::CCW_PreviewEdited(const PaneContext& context, QWidget* parent)
    : MessageWindow<QWidget>(parent)
    , context_(context)
    , worker_(std::make_shared<CBackgroundWorker>(QStringLiteral("edited movie save")))
{
    setObjectName("CCW_PreviewEdited");
    const ResourceLookup& lookup = context_.resources;
    frame_.Load(lookup, QStringLiteral("CW_PREVIEWVIDEO"));
    LoadSkinBitmap(animation_[0], lookup, "CW_PREVIEWEDITED_IMG_PREVIEW_ANI", "IMAGE01");
    LoadSkinBitmap(animation_[1], lookup, "CW_PREVIEWEDITED_IMG_PREVIEW_ANI", "IMAGE02");
    LoadSkinBitmap(volumeIcon_, lookup, "CW_PREVIEWVIDEO_IMG_VOLUME", "IMAGE");

    view_ = new CCW_VideoView(this);
    // The view's open results and its end of playback come here.
    view_->SetMainFrame(this);

    toggle_ = new CSkinButton(this, kToggleId);
    toggle_->setObjectName(QStringLiteral("0x17F1"));
    toggle_->SetImages(lookup.GetResourceImagePath("CW_PREVIEWVIDEO_BTN_PLAY", "IMAGE"),
        lookup.GetResourceImagePath("CW_PREVIEWVIDEO_BTN_PAUSE", "IMAGE"));
    toggle_->SetToolTipKey(lookup, "CW_PREVIEWVIDEO_TOOLTIPS", "BTN_PLAYPAUSE");
    connect(toggle_, &QAbstractButton::clicked, this, [this] { PlayPause(); });
    stop_ = new CSkinButton(this, kStopId);
    stop_->setObjectName(QStringLiteral("0x17F0"));
    stop_->LoadImages(lookup, "CW_PREVIEWVIDEO_BTN_STOP");
    stop_->SetToolTipKey(lookup, "CW_PREVIEWVIDEO_TOOLTIPS", "BTN_STOP");
    connect(stop_, &QAbstractButton::clicked, this, [this] { StopMovie(); });

    position_ = new CSkinSlider(this, kPositionSliderId);
    position_->setObjectName(QStringLiteral("position"));
    position_->LoadBitmaps(lookup, "CW_PREVIEWEDITED_CTRL_SLIDER_VIDEO");
    position_->SetRange(0, 0);
    position_->setEnabled(false);
    volume_ = new CSkinSlider(this, kVolumeSliderId);
    volume_->setObjectName(QStringLiteral("volume"));
    volume_->LoadBitmaps(lookup, "CW_PREVIEWVIDEO_CTRL_SLIDER_SOUND");
    volume_->SetRange(0, kVolumeMax);
    volume_->SetPos(kVolumeMax);

    setProperty(kStateProperty, QVariant::fromValue(quintptr(&CCW_PreviewEdited::StateOf)));
    setFont(MakeSkinFont(lookup, "CLIPWEAVER", "FONT_NORMAL", SkinFontRole::Pane));
    LayOut();
}

CCW_PreviewEdited::~CCW_PreviewEdited()
{
    timer_.stop();
    AbortSave();
}

QString CCW_PreviewEdited::Text(const QString& section, const QString& key) const
{
    return context_.resources.GetResourceText(section, key);
}

void CCW_PreviewEdited::ShowMessage(const QString& section, const QString& key, bool selfClosing, const QString& title)
{
    SkinnedMessage m;
    m.text = Text(section, key);
    m.title = title.isEmpty() ? GetAppTitle() : title;
    m.type = 2;
    m.selfClosing = selfClosing;
    m.textCallback = context_.resources.textCallback();
    m.imageCallback = context_.resources.imageCallback();
    Dialogs().skinnedMessage(this, m);
}

long CCW_PreviewEdited::AttenuationFor(int position, int volumeMax)
{
    if (volumeMax <= 0)
        return kSilence;
    const long attenuation = long(position - volumeMax) * (3000 / volumeMax);
    return attenuation <= kSilenceFrom ? kSilence : attenuation;
}

QRect CCW_PreviewEdited::animationRect() const
{
    return QRect(QPoint(width() - kAnimationInset.x(), height() - kAnimationInset.y()), kAnimationSize);
}

void CCW_PreviewEdited::LayOut()
{
    const QMargins m = frame_.margins();
    const QRect inner = rect().marginsRemoved(m);
    const int barTop = inner.bottom() - kBarHeight + 1;
    view_->setGeometry(inner.left(), inner.top(), inner.width(), std::max(0, barTop - inner.top()));
    const QSize button = toggle_->sizeHint().isValid() ? toggle_->sizeHint() : QSize(24, 24);
    const int row = barTop + (kBarHeight - button.height()) / 2;
    toggle_->setGeometry(QRect(QPoint(inner.left() + 4, row), button));
    stop_->setGeometry(QRect(QPoint(toggle_->geometry().right() + 4, row), stop_->sizeHint()));
    const int volumeWidth = 70;
    const int sliderLeft = stop_->geometry().right() + 8;
    const int volumeLeft = inner.right() - volumeWidth - 4;
    position_->setGeometry(sliderLeft, barTop + 2, std::max(10, volumeLeft - sliderLeft - 24), 16);
    volume_->setGeometry(volumeLeft, barTop + 2, volumeWidth, 16);
}

void CCW_PreviewEdited::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    LayOut();
}

void CCW_PreviewEdited::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    frame_.paint(p, rect());
    const QRect label(position_->geometry().left(), position_->geometry().bottom() + 4, 80, 16);
    p.drawText(label, Qt::AlignLeft | Qt::AlignVCenter, label_);
    if (!volumeIcon_.isNull())
        volumeIcon_.draw(p, volume_->geometry().left() - 20, volume_->geometry().top());
    const SkinBitmap& frame = animation_[animationFrame_ == 2 ? 1 : 0];
    if (!frame.isNull())
        frame.draw(p, animationRect(), QRect(QPoint(0, 0), frame.size()));
}

QJsonObject CCW_PreviewEdited::StateOf(const QObject* object, const QString& section)
{
    const auto* pane = dynamic_cast<const CCW_PreviewEdited*>(object);
    if (!pane)
        return {};
    if (section == QLatin1String("edited")) {
        std::int64_t ms = 0;
        if (pane->loaded_)
            pane->view_->GetPosition(&ms);
        return QJsonObject { { "graphState", pane->loaded_ ? pane->view_->GraphState() : 0 },
            { "positionMs", qint64(ms) }, { "label", pane->label_ }, { "animationFrame", pane->animationFrame_ },
            { "effect", CurrentEffectId.load() }, { "attenuation", qint64(pane->attenuation_) },
            { "loaded", pane->loaded_ } };
    }
    static const char* const kPhases[] = { "idle", "analysing", "extracting", "saving", "done" };
    QJsonObject save { { "phase", kPhases[std::clamp(pane->phase_->load(), 0, 4)] }, { "saving", pane->saving_ },
        { "total", CMovieWorkState::GetTotal() }, { "current", CMovieWorkState::GetCurrent() } };
    if (const SaveResults* r = pane->context_.saveResults) {
        save.insert("results",
            QJsonObject { { "lastSavedPath", r->lastSavedPath }, { "lastSaveSucceeded", r->lastSaveSucceeded },
                { "saveAttempted", r->saveAttempted } });
    }
    return save;
}

// Playback.

bool CCW_PreviewEdited::LoadProject(const CTimelineProject& project)
{
    // The save's loading step fills the view's timeline.
    view_->Close();
    loaded_ = false;
    CMovieSave loader(Environment());
    return loader.LoadProjectIntoPreview(project);
}

LRESULT CCW_PreviewEdited::PreviewWholeMovie(const CTimelineProject* project)
{
    if (saving_ || !project)
        return E_FAIL;
    if (project->track(kVideoTrack).empty()) {
        ShowMessage(kMessages, "NOT_SELCT_VIDEO", false);
        SendMessage(context_.mainFrame, msg::PlayingState, 0, 0);
        return E_FAIL;
    }
    ResetMovie();
    if (!LoadProject(*project) || FAILED(view_->OpenEditedMovieInBackground())) {
        SendMessage(context_.mainFrame, msg::PlayingState, 0, 0);
        return E_FAIL;
    }
    loaded_ = true;
    opening_ = true;
    position_->SetPos(0);
    position_->setEnabled(true);
    LayOut();
    return 0;
}

void CCW_PreviewEdited::OnMovieOpened(long result)
{
    if (!opening_)
        return;
    opening_ = false;
    if (FAILED(result)) {
        loaded_ = false;
        SendMessage(context_.mainFrame, msg::PlayingState, 0, 0);
        return;
    }
    position_->SetRange(0, int(view_->DurationMs() / 1000));
    position_->SetPos(0);
    PlayPause();
}

void CCW_PreviewEdited::PlayPause()
{
    if (!loaded_) {
        toggle_->SetSecondMode(false);
        SendMessage(context_.mainFrame, msg::PlayingState, 0, 1);
        return;
    }
    if (opening_)
        return;
    const std::int32_t state = view_->GraphState();
    if (state == CGraphBasic::Running) {
        view_->Pause();
        timer_.stop();
        playing_ = false;
        toggle_->SetSecondMode(false);
        return;
    }
    SendMessage(context_.mainFrame, msg::PlayingState, 1, state == CGraphBasic::Stopped ? 1 : 0);
    // A stopped movie is loaded afresh by the whole-movie request that answers.
    if (opening_ || !loaded_)
        return;
    if (FAILED(view_->Play()))
        return;
    playing_ = true;
    toggle_->SetSecondMode(true);
    timer_.start(kTimerMs, this);
    attenuation_ = AttenuationFor(volume_->GetPos(), kVolumeMax);
    ApplyVolume();
}

void CCW_PreviewEdited::StopMovie()
{
    if (loaded_ && !opening_) {
        view_->Stop();
        view_->SetPosition(0);
        ShowPosition(0);
        timer_.stop();
        playing_ = false;
        toggle_->SetSecondMode(false);
    }
    SendMessage(context_.mainFrame, msg::PlayingState, 0, 0);
}

void CCW_PreviewEdited::ResetMovie()
{
    if (!loaded_)
        return;
    timer_.stop();
    view_->Stop();
    view_->Close();
    loaded_ = false;
    opening_ = false;
    playing_ = false;
    animationFrame_ = 1;
    toggle_->SetSecondMode(false);
    update();
    SendMessage(context_.mainFrame, msg::PlayingState, 0, 0);
}

void CCW_PreviewEdited::OnPlaybackFinished()
{
    // The view's end event and the timer may both report the end.
    if (!playing_)
        return;
    playing_ = false;
    timer_.stop();
    view_->Stop();
    ShowPosition(0);
    toggle_->SetSecondMode(false);
    SendMessage(context_.mainFrame, msg::PlayingState, 0, 0);
}

void CCW_PreviewEdited::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != timer_.timerId()) {
        QWidget::timerEvent(e);
        return;
    }
    if (!loaded_ || opening_) {
        timer_.stop();
        return;
    }
    std::int64_t ms = 0;
    view_->GetPosition(&ms);
    const std::int32_t state = view_->GraphState();
    if (state == CGraphBasic::Running) {
        if (ms >= view_->DurationMs()) {
            SendMessage(this, msg::PlaybackFinished, 0, 0);
            view_->SetPosition(0);
        } else {
            ShowPosition(ms);
            AdvanceAnimation();
        }
    } else if (state == CGraphBasic::Open || state == CGraphBasic::Stopped || state == CGraphBasic::Paused) {
        timer_.stop();
        ShowPosition(ms);
    }
}

void CCW_PreviewEdited::ShowPosition(std::int64_t ms)
{
    const std::int64_t seconds = std::max<std::int64_t>(ms, 0) / 1000;
    position_->SetPos(int(seconds));
    SendMessage(context_.mainFrame, msg::PositionMarker, 1, LPARAM(ms));
    label_ = QString::asprintf("%.2ld:%.2ld:%.2ld", long(seconds / 3600), long(seconds / 60 % 60), long(seconds % 60));
    update();
}

void CCW_PreviewEdited::AdvanceAnimation()
{
    animationFrame_ = animationFrame_ == 1 ? 2 : 1;
    update(animationRect());
}

void CCW_PreviewEdited::SeekTo(std::int64_t ms)
{
    if (!loaded_ || opening_)
        return;
    view_->SetPosition(ms);
    ShowPosition(ms);
}

void CCW_PreviewEdited::OnSlider(WPARAM id, LPARAM pos)
{
    if (id == WPARAM(kPositionSliderId)) {
        SeekTo(std::int64_t(pos) * 1000);
        return;
    }
    if (id == WPARAM(kSourceVolumeSliderId))
        volume_->SetPos(int(pos));
    if (id == WPARAM(kVolumeSliderId) || id == WPARAM(kSourceVolumeSliderId)) {
        attenuation_ = AttenuationFor(int(pos), kVolumeMax);
        ApplyVolume();
    }
}

void CCW_PreviewEdited::ApplyVolume()
{
    if (loaded_ && !opening_)
        view_->Graph().PutVolume(attenuation_);
}

LRESULT CCW_PreviewEdited::onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    case msg::PreviewClip:
        return PreviewWholeMovie(FromParam<const CTimelineProject>(lParam));
    case msg::StopPlayback:
        StopMovie();
        // The source preview stops too.
        SendMessage(context_.mainFrame, msg::StopPlayback, 0, 0);
        return 0;
    case msg::ResetPreviews:
        ResetMovie();
        return 0;
    case msg::PlaybackFinished:
        OnPlaybackFinished();
        return 0;
    case msg::SliderMoved:
        OnSlider(wParam, lParam);
        return 0;
    case msg::SeekMovie:
        SeekTo(std::int64_t(lParam));
        return 0;
    case msg::EffectChosen:
        CurrentEffectId.store(lParam >= 1 && lParam <= kEffectLast ? std::int32_t(lParam) : 0);
        view_->update();
        return 0;
    case msg::SourceBusy:
        sourceBusy_ = lParam != 0;
        return 0;
    case msg::SaveToPc:
        return SaveToPc(FromParam<const CTimelineProject>(lParam));
    case msg::SaveToPhone:
        return SendThroughHost(FromParam<const CTimelineProject>(lParam));
    case msg::MovieViewOpened:
        if (lParam == LPARAM(CCW_VideoView::KindEditedMovie))
            OnMovieOpened(long(std::int32_t(std::uint32_t(wParam))));
        return 0;
    default:
        handled = false;
        return 0;
    }
}

// Saving.

CGlobalWorkDlg* CCW_PreviewEdited::saveDialog() const
{
    return dialog_;
}

SaveEnvironment CCW_PreviewEdited::Environment()
{
    SaveEnvironment env;
    env.suiteFolder = context_.suiteFolder;
    env.workFolder = context_.workFolder;
    env.frameCache = context_.frameCache;
    env.results = context_.saveResults;
    env.mainFrame = context_.mainFrame;
    env.lookup = context_.resources;
    env.dialogOwner = this;
    env.movieTimeline = &view_->MovieTimeline();
    env.soundTimeline = &view_->SoundTimeline();
    // From the save's worker: the view acts on the UI thread; a call that
    // arrives after the view has gone is dropped with it.
    CCW_VideoView* view = view_;
    env.suspendView = [view](bool on) { PostQueued(view, [view, on] { view->Suspend(on); }); };
    env.stopView = [view] { PostQueued(view, [view] { view->Stop(); }); };
    return env;
}

LRESULT CCW_PreviewEdited::SaveToPc(const CTimelineProject* project)
{
    if (saving_)
        return E_FAIL;
    if (context_.saveResults)
        context_.saveResults->saveAttempted = true;
    CMovieWorkState::SetCancel(0);
    CMovieWorkState::Reset();
    if (context_.frameCache)
        context_.frameCache->FreeAll();
    SendMessage(context_.mainFrame, msg::ResetPreviews, 0, 0);
    ResetMovie();
    if (!project || !LoadProject(*project)) {
        ShowMessage(kMessages, "NO_LOAD_SELECTION", false);
        if (context_.saveResults)
            context_.saveResults->saveAttempted = false;
        return E_FAIL;
    }
    RunPcSave(project);
    CMovieWorkState::Reset();
    return 0;
}

void CCW_PreviewEdited::RunPcSave(const CTimelineProject* project)
{
    const SaveFileType type = CurrentSaveFileType();
    FileDialogRequest request;
    request.filter = type.filter;
    request.defaultName = type.fileName;
    request.defaultExtension = QStringLiteral("Tessaly Movie");
    request.initialFolder = InitialSaveFolder();
    const std::optional<QString> chosen = Dialogs().saveFileName(this, request);
    if (!chosen || chosen->isEmpty())
        return;
    QString path = *chosen;
    // A name typed without the model's extension gets it.
    if (QFileInfo(path).suffix().compare(type.extension(), Qt::CaseInsensitive) != 0)
        path += '.' + type.extension();

    SaveRequest saveRequest;
    for (int t = 0; t < kTrackCount; ++t)
        saveRequest.project.tracks[t] = project->track(t);
    saveRequest.outputPath = path;
    saveRequest.probeOutput = false;
    auto job = std::make_shared<CSaveJob>(Environment(), saveRequest);
    auto phase = phase_;
    phase->store(int(SavePhase::Analysing));
    job->setStepObserver([phase](SaveStep step) {
        phase->store(int(step == SaveStep::Sampling ? SavePhase::Extracting
                : step == SaveStep::Encoding        ? SavePhase::Saving
                                                    : SavePhase::Analysing));
    });
    if (!job->Prepare()) {
        const SaveJobResult refused = job->Finish();
        phase->store(int(SavePhase::Done));
        if (context_.saveResults) {
            context_.saveResults->lastSaveSucceeded = false;
            context_.saveResults->lastSavedPath = path;
        }
        if (!refused.message.isEmpty() && refused.status != SaveJobResult::Status::Cancelled) {
            SkinnedMessage m;
            m.text = refused.message;
            m.title = GetAppTitle();
            Dialogs().skinnedMessage(this, m);
        }
        ShowMessage(kMessages,
            refused.status == SaveJobResult::Status::Cancelled ? QStringLiteral("SAVE_CANCEL")
                                                               : QStringLiteral("SAVE_FAIL"),
            true);
        return;
    }

    saving_ = true;
    auto ended = std::make_shared<std::atomic<bool>>(false);
    const bool stayed = RunBesideDialog(
        "CW_SAVEDLG", Text(kMessages, "SAVE_FILE"), Text(kMessages, "WAIT"), [job] { job->RunPrepared(); }, ended);
    // The editor went during the save (DestroyBtn): nothing here is left
    // to report to.
    if (!stayed)
        return;
    saving_ = false;
    phase->store(int(SavePhase::Done));
    if (!ended->load()) {
        // Still running after the wait: the job finishes on its own and
        // its result is not reported.
        return;
    }
    // Shows what the job would have shown (SAVE_FAIL after 0x464), then the
    // result.
    const SaveJobResult result = job->Finish();
    const bool saved = result.status == SaveJobResult::Status::Saved;
    if (context_.saveResults)
        context_.saveResults->lastSaveSucceeded = saved;
    if (result.status == SaveJobResult::Status::Cancelled) {
        CMovieWorkState::Reset();
        ShowMessage(kMessages, "SAVE_CANCEL", true);
    } else if (saved) {
        ShowMessage(kMessages, "SAVE_OK", true);
    }
}

bool CCW_PreviewEdited::RunBesideDialog(const QString& titleSection, const QString& line0, const QString& line1,
    std::function<void()> job, std::shared_ptr<std::atomic<bool>> ended)
{
    QPointer<CCW_PreviewEdited> self(this);
    // Both outlive the pane while the dialog runs: DestroyBtn may come from
    // inside the dialog's loop.
    std::shared_ptr<CBackgroundWorker> worker = worker_;
    jobEnded_ = ended;
    CGlobalWorkDlg dialog(nullptr);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.SetResourceCallbacks(context_.resources.textCallback(), context_.resources.imageCallback());
    dialog.SetTitle(Text(titleSection, "TITLE"));
    dialog.SetWorkTexts(line0, line1, true);
    dialog_ = &dialog;
    RunWorkBesideDialog(*worker, dialog, msg::CloseProgress, [job, ended](const CBackgroundWorker::CancelFlag&) {
        job();
        ended->store(true, std::memory_order_release);
    });
    if (!self)
        return false;
    dialog_ = nullptr;
    // Ended otherwise than by the job (a script's answer, a time-out): the
    // run has cancelled it; its end is awaited here.
    if (!ended->load(std::memory_order_acquire))
        WaitFor(ended, kAbortWaitMs);
    return bool(self);
}

void CCW_PreviewEdited::WaitFor(const std::shared_ptr<std::atomic<bool>>& ended, int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!ended->load(std::memory_order_acquire) && std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

bool CCW_PreviewEdited::AbortSave(int timeoutMs)
{
    const auto ended = jobEnded_;
    if (!ended || ended->load(std::memory_order_acquire))
        return true;
    CSaveJob::Cancel();
    WaitFor(ended, timeoutMs);
    // The job's end closes the dialog; without it the dialog is closed here.
    if (dialog_ && dialog_->IsRunning())
        SendMessage(dialog_, msg::CloseProgress);
    return ended->load(std::memory_order_acquire);
}

LRESULT CCW_PreviewEdited::SendThroughHost(const CTimelineProject* project)
{
    if (saving_)
        return E_FAIL;
    qulonglong handle = 0;
    QString commLibrary;
    if (!context_.hostConnection || !context_.hostConnection(&handle, &commLibrary)) {
        ShowMessage("COMMDLL", "COMMDLL_MUST_CONNECTED", false);
        return E_FAIL;
    }
    if (context_.frameCache)
        context_.frameCache->FreeAll();
    SendMessage(context_.mainFrame, msg::ResetPreviews, 0, 0);
    ResetMovie();
    if (!project || !LoadProject(*project)) {
        ShowMessage(kMessages, "NO_LOAD_SELECTION", false, Text("COMMDLL", "COMMDLL_MESSAGE_TITLE"));
        return E_FAIL;
    }
    CMovieWorkState::SetCancel(0);
    CMovieWorkState::Reset();
    const QString folder = context_.workFolder.isEmpty() ? WorkFolderBase(context_.suiteFolder) : context_.workFolder;
    const QString avi = folder + '/' + CMovieSave::kVideoAviName;
    const REFERENCE_TIME duration = view_->TimelineDurationMs() * 10000;
    // The render runs on the worker; its messages wait for the dialog's end.
    auto result = std::make_shared<std::atomic<long>>(E_FAIL);
    auto messages = std::make_shared<DeferredMessages>();
    CMovieTimeline* timeline = &view_->MovieTimeline();
    saving_ = true;
    auto ended = std::make_shared<std::atomic<bool>>(false);
    const bool stayed = RunBesideDialog(
        "CW_WORKDLG", Text(kMessages, "SAVE_FILE2"), Text(kMessages, "SAVE_FILE3"),
        [result, messages, timeline, avi, duration] {
            DeferMessages defer(*messages);
            result->store(CompressVideo(timeline, avi, 0, duration));
        },
        ended);
    if (!stayed)
        return E_FAIL;
    saving_ = false;
    if (!ended->load())
        return E_FAIL;
    messages->Replay();
    if (result->load() != S_OK || CMovieWorkState::IsCancelled()) {
        CMovieWorkState::Reset();
        return E_FAIL;
    }
    const std::optional<int> called = CallCommLibrary(
        commLibrary, handle, context_.resources.textCallback(), context_.resources.imageCallback(), avi);
    return called && *called != 0 ? 0 : E_FAIL;
}
