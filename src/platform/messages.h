// The message layer: numbered messages between windows (and any QObject),
// delivered as a MessageEvent. SendMessage runs the receiver's handler before
// it returns and gives back its result; PostMessage queues the message and may
// be called from any thread.
#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

namespace msg {
// Host <-> main frame.
inline constexpr std::uint32_t AddMovieList = 0x9008;
inline constexpr std::uint32_t HostStatus = 0x3063;
inline constexpr std::uint32_t HostAddFiles = 0x3064;
inline constexpr std::uint32_t HostAddBrowserFile = 0x3068;
inline constexpr std::uint32_t HostResendStatus = 0x3074;
inline constexpr std::uint32_t HostClearStatus = 0x3075;
inline constexpr std::uint32_t HostNoop = 0x040B;

// Editor panes.
// Media-list commands (toolbar -> container -> media list). 0x5001 and
// 0x5002 carry nothing and answer 0.
inline constexpr std::uint32_t ListCommandFirst = 0x5001;
inline constexpr std::uint32_t ListCommand2 = 0x5002;
// Deletes the selected rows (the files stay on disk).
inline constexpr std::uint32_t ListDeleteSelected = 0x5003;
// lParam the new view mode (3 simple, 4 details, 5 thumbnails, 6 large icons).
inline constexpr std::uint32_t ListSetViewMode = 0x5004;
// wParam path address, lParam owner: adds through the import rule.
inline constexpr std::uint32_t ListAddFile = 0x5005;
// wParam 0: the row count into the 32-bit value at lParam; 1: answers the
// view mode.
inline constexpr std::uint32_t ListCount = 0x5006;
// wParam path address, lParam display path address (or 0): a host file.
inline constexpr std::uint32_t ListAddHostFile = 0x5007;
// lParam a QStringList of files that passed the import rule.
inline constexpr std::uint32_t ListAddPicked = 0x5008;
inline constexpr std::uint32_t OpenSource = 0x5011;
inline constexpr std::uint32_t PreviewEnded = 0x5015;
inline constexpr std::uint32_t PreviewClip = 0x5016;
inline constexpr std::uint32_t ClipToTimeline = 0x5017;
inline constexpr std::uint32_t StopPlayback = 0x5020;
inline constexpr std::uint32_t SaveToPc = 0x5031;
inline constexpr std::uint32_t SaveToPhone = 0x5032;
inline constexpr std::uint32_t SourceBusy = 0x5033;
inline constexpr std::uint32_t EffectChosen = 0x5040;
inline constexpr std::uint32_t DeleteAllClips = 0x5341;
inline constexpr std::uint32_t DeleteFromTrack = 0x5342;
inline constexpr std::uint32_t ZoomToFit = 0x5350;
inline constexpr std::uint32_t SetZoom = 0x5351;
inline constexpr std::uint32_t SetScroll = 0x5352;
inline constexpr std::uint32_t SeekMovie = 0x5353;
inline constexpr std::uint32_t PositionMarker = 0x5354;
inline constexpr std::uint32_t TrackActivated = 0x5364;
inline constexpr std::uint32_t PlayingState = 0x5365;
// The movie view finished opening a file in the background (posted to its
// main frame): wParam the result (0 or E_FAIL), lParam the view kind.
inline constexpr std::uint32_t MovieViewOpened = 0x5366;
inline constexpr std::uint32_t ResetPreviews = 0x5401;
inline constexpr std::uint32_t FilesDropped = 0x5402;
inline constexpr std::uint32_t ShowSourcePreview = 0x5403;
inline constexpr std::uint32_t FileGone = 0x5501;
inline constexpr std::uint32_t TrackEmptied = 0x5502;
// The edit menu's phone-save button, sent to the main frame.
inline constexpr std::uint32_t PhoneSaveCommand = 0x17E0;

// Window-system numbers the media engine and dialogs use.
inline constexpr std::uint32_t WM_USER = 0x0400;
inline constexpr std::uint32_t WM_GRAPHNOTIFY = WM_USER + 13; // 0x40D
// Skin controls to their parent, sent. A one-thumb slider was moved by the
// user: wParam its control id, lParam the new position.
inline constexpr std::uint32_t SliderMoved = 0x0414;
inline constexpr std::uint32_t PlaybackFinished = 0x0415;
// The effect list's selection changed (to the edit menu, no parameters).
inline constexpr std::uint32_t EffectSelChanged = 0x0416;
// The range slider's selection changed: wParam 0 the left mark, 1 the right
// mark, 2 both (the selection moved as a whole); lParam 1 when the right mark
// was released at the end of a drag, else 0.
inline constexpr std::uint32_t RangeChanged = 0x041E;
inline constexpr std::uint32_t CloseProgress = 0x0464;
// The movie work window's tick, passed on by its dialog to the dialog's
// owner: wParam the tick count (1 to 101), lParam 0.
inline constexpr std::uint32_t MovieWorkTick = 0x1319;
// Ends the movie work dialog's modal run, as 0x464 ends the save's.
inline constexpr std::uint32_t CloseMovieWork = 0x6314;
// Voice capture trouble (device error or loss, silence, a failed write, the
// file size limit), posted by the capture graph: wParam 0, lParam 0.
inline constexpr std::uint32_t WM_CAPTURENOTIFY = 0x8001; // WM_APP + 1
} // namespace msg

// One numbered message. A receiver handles it in event() (or through
// MessageHandler below), sets result() and accepts the event.
class MessageEvent : public QEvent {
public:
    MessageEvent(std::uint32_t message, WPARAM wParam, LPARAM lParam);

    static QEvent::Type eventType();

    std::uint32_t message() const { return message_; }
    WPARAM wParam() const { return wParam_; }
    LPARAM lParam() const { return lParam_; }
    LRESULT result() const { return result_; }
    void setResult(LRESULT r) { result_ = r; }
    bool handled() const { return handled_; }
    void setHandled(bool h = true) { handled_ = h; }

private:
    std::uint32_t message_;
    WPARAM wParam_;
    LPARAM lParam_;
    LRESULT result_ = 0;
    bool handled_ = false;
};

// Delivers the message to target and returns the handler's result. From the
// target's own thread the handler runs at once; from another thread the
// caller waits until the target's thread has run it. A null target, or a
// target that does not handle the message, gives 0.
LRESULT SendMessage(QObject* target, std::uint32_t message, WPARAM wParam = 0, LPARAM lParam = 0);

// Queues the message for target's thread; safe from any thread. Returns false
// for a null target.
bool PostMessage(QObject* target, std::uint32_t message, WPARAM wParam = 0, LPARAM lParam = 0);

// Mix-in for receivers: call dispatchMessageEvent() first in event().
class MessageHandler {
public:
    virtual ~MessageHandler() = default;
    // Returns the message's result. Set handled to false to report that the
    // message is not handled here.
    virtual LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) = 0;

protected:
    // True when e was a MessageEvent (it is then handled and carries the result).
    bool dispatchMessageEvent(QEvent* e);
};

// Helpers for the pointer-sized parameters.
template <typename T> inline LPARAM ToLParam(T* p)
{
    return reinterpret_cast<LPARAM>(p);
}
template <typename T> inline WPARAM ToWParam(T* p)
{
    return reinterpret_cast<WPARAM>(p);
}
template <typename T> inline T* FromParam(std::intptr_t v)
{
    return reinterpret_cast<T*>(v);
}
template <typename T> inline T* FromParam(std::uintptr_t v)
{
    return reinterpret_cast<T*>(v);
}

// A QObject-derived Base (QWidget, QDialog, ...) that receives messages
// through onMessage().
template <typename Base> class MessageWindow : public Base, public MessageHandler {
public:
    using Base::Base;

protected:
    bool event(QEvent* e) override
    {
        if (dispatchMessageEvent(e))
            return true;
        return Base::event(e);
    }
};
