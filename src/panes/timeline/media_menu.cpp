#include "panes/timeline/media_menu.h"

#include "config/suite_settings.h"
#include "engine/media_probe.h"
#include "platform/dialog_service.h"
#include "project/clip_text.h"
#include "project/media_file.h"
#include "skin/skin_button.h"

#include <QDialog>
#include <QPainter>
#include <QPointer>

namespace {

constexpr int kWidth = 98;

struct ButtonInfo {
    const char* text;
    int command;
    const char* image;
    const char* tip; // the fixed tooltip, or the one with a selection
    const char* tipAll; // the delete buttons' tooltip without a selection
    int track; // the track whose selection the tooltip follows, or -1
};
constexpr std::array<ButtonInfo, 6> kButtons { {
    { "VideoDelete", CCW_MediaMenuWnd::kVideoDelete, "CW_MEDIAMENU_BTN_VIDEO_DELETE", "BTN_VIDEO_DELETE",
        "BTN_VIDEO_DELETE_ALL", kVideoTrack },
    { "AudioDelete", CCW_MediaMenuWnd::kAudioDelete, "CW_MEDIAMENU_BTN_AUDIO_DELETE", "BTN_AUDIO_DELETE",
        "BTN_AUDIO_DELETE_ALL", kAudioTrack },
    { "AudioOpen", CCW_MediaMenuWnd::kAudioOpen, "CW_MEDIAMENU_BTN_AUDIO_OPEN", "BTN_AUDIO_OPEN", nullptr, -1 },
    { "VoiceRecord", CCW_MediaMenuWnd::kVoiceRecord, "CW_MEDIAMENU_BTN_VOICE_RECORD", "BTN_VOICE_RECORD", nullptr, -1 },
    { "VoiceOpen", CCW_MediaMenuWnd::kVoiceOpen, "CW_MEDIAMENU_BTN_VOICE_OPEN", "BTN_VOICE_OPEN", nullptr, -1 },
    { "VoiceDelete", CCW_MediaMenuWnd::kVoiceDelete, "CW_MEDIAMENU_BTN_VOICE_DELETE", "BTN_VOICE_DELETE",
        "BTN_VOICE_DELETE_ALL", kVoiceTrack },
} };

const ButtonInfo* InfoOf(int command)
{
    for (const ButtonInfo& b : kButtons) {
        if (b.command == command)
            return &b;
    }
    return nullptr;
}

// Rows of the buttons per track: video, audio, voice (the tracks' heights),
// the buttons below the track names of the background.
constexpr std::array<int, 3> kRowTop { 32, 89, 147 };
constexpr int kButtonDrop = 26;

} // namespace

CCW_MediaMenuWnd::CCW_MediaMenuWnd(const PaneContext& context, QWidget* parent)
    : MessageWindow<QWidget>(parent)
    , context_(context)
{
    setObjectName("CCW_MediaMenuWnd");
    const ResourceLookup& res = context_.resources;
    LoadSkinBitmap(background_, res, "IMAGE", "CW_MEDIAMENU_BACKGROUND");
    frame_.Load(res, "THEMEMANAGER_UI",
        { "TM_UI_THEME_TOP_LEFT", "TM_UI_THEME_TOP_MID", QString(), "TM_UI_THEME_MIDLEFT", QString(),
            "TM_UI_THEME_BOTTOM_LEFT", "TM_UI_THEME_BOTTOM_MID", QString() });
    font_ = MakeSkinFont(res, "CLIPWEAVER", "FONT_NORMAL", SkinFontRole::Pane);
    for (const ButtonInfo& info : kButtons) {
        auto* b = new CSkinButton(this, info.command);
        b->setObjectName(QString::fromLatin1(info.text));
        b->setText(QString::fromLatin1(info.text));
        b->setProperty("controlId", info.command);
        b->setFont(font_);
        b->SetImages(res.GetResourceImagePath("IMAGE", QString::fromLatin1(info.image)));
        connect(b, &QAbstractButton::clicked, this, [this, command = info.command] { RunCommand(command); });
        buttons_.push_back(b);
    }
    UpdateToolTips();
    setFixedWidth(kWidth);
    PlaceButtons();
}

QSize CCW_MediaMenuWnd::sizeHint() const
{
    return { kWidth, 210 };
}

CSkinButton* CCW_MediaMenuWnd::button(const QString& text) const
{
    for (CSkinButton* b : buttons_) {
        if (b->objectName() == text)
            return b;
    }
    return nullptr;
}

QString CCW_MediaMenuWnd::toolTipOf(int command) const
{
    const ButtonInfo* info = InfoOf(command);
    if (!info)
        return QString();
    const bool all = info->track >= 0 && !selection_[info->track];
    return context_.resources.GetResourceText(
        "CW_MEDIAMENU_TOOLTIPS", QString::fromLatin1(all ? info->tipAll : info->tip));
}

void CCW_MediaMenuWnd::UpdateToolTips()
{
    for (CSkinButton* b : buttons_)
        b->setToolTip(toolTipOf(b->controlId()));
}

void CCW_MediaMenuWnd::PlaceButtons()
{
    // Delete at the left of each track's row, open and record beside it.
    auto place = [this](const char* text, int row, int column) {
        CSkinButton* b = button(QString::fromLatin1(text));
        QSize s = b->sizeHint();
        if (!s.isValid() || s.isEmpty())
            s = QSize(28, 24);
        b->setGeometry(8 + column * 30, kRowTop[row] + kButtonDrop, s.width(), s.height());
    };
    place("VideoDelete", kVideoTrack, 0);
    place("AudioDelete", kAudioTrack, 0);
    place("AudioOpen", kAudioTrack, 1);
    place("VoiceDelete", kVoiceTrack, 0);
    place("VoiceOpen", kVoiceTrack, 1);
    place("VoiceRecord", kVoiceTrack, 2);
}

void CCW_MediaMenuWnd::resizeEvent(QResizeEvent* event)
{
    MessageWindow<QWidget>::resizeEvent(event);
    PlaceButtons();
}

void CCW_MediaMenuWnd::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!background_.isNull())
        background_.draw(p, rect(), QRect(QPoint(0, 0), background_.size()));
    else
        p.fillRect(rect(), QColor(214, 222, 234));
    frame_.paint(p, rect());
}

void CCW_MediaMenuWnd::RunCommand(int command)
{
    switch (command) {
    case kVideoDelete:
        SendMessage(parentWidget(), msg::DeleteFromTrack, kVideoTrack, 0);
        break;
    case kAudioDelete:
        SendMessage(parentWidget(), msg::DeleteFromTrack, kAudioTrack, 0);
        break;
    case kVoiceDelete:
        SendMessage(parentWidget(), msg::DeleteFromTrack, kVoiceTrack, 0);
        break;
    case kAudioOpen:
        OpenFile(ClipKind::Sound);
        break;
    case kVoiceOpen:
        OpenFile(ClipKind::Voice);
        break;
    case kVoiceRecord:
        Record();
        break;
    default:
        break;
    }
}

void CCW_MediaMenuWnd::OpenFile(int kind)
{
    if (!context_.dialogs)
        return;
    FileDialogRequest request;
    request.filter = QStringLiteral("AudioFile(*.mp3;*.wav)| *.mp3; *.wav||");
    const auto picked = context_.dialogs->openFileNames(this, request);
    if (!picked || picked->isEmpty())
        return;
    MakeClip(picked->first(), kind);
}

void CCW_MediaMenuWnd::Record()
{
    SendMessage(context_.mainFrame, msg::StopPlayback, kWholeMovie, 0);
    SendMessage(context_.mainFrame, msg::StopPlayback, 0, 0);
    const QString name = QStringLiteral("UserVoice") + QString::asprintf("%.2ld", long(voiceCounter_));
    // Without a recording dialog the recording counts as cancelled.
    int result = IDCANCEL;
    QString recorded;
    QPointer<QDialog> dialog = recordingDialog_ ? recordingDialog_(this, name) : nullptr;
    if (dialog && context_.dialogs) {
        result = context_.dialogs->runModal(dialog);
        if (dialog)
            recorded = dialog->property("recordedPath").toString();
    }
    delete dialog.data();
    if (result != IDOK || recorded.isEmpty())
        return;
    ++voiceCounter_;
    MakeClip(recorded, ClipKind::Voice);
}

void CCW_MediaMenuWnd::MakeClip(const QString& path, int kind)
{
    ++pendingOpens_;
    auto done = [this, path, kind](double seconds) {
        --pendingOpens_;
        SendClip(path, kind, WholeSecondsMs(seconds));
    };
    if (!context_.probe) {
        done(0);
        return;
    }
    if (path.endsWith(QLatin1String(".MP3"), Qt::CaseInsensitive)) {
        context_.probe->ProbeMp3(this, QString(), path,
            [done](Mp3Facts facts) { done(facts.ok && facts.playingTime > 0 ? double(facts.playingTime) : 0.0); });
    } else {
        context_.probe->ProbeStreams(
            this, QString(), path, [done](MediaStreams streams) { done(streams.ok ? streams.seconds : 0.0); });
    }
}

void CCW_MediaMenuWnd::SendClip(const QString& path, int kind, std::uint32_t lengthMs)
{
    CMediaFile clip(path, lengthMs, 0, 0, ClipKind::VideoWithSound);
    clip.SetTimes(0, lengthMs, lengthMs);
    clip.SetKind(kind);
    SendMessage(parentWidget(), msg::ClipToTimeline, 0, ToLParam(&clip));
    SetEditingFlag(true);
}

LRESULT CCW_MediaMenuWnd::onMessage(std::uint32_t message, WPARAM wParam, LPARAM, bool& handled)
{
    switch (message) {
    case msg::TrackActivated:
        selection_ = { false, false, false };
        if (wParam < selection_.size())
            selection_[wParam] = true;
        UpdateToolTips();
        return 0;
    case msg::FileGone:
        return 0;
    default:
        handled = false;
        return 0;
    }
}
