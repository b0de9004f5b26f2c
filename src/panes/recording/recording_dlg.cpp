#include "panes/recording/recording_dlg.h"

#include "engine/audio_capture_filter.h"
#include "engine/voice_capture_graph.h"
#include "panes/movie_view/movie_view.h"
#include "platform/dialog_service.h"
#include "skin/skin_button.h"
#include "skin/skin_slider.h"

#include <QDir>
#include <QLineEdit>
#include <QPainter>

namespace {
const QString kSection = QStringLiteral("CW_RECORDINGDLG");
const QString kTooltips = QStringLiteral("CW_RECORDINGDLG_TOOLTIP");

struct ButtonLayout {
    int id;
    const char* section;
    const char* tooltip; // key in kTooltips, or null
    QPoint at;
};
// Layout: the buttons in a row under the slider, confirm and cancel at the right.
constexpr int kRowY = 150;
const ButtonLayout kButtons[] = {
    { CCW_RecordingDlg::IdPlay, "CW_RECORDINGDLG_BTN_PLAY", "BTN_PLAY", { 20, kRowY } },
    { CCW_RecordingDlg::IdStop, "CW_RECORDINGDLG_BTN_STOP", "BTN_STOP", { 60, kRowY } },
    { CCW_RecordingDlg::IdRecord, "CW_RECORDINGDLG_BTN_RECORD", "BTN_RECORD", { 100, kRowY } },
    { CCW_RecordingDlg::IdConfirm, "CW_RECORDINGDLG_BTN_CONFIRM", nullptr, { 200, kRowY } },
    { CCW_RecordingDlg::IdCancel, "CW_RECORDINGDLG_BTN_CANCEL", nullptr, { 276, kRowY } },
};
const QRect kTimeRect(20, 48, 160, 24);
const QRect kNameRect(190, 48, 150, 24);
const QRect kSliderRect(20, 112, 320, 16);
const QRect kBackgroundRect(8, 39, 344, 165);
} // namespace

CCW_RecordingDlg::CCW_RecordingDlg(const PaneContext& context, QWidget* parent)
    : MessageWindow<CSkinBaseDialog>(parent)
    , context_(context)
{
    setObjectName(QStringLiteral("CCW_RecordingDlg"));
    static_cast<ResourceLookup&>(*this) = context.resources;
    SetSkinned(true);
    recordingClock_.setTimerType(Qt::PreciseTimer);
    recordingClock_.setInterval(kRecordingClockMs);
    connect(&recordingClock_, &QTimer::timeout, this, [this] { OnRecordingTick(); });
    playbackClock_.setInterval(kPlaybackClockMs);
    connect(&playbackClock_, &QTimer::timeout, this, [this] { OnPlaybackTick(); });
}

CCW_RecordingDlg::~CCW_RecordingDlg()
{
    StopRecording();
    if (view_)
        view_->Close();
}

void CCW_RecordingDlg::SetVoiceName(const QString& name)
{
    voiceName_ = name;
    if (name_)
        name_->setText(name);
}

CSkinButton* CCW_RecordingDlg::button(int id) const
{
    const int index = id - IdPlay;
    return index >= 0 && index < int(buttons_.size()) ? buttons_[std::size_t(index)] : nullptr;
}

std::int64_t CCW_RecordingDlg::FirstSampleMs() const
{
    return graph_ ? graph_->FirstSampleMs() : 0;
}

int CCW_RecordingDlg::SliderPos() const
{
    return slider_ ? slider_->GetPos() : 0;
}

void CCW_RecordingDlg::OnInitDialog()
{
    CSkinBaseDialog::OnInitDialog();
    setFixedSize(kSize);
    SetTitle(GetResourceText(kSection, "TITLE"));
    LoadSkinBitmap(background_, *this, "CW_RECORDINGDLG_IMG_BG", "IMAGE");

    for (const ButtonLayout& layout : kButtons) {
        auto* b = new CSkinButton(this, layout.id);
        b->setObjectName(QStringLiteral("0x%1").arg(layout.id, 0, 16));
        b->setProperty("controlId", layout.id);
        b->LoadImages(*this, QString::fromLatin1(layout.section));
        if (layout.tooltip)
            b->SetToolTipKey(*this, kTooltips, QString::fromLatin1(layout.tooltip));
        if (b->size().isEmpty())
            b->resize(32, 32);
        b->move(layout.at);
        b->show();
        buttons_[std::size_t(layout.id - IdPlay)] = b;
    }
    connect(button(IdPlay), &QAbstractButton::clicked, this, [this] { OnPlay(); });
    connect(button(IdStop), &QAbstractButton::clicked, this, [this] { OnStop(); });
    connect(button(IdRecord), &QAbstractButton::clicked, this, [this] { OnRecord(); });
    connect(button(IdConfirm), &QAbstractButton::clicked, this, [this] { OnConfirm(); });
    connect(button(IdCancel), &QAbstractButton::clicked, this, [this] { OnCancel(); });

    slider_ = new CSkinSlider(this, IdSlider);
    slider_->setObjectName(QStringLiteral("0x1806"));
    slider_->setProperty("controlId", int(IdSlider));
    slider_->LoadBitmaps(*this, QStringLiteral("CW_RECORDINGDLG_CTRL_SLIDER_VIDEO"));
    slider_->SetRange(0, CRecordingClock::kSliderRange);
    slider_->setGeometry(kSliderRect);
    slider_->show();

    name_ = new QLineEdit(voiceName_, this);
    name_->setObjectName(QStringLiteral("name"));
    name_->setProperty("controlId", int(IdName));
    name_->setGeometry(kNameRect);
    name_->show();

    // The view plays the recording; sound only, so it stays hidden.
    view_ = new CCW_VideoView(this);
    view_->setWindowTitle(QStringLiteral("PLAYER"));
    view_->setObjectName(QStringLiteral("PLAYER"));
    view_->setProperty("controlId", int(IdView));
    view_->SetMainFrame(this);
    view_->setGeometry(0, 0, 1, 1);
    view_->hide();
    PublishState();
}

void CCW_RecordingDlg::paintEvent(QPaintEvent* e)
{
    CSkinBaseDialog::paintEvent(e);
    QPainter p(this);
    if (!background_.isNull())
        background_.draw(p, kBackgroundRect, QRect(QPoint(0, 0), background_.size()));
    p.setFont(MakeSkinFont(*this, QStringLiteral("CLIPWEAVER"), QStringLiteral("FONT_NORMAL"), SkinFontRole::Pane));
    p.setPen(Qt::white);
    p.drawText(kTimeRect, Qt::AlignLeft | Qt::AlignVCenter, timeText_);
}

void CCW_RecordingDlg::SetTimeText(const QString& text)
{
    timeText_ = text;
    update(kTimeRect);
    PublishState();
}

void CCW_RecordingDlg::SetSliderPos(int pos)
{
    if (slider_)
        slider_->SetPos(pos);
    PublishState();
}

void CCW_RecordingDlg::PublishState()
{
    setProperty("recording", recording_);
    setProperty("paused", paused_);
    setProperty("hasRecording", recorded_);
    setProperty("playing", playing_);
    setProperty("timeText", timeText_);
    setProperty("slider", SliderPos());
    setProperty("recordedPath", recordedPath_);
    setProperty("devices", deviceNames_);
}

QString CCW_RecordingDlg::RecordingPath() const
{
    QString name = name_ ? name_->text() : voiceName_;
    if (name.isEmpty())
        name = QStringLiteral("UserVoice") + QString::asprintf("%.2ld", number_);
    // The file stays in the work folder whatever the name holds.
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    if (name == QLatin1String("..") || name == QLatin1String("."))
        name.fill(QLatin1Char('_'));
    return context_.workFolder + QLatin1Char('/') + name + QStringLiteral(".wav");
}

HRESULT CCW_RecordingDlg::StartRecording()
{
    graph_.reset();
    if (context_.workFolder.isEmpty() || !QDir().mkpath(context_.workFolder))
        return E_FAIL;
    const QString path = RecordingPath();
    graph_ = std::make_unique<CVoiceCaptureGraph>(this);
    const HRESULT hr = graph_->StartCapture(path);
    deviceNames_ = graph_->DeviceNames();
    if (FAILED(hr)) {
        graph_.reset();
        recording_ = paused_ = false;
        recordingClock_.stop();
        clock_.Reset();
        PublishState();
        return hr;
    }
    recordedPath_ = path;
    recording_ = true;
    paused_ = false;
    clock_.Reset();
    SetTimeText(QStringLiteral("00:00:00.0"));
    recordingClock_.start();
    return S_OK;
}

void CCW_RecordingDlg::StopRecording()
{
    if (!graph_ || !(recording_ || paused_))
        return;
    graph_->StopCapture();
    graph_.reset();
    recording_ = paused_ = false;
    clock_.Reset();
    recordingClock_.stop();
    recorded_ = true;
    PublishState();
}

void CCW_RecordingDlg::PauseRecording()
{
    if (!graph_ || !recording_)
        return;
    graph_->PauseCapture();
    clock_.Pause(CAudioCaptureFilter::NowMs());
    recording_ = false;
    paused_ = true;
    PublishState();
}

void CCW_RecordingDlg::ResumeRecording()
{
    if (!graph_ || !paused_)
        return;
    graph_->ResumeCapture();
    clock_.Resume();
    recording_ = true;
    paused_ = false;
    PublishState();
}

void CCW_RecordingDlg::OnRecordingTick()
{
    if (!recording_ || !graph_)
        return;
    if (!clock_.Started()) {
        // The clock counts from the first captured sample.
        const std::int64_t first = graph_->FirstSampleMs();
        if (first == 0)
            return;
        clock_.Start(first);
    }
    if (const auto reading = clock_.Tick(CAudioCaptureFilter::NowMs())) {
        SetTimeText(reading->text);
        SetSliderPos(reading->slider);
    }
}

void CCW_RecordingDlg::OnPlay()
{
    if (playing_ || playRequested_)
        return;
    StopRecording();
    if (!recorded_ || !view_)
        return;
    if (FAILED(view_->OpenAudioFile(recordedPath_)))
        return;
    // Plays when the open completes (msg::MovieViewOpened).
    playRequested_ = true;
}

void CCW_RecordingDlg::OnOpened(HRESULT result)
{
    if (!playRequested_)
        return;
    playRequested_ = false;
    if (FAILED(result) || !view_)
        return;
    if (slider_) {
        slider_->SetRange(0, int(view_->DurationMs() / 1000));
        slider_->SetPos(0);
    }
    if (SUCCEEDED(view_->Play())) {
        playing_ = true;
        playbackClock_.start();
    }
    PublishState();
}

void CCW_RecordingDlg::StopPlayback()
{
    playRequested_ = false;
    if (view_ && view_->ViewKind() != CCW_VideoView::KindNone) {
        view_->Stop();
        view_->SetPosition(0);
    }
    playing_ = false;
    playbackClock_.stop();
    SetTimeText(CRecordingClock::TimeText(0, false));
    SetSliderPos(0);
}

void CCW_RecordingDlg::OnPlaybackTick()
{
    if (!view_)
        return;
    std::int64_t ms = 0;
    view_->GetPosition(&ms);
    SetTimeText(CRecordingClock::TimeText(ms, false));
    SetSliderPos(int(ms / 1000));
    if (view_->GraphState() != CGraphBasic::Running) {
        playbackClock_.stop();
        playing_ = false;
        PublishState();
    }
}

void CCW_RecordingDlg::OnStop()
{
    if (recording_ || paused_)
        StopRecording();
    else
        StopPlayback();
}

HRESULT CCW_RecordingDlg::OnRecord()
{
    if (playing_ || playRequested_)
        StopPlayback();
    if (recording_) {
        StopRecording();
        return S_OK;
    }
    if (slider_)
        slider_->SetRange(0, CRecordingClock::kSliderRange);
    return StartRecording();
}

void CCW_RecordingDlg::OnConfirm()
{
    StopRecording();
    StopPlayback();
    done(recorded_ ? 1 : 2);
}

void CCW_RecordingDlg::OnCancel()
{
    const bool wasRecording = recording_;
    PauseRecording();
    if (!recorded_ && !wasRecording) {
        done(2);
        return;
    }
    SkinnedMessage question;
    question.text = GetResourceText(kSection, "MESSAGE");
    question.title = GetResourceText(kSection, "MSG_TITLE");
    question.type = 1; // Yes / No
    question.textCallback = textCallback();
    question.imageCallback = imageCallback();
    DialogService* dialogs = context_.dialogs ? context_.dialogs : &Dialogs();
    if (dialogs->skinnedMessage(this, question) == IDYES) {
        StopRecording();
        StopPlayback();
        done(2);
        return;
    }
    if (wasRecording)
        ResumeRecording();
}

void CCW_RecordingDlg::reject()
{
    // Esc and the close button ask as cancel does.
    OnCancel();
}

LRESULT CCW_RecordingDlg::onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    case msg::WM_CAPTURENOTIFY:
        // The device failed or the file cannot grow: keep what was written.
        StopRecording();
        PostMessage(context_.mainFrame, message, wParam, lParam);
        return 0;
    case msg::MovieViewOpened:
        OnOpened(HRESULT(std::uint32_t(wParam)));
        return 0;
    case msg::PlaybackFinished:
        StopRecording();
        StopPlayback();
        return 0;
    case msg::SliderMoved:
        if (view_ && view_->ViewKind() != CCW_VideoView::KindNone && !view_->IsOpening()) {
            view_->SetPosition(std::int64_t(lParam) * 1000);
            SetTimeText(CRecordingClock::TimeText(std::int64_t(lParam) * 1000, false));
        }
        return 0;
    default:
        handled = false;
        return 0;
    }
}
