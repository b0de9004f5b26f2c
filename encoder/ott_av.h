// Owning handles for the C objects the encoder libraries use: FFmpeg
// contexts, frames, packets and parameters, stdio files and file
// descriptors. The encoder libraries do not link the editor, so they keep
// these beside the editor's platform/c_handles.h; nothing else in encoder/
// frees one by hand.
#pragma once

#include <cstdio>
#include <memory>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace ott {

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct CodecParametersFree {
    void operator()(AVCodecParameters* p) const { avcodec_parameters_free(&p); }
};
// An output context (avformat_alloc_output_context2): its I/O is closed,
// then the context freed.
struct OutputContextFree {
    void operator()(AVFormatContext* oc) const
    {
        if (oc->pb)
            avio_closep(&oc->pb);
        avformat_free_context(oc);
    }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using CodecParametersPtr = std::unique_ptr<AVCodecParameters, CodecParametersFree>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextFree>;

// A stdio file. Where a write's success matters, release it and check what
// fclose returns.
struct FileClose {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileClose>;

// A file descriptor, closed on destruction (-1: none).
class Fd {
public:
    explicit Fd(int fd = -1)
        : fd_(fd)
    { }
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

} // namespace ott
