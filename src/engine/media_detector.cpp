#include "engine/media_detector.h"

#include "platform/media/media_errors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QFileInfo>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Requests further ahead than this seek instead of reading forward.
constexpr double kSeekAheadSeconds = 3.0;
// A frame this close after the asked time counts as shown at it.
constexpr double kTimeEpsilon = 1e-6;
constexpr std::int32_t kMaxBitmapSide = 8192;

struct FormatCloser {
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
struct CodecCloser {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameFreer {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScalerFreer {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};

bool IsOutputStream(const AVStream* st)
{
    const AVMediaType type = st->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_AUDIO)
        return true;
    return type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

// The full-range ("J") YUV formats as their plain twins with the range
// given separately, the way the scaler wants them.
AVPixelFormat PlainFormat(AVPixelFormat format, bool* fullRange)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        *fullRange = true;
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        *fullRange = true;
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        *fullRange = true;
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        *fullRange = true;
        return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
        *fullRange = true;
        return AV_PIX_FMT_YUV411P;
    default:
        return format;
    }
}

std::uint32_t RiffTag(AVCodecID id, bool video)
{
    const AVCodecTag* const tables[]
        = { video ? avformat_get_riff_video_tags() : avformat_get_riff_audio_tags(), nullptr };
    return av_codec_get_tag(tables, id);
}

} // namespace

// The decoding state of the one video stream whose pictures were asked for.
// Intra-only codecs keep one packet of look-ahead and decode only the packet
// whose picture is shown; other codecs decode every frame and keep the
// current one and the next one.
struct CMediaDet::Impl {
    QString path;
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::vector<int> streams; // output stream number -> file stream index
    int current = 0;

    int decodeStream = -1;
    int decodeLowres = 0;
    std::unique_ptr<AVCodecContext, CodecCloser> codec;
    bool intraOnly = false;
    double timeBase = 0; // seconds per unit of the stream's time base
    std::int64_t startPts = 0;
    std::unique_ptr<AVPacket, PacketFreer> held; // look-ahead packet (intra-only)
    std::unique_ptr<AVPacket, PacketFreer> next;
    std::unique_ptr<AVFrame, FrameFreer> cur;
    std::unique_ptr<AVFrame, FrameFreer> pending;
    bool heldValid = false, curValid = false, pendingValid = false;
    double heldTime = 0, curTime = 0, pendingTime = 0;
    double lastPacketTime = 0; // for packets without times
    double frameDuration = 0.04;
    bool eof = false, draining = false;
    std::int64_t decoded = 0;
    std::unique_ptr<SwsContext, ScalerFreer> scaler;
    std::vector<std::uint8_t> scratch;

    const AVStream* stream() const { return format->streams[streams[current]]; }
    void closeDecoder();
    bool openDecoder(int fileStream, int lowres);
    void resetPosition();
    bool seek(double t);
    bool readPacket(AVPacket* pkt, double* time);
    bool decodePacket(AVPacket* pkt); // into cur, which stays on failure
    bool decodeNext(AVFrame* frame);
    double frameSeconds(const AVFrame* f);
    const AVFrame* frameAt(double t, int width, int height);
    const AVFrame* frameAtIntra(double t);
    const AVFrame* frameAtSequential(double t);
    bool keyFrameAfter(double t, double reached);
};

void CMediaDet::Impl::closeDecoder()
{
    scaler.reset();
    codec.reset();
    held.reset();
    next.reset();
    cur.reset();
    pending.reset();
    decodeStream = -1;
    heldValid = curValid = pendingValid = false;
    eof = draining = false;
}

bool CMediaDet::Impl::openDecoder(int fileStream, int lowres)
{
    closeDecoder();
    AVStream* st = format->streams[fileStream];
    const AVCodec* decoder = avcodec_find_decoder(st->codecpar->codec_id);
    if (!decoder)
        return false;
    std::unique_ptr<AVCodecContext, CodecCloser> ctx(avcodec_alloc_context3(decoder));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), st->codecpar) < 0)
        return false;
    ctx->pkt_timebase = st->time_base;
    ctx->lowres = lowres;
    const AVCodecDescriptor* desc = avcodec_descriptor_get(st->codecpar->codec_id);
    intraOnly = desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY);
    // Slice threads return each picture for its own packet, which the
    // look-ahead of intra-only decoding relies on.
    ctx->thread_count = 0;
    if (intraOnly)
        ctx->thread_type = FF_THREAD_SLICE;
    if (avcodec_open2(ctx.get(), decoder, nullptr) < 0)
        return false;
    held.reset(av_packet_alloc());
    next.reset(av_packet_alloc());
    cur.reset(av_frame_alloc());
    pending.reset(av_frame_alloc());
    if (!held || !next || !cur || !pending)
        return false;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = int(i) == fileStream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    timeBase = av_q2d(st->time_base);
    startPts = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    frameDuration = rate.num > 0 && rate.den > 0 ? av_q2d(av_inv_q(rate)) : 0.04;
    codec = std::move(ctx);
    decodeStream = fileStream;
    decodeLowres = lowres;
    // The file was read by put_Filename's probing; start from its beginning.
    if (av_seek_frame(format.get(), fileStream, startPts, AVSEEK_FLAG_BACKWARD) < 0)
        av_seek_frame(format.get(), -1, 0, AVSEEK_FLAG_BYTE);
    lastPacketTime = -frameDuration;
    return true;
}

void CMediaDet::Impl::resetPosition()
{
    avcodec_flush_buffers(codec.get());
    av_packet_unref(held.get());
    av_packet_unref(next.get());
    av_frame_unref(cur.get());
    av_frame_unref(pending.get());
    heldValid = curValid = pendingValid = false;
    eof = draining = false;
}

bool CMediaDet::Impl::seek(double t)
{
    const std::int64_t target = startPts + std::int64_t(std::floor(t / timeBase + kTimeEpsilon));
    if (av_seek_frame(format.get(), decodeStream, target, AVSEEK_FLAG_BACKWARD) < 0
        && av_seek_frame(format.get(), -1, 0, AVSEEK_FLAG_BYTE) < 0)
        return false;
    resetPosition();
    lastPacketTime = t - frameDuration;
    return true;
}

bool CMediaDet::Impl::readPacket(AVPacket* pkt, double* time)
{
    for (;;) {
        av_packet_unref(pkt);
        if (av_read_frame(format.get(), pkt) < 0)
            return false;
        if (pkt->stream_index != decodeStream)
            continue;
        const std::int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        *time = ts != AV_NOPTS_VALUE ? double(ts - startPts) * timeBase : lastPacketTime + frameDuration;
        lastPacketTime = *time;
        return true;
    }
}

bool CMediaDet::Impl::decodePacket(AVPacket* pkt)
{
    if (avcodec_send_packet(codec.get(), pkt) < 0)
        return false;
    av_frame_unref(pending.get());
    if (avcodec_receive_frame(codec.get(), pending.get()) < 0)
        return false;
    std::swap(cur, pending);
    av_frame_unref(pending.get());
    ++decoded;
    return true;
}

double CMediaDet::Impl::frameSeconds(const AVFrame* f)
{
    const std::int64_t ts = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
    if (ts == AV_NOPTS_VALUE)
        return curValid ? curTime + frameDuration : 0.0;
    return double(ts - startPts) * timeBase;
}

bool CMediaDet::Impl::decodeNext(AVFrame* frame)
{
    for (;;) {
        const int r = avcodec_receive_frame(codec.get(), frame);
        if (r >= 0) {
            ++decoded;
            return true;
        }
        if (r != AVERROR(EAGAIN) || draining)
            return false;
        double time = 0;
        if (!eof && readPacket(next.get(), &time)) {
            // A broken packet is dropped; the decoder goes on with the next one.
            avcodec_send_packet(codec.get(), next.get());
            av_packet_unref(next.get());
        } else {
            eof = draining = true;
            avcodec_send_packet(codec.get(), nullptr);
        }
    }
}

const AVFrame* CMediaDet::Impl::frameAtIntra(double t)
{
    const double reached = heldValid ? heldTime : curTime;
    if ((curValid && t + kTimeEpsilon < curTime) || ((curValid || heldValid) && t - reached > kSeekAheadSeconds)) {
        if (!seek(t) && curValid && t + kTimeEpsilon < curTime)
            return nullptr;
    }
    for (;;) {
        if (!heldValid) {
            if (eof || !readPacket(held.get(), &heldTime)) {
                eof = true;
                return curValid ? cur.get() : nullptr;
            }
            heldValid = true;
        }
        if (curValid && heldTime > t + kTimeEpsilon)
            return cur.get();
        double nextTime = 0;
        const bool more = !eof && readPacket(next.get(), &nextTime);
        if (more && nextTime <= t + kTimeEpsilon) {
            // A later picture is still shown at or before t: this one never is.
            std::swap(held, next);
            heldTime = nextTime;
            continue;
        }
        eof = !more;
        const double time = heldTime;
        const bool ok = decodePacket(held.get());
        std::swap(held, next);
        heldTime = nextTime;
        heldValid = more;
        if (ok) {
            curValid = true;
            curTime = time;
            return cur.get();
        }
        if (!more)
            return curValid ? cur.get() : nullptr;
    }
}

bool CMediaDet::Impl::keyFrameAfter(double t, double reached)
{
    // A seek lands on the last key frame at or before t; when the index
    // shows that one is not past what was already decoded, reading on is
    // cheaper. Without an index the seek is tried.
    AVStream* st = format->streams[decodeStream];
    const std::int64_t target = startPts + std::int64_t(std::floor(t / timeBase + kTimeEpsilon));
    const AVIndexEntry* key = avformat_index_get_entry_from_timestamp(st, target, AVSEEK_FLAG_BACKWARD);
    return !key || double(key->timestamp - startPts) * timeBase > reached + kTimeEpsilon;
}

const AVFrame* CMediaDet::Impl::frameAtSequential(double t)
{
    const double reached = pendingValid ? pendingTime : curTime;
    if ((curValid && t + kTimeEpsilon < curTime)
        || (curValid && t - reached > kSeekAheadSeconds && keyFrameAfter(t, reached))) {
        if (!seek(t) && curValid && t + kTimeEpsilon < curTime)
            return nullptr;
    }
    for (;;) {
        if (!pendingValid) {
            if (!decodeNext(pending.get()))
                return curValid ? cur.get() : nullptr;
            pendingValid = true;
            pendingTime = frameSeconds(pending.get());
        }
        if (curValid && pendingTime > t + kTimeEpsilon)
            return cur.get();
        av_frame_unref(cur.get());
        av_frame_move_ref(cur.get(), pending.get());
        curValid = true;
        curTime = pendingTime;
        pendingValid = false;
        if (curTime > t + kTimeEpsilon)
            return cur.get(); // the stream starts after t: its first picture
    }
}

const AVFrame* CMediaDet::Impl::frameAt(double t, int width, int height)
{
    const int fileStream = streams[current];
    // Codecs that can decode at 1/2, 1/4 or 1/8 size do so when the picture
    // is still at least as large as the bitmap asked for: far less work for
    // small pictures of large frames.
    const AVCodecParameters* par = format->streams[fileStream]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    int lowres = 0;
    while (decoder && lowres < decoder->max_lowres && AV_CEIL_RSHIFT(par->width, lowres + 1) >= width
        && AV_CEIL_RSHIFT(par->height, lowres + 1) >= height)
        ++lowres;
    if ((decodeStream != fileStream || lowres != decodeLowres) && !openDecoder(fileStream, lowres))
        return nullptr;
    return intraOnly ? frameAtIntra(t) : frameAtSequential(t);
}

CMediaDet::CMediaDet()
    : d_(std::make_unique<Impl>())
{ }

CMediaDet::~CMediaDet() = default;

HRESULT CMediaDet::put_Filename(const QString& path)
{
    d_->closeDecoder();
    d_->format.reset();
    d_->streams.clear();
    d_->current = 0;
    d_->path.clear();
    if (path.isEmpty())
        return E_INVALIDARG;
    if (!QFileInfo(path).isFile())
        return E_FAIL;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return E_FAIL;
    std::unique_ptr<AVFormatContext, FormatCloser> owned(fmt);
    if (avformat_find_stream_info(fmt, nullptr) < 0)
        return E_FAIL;
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (IsOutputStream(fmt->streams[i]))
            d_->streams.push_back(int(i));
    d_->format = std::move(owned);
    d_->path = path;
    return S_OK;
}

QString CMediaDet::get_Filename() const
{
    return d_->path;
}

HRESULT CMediaDet::get_OutputStreams(std::int32_t* count) const
{
    if (!count)
        return E_POINTER;
    if (!d_->format)
        return E_UNEXPECTED;
    *count = std::int32_t(d_->streams.size());
    return S_OK;
}

HRESULT CMediaDet::put_CurrentStream(std::int32_t index)
{
    if (!d_->format)
        return E_UNEXPECTED;
    if (index < 0 || index >= std::int32_t(d_->streams.size()))
        return E_INVALIDARG;
    d_->current = index;
    return S_OK;
}

HRESULT CMediaDet::get_CurrentStream(std::int32_t* index) const
{
    if (!index)
        return E_POINTER;
    if (!d_->format)
        return E_UNEXPECTED;
    *index = d_->current;
    return S_OK;
}

HRESULT CMediaDet::get_StreamType(GUID* majorType) const
{
    if (!majorType)
        return E_POINTER;
    if (!d_->format || d_->streams.empty())
        return E_UNEXPECTED;
    *majorType = d_->stream()->codecpar->codec_type == AVMEDIA_TYPE_VIDEO ? MEDIATYPE_Video : MEDIATYPE_Audio;
    return S_OK;
}

HRESULT CMediaDet::get_StreamMediaType(CMediaType* type) const
{
    if (!type)
        return E_POINTER;
    if (!d_->format || d_->streams.empty())
        return E_UNEXPECTED;
    const AVStream* st = d_->stream();
    const AVCodecParameters* par = st->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        const std::uint32_t fourcc = par->codec_tag ? par->codec_tag : RiffTag(par->codec_id, true);
        *type = CMediaType(MEDIATYPE_Video,
            par->codec_id == AV_CODEC_ID_RAWVIDEO || !fourcc ? MEDIASUBTYPE_RGB24 : GuidFromFourCC(fourcc),
            FORMAT_VideoInfo);
        VIDEOINFOHEADER vih {};
        vih.rcSource = { 0, 0, par->width, par->height };
        vih.rcTarget = vih.rcSource;
        vih.dwBitRate = std::uint32_t(par->bit_rate > 0 ? par->bit_rate : 0);
        double fps = 0;
        if (get_FrameRate(&fps) == S_OK && fps > 0)
            vih.AvgTimePerFrame = REFERENCE_TIME(std::llround(1e7 / fps));
        vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vih.bmiHeader.biWidth = par->width;
        vih.bmiHeader.biHeight = par->height;
        vih.bmiHeader.biPlanes = 1;
        vih.bmiHeader.biBitCount = 24;
        vih.bmiHeader.biCompression = type->subtype == MEDIASUBTYPE_RGB24 ? BI_RGB : fourcc;
        vih.bmiHeader.biSizeImage = std::uint32_t(DibImageBytes(vih.bmiHeader));
        type->SetFormat(&vih, sizeof vih);
        type->bTemporalCompression = !d_->intraOnly;
        return S_OK;
    }
    const int channels = par->ch_layout.nb_channels;
    const int bits = av_get_bits_per_sample(par->codec_id);
    const std::uint32_t tag = RiffTag(par->codec_id, false);
    WAVEFORMATEX wfx {};
    wfx.wFormatTag = std::uint16_t(tag <= 0xFFFF ? tag : 0);
    wfx.nChannels = std::uint16_t(channels);
    wfx.nSamplesPerSec = std::uint32_t(par->sample_rate);
    if (par->bit_rate > 0)
        wfx.nAvgBytesPerSec = std::uint32_t(par->bit_rate / 8);
    else if (bits > 0)
        wfx.nAvgBytesPerSec = std::uint32_t(par->sample_rate * channels * bits / 8);
    wfx.nBlockAlign = std::uint16_t(par->block_align > 0 ? par->block_align : channels * bits / 8);
    wfx.wBitsPerSample = std::uint16_t(bits);
    *type = CMediaType(MEDIATYPE_Audio, wfx.wFormatTag == WAVE_FORMAT_PCM ? MEDIASUBTYPE_PCM : GuidFromFourCC(tag),
        FORMAT_WaveFormatEx);
    type->SetFormat(&wfx, sizeof wfx);
    type->SetSampleSize(wfx.nBlockAlign);
    return S_OK;
}

HRESULT CMediaDet::get_StreamLength(double* seconds) const
{
    if (!seconds)
        return E_POINTER;
    if (!d_->format || d_->streams.empty())
        return E_UNEXPECTED;
    const AVStream* st = d_->stream();
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        *seconds = double(st->duration) * av_q2d(st->time_base);
    else if (d_->format->duration != AV_NOPTS_VALUE && d_->format->duration > 0)
        *seconds = double(d_->format->duration) / AV_TIME_BASE;
    else
        return E_FAIL;
    return S_OK;
}

HRESULT CMediaDet::get_FrameRate(double* fps) const
{
    if (!fps)
        return E_POINTER;
    if (!d_->format || d_->streams.empty())
        return E_UNEXPECTED;
    const AVStream* st = d_->stream();
    if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
        return VFW_E_INVALIDMEDIATYPE;
    const AVRational rate
        = st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0 ? st->avg_frame_rate : st->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        return E_FAIL;
    *fps = av_q2d(rate);
    return S_OK;
}

std::int32_t CMediaDet::BitmapBytes(std::int32_t width, std::int32_t height)
{
    return std::int32_t(sizeof(BITMAPINFOHEADER)) + DibRowBytes(width, 24) * height;
}

HRESULT CMediaDet::GetBitmapBits(
    double streamTime, std::int32_t* bufferSize, char* buffer, std::int32_t width, std::int32_t height)
{
    if (!d_->format || d_->streams.empty())
        return E_UNEXPECTED;
    if (d_->stream()->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
        return VFW_E_INVALIDMEDIATYPE;
    if (width < 1 || height < 1 || width > kMaxBitmapSide || height > kMaxBitmapSide || !std::isfinite(streamTime))
        return E_INVALIDARG;
    const std::int32_t needed = BitmapBytes(width, height);
    if (!buffer) {
        if (!bufferSize)
            return E_POINTER;
        *bufferSize = needed;
        return S_OK;
    }
    if (bufferSize && *bufferSize < needed)
        return E_INVALIDARG;

    const AVFrame* frame = d_->frameAt(streamTime < 0 ? 0 : streamTime, width, height);
    if (!frame || frame->width < 1 || frame->height < 1)
        return E_FAIL;
    bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat source = PlainFormat(AVPixelFormat(frame->format), &fullRange);
    d_->scaler.reset(sws_getCachedContext(d_->scaler.release(), frame->width, frame->height, source, width, height,
        AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!d_->scaler)
        return E_FAIL;
    const int* sourceMatrix
        = sws_getCoefficients(frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT);
    sws_setColorspaceDetails(
        d_->scaler.get(), sourceMatrix, fullRange ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);

    BITMAPINFOHEADER header {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = std::uint32_t(DibImageBytes(header));
    std::memcpy(buffer, &header, sizeof header);
    std::uint8_t* pixels = reinterpret_cast<std::uint8_t*>(buffer) + sizeof header;
    const int rowBytes = DibRowBytes(width, 24);
    // The scaler may write past the end of a row, so it fills an aligned
    // scratch picture that is then copied row by row, bottom-up.
    const int scratchStride = (width * 3 + 63) & ~63;
    d_->scratch.resize(std::size_t(scratchStride) * std::size_t(height) + 64);
    std::uint8_t* dst[4] = { d_->scratch.data(), nullptr, nullptr, nullptr };
    const int dstStride[4] = { scratchStride, 0, 0, 0 };
    if (sws_scale(d_->scaler.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride) != height)
        return E_FAIL;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = pixels + std::ptrdiff_t(rowBytes) * (height - 1 - y);
        std::memcpy(row, d_->scratch.data() + std::ptrdiff_t(scratchStride) * y, std::size_t(width) * 3);
        if (rowBytes != width * 3)
            std::memset(row + width * 3, 0, std::size_t(rowBytes - width * 3));
    }
    return S_OK;
}

std::int64_t CMediaDet::DecodedFrames() const
{
    return d_->decoded;
}
