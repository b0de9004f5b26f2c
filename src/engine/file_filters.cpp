#include "engine/file_filters.h"

#include "engine/source_reader.h"
#include "platform/c_handles.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
}

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr int kIoBufferSize = 1 << 16;
constexpr REFERENCE_TIME kUnitsPerMicrosecond = 10;
} // namespace

void NotifyGraphEvent(CBaseFilter* filter, long code, HRESULT param)
{
    if (auto* graph = dynamic_cast<CRenderGraph*>(filter->Graph()))
        graph->NotifyEvent(code, param);
}

// ---- byte-stream output ----

CByteStreamOutputPin::CByteStreamOutputPin(
    CBaseFilter* filter, HRESULT* phr, const std::string& name, const GUID& subtype)
    : CBaseOutputPin("Byte stream output", filter, phr, name)
    , subtype_(subtype)
{ }

HRESULT CByteStreamOutputPin::CheckMediaType(const CMediaType& mt)
{
    return mt.majortype == MEDIATYPE_Stream ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CByteStreamOutputPin::GetMediaType(int position, CMediaType* mt)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    *mt = CMediaType(MEDIATYPE_Stream, subtype_, FORMAT_None);
    mt->SetSampleSize(1);
    return S_OK;
}

HRESULT CByteStreamOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES want = *request;
    want.cBuffers = std::max(want.cBuffers, 2);
    want.cbBuffer = std::max(want.cbBuffer, kIoBufferSize);
    want.cbAlign = std::max(want.cbAlign, 1);
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = allocator->SetProperties(want, &actual);
    return FAILED(hr) ? hr : (actual.cbBuffer < want.cbBuffer ? E_FAIL : S_OK);
}

HRESULT CByteStreamOutputPin::WriteAt(std::int64_t offset, const std::uint8_t* data, int size)
{
    while (size > 0) {
        SamplePtr sample;
        HRESULT hr = GetDeliveryBuffer(&sample);
        if (FAILED(hr))
            return hr;
        const int n = std::min(size, sample->GetSize());
        std::uint8_t* dst = nullptr;
        sample->GetPointer(&dst);
        std::memcpy(dst, data, std::size_t(n));
        sample->SetActualDataLength(n);
        REFERENCE_TIME start = offset, stop = offset + n;
        sample->SetTime(&start, &stop);
        hr = Deliver(sample);
        if (FAILED(hr))
            return hr;
        offset += n;
        data += n;
        size -= n;
    }
    return S_OK;
}

// ---- file writer ----

class CFileWriterFilter::InputPin : public CBaseInputPin {
public:
    InputPin(CFileWriterFilter* f, HRESULT* phr)
        : CBaseInputPin("File writer input", f, phr, "in")
        , writer_(f)
    { }
    HRESULT CheckMediaType(const CMediaType& mt) override
    {
        return mt.majortype == MEDIATYPE_Stream ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT Receive(const SamplePtr& sample) override
    {
        HRESULT hr = CBaseInputPin::Receive(sample);
        return hr != S_OK ? hr : writer_->write(*sample);
    }
    HRESULT EndOfStream() override { return writer_->endOfStream(); }

private:
    CFileWriterFilter* writer_;
};

CFileWriterFilter::CFileWriterFilter()
    : CBaseFilter("File writer", nullptr, GUID_NULL)
{
    HRESULT hr = S_OK;
    input_ = std::make_unique<InputPin>(this, &hr);
}

CFileWriterFilter::~CFileWriterFilter()
{
    if (fd_ >= 0)
        ::close(fd_);
}

CBasePin* CFileWriterFilter::GetPin(int n)
{
    return n == 0 ? input_.get() : nullptr;
}

HRESULT CFileWriterFilter::SetFileName(const QString& path)
{
    if (path.isEmpty())
        return E_INVALIDARG;
    if (IsActive())
        return VFW_E_WRONG_STATE;
    path_ = path;
    return S_OK;
}

HRESULT CFileWriterFilter::SetMode(bool overwrite)
{
    overwrite_ = overwrite;
    return S_OK;
}

HRESULT CFileWriterFilter::Pause()
{
    std::lock_guard lock(m_csFilter);
    if (IsStopped() && input_->IsConnected() && upstreamFed()) {
        if (path_.isEmpty())
            return E_UNEXPECTED;
        std::lock_guard fileLock(mutex_);
        const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite_ ? O_TRUNC : 0);
        fd_ = ::open(path_.toUtf8().constData(), flags, 0644);
        if (fd_ < 0)
            return E_FAIL;
    }
    return CBaseFilter::Pause();
}

bool CFileWriterFilter::upstreamFed() const
{
    // A writer behind a filter that receives nothing creates no file.
    CBaseFilter* up = input_->GetConnected() ? input_->GetConnected()->Filter() : nullptr;
    if (!up)
        return false;
    for (int i = 0, n = up->GetPinCount(); i < n; ++i) {
        CBasePin* pin = up->GetPin(i);
        if (pin && pin->Direction() == PINDIR_INPUT && pin->IsConnected())
            return true;
    }
    return false;
}

HRESULT CFileWriterFilter::Stop()
{
    std::lock_guard lock(m_csFilter);
    HRESULT hr = CBaseFilter::Stop();
    std::lock_guard fileLock(mutex_);
    if (fd_ >= 0 && ::close(fd_) != 0 && SUCCEEDED(hr))
        hr = E_FAIL;
    fd_ = -1;
    return hr;
}

HRESULT CFileWriterFilter::write(const CMediaSample& sample)
{
    auto& s = const_cast<CMediaSample&>(sample);
    REFERENCE_TIME start = 0, stop = 0;
    std::uint8_t* data = nullptr;
    if (s.GetTime(&start, &stop) != S_OK || s.GetPointer(&data) != S_OK || start < 0)
        return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        return VFW_E_WRONG_STATE;
    std::size_t left = std::size_t(s.GetActualDataLength());
    off_t at = off_t(start);
    while (left > 0) {
        const ssize_t n = ::pwrite(fd_, data, left, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // Full disk or a vanished folder: the run ends with an error.
            NotifyGraphEvent(this, EC_ERRORABORT, E_FAIL);
            return E_FAIL;
        }
        data += n;
        at += n;
        left -= std::size_t(n);
    }
    return S_OK;
}

HRESULT CFileWriterFilter::endOfStream()
{
    {
        std::lock_guard lock(mutex_);
        if (fd_ >= 0 && ::fsync(fd_) != 0 && errno != EINVAL) {
            NotifyGraphEvent(this, EC_ERRORABORT, E_FAIL);
            return E_FAIL;
        }
    }
    NotifyGraphEvent(this, EC_COMPLETE, S_OK);
    return S_OK;
}

// ---- AVI multiplexer ----

struct CAviMuxFilter::Pending {
    std::vector<std::uint8_t> data;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool key = false;
};

class CAviMuxFilter::InputPin : public CBaseInputPin {
public:
    InputPin(CAviMuxFilter* f, HRESULT* phr, int index)
        : CBaseInputPin(
            "AVI mux input", f, phr, "Input " + std::string(index < 9 ? "0" : "") + std::to_string(index + 1))
        , mux_(f)
        , index_(index)
    { }
    HRESULT CheckMediaType(const CMediaType& mt) override
    {
        if (mt.majortype == MEDIATYPE_Video && mt.VideoInfo())
            return S_OK;
        if (mt.majortype == MEDIATYPE_Audio && mt.WaveFormat())
            return S_OK;
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT Receive(const SamplePtr& sample) override
    {
        HRESULT hr = CBaseInputPin::Receive(sample);
        return hr != S_OK ? hr : mux_->receive(index_, *sample);
    }
    HRESULT EndOfStream() override { return mux_->endOfStream(index_); }

private:
    CAviMuxFilter* mux_;
    int index_;
};

CAviMuxFilter::CAviMuxFilter()
    : CBaseFilter("AVI multiplexer", nullptr, GUID_NULL)
{
    HRESULT hr = S_OK;
    for (int i = 0; i < 2; ++i)
        inputs_.push_back(std::make_unique<InputPin>(this, &hr, i));
    output_ = std::make_unique<CByteStreamOutputPin>(this, &hr, "AVI Out", MEDIASUBTYPE_Avi);
}

CAviMuxFilter::~CAviMuxFilter()
{
    std::lock_guard lock(mutex_);
    closeLocked();
}

int CAviMuxFilter::GetPinCount()
{
    return int(inputs_.size()) + 1;
}

CBasePin* CAviMuxFilter::GetPin(int n)
{
    if (n >= 0 && n < int(inputs_.size()))
        return inputs_[std::size_t(n)].get();
    return n == int(inputs_.size()) ? output_.get() : nullptr;
}

CBaseInputPin* CAviMuxFilter::inputPin(int n) const
{
    return n >= 0 && n < int(inputs_.size()) ? inputs_[std::size_t(n)].get() : nullptr;
}

HRESULT CAviMuxFilter::put_Mode(int mode)
{
    if (mode < INTERLEAVE_NONE || mode > INTERLEAVE_FULL)
        return E_INVALIDARG;
    mode_ = mode;
    return S_OK;
}

HRESULT CAviMuxFilter::put_Interleaving(const REFERENCE_TIME* interleave, const REFERENCE_TIME* preroll)
{
    if (!interleave || !preroll || *interleave <= 0 || *preroll < 0)
        return E_INVALIDARG;
    interleave_ = *interleave;
    preroll_ = *preroll;
    return S_OK;
}

HRESULT CAviMuxFilter::Pause()
{
    std::lock_guard lock(m_csFilter);
    {
        std::lock_guard muxLock(mutex_);
        active_ = true;
    }
    return CBaseFilter::Pause();
}

HRESULT CAviMuxFilter::Stop()
{
    std::lock_guard lock(m_csFilter);
    {
        // An upstream thread that delivers after this point is turned away.
        std::lock_guard muxLock(mutex_);
        active_ = false;
        closeLocked();
    }
    return CBaseFilter::Stop();
}

void CAviMuxFilter::closeLocked()
{
    FreeCustomIoOutput(format_);
    pending_.clear();
    streamOf_.clear();
    ended_.clear();
    headerWritten_ = false;
    finished_ = false;
    failure_ = S_OK;
    position_ = size_ = 0;
}

int CAviMuxFilter::writeCallback(void* opaque, std::uint8_t* data, int size)
{
    auto* self = static_cast<CAviMuxFilter*>(opaque);
    if (FAILED(self->output_->WriteAt(self->position_, data, size)))
        return AVERROR(EIO);
    self->position_ += size;
    self->size_ = std::max(self->size_, self->position_);
    return size;
}

std::int64_t CAviMuxFilter::seekCallback(void* opaque, std::int64_t offset, int whence)
{
    auto* self = static_cast<CAviMuxFilter*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return self->size_;
    case SEEK_SET:
        self->position_ = offset;
        break;
    case SEEK_CUR:
        self->position_ += offset;
        break;
    case SEEK_END:
        self->position_ = self->size_ + offset;
        break;
    default:
        return -1;
    }
    return self->position_;
}

HRESULT CAviMuxFilter::writeHeaderLocked()
{
    const int inputs = int(inputs_.size());
    if (streamOf_.empty()) {
        streamOf_.assign(std::size_t(inputs), -1);
        pending_.resize(std::size_t(inputs));
        ended_.assign(std::size_t(inputs), false);
    }
    // The header needs every connected input's first sample (its frame rate).
    for (int i = 0; i < inputs; ++i)
        if (inputs_[std::size_t(i)]->IsConnected() && pending_[std::size_t(i)].empty() && !ended_[std::size_t(i)])
            return S_FALSE;
    if (avformat_alloc_output_context2(&format_, nullptr, "avi", nullptr) < 0 || !format_)
        return E_FAIL;
    FfBuffer buffer(static_cast<unsigned char*>(av_malloc(kIoBufferSize)));
    if (!buffer)
        return E_OUTOFMEMORY;
    format_->pb = avio_alloc_context(
        buffer.get(), kIoBufferSize, 1, this, nullptr, &CAviMuxFilter::writeCallback, &CAviMuxFilter::seekCallback);
    if (!format_->pb)
        return E_OUTOFMEMORY;
    buffer.release(); // the AVIO context owns it now
    if (mode_ == INTERLEAVE_FULL || mode_ == INTERLEAVE_CAPTURE)
        format_->max_interleave_delta = interleave_ / kUnitsPerMicrosecond;
    av_opt_set_int(format_, "audio_preload", preroll_ / kUnitsPerMicrosecond, AV_OPT_SEARCH_CHILDREN);
    for (int i = 0; i < inputs; ++i) {
        const CBaseInputPin* pin = inputs_[std::size_t(i)].get();
        if (!pin->IsConnected())
            continue;
        const CMediaType& mt = pin->CurrentMediaType();
        AVStream* st = avformat_new_stream(format_, nullptr);
        if (!st)
            return E_OUTOFMEMORY;
        AVCodecParameters* par = st->codecpar;
        if (const VIDEOINFOHEADER* vih = mt.VideoInfo()) {
            const AVCodecTag* const tags[] = { avformat_get_riff_video_tags(), nullptr };
            par->codec_type = AVMEDIA_TYPE_VIDEO;
            par->codec_id = av_codec_get_id(tags, vih->bmiHeader.biCompression);
            par->codec_tag = vih->bmiHeader.biCompression;
            par->width = vih->bmiHeader.biWidth;
            par->height = std::abs(vih->bmiHeader.biHeight);
            REFERENCE_TIME frame = vih->AvgTimePerFrame;
            if (frame <= 0 && !pending_[std::size_t(i)].empty())
                frame = pending_[std::size_t(i)].front().stop - pending_[std::size_t(i)].front().start;
            if (frame <= 0)
                frame = 666667;
            const AVRational rate = av_d2q(1e7 / double(frame), 100000);
            st->time_base = av_inv_q(rate);
            st->avg_frame_rate = rate;
        } else if (const WAVEFORMATEX* wf = mt.WaveFormat()) {
            par->codec_type = AVMEDIA_TYPE_AUDIO;
            par->codec_id = wf->wBitsPerSample == 8 ? AV_CODEC_ID_PCM_U8 : AV_CODEC_ID_PCM_S16LE;
            par->codec_tag = wf->wFormatTag;
            par->sample_rate = int(wf->nSamplesPerSec);
            av_channel_layout_default(&par->ch_layout, wf->nChannels);
            par->block_align = wf->nBlockAlign;
            par->bits_per_coded_sample = wf->wBitsPerSample;
            par->bit_rate = std::int64_t(wf->nAvgBytesPerSec) * 8;
            st->time_base = { 1, int(wf->nSamplesPerSec) };
        }
        streamOf_[std::size_t(i)] = st->index;
    }
    if (avformat_write_header(format_, nullptr) < 0)
        return E_FAIL;
    headerWritten_ = true;
    for (int i = 0; i < inputs; ++i) {
        auto queued = std::move(pending_[std::size_t(i)]);
        pending_[std::size_t(i)].clear();
        for (auto& p : queued) {
            HRESULT hr = writePacketLocked(i, p.data.data(), int(p.data.size()), p.start, p.stop, p.key);
            if (FAILED(hr))
                return hr;
        }
    }
    return S_OK;
}

HRESULT CAviMuxFilter::writePacketLocked(
    int input, const std::uint8_t* data, int size, REFERENCE_TIME start, REFERENCE_TIME stop, bool key)
{
    const int index = streamOf_[std::size_t(input)];
    if (index < 0)
        return S_OK;
    AVStream* st = format_->streams[index];
    FfPtr<AVPacket> pkt(av_packet_alloc());
    if (!pkt || av_new_packet(pkt.get(), size) < 0)
        return E_OUTOFMEMORY;
    std::memcpy(pkt->data, data, std::size_t(size));
    pkt->stream_index = index;
    pkt->pts = pkt->dts
        = av_rescale_q_rnd(start, { 1, 10000000 }, st->time_base, AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    pkt->duration = av_rescale_q(stop - start, { 1, 10000000 }, st->time_base);
    if (key)
        pkt->flags |= AV_PKT_FLAG_KEY;
    return av_interleaved_write_frame(format_, pkt.get()) < 0 ? E_FAIL : S_OK;
}

HRESULT CAviMuxFilter::receive(int input, const CMediaSample& sample)
{
    std::lock_guard lock(mutex_);
    if (!active_)
        return VFW_E_WRONG_STATE;
    if (FAILED(failure_))
        return failure_;
    if (finished_)
        return S_FALSE;
    auto& s = const_cast<CMediaSample&>(sample);
    std::uint8_t* data = nullptr;
    s.GetPointer(&data);
    REFERENCE_TIME start = 0, stop = 0;
    s.GetTime(&start, &stop);
    const bool key = s.IsSyncPoint() == S_OK;
    const int size = s.GetActualDataLength();
    HRESULT hr = S_OK;
    if (!headerWritten_) {
        if (streamOf_.empty())
            writeHeaderLocked(); // sizes the per-input queues
        pending_[std::size_t(input)].push_back(
            Pending { std::vector<std::uint8_t>(data, data + size), start, stop, key });
        hr = writeHeaderLocked();
        hr = hr == S_FALSE ? S_OK : hr;
    } else {
        hr = writePacketLocked(input, data, size, start, stop, key);
    }
    if (FAILED(hr))
        failure_ = hr;
    return hr;
}

HRESULT CAviMuxFilter::endOfStream(int input)
{
    std::lock_guard lock(mutex_);
    if (!active_)
        return VFW_E_WRONG_STATE;
    if (streamOf_.empty())
        writeHeaderLocked();
    ended_[std::size_t(input)] = true;
    for (std::size_t i = 0; i < inputs_.size(); ++i)
        if (inputs_[i]->IsConnected() && !ended_[i])
            return S_OK;
    HRESULT hr = finishLocked();
    if (FAILED(hr)) {
        failure_ = hr;
        NotifyGraphEvent(this, EC_ERRORABORT, hr);
        return hr;
    }
    return output_->IsConnected() ? output_->DeliverEndOfStream() : S_OK;
}

HRESULT CAviMuxFilter::finishLocked()
{
    if (finished_)
        return S_OK;
    if (FAILED(failure_))
        return failure_;
    if (!headerWritten_) {
        HRESULT hr = writeHeaderLocked();
        if (hr != S_OK)
            return FAILED(hr) ? hr : E_FAIL;
    }
    finished_ = true;
    if (av_write_trailer(format_) < 0)
        return E_FAIL;
    avio_flush(format_->pb);
    return format_->pb->error < 0 ? E_FAIL : S_OK;
}

// ---- RIFF WAVE writer ----

class CWavDestFilter::InputPin : public CBaseInputPin {
public:
    InputPin(CWavDestFilter* f, HRESULT* phr)
        : CBaseInputPin("WAV writer input", f, phr, "In")
        , dest_(f)
    { }
    HRESULT CheckMediaType(const CMediaType& mt) override
    {
        AudioGroupFormat a;
        return ParseAudioFormat(mt, a) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT Receive(const SamplePtr& sample) override
    {
        HRESULT hr = CBaseInputPin::Receive(sample);
        return hr != S_OK ? hr : dest_->receive(*sample);
    }
    HRESULT EndOfStream() override { return dest_->endOfStream(); }

private:
    CWavDestFilter* dest_;
};

CWavDestFilter::CWavDestFilter()
    : CBaseFilter("WAV writer", nullptr, GUID_NULL)
{
    HRESULT hr = S_OK;
    input_ = std::make_unique<InputPin>(this, &hr);
    output_ = std::make_unique<CByteStreamOutputPin>(this, &hr, "Out", GUID_NULL);
}

CWavDestFilter::~CWavDestFilter() = default;

CBasePin* CWavDestFilter::GetPin(int n)
{
    if (n == 0)
        return input_.get();
    return n == 1 ? output_.get() : nullptr;
}

HRESULT CWavDestFilter::Stop()
{
    {
        std::lock_guard lock(mutex_);
        started_ = false;
        dataBytes_ = 0;
    }
    return CBaseFilter::Stop();
}

HRESULT CWavDestFilter::writeHeader(std::uint32_t dataBytes)
{
    const WAVEFORMATEX* wf = input_->CurrentMediaType().WaveFormat();
    if (!wf)
        return E_UNEXPECTED;
    // RIFF header, a 16-byte PCM "fmt " chunk, and the "data" chunk header.
    std::uint8_t h[44];
    auto put32 = [&h](int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h[at + i] = std::uint8_t(v >> (8 * i));
    };
    auto put16 = [&h](int at, std::uint16_t v) {
        h[at] = std::uint8_t(v);
        h[at + 1] = std::uint8_t(v >> 8);
    };
    std::memcpy(h, "RIFF", 4);
    put32(4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, wf->wFormatTag);
    put16(22, wf->nChannels);
    put32(24, wf->nSamplesPerSec);
    put32(28, wf->nAvgBytesPerSec);
    put16(32, wf->nBlockAlign);
    put16(34, wf->wBitsPerSample);
    std::memcpy(h + 36, "data", 4);
    put32(40, dataBytes);
    return output_->WriteAt(0, h, int(sizeof h));
}

HRESULT CWavDestFilter::receive(const CMediaSample& sample)
{
    std::lock_guard lock(mutex_);
    if (!output_->IsConnected())
        return VFW_E_NOT_CONNECTED;
    if (!started_) {
        HRESULT hr = writeHeader(0);
        if (FAILED(hr))
            return hr;
        started_ = true;
    }
    auto& s = const_cast<CMediaSample&>(sample);
    std::uint8_t* data = nullptr;
    s.GetPointer(&data);
    const int n = s.GetActualDataLength();
    HRESULT hr = output_->WriteAt(44 + std::int64_t(dataBytes_), data, n);
    if (SUCCEEDED(hr))
        dataBytes_ += std::uint32_t(n);
    return hr;
}

HRESULT CWavDestFilter::endOfStream()
{
    std::lock_guard lock(mutex_);
    if (!output_->IsConnected())
        return S_OK;
    HRESULT hr = writeHeader(dataBytes_);
    started_ = true;
    if (FAILED(hr)) {
        NotifyGraphEvent(this, EC_ERRORABORT, hr);
        return hr;
    }
    return output_->DeliverEndOfStream();
}
