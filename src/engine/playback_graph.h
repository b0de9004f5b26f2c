// CGraphBasic: the playback graph of the preview panes. It plays one media
// file (the picture and the sound stream CMediaSource picks: pictures to the
// frame slot, sound to the audio output) or an editing timeline (the render
// engine's video group through the effect filter "Dynamic Filter" to the
// video renderer, its sound group to the audio output).
//
// The graph is built by BuildFileGraph / BuildTimelineGraph and streamed by
// CPlaybackStreaming: pictures are shown at their times on the sound
// device's clock while sound plays, else on a monotonic clock. The graph
// makes no widget and shows no message: pictures go to its frame slot, which
// the UI's video surface paints, and graph events reach the notify object as
// a posted message.
//
// Transport state (GraphState): 0 closed, 1 open, 2 running, 3 stopped,
// 4 paused. Changes complete at once.
//
// Threads. The object is not locked: one thread at a time calls it, its
// owner. Ownership may pass to another thread when nothing is running on
// the old one and the hand-over itself synchronises (a queued result of a
// CBackgroundWorker, a joined thread):
//   - OpenFile, OpenTimeline and CloseGraph (and the destructor) may run on
//     any thread, a worker included: they create no widget, show no message
//     and talk to no object of the UI thread. A graph is typically opened on
//     a worker and handed to the UI thread, which then owns it.
//   - Every other call is made by the owner. The notify object of
//     SetNotifyWindow must live on a thread with an event loop (the UI
//     thread) and outlive the graph or be detached with SetNotifyWindow(null).
//   - The streaming threads the transport starts touch only the frame slot
//     (which locks), the event queue (which locks) and the notify object
//     (through PostMessage); CloseGraph, Pause, Stop and a seek while running
//     join them before they return.
//   - RotRegistration and the static helpers: any thread.
#pragma once

#include "platform/hresult.h"
#include "platform/media/filter_graph.h"

#include <QString>
#include <cstdint>
#include <memory>

class CTimeline;
class CFrameSlot;
class CAudioOutput;
class QObject;
struct PlaybackGraphParts;

class CGraphBasic {
public:
    enum State : std::int32_t { Closed = 0, Open = 1, Running = 2, Stopped = 3, Paused = 4 };

    CGraphBasic();
    ~CGraphBasic();
    CGraphBasic(const CGraphBasic&) = delete;
    CGraphBasic& operator=(const CGraphBasic&) = delete;

    // Builds the graph for a media file and shows its first picture. 0, or
    // E_FAIL (a graph is open, the file cannot be read or has nothing to
    // play). When the media detector cannot describe the file, E_FAIL is
    // returned with the graph left open and OpenMessage() says which step
    // failed, for the caller to show. Any thread (see the class comment).
    HRESULT OpenFile(const QString& path);
    // Builds the graph for an editing timeline. 0, the failing step's code,
    // or E_FAIL when a graph is already open. Any thread, while nothing
    // changes the timeline.
    HRESULT OpenTimeline(std::shared_ptr<CTimeline> timeline);
    // Stops and dismantles the graph; every streaming thread has ended when
    // it returns. E_FAIL when nothing is open. Any thread.
    HRESULT CloseGraph();
    // The message of the last OpenFile whose media detector step failed
    // ("Failed pMD->put_Filename", ...); empty otherwise.
    const QString& OpenMessage() const { return openMessage_; }

    HRESULT Play();
    HRESULT Pause();
    // Stops, rewinds to 0 and shows the first frame.
    HRESULT Stop();
    // 100 ns units; 0 <= position <= duration. Shows the frame there unless running.
    HRESULT SetCurrentPosition(REFERENCE_TIME position);
    // As SetCurrentPosition, but shows no frame: for a caller that has the
    // picture there made elsewhere (a seek that must not decode on its
    // thread).
    HRESULT MovePosition(REFERENCE_TIME position);
    HRESULT GetCurrentPosition(REFERENCE_TIME* position) const;
    // The graph's state after pending changes: State_Stopped, _Paused or
    // _Running (changes complete at once here). E_FAIL when closed.
    HRESULT GetState(int timeoutMs, FILTER_STATE* state) const;

    // Graph events: where WM_GRAPHNOTIFY-style notices are posted (null: none).
    HRESULT SetNotifyWindow(QObject* window, std::uint32_t message);
    // The next event without waiting (timeoutMs 0) or waiting up to timeoutMs;
    // VFW_E_TIMEOUT when there is none. E_FAIL when closed.
    HRESULT GetEvent(long* code, long* param1, long* param2, int timeoutMs);
    bool HasMediaEvent() const;

    // Where the pictures go (null when the graph shows none).
    const std::shared_ptr<CFrameSlot>& VideoSlot() const;

    // Sound level in hundredths of a decibel, -10000 (silent) to 0 (full);
    // E_NOINTERFACE without sound, E_INVALIDARG out of range.
    HRESULT PutVolume(long volume);
    HRESULT GetVolume(long* volume) const;

    // Facts.
    std::int32_t GraphState() const { return state_; }
    bool IsAudioOnly() const { return audioOnly_; }
    const QString& FilePath() const { return path_; }
    REFERENCE_TIME GetDuration() const { return duration_; }
    std::int32_t VideoWidth() const { return videoWidth_; }
    std::int32_t VideoHeight() const { return videoHeight_; }
    double AvgTimePerFrame() const { return avgTimePerFrame_; }
    std::int32_t BitErrorRate() const { return bitErrorRate_; }
    std::int32_t BitRate() const { return bitRate_; }
    // From the media detector.
    std::int32_t StreamLength() const { return streamLength_; }
    std::int32_t FrameRate() const { return frameRate_; }
    std::int16_t AudioLength() const { return audioLength_; }
    std::int32_t AudioBitRate() const { return audioBitRate_; }
    std::int32_t AudioSampleRate() const { return audioSampleRate_; }
    bool IsVideoOnly() const { return videoOnly_; }

    // The filter graph (null when closed), for inspection.
    CFilterGraph* FilterGraph() const;
    // Frames the video renderer has shown since the graph was opened.
    std::int64_t FramesPresented() const;
    // Frames skipped because they were already late (counted when the
    // streaming threads end).
    std::int64_t FramesSkipped() const;
    // True while the sound device's play time drives the pictures.
    bool SoundClockActive() const;
    // CPU time the streaming threads used since the graph was opened, in ns
    // (threads that still run are counted when they end).
    std::int64_t StreamingCpuNs() const;
    // The sound output while a device plays the graph's sound, else null.
    CAudioOutput* AudioOutput() const;

    // The process-wide running-object registration of the current timeline
    // graph (0 when none).
    static std::uint32_t RotRegistration();

private:
    HRESULT readDetectorFacts(const QString& path);
    void readVideoFacts();
    void clearAudioFacts();
    void teardown();

    std::int32_t state_ = Closed;
    std::unique_ptr<PlaybackGraphParts> parts_;
    long volume_ = 0;
    REFERENCE_TIME pausedAt_ = 0; // position while not running
    QString path_;
    QString openMessage_;
    bool audioOnly_ = false;
    REFERENCE_TIME duration_ = 0;
    std::int32_t videoWidth_ = 0;
    std::int32_t videoHeight_ = 0;
    double avgTimePerFrame_ = 0;
    std::int32_t bitErrorRate_ = 0;
    std::int32_t bitRate_ = 0;
    std::int32_t streamLength_ = 0;
    std::int32_t frameRate_ = 0;
    std::int16_t audioLength_ = 0;
    std::int32_t audioBitRate_ = 0;
    std::int32_t audioSampleRate_ = 0;
    bool videoOnly_ = false;
};
