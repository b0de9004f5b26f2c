// CMediaDet: the media detector. It opens one media file and reports its
// output streams (every video and audio stream, in file order; cover
// pictures and data streams are not counted), the type and length of each,
// the frame rate of a video stream, and the picture of a video stream at a
// given time scaled to a given size as a bitmap: a BITMAPINFOHEADER followed
// by bottom-up 24-bit pixels (blue byte first, rows padded to 4 bytes).
//
// The file is opened by CMediaSource and its pictures are read by
// CSourceVideoReader, the render engine's reader: decoded only as far as
// needed, requests at increasing times read forward from where the last one
// stopped; a request behind the last one, or far ahead of it (past the next
// key frame), seeks. With an intra-only codec the frames that no request
// shows are not decoded at all.
//
// Not thread-safe: one object is used by one thread at a time.
#pragma once

#include "platform/hresult.h"
#include "platform/media/media_types.h"

#include <QString>
#include <cstdint>
#include <memory>

class CMediaDet {
public:
    CMediaDet();
    ~CMediaDet();
    CMediaDet(const CMediaDet&) = delete;
    CMediaDet& operator=(const CMediaDet&) = delete;

    // Opens path and selects stream 0. E_INVALIDARG for an empty path,
    // E_FAIL when the path is missing, a folder, or not a media file that
    // can be read (the detector is then empty).
    HRESULT put_Filename(const QString& path);
    QString get_Filename() const;

    // Number of output streams (E_POINTER for null, E_UNEXPECTED without a file).
    HRESULT get_OutputStreams(std::int32_t* count) const;
    // Selects the stream the following queries describe (E_INVALIDARG when
    // out of range).
    HRESULT put_CurrentStream(std::int32_t index);
    HRESULT get_CurrentStream(std::int32_t* index) const;

    // MEDIATYPE_Video or MEDIATYPE_Audio.
    HRESULT get_StreamType(GUID* majorType) const;
    // The stream's type as stored in the file. Video: FORMAT_VideoInfo with
    // the picture size, 24 bits per pixel and the average time per frame;
    // subtype from the codec's four-character code (RGB24 when it has none).
    // Audio: FORMAT_WaveFormatEx with channels, sample rate, average bytes
    // per second (the stream's bit rate ÷ 8) and bits per sample; subtype PCM
    // for PCM sound, else from the codec's format tag.
    HRESULT get_StreamMediaType(CMediaType* type) const;
    // Length of the current stream in seconds.
    HRESULT get_StreamLength(double* seconds) const;
    // Frames per second of the current stream; VFW_E_INVALIDMEDIATYPE when
    // it is not video.
    HRESULT get_FrameRate(double* fps) const;

    // The picture shown at streamTime (seconds from the start of the stream;
    // before the first frame the first, after the last frame the last)
    // scaled to width x height. With buffer null, *bufferSize receives the
    // bytes needed (header and pixels). Otherwise *bufferSize, if given, is
    // the room at buffer (E_INVALIDARG when too small) and the bitmap is
    // written there. VFW_E_INVALIDMEDIATYPE when the current stream is not
    // video, E_INVALIDARG for sizes below 1 or above 8192, E_FAIL when no
    // picture can be decoded.
    HRESULT GetBitmapBits(
        double streamTime, std::int32_t* bufferSize, char* buffer, std::int32_t width, std::int32_t height);

    // Bytes GetBitmapBits needs for width x height.
    static std::int32_t BitmapBytes(std::int32_t width, std::int32_t height);

    // Frames decoded since the file was opened (for tests and measurements).
    std::int64_t DecodedFrames() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};
