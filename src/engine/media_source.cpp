#include "engine/media_source.h"

#include "platform/media_input.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace {
constexpr int kMaxPictureSide = 16384;
constexpr int kMaxChannels = 64;
constexpr int kMaxSampleRate = 1000000;

bool Playable(const AVStream* st)
{
    const AVCodecParameters* par = st->codecpar;
    if (!avcodec_find_decoder(par->codec_id))
        return false;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO)
        return IsVideoStream(st) && par->width > 0 && par->height > 0 && par->width <= kMaxPictureSide
            && par->height <= kMaxPictureSide;
    if (par->codec_type == AVMEDIA_TYPE_AUDIO)
        return par->sample_rate > 0 && par->sample_rate <= kMaxSampleRate && par->ch_layout.nb_channels > 0
            && par->ch_layout.nb_channels <= kMaxChannels;
    return false;
}
} // namespace

bool IsVideoStream(const AVStream* stream)
{
    return stream && stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO
        && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

bool HasVideoStream(const QString& path)
{
    const auto source = CMediaSource::Open(path);
    if (!source)
        return false;
    const AVFormatContext* fmt = source->format();
    return std::any_of(fmt->streams, fmt->streams + fmt->nb_streams, IsVideoStream);
}

std::shared_ptr<CMediaSource> CMediaSource::Open(const QString& path)
{
    // Untrusted input: local files of the accepted containers only.
    FfPtr<AVFormatContext> format = OpenMediaInput(path);
    if (!format)
        return nullptr;
    std::shared_ptr<CMediaSource> source(new CMediaSource);
    AVFormatContext* raw = format.get();
    source->format_ = std::move(format);
    source->path_ = path;
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const AVStream* st = raw->streams[i];
        const AVMediaType type = st->codecpar->codec_type;
        if (IsVideoStream(st) || type == AVMEDIA_TYPE_AUDIO)
            source->outputs_.push_back(int(i));
        if (!Playable(st))
            continue;
        if (type == AVMEDIA_TYPE_VIDEO && source->video_ < 0)
            source->video_ = int(i);
        else if (type == AVMEDIA_TYPE_AUDIO && source->audio_ < 0)
            source->audio_ = int(i);
    }
    return source;
}

const AVStream* CMediaSource::stream(int index) const
{
    return index >= 0 && unsigned(index) < format_->nb_streams ? format_->streams[index] : nullptr;
}

int CMediaSource::streamOfKind(int kind) const
{
    if (kind == AVMEDIA_TYPE_VIDEO)
        return video_;
    if (kind == AVMEDIA_TYPE_AUDIO)
        return audio_;
    return -1;
}

std::int64_t CMediaSource::duration() const
{
    std::int64_t duration = 0;
    if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0)
        duration = av_rescale_q(format_->duration, AV_TIME_BASE_Q, AVRational { 1, 10000000 });
    for (int index : { video_, audio_ }) {
        const AVStream* st = stream(index);
        if (st && st->duration != AV_NOPTS_VALUE && st->duration > 0)
            duration = std::max(duration, av_rescale_q(st->duration, st->time_base, AVRational { 1, 10000000 }));
    }
    return duration;
}

double CMediaSource::videoFrameRate() const
{
    if (video_ < 0)
        return 25.0;
    const AVRational rate = av_guess_frame_rate(format_.get(), format_->streams[video_], nullptr);
    const double fps = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0;
    return fps > 0.5 && fps <= 240 ? fps : 25.0;
}
