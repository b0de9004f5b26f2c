#include "shell/main_frame.h"

#include "skin/cw_msg_box.h"
#include "skin/qt_dialog_service.h"
#include "skin/skin_base_dialog.h"

#include "export/ott_encoder.h"

#include "config/suite_settings.h"
#include "export/phone_link.h"
#include "panes/edited_preview/preview_edited.h"
#include "panes/media_list/thumbnail_wnd.h"
#include "panes/media_list/toolbar_wnd.h"
#include "panes/recording/recording_dlg.h"
#include "panes/source_preview/preview_media.h"
#include "panes/timeline/edit_menu.h"
#include "panes/timeline/media_menu.h"
#include "panes/timeline/timeline_ruler.h"
#include "panes/timeline/timeline_window.h"
#include "platform/dialog_service.h"
#include "platform/private_folder.h"
#include "platform/registry_store.h"
#include "shell/host_phone_facts.h"
#include "shell/preview_contain.h"
#include "shell/routing.h"
#include "shell/thumbnail_contain.h"
#include "shell/timeline_contain.h"

#include <QFileInfo>
#include <QTimer>

namespace {
// Caption of the notice shown before a PC save in a Korean-language suite.
const QString kKoreanSaveNoticeCaption = QString::fromUtf8("작업진행");
} // namespace

CCW_MainFrame& CCW_MainFrame::instance()
{
    static CCW_MainFrame frame;
    return frame;
}

CCW_MainFrame::~CCW_MainFrame()
{
    stillFrame_.clear();
    FreeFrameCache();
}

QWidget* CCW_MainFrame::Create(HostTextCallback text, HostImageCallback image, QWidget* parent)
{
    if (window_)
        return nullptr; // one editor per process
    SetResourceCallbacks(text, image);
    // Real dialogs unless the host (or a test) installed its own service.
    InstallQtDialogServiceIfNone();
    InstallSkinnedMessages();
    if (!CreateFrameWindow(parent))
        return nullptr;
    if (!CreatePanes()) {
        delete window_.data();
        return nullptr;
    }
    return window_;
}

bool CCW_MainFrame::CreateFrameWindow(QWidget* parent)
{
    if (window_)
        return false; // one editor per process
    window_ = new CCW_MainFrameWnd(*this, parent);
    if (parent)
        window_->setGeometry(parent->rect());
    window_->show();
    return true;
}

bool CCW_MainFrame::CreatePanes()
{
    if (!window_ || panesCreated_)
        return false;
    // Each splitter gets its panes before it joins its parent, so that no
    // splitter is ever laid out empty (an empty splitter shrinks its parent).
    // The containers hold the panes: toolbar and media list in the
    // thumbnail pane, the two previews in the preview pane, the menus and
    // the timeline in the timeline pane.
    innerSplitter_ = new CCW_SplitterWnd(nullptr);
    innerSplitter_->setProperty("controlId", kInnerSplitterId);
    thumbnail_ = new CCW_ThumbnailContain(window_, innerSplitter_);
    innerSplitter_->addWidget(thumbnail_);
    preview_ = new CCW_PreviewContain(window_, innerSplitter_);
    innerSplitter_->addWidget(preview_);
    window_->addWidget(innerSplitter_);
    timeline_ = new CCW_TimeLineContain(window_, window_);
    window_->addWidget(timeline_);
    if (!thumbnail_ || !preview_ || !timeline_)
        return false;

    innerSplitter_->SetIdealLeftWidth(CCW_SplitterWnd::kIdealLeftWidth);
    innerSplitter_->setStretchFactor(0, 0);
    innerSplitter_->setStretchFactor(1, 1);
    window_->setStretchFactor(0, 1);
    window_->setStretchFactor(1, 0);
    panesCreated_ = 1;

    suiteKey_.CloseKey();
    suiteKey_.OpenKey(kSuiteKey);
    SetEncoderSuiteKey(&suiteKey_);
    paneContext_.resources = *this;
    paneContext_.dialogs = &Dialogs();
    paneContext_.registry = &RegistryStore::instance();
    probe_ = std::make_unique<CMediaProbe>();
    paneContext_.probe = probe_.get();
    paneContext_.mainFrame = window_;
    timeline_->timeline()->SetMediaProbe(probe_.get());
    // The timeline's ruler (its two menus come once the context is complete).
    timeline_->timeline()->SetRuler(new CCW_TimeLineRuler);
    timeline_->timeline()->SetResources(*this);
    suiteFolder_.clear();
    if (!suiteKey_.ReadString("FOLDER", suiteFolder_, kFolderValueChars))
        suiteFolder_.clear();

    pollTimer_.start(kHostPollMs, window_);
    OpenWorkFolder();
    // Without its skin folder or string table the editor still runs (plain
    // controls, no phone folders); the log says why.
    if (!QFileInfo(GetImageFolder()).isDir())
        qWarning("skin folder %s is missing: controls are drawn without their images", qPrintable(GetImageFolder()));
    if (!QFileInfo(GetStringIniPath()).isFile())
        qWarning("string table %s is missing: movies cannot be sent to the phone", qPrintable(GetStringIniPath()));
    deviceNames_ = CollectDeviceNames(*this).toUpper();
    paneContext_.isDeviceName = [this](const QString& name) { return IsConnectedDeviceName(name); };
    AttachEditedPreview();
    paneContext_.importFolders = !suiteFolder_.isEmpty();
    preview_->AttachSourcePreview(new CCW_PreviewMedia(paneContext_, preview_));
    // The panes below copy the context, now that it is complete.
    auto* mediaMenu = new CCW_MediaMenuWnd(paneContext_);
    mediaMenu->SetRecordingDialogFactory([this](QWidget* parent, const QString& suggestedName) -> QDialog* {
        auto* dialog = new CCW_RecordingDlg(paneContext_, parent);
        dialog->SetVoiceName(suggestedName);
        return dialog;
    });
    timeline_->AttachMediaMenu(mediaMenu);
    auto* editMenu = new CCW_EditMenuWnd(paneContext_);
    timeline_->AttachEditMenu(editMenu, [editMenu](bool playing) { editMenu->ShowPlaying(playing); });
    thumbnail_->AttachToolBar(new CCW_ToolBarWnd(paneContext_));
    thumbnail_->AttachMediaList(new CCW_ThumbnailWnd(paneContext_));
    ApplyRowSizes();
    return true;
}

CCW_PreviewEdited* CCW_MainFrame::editedPreview() const
{
    return editedPreview_;
}

void CCW_MainFrame::AttachEditedPreview()
{
    paneContext_.frameCache = &frameCache_;
    paneContext_.saveResults = &saveResults;
    paneContext_.stillFrame = &stillFrame_;
    paneContext_.suiteFolder = suiteFolder_;
    paneContext_.workFolder = workFolder();
    paneContext_.hostConnection = [this](qulonglong* handle, QString* commLibrary) {
        const HostPhoneFacts facts = ReadHostPhoneFacts(window_);
        *handle = facts.handle;
        *commLibrary = facts.commLibrary;
        return facts.connected;
    };
    editedPreview_ = new CCW_PreviewEdited(paneContext_, preview_);
    preview_->AttachEditedPreview(editedPreview_);
}

LRESULT CCW_MainFrame::SaveToPhone(WPARAM wParam, LPARAM lParam)
{
    // The PC save first, by the PC-save button's route; in a Korean-language
    // suite that save comes after its notice, and the rest waits for it.
    phoneSavePending_ = true;
    SendMessage(timeline_, msg::SaveToPc, wParam, lParam);
    if (!saveNoticePending_)
        FinishPhoneSave();
    return 0;
}

void CCW_MainFrame::FinishPhoneSave()
{
    if (!phoneSavePending_)
        return;
    phoneSavePending_ = false;
    SaveResults& r = saveResults;
    const QString title = GetAppTitle();
    const auto show = [this, &title](const char* key) {
        SkinnedMessage m;
        m.text = GetResourceText("THEMEMANAGER", key);
        m.title = title;
        m.textCallback = textCallback();
        m.imageCallback = imageCallback();
        Dialogs().skinnedMessage(window_, m);
    };
    if (r.lastSaveSucceeded && !r.lastSavedPath.isEmpty()) {
        if (!ReadHostPhoneFacts(window_).connected)
            show("TM_MAINFRAME_PLZCONNECTTOPHONE");
        else
            show(SendToPhone(r.lastSavedPath, QFileInfo(r.lastSavedPath).fileName()) ? "TM_SENDING_OK"
                                                                                     : "TM_THEME_SEND_FAIL");
    } else if (!r.lastSavedPath.isEmpty()) {
        if (r.saveAttempted)
            show("TM_THEME_SEND_FAIL");
        else
            r.saveAttempted = true;
    }
    r.lastSavedPath.clear();
    r.lastSaveSucceeded = false;
}

void CCW_MainFrame::AddMovieList(const QString& path)
{
    QString copy = path;
    SendMessage(thumbnail_, msg::AddMovieList, 0, ToLParam(&copy));
}

void CCW_MainFrame::Destroy()
{
    // A save under way is cancelled and awaited (events pumped, bounded)
    // before its pane and the work folder go.
    if (editedPreview_)
        editedPreview_->AbortSave();
    delete window_.data();
}

void CCW_MainFrame::OnWindowDestroyed()
{
    panesCreated_ = 0;
    saveNoticePending_ = false;
    SetEncoderSuiteKey(nullptr);
    paneContext_ = PaneContext();
    // After the panes: answers still on their way find no receiver.
    probe_.reset();
    pollTimer_.stop();
    // The frames' work file lives in the work folder.
    FreeFrameCache();
    frameCache_.SetSpillFolder(QString());
    workFolder_.reset();
}

void CCW_MainFrame::OpenWorkFolder()
{
    // The editor works in a private folder under "<FOLDER>/Temp" and deletes
    // only that, plus the private folders of editors that are gone: emptying
    // "<FOLDER>/Temp" itself would delete whatever a user keeps there (and a
    // FOLDER that names a home folder would cost the user "~/Temp").
    QString refusal;
    const QString base = WorkFolderBase(suiteFolder_, &refusal);
    if (!refusal.isEmpty())
        qWarning("work folder: %s; using %s", qPrintable(refusal), qPrintable(base));
    CPrivateFolder::RemoveAbandoned(base);
    workFolder_ = std::make_unique<CPrivateFolder>(base);
    frameCache_.SetSpillFolder(workFolder());
}

QString CCW_MainFrame::workFolder() const
{
    return workFolder_ ? workFolder_->path() : QString();
}

bool CCW_MainFrame::IsConnectedDeviceName(const QString& name) const
{
    return ::IsConnectedDeviceName(deviceNames_, name);
}

bool CCW_MainFrame::SendToPhone(const QString& localPath, const QString& fileName) const
{
    return ::SendToPhone(hostPhoneLink_, localPath, fileName);
}

void CCW_MainFrame::OnHostPoll()
{
    QObject* link = ReadHostPhoneFacts(window_).phoneLink;
    const bool wasNull = hostPhoneLink_.isNull();
    hostPhoneLink_ = link;
    // Once the host has made its phone-link object, polling stops.
    if (wasNull && link)
        pollTimer_.stop();
}

void CCW_MainFrame::ApplyRowSizes()
{
    if (!panesCreated_ || !window_ || window_->count() < 2)
        return;
    // Tall enough: the timeline row keeps its fixed height. Smaller windows
    // keep the previous row sizes.
    const int height = window_->height();
    if (height < CCW_MainFrameWnd::kMinRuledHeight)
        return;
    const int top = height - CCW_MainFrameWnd::kTimelineRowHeight - window_->handleWidth();
    window_->setSizes({ std::max(0, top), CCW_MainFrameWnd::kTimelineRowHeight });
}

LRESULT CCW_MainFrame::TellHostStatus(const QString& text)
{
    QString copy = text;
    return SendMessage(window_ ? window_->parentWidget() : nullptr, msg::HostStatus, 0, ToLParam(&copy));
}

LRESULT CCW_MainFrame::SetStatus(WPARAM file, LPARAM text)
{
    const auto* filePath = FromParam<const QString>(file);
    const auto* info = FromParam<const QString>(text);
    statusFile_ = filePath ? QString("%1").arg(*filePath) : QString();
    statusText_ = info ? QString("%1").arg(*info) : QString();
    return SendMessage(window_ ? window_->parentWidget() : nullptr, msg::HostStatus, 0, text);
}

LRESULT CCW_MainFrame::RequestPcSave(WPARAM wParam, LPARAM lParam)
{
    const QString language = GetLanguage();
    if (language.compare("KR", Qt::CaseInsensitive) != 0 && language.compare("KOR", Qt::CaseInsensitive) != 0)
        return Forward(preview_, msg::SaveToPc, wParam, lParam);
    // One request at a time: a second press during the pause or the notice
    // is the same save.
    if (saveNoticePending_)
        return 0;
    std::uint32_t dontShow = 0;
    if (!suiteKey_.IsOpen())
        suiteKey_.OpenKey(kSuiteKey);
    if (!suiteKey_.ReadDword(CCW_MsgBox::kDontShowValue, dontShow))
        dontShow = 0;
    // The notice comes after a short pause, from a timer, so the UI thread
    // goes on meanwhile. The request (and the project it carries, owned by
    // the timeline pane) lives as long as the frame window, which owns the
    // timer.
    saveNoticePending_ = true;
    QTimer::singleShot(kSaveNoticeDelayMs, window_, [this, wParam, lParam, show = dontShow != 1] {
        if (show)
            ShowKoreanSaveNotice();
        saveNoticePending_ = false;
        Forward(preview_, msg::SaveToPc, wParam, lParam);
        FinishPhoneSave();
    });
    return 0;
}

void CCW_MainFrame::ShowKoreanSaveNotice()
{
    CCW_MsgBox notice(window_);
    notice.SetResourceCallbacks(textCallback(), imageCallback());
    notice.SetTitle(kKoreanSaveNoticeCaption);
    notice.DoModal();
}

void CCW_MainFrame::FileGone(WPARAM wParam, LPARAM lParam)
{
    ForwardToAll<QObject*>({ thumbnail_, preview_, timeline_ }, msg::FileGone, wParam, lParam);
    const auto* path = FromParam<const QString>(lParam);
    if (path && statusFile_.compare(*path, Qt::CaseInsensitive) == 0) {
        statusFile_.clear();
        statusText_.clear();
        TellHostStatus(QString());
    }
}

LRESULT CCW_MainFrame::OnMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    // From the host.
    case msg::HostStatus:
        return SetStatus(wParam, lParam);
    case msg::AddMovieList:
    case msg::HostAddFiles:
    case msg::HostAddBrowserFile:
        return Forward(thumbnail_, message, wParam, lParam);
    case msg::HostResendStatus:
        return TellHostStatus(statusText_);
    case msg::HostClearStatus:
        TellHostStatus(QString());
        return SendMessage(window_, msg::ResetPreviews, wParam, lParam);
    case msg::HostNoop:
        return 0;

    // Between the panes; the timeline-bound ones wait for the panes.
    case msg::PreviewEnded:
    case msg::ClipToTimeline:
    case msg::PositionMarker:
    case msg::PlayingState:
        if (!panesCreated_)
            return 1;
        return Forward(timeline_, message, wParam, lParam);
    case msg::FileGone:
        if (!panesCreated_)
            return 1;
        FileGone(wParam, lParam);
        return 0;
    case msg::TrackEmptied:
    case msg::PlaybackFinished:
        if (!panesCreated_)
            return 1;
        return Forward(preview_, message, wParam, lParam);
    case msg::SaveToPc:
        return RequestPcSave(wParam, lParam);
    case msg::PhoneSaveCommand:
        if (!panesCreated_)
            return 1;
        return SaveToPhone(wParam, lParam);
    case msg::OpenSource:
    case msg::PreviewClip:
    case msg::StopPlayback:
    case msg::SaveToPhone:
    case msg::EffectChosen:
    case msg::SeekMovie:
    case msg::ResetPreviews:
    case msg::ShowSourcePreview:
        return Forward(preview_, message, wParam, lParam);
    default:
        handled = false;
        return 0;
    }
}
