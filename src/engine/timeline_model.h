// The editing timeline object model: a timeline holds groups (one output
// stream each, with the media type the render engine must deliver), a group
// holds tracks ordered by priority (a later track lies above an earlier
// one), and a track holds sources (a stretch of a media file placed on the
// timeline). Times are in 100 ns units. Objects are shared through
// std::shared_ptr; the composer that builds a timeline keeps the references.
#pragma once

#include "platform/hresult.h"
#include "platform/media/media_types.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

using REFTIME100NS = REFERENCE_TIME;

// Decoded views of the two group format blocks the render engine understands.
struct VideoGroupFormat {
    int width = 0;
    int height = 0; // positive: bottom-up rows
    int bitCount = 0;
    REFERENCE_TIME avgTimePerFrame = 0;
};
struct AudioGroupFormat {
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    int blockAlign = 0;
};
// False when the type is not uncompressed RGB video (24 or 32 bits) with a
// VIDEOINFOHEADER, or not 16-bit PCM with a WAVEFORMATEX.
bool ParseVideoFormat(const CMediaType& mt, VideoGroupFormat& out);
bool ParseAudioFormat(const CMediaType& mt, AudioGroupFormat& out);

// Stretch modes of a source.
inline constexpr int kStretchResize = 1;
inline constexpr int kStretchPreserveAspect = 2; // letterboxed with black bars

class CTimelineSource {
public:
    HRESULT SetStartStop(REFTIME100NS start, REFTIME100NS stop);
    HRESULT SetMediaTimes(REFTIME100NS start, REFTIME100NS stop);
    HRESULT SetMediaName(const QString& name);
    HRESULT SetStretchMode(int mode);

    REFTIME100NS start() const { return start_; }
    REFTIME100NS stop() const { return stop_; }
    REFTIME100NS mediaStart() const { return mediaStart_; }
    REFTIME100NS mediaStop() const { return mediaStop_; }
    const QString& mediaName() const { return mediaName_; }
    int stretchMode() const { return stretchMode_; }

    // True when the source covers timeline time t.
    bool covers(REFTIME100NS t) const { return t >= start_ && t < stop_; }
    // The media time shown at timeline time t (media rate follows the ratio
    // of the media length to the timeline length).
    REFTIME100NS mediaTimeAt(REFTIME100NS t) const;

private:
    REFTIME100NS start_ = 0;
    REFTIME100NS stop_ = 0;
    REFTIME100NS mediaStart_ = 0;
    REFTIME100NS mediaStop_ = 0;
    QString mediaName_;
    int stretchMode_ = kStretchResize;
};

class CTimelineTrack {
public:
    HRESULT SrcAdd(std::shared_ptr<CTimelineSource> source);
    const std::vector<std::shared_ptr<CTimelineSource>>& sources() const { return sources_; }

private:
    std::vector<std::shared_ptr<CTimelineSource>> sources_;
};

// A group is also the composition its tracks live in.
class CTimelineGroup {
public:
    HRESULT SetMediaType(const CMediaType& mt);
    const CMediaType& mediaType() const { return mediaType_; }
    bool isVideo() const { return mediaType_.majortype == MEDIATYPE_Video; }
    bool hasMediaType() const { return hasMediaType_; }

    // Output frame rate of a video group; 15 frames per second by default.
    HRESULT SetOutputFPS(double fps);
    double outputFPS() const { return fps_; }

    // Inserts the track at priority (0 = bottom); -1 appends it above all
    // existing tracks.
    HRESULT VTrackInsBefore(std::shared_ptr<CTimelineTrack> track, int priority);
    // Tracks from lowest to highest priority; a higher one covers a lower one.
    const std::vector<std::shared_ptr<CTimelineTrack>>& tracks() const { return tracks_; }

    // End of the last source of the group.
    REFTIME100NS duration() const;

private:
    CMediaType mediaType_;
    bool hasMediaType_ = false;
    double fps_ = 15.0;
    std::vector<std::shared_ptr<CTimelineTrack>> tracks_;
};

class CTimeline {
public:
    HRESULT AddGroup(std::shared_ptr<CTimelineGroup> group);
    int GetGroupCount() const { return static_cast<int>(groups_.size()); }
    std::shared_ptr<CTimelineGroup> GetGroup(int index) const;
    const std::vector<std::shared_ptr<CTimelineGroup>>& groups() const { return groups_; }

    // Flags of ValidateSourceNames.
    static constexpr int kCheck = 1;
    static constexpr int kPopup = 2;
    static constexpr int kReplace = 8;
    // Checks that every source's media file exists; returns S_FALSE when one
    // is missing. Missing sources stay in place (they render as black and
    // silence).
    HRESULT ValidateSourceNames(int flags) const;

    // End of the last source over all groups.
    REFTIME100NS duration() const;

private:
    std::vector<std::shared_ptr<CTimelineGroup>> groups_;
};
