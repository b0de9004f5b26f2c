#include "engine/video_renderer.h"

#include <cstring>

void CFrameSlot::Present(const QImage& frame, REFERENCE_TIME time)
{
    std::lock_guard lock(mutex_);
    frame_ = frame;
    time_ = time;
    presented_.fetch_add(1, std::memory_order_relaxed);
    if (repaint_)
        repaint_();
}

void CFrameSlot::Clear()
{
    std::lock_guard lock(mutex_);
    frame_ = QImage();
    time_ = -1;
    if (repaint_)
        repaint_();
}

QImage CFrameSlot::Current() const
{
    std::lock_guard lock(mutex_);
    return frame_;
}

REFERENCE_TIME CFrameSlot::CurrentTime() const
{
    std::lock_guard lock(mutex_);
    return time_;
}

void CFrameSlot::SetRepaintRequest(std::function<void()> request)
{
    std::lock_guard lock(mutex_);
    repaint_ = std::move(request);
}

QImage FrameToImage(const std::uint8_t* data, const VIDEOINFOHEADER& vih)
{
    const BITMAPINFOHEADER& h = vih.bmiHeader;
    const int width = h.biWidth;
    const int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    if (!data || width <= 0 || height <= 0 || (h.biBitCount != 24 && h.biBitCount != 32))
        return {};
    const int stride = DibRowBytes(width, h.biBitCount);
    const QImage::Format format = h.biBitCount == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32;
    QImage image(width, height, format);
    if (image.isNull())
        return {};
    const std::size_t rowBytes = std::size_t(width) * std::size_t(h.biBitCount / 8);
    for (int y = 0; y < height; ++y) {
        const int srcRow = h.biHeight > 0 ? height - 1 - y : y;
        std::memcpy(image.scanLine(y), data + std::ptrdiff_t(srcRow) * stride, rowBytes);
    }
    return image;
}

CVideoRendererPin::CVideoRendererPin(CVideoRendererFilter* filter, HRESULT* phr)
    : CBaseInputPin("Video renderer input", filter, phr, "Input")
    , renderer_(filter)
{ }

HRESULT CVideoRendererPin::CheckMediaType(const CMediaType& mt)
{
    if (!(mt.majortype == MEDIATYPE_Video))
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (!(mt.subtype == MEDIASUBTYPE_RGB24) && !(mt.subtype == MEDIASUBTYPE_RGB32))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return mt.VideoInfo() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CVideoRendererPin::Receive(const SamplePtr& sample)
{
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK)
        return hr;
    return renderer_->Render(sample.get());
}

HRESULT CVideoRendererPin::EndOfStream()
{
    if (renderer_->onEnd_)
        renderer_->onEnd_();
    return S_OK;
}

CVideoRendererFilter::CVideoRendererFilter(std::shared_ptr<CFrameSlot> slot)
    : CBaseFilter("Video renderer", nullptr, GUID_NULL)
    , slot_(std::move(slot))
    , pin_(this, &pinResult_)
{ }

HRESULT CVideoRendererFilter::Render(CMediaSample* sample)
{
    const VIDEOINFOHEADER* vih = pin_.CurrentMediaType().VideoInfo();
    std::uint8_t* data = nullptr;
    if (!vih || FAILED(sample->GetPointer(&data)) || sample->GetActualDataLength() < DibImageBytes(vih->bmiHeader))
        return E_FAIL;
    REFERENCE_TIME start = 0, stop = 0;
    if (FAILED(sample->GetTime(&start, &stop)))
        start = 0;
    if (scheduler_ && !scheduler_(start))
        return S_FALSE;
    slot_->Present(FrameToImage(data, *vih), start);
    return S_OK;
}
