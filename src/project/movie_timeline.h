// CMovieTimeline turns clip records into an editing timeline for the render
// engine: one video group (320 x 240 RGB24) and one sound group (16-bit PCM,
// stereo 44.1 kHz or mono 8 kHz), every clip a source on a track of its own.
// Tracks are appended, so a later clip lies above earlier ones where they
// overlap. Clip times (ms) become 100 ns units by multiplying by 10000.
// The composer shows no messages; every failing step returns its code.
#pragma once

#include "engine/timeline_model.h"
#include "project/media_file.h"

#include <memory>

class CMovieTimeline {
public:
    // Size and depth of the video group's frames.
    static constexpr int kFrameWidth = 320;
    static constexpr int kFrameHeight = 240;
    static constexpr int kFrameBits = 24;

    CMovieTimeline() = default;
    ~CMovieTimeline();
    CMovieTimeline(const CMovieTimeline&) = delete;
    CMovieTimeline& operator=(const CMovieTimeline&) = delete;

    // Releases the compositions, the groups and the timeline; returns 0.
    HRESULT ReleaseTimeline();
    // An empty timeline with its two groups.
    HRESULT CreateTimeline(bool highQualitySound);
    // One clip as a source on a new track of the video or the sound group.
    HRESULT AddVideoSource(const CMediaFile& clip);
    HRESULT AddSoundSource(const CMediaFile& clip);
    // Checks the sources' file names; the result is ignored and 0 returned.
    HRESULT ValidateSources();
    // A new reference to the timeline (null before CreateTimeline).
    std::shared_ptr<CTimeline> GetTimeline() const { return timeline; }

    // The movie view's operations on its timelines.
    // Movie timeline: released and built again with stereo 44.1 kHz sound.
    HRESULT ResetMovieTimeline();
    // Track kind 1: video source; 2 and 3: sound source; others: nothing, 0.
    HRESULT AddClip(const CMediaFile& clip, int trackKind);
    // Sound timeline of one file: the first lengthMs of it as a video and a
    // sound source, with the sound group at mono 8 kHz.
    HRESULT PrepareSoundTimeline(const QString& path, std::uint32_t lengthMs);

    std::shared_ptr<CTimeline> timeline;
    std::shared_ptr<CTimelineGroup> videoGroupObj;
    std::shared_ptr<CTimelineGroup> soundGroupObj;
    // A group is its own composition.
    std::shared_ptr<CTimelineGroup> videoComp;
    std::shared_ptr<CTimelineGroup> soundComp;

private:
    HRESULT addSource(const CMediaFile& clip, const std::shared_ptr<CTimelineGroup>& comp, bool video);
};
