#include "platform/c_handles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <dlfcn.h>
#include <unistd.h>

void FfmpegDeleter::operator()(AVFormatContext* p) const
{
    avformat_close_input(&p);
}
void FfmpegDeleter::operator()(AVCodecContext* p) const
{
    avcodec_free_context(&p);
}
void FfmpegDeleter::operator()(AVFrame* p) const
{
    av_frame_free(&p);
}
void FfmpegDeleter::operator()(AVPacket* p) const
{
    av_packet_free(&p);
}
void FfmpegDeleter::operator()(SwrContext* p) const
{
    swr_free(&p);
}
void FfmpegDeleter::operator()(SwsContext* p) const
{
    sws_freeContext(p);
}

void FfOutputDeleter::operator()(AVFormatContext* p) const
{
    if (!p)
        return;
    if (p->oformat && !(p->oformat->flags & AVFMT_NOFILE))
        avio_closep(&p->pb);
    avformat_free_context(p);
}

void FfMemDeleter::operator()(void* p) const
{
    av_free(p);
}

void FreeCustomIoOutput(AVFormatContext*& context)
{
    if (!context)
        return;
    if (context->pb) {
        av_freep(&context->pb->buffer);
        avio_context_free(&context->pb);
    }
    avformat_free_context(context);
    context = nullptr;
}

void DlDeleter::operator()(void* handle) const
{
    if (handle)
        dlclose(handle);
}

void UniqueFd::reset(int fd)
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}
