#include "engine/compressor_filters.h"

#include "engine/file_filters.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libswscale/swscale.h>
}

#include <cstring>
#include <new>

namespace {
constexpr AVRational kUnits100ns { 1, 10000000 };
constexpr int kOutputBuffers = 4;

const std::vector<CEncoderFilter::Codec>& Registry()
{
    static const std::vector<CEncoderFilter::Codec> codecs = {
        { "DV Video Encoder", true, AV_CODEC_ID_DVVIDEO, MakeFourCC('d', 'v', 's', 'd'), 720, 480, AV_PIX_FMT_YUV411P },
        { "PCM", false, AV_CODEC_ID_PCM_S16LE, 0, 0, 0, -1 },
    };
    return codecs;
}
} // namespace

CSampleGrabberFilter::CSampleGrabberFilter()
    : CTransformFilter("Sample grabber", nullptr, GUID_NULL)
{ }

HRESULT CSampleGrabberFilter::SetMediaType(const CMediaType& partial)
{
    if (InputPin()->IsConnected())
        return VFW_E_ALREADY_CONNECTED;
    partial_ = partial;
    return S_OK;
}

HRESULT CSampleGrabberFilter::CheckInputType(const CMediaType* mtIn)
{
    return mtIn && mtIn->MatchesPartial(partial_) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CSampleGrabberFilter::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut)
{
    return mtIn && mtOut && *mtIn == *mtOut ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CSampleGrabberFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    // Samples pass through, so the output's own buffers are never filled.
    ALLOCATOR_PROPERTIES want = *request;
    want.cBuffers = std::max(want.cBuffers, 1);
    want.cbBuffer = std::max(want.cbBuffer, 1);
    want.cbAlign = std::max(want.cbAlign, 1);
    ALLOCATOR_PROPERTIES actual;
    return allocator->SetProperties(want, &actual);
}

HRESULT CSampleGrabberFilter::GetMediaType(int position, CMediaType* mt)
{
    if (!InputPin()->IsConnected())
        return E_UNEXPECTED;
    return OfferOneMediaType(position, mt, InputPin()->CurrentMediaType());
}

HRESULT CSampleGrabberFilter::Receive(const SamplePtr& sample)
{
    if (!OutputPin()->IsConnected())
        return VFW_E_NOT_CONNECTED;
    return OutputPin()->Deliver(sample);
}

CEncoderFilter::CEncoderFilter(const Codec& codec)
    : CTransformFilter("Compressor", nullptr, GUID_NULL)
    , codec_(codec)
    , frame_(av_frame_alloc())
    , packet_(av_packet_alloc())
{ }

CEncoderFilter::~CEncoderFilter()
{
    StopStreaming();
}

HRESULT CEncoderFilter::StartStreaming()
{
    StopStreaming();
    if (codec_.video) {
        std::lock_guard lock(queueMutex_);
        stopWorker_ = false;
        workerResult_ = S_OK;
        worker_ = std::thread([this] { work(); });
    }
    return S_OK;
}

HRESULT CEncoderFilter::StopStreaming()
{
    {
        std::lock_guard lock(queueMutex_);
        stopWorker_ = true;
        queue_.clear();
    }
    queueSignal_.notify_all();
    if (worker_.joinable())
        worker_.join();
    encoder_.reset();
    return S_OK;
}

void CEncoderFilter::work()
{
    for (;;) {
        SamplePtr sample;
        {
            std::unique_lock lock(queueMutex_);
            queueSignal_.wait(lock, [this] { return stopWorker_ || !queue_.empty(); });
            if (stopWorker_)
                return;
            sample = std::move(queue_.front());
            queue_.pop_front();
        }
        HRESULT hr = E_OUTOFMEMORY;
        try {
            hr = sample ? process(sample) : finish();
        } catch (const std::bad_alloc&) {
            // Reported below like any other failure to encode.
        }
        sample.reset(); // the buffer goes back upstream before the next wait
        if (FAILED(hr)) {
            {
                std::lock_guard lock(queueMutex_);
                workerResult_ = hr;
                queue_.clear();
            }
            NotifyGraphEvent(this, EC_ERRORABORT, hr);
            return;
        }
    }
}

HRESULT CEncoderFilter::CheckInputType(const CMediaType* mtIn)
{
    if (!mtIn)
        return E_POINTER;
    if (codec_.video) {
        VideoGroupFormat v;
        return ParseVideoFormat(*mtIn, v) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    AudioGroupFormat a;
    return ParseAudioFormat(*mtIn, a) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CEncoderFilter::GetMediaType(int position, CMediaType* mt)
{
    if (!InputPin()->IsConnected())
        return E_UNEXPECTED;
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    const CMediaType& in = InputPin()->CurrentMediaType();
    if (!codec_.video) {
        *mt = in; // PCM in, PCM out
        return S_OK;
    }
    CMediaType out(MEDIATYPE_Video, GuidFromFourCC(codec_.fourcc), FORMAT_VideoInfo);
    out.SetFormat(nullptr, sizeof(VIDEOINFOHEADER));
    VIDEOINFOHEADER* vih = out.VideoInfo();
    vih->AvgTimePerFrame = in.VideoInfo() ? in.VideoInfo()->AvgTimePerFrame : 0;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = codec_.width;
    vih->bmiHeader.biHeight = codec_.height;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 24;
    vih->bmiHeader.biCompression = codec_.fourcc;
    out.bFixedSizeSamples = false;
    out.bTemporalCompression = false;
    out.lSampleSize = 0;
    *mt = out;
    return S_OK;
}

HRESULT CEncoderFilter::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut)
{
    if (!mtIn || !mtOut)
        return E_POINTER;
    HRESULT hr = CheckInputType(mtIn);
    if (FAILED(hr))
        return hr;
    CMediaType expected;
    if (GetMediaType(0, &expected) != S_OK)
        return codec_.video ? (mtOut->subtype == GuidFromFourCC(codec_.fourcc) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED)
                            : (*mtOut == *mtIn ? S_OK : VFW_E_TYPE_NOT_ACCEPTED);
    return *mtOut == expected ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CEncoderFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES want = *request;
    want.cBuffers = std::max(want.cBuffers, kOutputBuffers);
    if (codec_.video) {
        // Room for the largest coded frame (a raw frame of the coded size).
        want.cbBuffer = std::max(want.cbBuffer, codec_.width * codec_.height * 3 + AV_INPUT_BUFFER_PADDING_SIZE);
    } else {
        AllocatorPtr upstream;
        ALLOCATOR_PROPERTIES in;
        if (SUCCEEDED(InputPin()->GetAllocator(&upstream)) && SUCCEEDED(upstream->GetProperties(&in)))
            want.cbBuffer = std::max(want.cbBuffer, in.cbBuffer);
        want.cbBuffer = std::max(want.cbBuffer, 65536);
    }
    want.cbAlign = std::max(want.cbAlign, 1);
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = allocator->SetProperties(want, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer < want.cbBuffer ? E_FAIL : S_OK;
}

HRESULT CEncoderFilter::openEncoder(const CMediaSample& first)
{
    const AVCodec* codec = avcodec_find_encoder(AVCodecID(codec_.codecId));
    if (!codec || !frame_ || !packet_)
        return E_FAIL;
    FfPtr<AVCodecContext> ctx(avcodec_alloc_context3(codec));
    if (!ctx)
        return E_OUTOFMEMORY;
    const CMediaType& in = InputPin()->CurrentMediaType();
    REFERENCE_TIME start = 0, stop = 0;
    const_cast<CMediaSample&>(first).GetTime(&start, &stop);
    if (codec_.video) {
        frameDuration_ = stop > start ? stop - start : 666667;
        AVRational rate = av_d2q(1e7 / double(frameDuration_), 100000);
        ctx->time_base = av_inv_q(rate);
        ctx->framerate = rate;
        ctx->width = codec_.width;
        ctx->height = codec_.height;
        ctx->pix_fmt = AVPixelFormat(codec_.pixelFormat);
        ctx->sample_aspect_ratio = { 10, 11 }; // a 4:3 picture in the DV frame
        ctx->thread_count = 0;
        ctx->thread_type = FF_THREAD_SLICE;
        frame_->format = ctx->pix_fmt;
        frame_->width = ctx->width;
        frame_->height = ctx->height;
        if (av_frame_get_buffer(frame_.get(), 0) < 0)
            return E_OUTOFMEMORY;
    } else {
        AudioGroupFormat a;
        ParseAudioFormat(in, a);
        ctx->sample_fmt = AV_SAMPLE_FMT_S16;
        ctx->sample_rate = a.sampleRate;
        av_channel_layout_default(&ctx->ch_layout, a.channels);
        ctx->time_base = { 1, a.sampleRate };
    }
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
        return E_FAIL;
    nextPts_ = 0;
    encoder_ = std::move(ctx);
    return S_OK;
}

HRESULT CEncoderFilter::Receive(const SamplePtr& sample)
{
    if (!OutputPin()->IsConnected())
        return VFW_E_NOT_CONNECTED;
    if (!codec_.video)
        return process(sample);
    return enqueue(sample);
}

HRESULT CEncoderFilter::enqueue(const SamplePtr& sample)
{
    {
        std::lock_guard lock(queueMutex_);
        if (FAILED(workerResult_))
            return workerResult_;
        if (stopWorker_ || !worker_.joinable())
            return VFW_E_WRONG_STATE;
        queue_.push_back(sample);
    }
    queueSignal_.notify_one();
    return S_OK;
}

HRESULT CEncoderFilter::process(const SamplePtr& sample)
{
    if (!encoder_) {
        HRESULT hr = openEncoder(*sample);
        if (FAILED(hr))
            return hr;
    }
    std::uint8_t* data = nullptr;
    sample->GetPointer(&data);
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = sample->GetTime(&start, &stop) == S_OK;
    if (codec_.video) {
        VideoGroupFormat v;
        ParseVideoFormat(InputPin()->CurrentMediaType(), v);
        const int rowBytes = DibRowBytes(v.width, v.bitCount);
        const int h = std::abs(v.height);
        sws_.reset(sws_getCachedContext(sws_.release(), v.width, h,
            v.bitCount == 32 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_BGR24, codec_.width, codec_.height,
            AVPixelFormat(codec_.pixelFormat), SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
        if (!sws_ || av_frame_make_writable(frame_.get()) < 0)
            return E_FAIL;
        const std::uint8_t* src[4] = { data };
        int srcStride[4] = { rowBytes };
        if (v.height > 0) { // bottom-up: start at the last row and walk backwards
            src[0] = data + std::ptrdiff_t(h - 1) * rowBytes;
            srcStride[0] = -rowBytes;
        }
        sws_scale(sws_.get(), src, srcStride, 0, h, frame_->data, frame_->linesize);
        frame_->pts = timed ? av_rescale_q(start, kUnits100ns, encoder_->time_base) : nextPts_;
        if (frame_->pts < nextPts_)
            frame_->pts = nextPts_;
        nextPts_ = frame_->pts + 1;
        return encode(frame_.get());
    }
    AudioGroupFormat a;
    ParseAudioFormat(InputPin()->CurrentMediaType(), a);
    const int count = sample->GetActualDataLength() / a.blockAlign;
    if (count <= 0)
        return S_OK;
    FfPtr<AVFrame> pcm(av_frame_alloc());
    pcm->format = AV_SAMPLE_FMT_S16;
    pcm->sample_rate = a.sampleRate;
    av_channel_layout_copy(&pcm->ch_layout, &encoder_->ch_layout);
    pcm->nb_samples = count;
    if (av_frame_get_buffer(pcm.get(), 0) < 0)
        return E_OUTOFMEMORY;
    std::memcpy(pcm->data[0], data, std::size_t(count) * std::size_t(a.blockAlign));
    pcm->pts = timed ? av_rescale_q(start, kUnits100ns, encoder_->time_base) : nextPts_;
    nextPts_ = pcm->pts + count;
    return encode(pcm.get());
}

HRESULT CEncoderFilter::encode(const AVFrame* frame)
{
    if (avcodec_send_frame(encoder_.get(), frame) < 0)
        return E_FAIL;
    return deliverPackets();
}

HRESULT CEncoderFilter::deliverPackets()
{
    for (;;) {
        const int r = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return S_OK;
        if (r < 0)
            return E_FAIL;
        SamplePtr out;
        HRESULT hr = OutputPin()->GetDeliveryBuffer(&out);
        if (SUCCEEDED(hr) && out->GetSize() < packet_->size)
            hr = E_FAIL;
        if (SUCCEEDED(hr)) {
            std::uint8_t* dst = nullptr;
            out->GetPointer(&dst);
            std::memcpy(dst, packet_->data, std::size_t(packet_->size));
            out->SetActualDataLength(packet_->size);
            REFERENCE_TIME start = av_rescale_q(packet_->pts, encoder_->time_base, kUnits100ns);
            REFERENCE_TIME stop = codec_.video
                ? start + frameDuration_
                : av_rescale_q(packet_->pts + packet_->duration, encoder_->time_base, kUnits100ns);
            out->SetTime(&start, &stop);
            out->SetSyncPoint((packet_->flags & AV_PKT_FLAG_KEY) != 0 || !codec_.video);
            hr = OutputPin()->Deliver(out);
        }
        av_packet_unref(packet_.get());
        if (FAILED(hr))
            return hr;
    }
}

HRESULT CEncoderFilter::EndOfStream()
{
    if (!codec_.video)
        return finish();
    return enqueue(nullptr); // a null sample ends the stream
}

HRESULT CEncoderFilter::finish()
{
    if (encoder_) {
        avcodec_send_frame(encoder_.get(), nullptr);
        HRESULT hr = deliverPackets();
        if (FAILED(hr))
            return hr;
    }
    return CTransformFilter::EndOfStream();
}

QStringList CompressorFriendlyNames(bool video)
{
    QStringList names;
    for (const auto& c : Registry())
        if (c.video == video && avcodec_find_encoder(AVCodecID(c.codecId)))
            names << c.friendlyName;
    return names;
}

HRESULT CreateCompressor(const QString& friendlyName, bool video, FilterPtr* filter)
{
    if (!filter)
        return E_POINTER;
    filter->reset();
    for (const auto& c : Registry())
        if (c.video == video && c.friendlyName == friendlyName && avcodec_find_encoder(AVCodecID(c.codecId))) {
            *filter = std::make_shared<CEncoderFilter>(c);
            return S_OK;
        }
    return E_FAIL;
}
