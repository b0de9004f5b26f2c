// The feeds of a file graph: the file's pictures at its frame rate as
// bottom-up 24-bit frames, and its sound as 16-bit PCM at its own rate. Both
// read through the media readers (CSourceVideoReader, CSourceAudioReader),
// which decode forward and seek only back or far ahead.
#pragma once

#include "engine/playback_feeds.h"
#include "platform/c_handles.h"

#include <QString>
#include <memory>

class CMediaSource;
class CSourceAudioReader;
class CSourceVideoReader;

class CFileVideoFeed : public CPlaybackVideoFeed {
public:
    // Picture stream `stream` of source (which the feed reads from now on),
    // scaled to width x height, fps frames per second up to duration.
    CFileVideoFeed(
        std::shared_ptr<CMediaSource> source, int stream, int width, int height, double fps, REFERENCE_TIME duration);
    ~CFileVideoFeed() override;

    std::int64_t count() const override { return count_; }
    REFERENCE_TIME time(std::int64_t index) const override;
    void render(std::int64_t index, std::uint8_t* dst) override;

private:
    std::unique_ptr<CSourceVideoReader> reader_;
    int width_;
    int height_;
    double fps_;
    std::int64_t count_ = 0;
    FfPtr<SwsContext> sws_;
};

// Sound of the file at path as 16-bit PCM (silence past its end).
class CFileAudioFeed : public CPlaybackAudioFeed {
public:
    CFileAudioFeed(const QString& path, int sampleRate, int channelCount, REFERENCE_TIME duration);
    ~CFileAudioFeed() override;

    std::int64_t count() const override { return count_; }
    void render(std::int64_t first, int frames, std::int16_t* dst) override;

private:
    std::unique_ptr<CSourceAudioReader> reader_;
    std::int64_t count_ = 0;
    std::int64_t origin_ = 0;
    bool started_ = false;
};
