// Media types of the streaming graph: identifiers (GUIDs with the values the
// classic media platform uses), the format blocks laid out byte for byte as
// that platform defines them, and CMediaType, which carries a major type,
// subtype, format type and an owned format block.
#pragma once

#include "platform/hresult.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// 100 ns units, the time base of every sample and position in the graph.
using REFERENCE_TIME = std::int64_t;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b)
    {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i])
                return false;
        return true;
    }
};
static_assert(sizeof(GUID) == 16);

using CLSID = GUID;

inline constexpr GUID GUID_NULL = { 0, 0, 0, { 0, 0, 0, 0, 0, 0, 0, 0 } };

// Subtypes built from a four-character code: XXXXXXXX-0000-0010-8000-00AA00389B71.
constexpr GUID GuidFromFourCC(std::uint32_t fourcc)
{
    return { fourcc, 0x0000, 0x0010, { 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71 } };
}
constexpr std::uint32_t MakeFourCC(char a, char b, char c, char d)
{
    return std::uint32_t(std::uint8_t(a)) | std::uint32_t(std::uint8_t(b)) << 8 | std::uint32_t(std::uint8_t(c)) << 16
        | std::uint32_t(std::uint8_t(d)) << 24;
}

inline constexpr GUID MEDIATYPE_Video = GuidFromFourCC(MakeFourCC('v', 'i', 'd', 's'));
inline constexpr GUID MEDIATYPE_Audio = GuidFromFourCC(MakeFourCC('a', 'u', 'd', 's'));
inline constexpr GUID MEDIATYPE_Stream
    = { 0xE436EB83, 0x524F, 0x11CE, { 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70 } };

inline constexpr GUID MEDIASUBTYPE_RGB8
    = { 0xE436EB7A, 0x524F, 0x11CE, { 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70 } };
inline constexpr GUID MEDIASUBTYPE_RGB565
    = { 0xE436EB7B, 0x524F, 0x11CE, { 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70 } };
inline constexpr GUID MEDIASUBTYPE_RGB555
    = { 0xE436EB7C, 0x524F, 0x11CE, { 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70 } };
inline constexpr GUID MEDIASUBTYPE_RGB24
    = { 0xE436EB7D, 0x524F, 0x11CE, { 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70 } };
inline constexpr GUID MEDIASUBTYPE_RGB32
    = { 0xE436EB7E, 0x524F, 0x11CE, { 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70 } };
inline constexpr GUID MEDIASUBTYPE_Avi
    = { 0xE436EB88, 0x524F, 0x11CE, { 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70 } };
inline constexpr GUID MEDIASUBTYPE_PCM = GuidFromFourCC(0x00000001);
inline constexpr GUID MEDIASUBTYPE_YUY2 = GuidFromFourCC(MakeFourCC('Y', 'U', 'Y', '2'));
inline constexpr GUID MEDIASUBTYPE_I420 = GuidFromFourCC(MakeFourCC('I', '4', '2', '0'));

inline constexpr GUID FORMAT_None = { 0x0F6417D6, 0xC318, 0x11D0, { 0xA4, 0x3F, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96 } };
inline constexpr GUID FORMAT_VideoInfo
    = { 0x05589F80, 0xC356, 0x11CE, { 0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A } };
inline constexpr GUID FORMAT_WaveFormatEx
    = { 0x05589F81, 0xC356, 0x11CE, { 0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A } };

inline constexpr std::uint32_t BI_RGB = 0;
inline constexpr std::uint32_t BI_BITFIELDS = 3;
inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

struct RECT {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

struct BITMAPINFOHEADER {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight; // > 0: bottom-up rows, < 0: top-down rows
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    std::uint32_t dwBitRate;
    std::uint32_t dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER) == 88);
static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) == 48);

#pragma pack(push, 1)
struct WAVEFORMATEX {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

// Bytes of one row of an uncompressed bitmap: rounded up to 4 bytes.
constexpr std::int32_t DibRowBytes(std::int32_t width, std::int32_t bitCount)
{
    return ((width * bitCount + 31) & ~31) / 8;
}

// Bytes of a whole uncompressed bitmap (the absolute height counts).
constexpr std::int32_t DibImageBytes(const BITMAPINFOHEADER& h)
{
    return DibRowBytes(h.biWidth, h.biBitCount) * (h.biHeight < 0 ? -h.biHeight : h.biHeight);
}

// A media type with its own copy of the format block. Fields that are
// GUID_NULL act as wildcards when the type is used as a partial type
// (MatchesPartial), as a sample grabber's "video, RGB24, any format" is.
class CMediaType {
public:
    GUID majortype = GUID_NULL;
    GUID subtype = GUID_NULL;
    bool bFixedSizeSamples = true;
    bool bTemporalCompression = false;
    std::uint32_t lSampleSize = 0;
    GUID formattype = GUID_NULL;

    CMediaType() = default;
    CMediaType(const GUID& major, const GUID& sub, const GUID& format = GUID_NULL)
        : majortype(major)
        , subtype(sub)
        , formattype(format)
    { }

    const std::uint8_t* Format() const { return format_.empty() ? nullptr : format_.data(); }
    std::uint8_t* Format() { return format_.empty() ? nullptr : format_.data(); }
    std::uint32_t FormatLength() const { return static_cast<std::uint32_t>(format_.size()); }
    // Replaces the format block with a copy of length bytes at data (null data:
    // zeros); data may point into the current block.
    void SetFormat(const void* data, std::uint32_t length);
    void ResetFormat() { format_.clear(); }

    void SetType(const GUID& g) { majortype = g; }
    void SetSubtype(const GUID& g) { subtype = g; }
    void SetFormatType(const GUID& g) { formattype = g; }
    void SetSampleSize(std::uint32_t size)
    {
        lSampleSize = size;
        bFixedSizeSamples = size != 0;
    }
    std::uint32_t GetSampleSize() const { return bFixedSizeSamples ? lSampleSize : 0; }

    // The format block as a VIDEOINFOHEADER or WAVEFORMATEX, or null when the
    // format type differs or the block is too short.
    const VIDEOINFOHEADER* VideoInfo() const;
    VIDEOINFOHEADER* VideoInfo();
    const WAVEFORMATEX* WaveFormat() const;

    // Every field of the partial type that is not GUID_NULL (major, sub and
    // format type) is equal here, and, if the partial type has a format
    // block, the blocks are equal byte for byte.
    bool MatchesPartial(const CMediaType& partial) const;
    // Fully specified: major type, subtype and format type set.
    bool IsFullySpecified() const
    {
        return !(majortype == GUID_NULL) && !(subtype == GUID_NULL) && !(formattype == GUID_NULL);
    }

    // Same major type, subtype, format type, format length and format bytes.
    friend bool operator==(const CMediaType& a, const CMediaType& b)
    {
        return a.majortype == b.majortype && a.subtype == b.subtype && a.formattype == b.formattype
            && a.format_ == b.format_;
    }

private:
    std::vector<std::uint8_t> format_;
};

// An uncompressed bottom-up (height > 0) or top-down (height < 0) RGB video
// type: bitCount 8, 16 (RGB555 unless rgb565), 24 or 32, with its
// VIDEOINFOHEADER, sample size and frame time. RGB565 is described with
// BI_BITFIELDS and its three masks after the header, as the platform does.
CMediaType MakeRgbVideoType(
    std::int32_t width, std::int32_t height, int bitCount, REFERENCE_TIME avgTimePerFrame = 0, bool rgb565 = false);

// A PCM audio type with its WAVEFORMATEX.
CMediaType MakePcmAudioType(int channels, int samplesPerSec, int bitsPerSample);

// GetMediaType of a pin that offers exactly one type: position 0 gives type,
// later positions VFW_S_NO_MORE_ITEMS, a negative one E_INVALIDARG.
HRESULT OfferOneMediaType(int position, CMediaType* mt, const CMediaType& type);
