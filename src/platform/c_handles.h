// Owners of the C handles the editor uses: FFmpeg contexts, frames and
// packets, dlopen handles and file descriptors. Each is a unique_ptr (or a
// small move-only wrapper) whose deleter is the library's release function,
// so no code outside this header frees one by hand.
#pragma once

#include <memory>
#include <utility>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;
struct SwsContext;

struct FfmpegDeleter {
    // An input context (avformat_open_input): closed with its file.
    void operator()(AVFormatContext* p) const;
    void operator()(AVCodecContext* p) const;
    void operator()(AVFrame* p) const;
    void operator()(AVPacket* p) const;
    void operator()(SwrContext* p) const;
    void operator()(SwsContext* p) const;
};
template <typename T> using FfPtr = std::unique_ptr<T, FfmpegDeleter>;

// An output context (avformat_alloc_output_context2): its I/O is closed,
// then the context freed.
struct FfOutputDeleter {
    void operator()(AVFormatContext* p) const;
};
using FfOutputPtr = std::unique_ptr<AVFormatContext, FfOutputDeleter>;

// Memory from av_malloc, freed with av_free.
struct FfMemDeleter {
    void operator()(void* p) const;
};
using FfBuffer = std::unique_ptr<unsigned char, FfMemDeleter>;

// An output context writing through its own AVIO context (callbacks): the
// AVIO context and its buffer are freed, then the context.
void FreeCustomIoOutput(AVFormatContext*& context);

// A dlopen handle, closed with dlclose.
struct DlDeleter {
    void operator()(void* handle) const;
};
using DlHandle = std::unique_ptr<void, DlDeleter>;

// A file descriptor, closed on destruction (-1: none).
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd)
        : fd_(fd)
    { }
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept
        : fd_(other.release())
    { }
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};
