// CCW_MainFrame: the editor's one process-wide object. It exists before its
// window (a static object), holds the host's lookups, the suite settings the
// editor keeps open, the status line texts, the frame cache and the host's
// phone-link object, and forwards every message between the panes.
//
// Its window, CCW_MainFrameWnd, is a two-row splitter: the inner splitter
// (thumbnail pane | preview pane) above, the timeline pane below. Panes never
// call each other; they send numbered messages to the frame, which passes
// each one to the pane that acts on it.
#pragma once

#include "config/registry.h"
#include "config/resources.h"
#include "engine/frame_cache.h"
#include "engine/media_probe.h"
#include "export/save_pipeline.h"
#include "panes/pane_context.h"
#include "shell/preview_contain.h"
#include "shell/splitter_wnd.h"
#include "shell/thumbnail_contain.h"
#include "shell/timeline_contain.h"

#include <QBasicTimer>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class CCW_MainFrame;
class CCW_PreviewEdited;
class CPrivateFolder;

// The main frame's window: rows of 359 pixels and more keep the timeline row
// 219 pixels high; its bar never reacts to the mouse.
class CCW_MainFrameWnd : public CSplitterBase {
public:
    static constexpr int kTimelineRowHeight = 219;
    static constexpr int kMinRuledHeight = 359;

    CCW_MainFrameWnd(CCW_MainFrame& frame, QWidget* parent);
    ~CCW_MainFrameWnd() override;

    bool AcceptsBarMouse(const QPoint&) const override { return false; }

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    CCW_MainFrame& frame_;
};

class CCW_MainFrame : public ResourceLookup {
public:
    static constexpr int kInnerSplitterId = 0xE900;
    static constexpr int kHostPollMs = 1000;
    static constexpr int kSaveNoticeDelayMs = 100;

    // The one frame of the process.
    static CCW_MainFrame& instance();

    CCW_MainFrame() = default;
    ~CCW_MainFrame();
    CCW_MainFrame(const CCW_MainFrame&) = delete;
    CCW_MainFrame& operator=(const CCW_MainFrame&) = delete;

    // The entry points. Create returns the frame's window, or null (after
    // destroying a partly built window) when it could not be built.
    QWidget* Create(HostTextCallback text, HostImageCallback image, QWidget* parent);
    void AddMovieList(const QString& path);
    void Destroy();

    // The two steps of Create: the bare frame window (no panes, messages to
    // the panes dropped), then the panes and the start-up work.
    bool CreateFrameWindow(QWidget* parent);
    bool CreatePanes();

    CCW_MainFrameWnd* window() const { return window_; }
    CCW_SplitterWnd* innerSplitter() const { return innerSplitter_; }
    CCW_ThumbnailContain* thumbnailPane() const { return thumbnail_; }
    CCW_PreviewContain* previewPane() const { return preview_; }
    CCW_TimeLineContain* timelinePane() const { return timeline_; }
    bool panesCreated() const { return panesCreated_ != 0; }
    // What the panes are given (set while the panes exist).
    const PaneContext& paneContext() const { return paneContext_; }
    // The media-probe service of the panes (lives while the panes exist).
    CMediaProbe* mediaProbe() const { return probe_.get(); }

    CRegistry& suiteKey() { return suiteKey_; }
    const QString& suiteFolder() const { return suiteFolder_; }
    // The editor's private work folder while the panes exist (empty otherwise).
    QString workFolder() const;
    const QString& statusText() const { return statusText_; }
    const QString& statusFile() const { return statusFile_; }

    // Frames sampled by frame extraction for the encoder, owned here.
    FrameCache& frameCache() { return frameCache_; }
    void FreeFrameCache() { frameCache_.FreeAll(); }
    CCW_PreviewEdited* editedPreview() const;
    // The edited-movie preview's copy of a still frame.
    std::vector<std::uint8_t>& stillFrame() { return stillFrame_; }

    QObject* hostPhoneLink() const { return hostPhoneLink_; }
    bool hostPollRunning() const { return pollTimer_.isActive(); }
    const QString& deviceNames() const { return deviceNames_; }
    bool IsConnectedDeviceName(const QString& name) const;
    // Copies a saved movie into the phone's movie folder through the host.
    bool SendToPhone(const QString& localPath, const QString& fileName) const;

    // Results of the last save, kept for the save flow.
    // (lastSavedPath, lastSaveSucceeded, saveAttempted), written by the save.
    SaveResults saveResults;

private:
    friend class CCW_MainFrameWnd;

    LRESULT OnMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled);
    void OnHostPoll();
    void OnWindowDestroyed();
    void OpenWorkFolder();
    void ApplyRowSizes();
    LRESULT SetStatus(WPARAM file, LPARAM text);
    LRESULT TellHostStatus(const QString& text);
    // 0x5031: in a Korean-language suite the notice comes first, after a
    // pause of kSaveNoticeDelayMs, unless the user turned it off.
    LRESULT RequestPcSave(WPARAM wParam, LPARAM lParam);
    void ShowKoreanSaveNotice();
    void FileGone(WPARAM wParam, LPARAM lParam);
    // The edited-movie preview, with the main frame's parts it saves with.
    void AttachEditedPreview();
    // The edit menu's phone save (0x17E0): the PC save, then the copy to
    // the phone through the host (FinishPhoneSave, once the save has run).
    LRESULT SaveToPhone(WPARAM wParam, LPARAM lParam);
    void FinishPhoneSave();

    QPointer<CCW_MainFrameWnd> window_;
    QPointer<CCW_SplitterWnd> innerSplitter_;
    QPointer<CCW_ThumbnailContain> thumbnail_;
    QPointer<CCW_PreviewContain> preview_;
    QPointer<CCW_TimeLineContain> timeline_;
    QPointer<CCW_PreviewEdited> editedPreview_;
    std::int32_t panesCreated_ = 0;
    bool saveNoticePending_ = false;
    bool phoneSavePending_ = false;
    PaneContext paneContext_;
    std::unique_ptr<CMediaProbe> probe_;
    CRegistry suiteKey_;
    QString suiteFolder_;
    QString statusText_;
    QString statusFile_;
    FrameCache frameCache_;
    std::vector<std::uint8_t> stillFrame_;
    QPointer<QObject> hostPhoneLink_;
    QString deviceNames_;
    QBasicTimer pollTimer_;
    std::unique_ptr<CPrivateFolder> workFolder_;
};
