// CMediaSource: one media file opened for reading, with its streams picked
// the one way every reader of the editor picks them (the media detector, the
// render engine's readers, the playback graph's file graph and feeds).
//
// A picture stream is a video stream that is not an attached picture (cover
// art). The stream a player or a renderer takes of a kind is the first one
// in file order that has a decoder and sane facts: a picture of 1 to 16384
// pixels each way; sound of 1 to 64 channels at 1 Hz to 1 MHz.
//
// Not thread-safe: one object is used by one thread at a time (any thread).
#pragma once

#include "platform/c_handles.h"
#include "platform/hresult.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

struct AVFormatContext;
struct AVStream;

// True for a picture stream: video that is not an attached picture.
bool IsVideoStream(const AVStream* stream);
// True when the file at path opens as media and has a picture stream
// (cover art alone does not count). False for missing files and folders.
bool HasVideoStream(const QString& path);

class CMediaSource {
public:
    // Opens the regular file at path and reads its stream facts; null when
    // the path is missing, a folder, or not media that can be read.
    static std::shared_ptr<CMediaSource> Open(const QString& path);

    CMediaSource(const CMediaSource&) = delete;
    CMediaSource& operator=(const CMediaSource&) = delete;

    const QString& path() const { return path_; }
    AVFormatContext* format() const { return format_.get(); }
    const AVStream* stream(int index) const;

    // Picture and sound streams in file order, usable or not (data streams
    // and cover art left out): the media detector's output streams.
    const std::vector<int>& outputStreams() const { return outputs_; }
    // The picture and sound streams to play or render (-1: none).
    int videoStream() const { return video_; }
    int audioStream() const { return audio_; }
    // videoStream() or audioStream() by AVMediaType (-1 for other kinds).
    int streamOfKind(int kind) const;

    // Length of the file in 100 ns units: the longest of the container's
    // and the picked streams' durations; 0 when none is known.
    std::int64_t duration() const;
    // Frames per second of the picture stream as FFmpeg guesses it; 25 when
    // unknown or outside 0.5 to 240.
    double videoFrameRate() const;

    // True once a decoder has read packets, so the next one has to seek
    // back to the start first.
    bool consumed() const { return consumed_; }
    void setConsumed() { consumed_ = true; }

private:
    CMediaSource() = default;

    QString path_;
    FfPtr<AVFormatContext> format_;
    std::vector<int> outputs_;
    int video_ = -1;
    int audio_ = -1;
    bool consumed_ = false;
};
