// CSourceDecoder: the decoding core the media readers share. It decodes one
// stream of an opened media source (CMediaSource) forward: packet by packet
// (for readers that decide which packets to decode) or frame by frame, and
// seeks to the key frame at or before a time. Times are in 100 ns units from
// the start of the stream.
//
// Only the decoded stream is demuxed. A packet the decoder refuses (damaged
// data) is skipped. Not thread-safe: one thread at a time (any thread).
#pragma once

#include "engine/timeline_model.h"
#include "platform/c_handles.h"

#include <cstdint>
#include <memory>

class CMediaSource;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

// A frame this close after an asked time counts as shown at it.
inline constexpr REFTIME100NS kSourceTimeTolerance = 10;

class CSourceDecoder {
public:
    // Decodes stream (an index of source's streams); not ok() when source
    // is null, the stream is missing or no decoder opens. lowres: 0 for full
    // size, n to decode at 1/2^n (for codecs that can).
    CSourceDecoder(std::shared_ptr<CMediaSource> source, int stream, int lowres = 0);
    // Opens path and decodes the stream of kind (AVMEDIA_TYPE_VIDEO or
    // AVMEDIA_TYPE_AUDIO) that CMediaSource picks.
    CSourceDecoder(const QString& path, int kind);
    virtual ~CSourceDecoder();
    CSourceDecoder(const CSourceDecoder&) = delete;
    CSourceDecoder& operator=(const CSourceDecoder&) = delete;

    bool ok() const { return codec_ != nullptr; }
    // Frames decoded so far (over every reopen).
    std::int64_t decodedFrames() const { return decoded_; }

protected:
    // Reads the next decoded frame into frame; false at the end or on a
    // broken file.
    bool decodeNext(AVFrame* frame);
    // Reads the next packet of the stream and its time (packets without
    // one follow the previous); false at the end.
    bool readPacket(AVPacket* packet, REFTIME100NS* time);
    // Decodes one packet that makes one picture by itself into frame.
    bool decodePacket(AVPacket* packet, AVFrame* frame);
    // Seeks to the key frame at or before mediaTime (or, failing that, to
    // the start of the file) and drops what the decoder holds.
    bool seek(REFTIME100NS mediaTime);
    // Opens the decoder again at another reduced size and goes back to the
    // start of the stream.
    bool reopen(int lowres);
    // Whether a seek to t lands past reached: the index shows the key frame
    // at or before t after it (true without an index).
    bool keyFrameAfter(REFTIME100NS t, REFTIME100NS reached) const;
    // Whether the frame of a packet can be needed; a packet that cannot be
    // is decoded only if other frames refer to it.
    virtual bool packetNeeded(const AVPacket&) const { return true; }
    // A packet or frame time in the stream's time base, from the start of the stream.
    REFTIME100NS streamTime(std::int64_t ts) const;
    // The frame's time from the start of the stream; a frame without one
    // follows the previous frame.
    REFTIME100NS frameTime(const AVFrame* frame) const;

    const AVStream* stream() const;
    // Every picture of the codec is a key frame (MJPEG and the like).
    bool intraOnly() const { return intraOnly_; }
    int lowres() const { return lowres_; }
    // Seconds a frame lasts by the stream's rate (0.04 when unknown), in 100 ns.
    REFTIME100NS frameDuration() const { return frameDuration_; }

    std::shared_ptr<CMediaSource> source_;
    FfPtr<AVCodecContext> codec_;
    FfPtr<AVPacket> packet_;
    int stream_ = -1;
    bool eof_ = false;
    bool drained_ = false;
    int errors_ = 0;

private:
    void init(std::shared_ptr<CMediaSource> source, int stream, int lowres);
    bool openCodec(int lowres);
    void noteFrame(const AVFrame* frame);
    bool rewind();

    bool intraOnly_ = false;
    int lowres_ = 0;
    REFTIME100NS frameDuration_ = 400000;
    REFTIME100NS nextFrameTime_ = 0; // time of a frame that has none
    REFTIME100NS nextPacketTime_ = 0; // time of a packet that has none
    std::int64_t decoded_ = 0;
};
