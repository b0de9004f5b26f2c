// CMovieGraphCapture: still frames of a video file at evenly spaced times,
// either as numbered JPEG files in the run's private work folder or as I420
// frames in a FrameCache for the phone-format encoder. The pictures come from the media
// detector, scaled to the target size; progress and cancellation go through
// CMovieWorkState, failures are shown through the dialog service.
//
// Free of widgets, so the save worker can use it. One object serves one
// extraction.
#pragma once

#include "engine/frame_cache.h"
#include "platform/hresult.h"

#include <QString>
#include <cstdint>
#include <memory>

// Prefix of the numbered JPEG files: MS_TMP_0000.JPG, MS_TMP_0001.JPG, ...
inline constexpr const char* kExtractFilePrefix = "MS_TMP_";

enum ExtractionMode : std::int32_t {
    ExtractJpegFiles = 0,
    ExtractI420Frames = 1,
};

class CMovieGraphCapture {
public:
    // JPEG files go to workFolder, the run's private folder
    // (platform/private_folder.h), never to "<FOLDER>/Temp" itself where a
    // user's files may lie; without one only I420 frames can be extracted.
    explicit CMovieGraphCapture(const QString& workFolder = QString());
    ~CMovieGraphCapture();
    CMovieGraphCapture(const CMovieGraphCapture&) = delete;
    CMovieGraphCapture& operator=(const CMovieGraphCapture&) = delete;

    // step, start and length in seconds; a length of 0 covers the whole
    // video stream.
    void SetExtractionParams(
        const QString& path, double step, std::int32_t width, std::int32_t height, double start, double length);

    // Pictures at start, start + step, ... up to and including start +
    // length. Mode 0 writes <output folder>/MS_TMP_nnnn.JPG; mode 1 empties
    // cache and appends (frame number, I420 frame) entries; a cache without
    // a spill folder spills into the output folder. Returns 0 when
    // done, 1 when cancelled (what was made stays), a negative code on
    // failure: E_INVALIDARG for a path that is not a file ("Invalid File"),
    // for a step, size or time that cannot be used, an odd size in mode 1,
    // or mode 0 without an absolute work folder; the detector's code when it
    // cannot read the file; E_FAIL without a video stream or when the cache
    // cannot write its work file. *count receives the number of frames made.
    HRESULT ExtractFrames(std::int32_t* count, std::int32_t mode, FrameCache& cache);

    // Writes a bitmap (BITMAPINFOHEADER and 24-bit pixels, bottom-up or
    // top-down) to fileName as a JPEG of the target size at quality 100.
    // S_OK or E_FAIL.
    HRESULT SaveFrameJpeg(const QString& fileName, const char* dib, std::size_t dibBytes) const;

    // Bottom-up B, G, R pixels (rows stride bytes apart, 0 for width x 3)
    // to a new top-down I420 frame of width x height x 3 / 2 bytes. Null for
    // odd or non-positive sizes, and when memory runs out ("Memory Error!"
    // is shown).
    static std::unique_ptr<std::uint8_t[]> ConvertBgrToI420(
        const std::uint8_t* pixels, std::int32_t width, std::int32_t height, std::int32_t stride = 0);

    QString OutputFolder() const { return outputFolder_; }

private:
    QString path_;
    double step_ = 0.1;
    double start_ = 0;
    double length_ = 0;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    QString outputFolder_;
};
