// Filters of the compression graph between the render engine and the file:
// the sample grabber that pins an uncompressed type, and the compressors
// (libavcodec encoders) found by friendly name in the compressor registry.
#pragma once

#include "platform/c_handles.h"
#include "platform/media/transform_filter.h"

#include <QString>
#include <QStringList>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

struct SwsContext;

// Passes samples through untouched; connects only with types that match
// its partial media type (GUID_NULL fields are wildcards).
class CSampleGrabberFilter : public CTransformFilter {
public:
    CSampleGrabberFilter();

    HRESULT SetMediaType(const CMediaType& partial);

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    // The input sample itself goes downstream.
    HRESULT Receive(const SamplePtr& sample) override;

private:
    CMediaType partial_;
};

// A compressor: uncompressed video (RGB24/RGB32, VIDEOINFOHEADER) or 16-bit
// PCM in, one encoded sample per coded frame out, timed like its input. The
// video compressor adapts the incoming frame size to what its codec accepts,
// and encodes on a thread of its own: Receive queues the sample (the
// upstream allocator's buffer count bounds the queue), so decoding upstream
// and encoding here overlap.
class CEncoderFilter : public CTransformFilter {
public:
    struct Codec {
        QString friendlyName;
        bool video = false;
        int codecId = 0; // AVCodecID
        std::uint32_t fourcc = 0; // video: the compression code in the output type
        int width = 0; // video: the coded frame size and pixel format
        int height = 0;
        int pixelFormat = -1;
    };

    explicit CEncoderFilter(const Codec& codec);
    ~CEncoderFilter() override;

    const Codec& codec() const { return codec_; }

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT Receive(const SamplePtr& sample) override;
    HRESULT EndOfStream() override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;

private:
    HRESULT process(const SamplePtr& sample);
    // Hands a sample (null: the end of the stream) to the encoding thread.
    HRESULT enqueue(const SamplePtr& sample);
    HRESULT finish();
    void work();
    HRESULT openEncoder(const CMediaSample& first);
    HRESULT encode(const AVFrame* frame);
    HRESULT deliverPackets();

    Codec codec_;
    FfPtr<AVCodecContext> encoder_;
    FfPtr<AVFrame> frame_;
    FfPtr<AVPacket> packet_;
    FfPtr<SwsContext> sws_;
    std::int64_t nextPts_ = 0;
    REFERENCE_TIME frameDuration_ = 0;

    // Video: the queue between Receive and the encoding thread. A null
    // sample stands for the end of the stream.
    std::thread worker_;
    std::mutex queueMutex_;
    std::condition_variable queueSignal_;
    std::deque<SamplePtr> queue_;
    bool stopWorker_ = false;
    HRESULT workerResult_ = S_OK;
};

// The compressor registry: libavcodec encoders under their friendly names.
// "DV Video Encoder" (DV in a 720 x 480 frame) and "PCM" (16-bit PCM).
QStringList CompressorFriendlyNames(bool video);
// The compressor with that friendly name in the video or audio category;
// E_FAIL when none is registered or its codec is missing from the libraries.
HRESULT CreateCompressor(const QString& friendlyName, bool video, FilterPtr* filter);
