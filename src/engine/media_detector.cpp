#include "engine/media_detector.h"

#include "engine/media_source.h"
#include "engine/source_reader.h"
#include "platform/media/media_errors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr std::int32_t kMaxBitmapSide = 8192;

bool IsOutputStream(const AVStream* st)
{
    return IsVideoStream(st) || st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
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

// The open file and the reader of the one video stream whose pictures were
// asked for last.
struct CMediaDet::Impl {
    QString path;
    std::shared_ptr<CMediaSource> source;
    std::vector<int> streams; // output stream number -> file stream index
    int current = 0;

    std::unique_ptr<CSourceVideoReader> reader;
    int readerStream = -1;
    std::int64_t decodedBefore = 0; // by readers replaced since the file was opened
    FfPtr<SwsContext> scaler;
    std::vector<std::uint8_t> scratch;

    const AVStream* stream() const { return source->format()->streams[streams[current]]; }
    void clear();
    const AVFrame* frameAt(double t, int width, int height);
};

void CMediaDet::Impl::clear()
{
    scaler.reset();
    reader.reset();
    readerStream = -1;
    decodedBefore = 0;
    source.reset();
    streams.clear();
    current = 0;
    path.clear();
}

const AVFrame* CMediaDet::Impl::frameAt(double t, int width, int height)
{
    const int fileStream = streams[current];
    if (readerStream != fileStream) {
        if (reader)
            decodedBefore += reader->decodedFrames();
        reader = std::make_unique<CSourceVideoReader>(source, fileStream);
        readerStream = fileStream;
    }
    reader->setTargetSize(width, height);
    return reader->frameAt(REFTIME100NS(std::llround(t * 1e7)));
}

CMediaDet::CMediaDet()
    : d_(std::make_unique<Impl>())
{ }

CMediaDet::~CMediaDet() = default;

HRESULT CMediaDet::put_Filename(const QString& path)
{
    d_->clear();
    if (path.isEmpty())
        return E_INVALIDARG;
    auto source = CMediaSource::Open(path);
    if (!source)
        return E_FAIL;
    const AVFormatContext* fmt = source->format();
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (IsOutputStream(fmt->streams[i]))
            d_->streams.push_back(int(i));
    d_->source = std::move(source);
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
    if (!d_->source)
        return E_UNEXPECTED;
    *count = std::int32_t(d_->streams.size());
    return S_OK;
}

HRESULT CMediaDet::put_CurrentStream(std::int32_t index)
{
    if (!d_->source)
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
    if (!d_->source)
        return E_UNEXPECTED;
    *index = d_->current;
    return S_OK;
}

HRESULT CMediaDet::get_StreamType(GUID* majorType) const
{
    if (!majorType)
        return E_POINTER;
    if (!d_->source || d_->streams.empty())
        return E_UNEXPECTED;
    *majorType = d_->stream()->codecpar->codec_type == AVMEDIA_TYPE_VIDEO ? MEDIATYPE_Video : MEDIATYPE_Audio;
    return S_OK;
}

HRESULT CMediaDet::get_StreamMediaType(CMediaType* type) const
{
    if (!type)
        return E_POINTER;
    if (!d_->source || d_->streams.empty())
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
        const AVCodecDescriptor* desc = avcodec_descriptor_get(par->codec_id);
        type->bTemporalCompression = !(desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY));
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
    if (!d_->source || d_->streams.empty())
        return E_UNEXPECTED;
    const AVStream* st = d_->stream();
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        *seconds = double(st->duration) * av_q2d(st->time_base);
    else if (d_->source->format()->duration != AV_NOPTS_VALUE && d_->source->format()->duration > 0)
        *seconds = double(d_->source->format()->duration) / AV_TIME_BASE;
    else
        return E_FAIL;
    return S_OK;
}

HRESULT CMediaDet::get_FrameRate(double* fps) const
{
    if (!fps)
        return E_POINTER;
    if (!d_->source || d_->streams.empty())
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
    if (!d_->source || d_->streams.empty())
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
    return d_->decodedBefore + (d_->reader ? d_->reader->decodedFrames() : 0);
}
