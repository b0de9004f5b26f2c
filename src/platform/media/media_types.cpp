#include "platform/media/media_types.h"

#include <utility>

void CMediaType::SetFormat(const void* data, std::uint32_t length)
{
    // A new block first: data may point into the current one.
    std::vector<std::uint8_t> block(length, 0);
    if (data && length)
        std::memcpy(block.data(), data, length);
    format_ = std::move(block);
}

const VIDEOINFOHEADER* CMediaType::VideoInfo() const
{
    if (!(formattype == FORMAT_VideoInfo) || format_.size() < sizeof(VIDEOINFOHEADER))
        return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(format_.data());
}

VIDEOINFOHEADER* CMediaType::VideoInfo()
{
    return const_cast<VIDEOINFOHEADER*>(static_cast<const CMediaType*>(this)->VideoInfo());
}

const WAVEFORMATEX* CMediaType::WaveFormat() const
{
    if (!(formattype == FORMAT_WaveFormatEx) || format_.size() < sizeof(WAVEFORMATEX))
        return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(format_.data());
}

bool CMediaType::MatchesPartial(const CMediaType& partial) const
{
    if (!(partial.majortype == GUID_NULL) && !(partial.majortype == majortype))
        return false;
    if (!(partial.subtype == GUID_NULL) && !(partial.subtype == subtype))
        return false;
    if (!(partial.formattype == GUID_NULL) && !(partial.formattype == formattype))
        return false;
    return partial.format_.empty() || partial.format_ == format_;
}

CMediaType MakeRgbVideoType(
    std::int32_t width, std::int32_t height, int bitCount, REFERENCE_TIME avgTimePerFrame, bool rgb565)
{
    const GUID* sub = &MEDIASUBTYPE_RGB24;
    switch (bitCount) {
    case 8:
        sub = &MEDIASUBTYPE_RGB8;
        break;
    case 16:
        sub = rgb565 ? &MEDIASUBTYPE_RGB565 : &MEDIASUBTYPE_RGB555;
        break;
    case 32:
        sub = &MEDIASUBTYPE_RGB32;
        break;
    default:
        break;
    }
    CMediaType mt(MEDIATYPE_Video, *sub, FORMAT_VideoInfo);
    const bool bitfields = bitCount == 16 && rgb565;
    std::uint32_t length = sizeof(VIDEOINFOHEADER) + (bitfields ? 3 * sizeof(std::uint32_t) : 0);
    if (bitCount == 8)
        length += 256 * 4; // palette
    mt.SetFormat(nullptr, length);
    VIDEOINFOHEADER* vih = mt.VideoInfo();
    vih->AvgTimePerFrame = avgTimePerFrame;
    BITMAPINFOHEADER& bmi = vih->bmiHeader;
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = width;
    bmi.biHeight = height;
    bmi.biPlanes = 1;
    bmi.biBitCount = static_cast<std::uint16_t>(bitCount);
    bmi.biCompression = bitfields ? BI_BITFIELDS : BI_RGB;
    bmi.biSizeImage = static_cast<std::uint32_t>(DibImageBytes(bmi));
    if (bitCount == 8)
        bmi.biClrUsed = 256;
    if (avgTimePerFrame > 0)
        vih->dwBitRate
            = static_cast<std::uint32_t>(static_cast<std::int64_t>(bmi.biSizeImage) * 8 * 10000000 / avgTimePerFrame);
    if (bitfields) {
        const std::uint32_t masks[3] = { 0xF800, 0x07E0, 0x001F };
        std::memcpy(mt.Format() + sizeof(VIDEOINFOHEADER), masks, sizeof masks);
    }
    mt.SetSampleSize(bmi.biSizeImage);
    return mt;
}

CMediaType MakePcmAudioType(int channels, int samplesPerSec, int bitsPerSample)
{
    CMediaType mt(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx);
    WAVEFORMATEX wf {};
    wf.wFormatTag = WAVE_FORMAT_PCM;
    wf.nChannels = static_cast<std::uint16_t>(channels);
    wf.nSamplesPerSec = static_cast<std::uint32_t>(samplesPerSec);
    wf.wBitsPerSample = static_cast<std::uint16_t>(bitsPerSample);
    wf.nBlockAlign = static_cast<std::uint16_t>(channels * bitsPerSample / 8);
    wf.nAvgBytesPerSec = wf.nSamplesPerSec * wf.nBlockAlign;
    wf.cbSize = 0;
    mt.SetFormat(&wf, sizeof wf);
    mt.SetSampleSize(wf.nBlockAlign);
    return mt;
}

HRESULT OfferOneMediaType(int position, CMediaType* mt, const CMediaType& type)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    if (!mt)
        return E_POINTER;
    *mt = type;
    return S_OK;
}
