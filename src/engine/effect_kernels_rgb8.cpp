// Code paths for frames of 3- or 4-byte pixels with 8-bit channels (blue
// byte first, then green, red and, in 4-byte pixels, the X byte that every
// composing kernel writes as 0). The arithmetic is the mask-based kernels'
// with full = 256 and max = 255 folded in; per-value results are tabulated
// once per call.
#include "engine/effect_kernels_internal.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace effect_internal {
namespace {

constexpr int kBlue = 0, kGreen = 1, kRed = 2;

inline std::uint8_t Clamp255(std::int32_t v)
{
    return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// sum / 3 for 0 <= sum < 2^16, without a division.
inline std::uint32_t DivideBy3(std::uint32_t sum)
{
    return (sum * 0xAAABu) >> 17;
}

// Applies table to each colour byte of every pixel; clears the X byte.
template <int Bpp> void MapBytes(const Frame& f, const std::uint8_t* table)
{
    for (std::int32_t y = 0; y < f.height; ++y) {
        std::uint8_t* p = f.Row(y);
        if constexpr (Bpp == 3) {
            const std::int32_t n = f.width * 3;
            for (std::int32_t i = 0; i < n; ++i)
                p[i] = table[p[i]];
        } else {
            for (std::int32_t x = 0; x < f.width; ++x, p += 4) {
                p[0] = table[p[0]];
                p[1] = table[p[1]];
                p[2] = table[p[2]];
                p[3] = 0;
            }
        }
    }
}

void MapBytes(const Frame& f, const std::uint8_t* table)
{
    f.bytesPerPixel == 3 ? MapBytes<3>(f, table) : MapBytes<4>(f, table);
}

template <int Bpp> void Gray(const Frame& f)
{
    for (std::int32_t y = 0; y < f.height; ++y) {
        std::uint8_t* p = f.Row(y);
        for (std::int32_t x = 0; x < f.width; ++x, p += Bpp) {
            const auto a = static_cast<std::uint8_t>(DivideBy3(std::uint32_t(p[0]) + p[1] + p[2]));
            p[0] = p[1] = p[2] = a;
            if constexpr (Bpp == 4)
                p[3] = 0;
        }
    }
}

template <int Bpp> void Mirror(const Frame& f)
{
    for (std::int32_t y = 0; y < f.height; ++y) {
        std::uint8_t* left = f.Row(y);
        std::uint8_t* right = left + static_cast<std::ptrdiff_t>(f.width - 1) * Bpp;
        for (std::int32_t x = 0; x < f.width / 2; ++x, left += Bpp, right -= Bpp) {
            std::uint8_t a[Bpp], b[Bpp];
            std::memcpy(a, left, Bpp);
            std::memcpy(b, right, Bpp);
            std::memcpy(left, b, Bpp);
            std::memcpy(right, a, Bpp);
        }
    }
}

// 3-byte pixels: the row is copied aside and written back from its end with
// 4-byte moves, each overwriting one byte the next move rewrites; the last
// pixel is moved with 3 bytes so nothing past the row is written.
void Mirror3(const Frame& f)
{
    constexpr std::size_t kMaxRow = 12288;
    const std::size_t rowBytes = static_cast<std::size_t>(f.width) * 3;
    if (rowBytes > kMaxRow) {
        Mirror<3>(f);
        return;
    }
    std::uint8_t copy[kMaxRow + 1]; // one spare byte for the first 4-byte read
    for (std::int32_t y = 0; y < f.height; ++y) {
        std::uint8_t* d = f.Row(y);
        std::memcpy(copy, d, rowBytes);
        const std::uint8_t* s = copy + rowBytes - 3;
        for (std::int32_t x = 0; x + 1 < f.width; ++x, d += 3, s -= 3) {
            std::uint32_t v;
            std::memcpy(&v, s, 4);
            std::memcpy(d, &v, 4);
        }
        std::memcpy(d, s, 3);
    }
}

template <int Bpp> void Tint(const Frame& f, const std::uint16_t* scaled, const std::uint8_t (*out)[3])
{
    for (std::int32_t y = 0; y < f.height; ++y) {
        std::uint8_t* p = f.Row(y);
        for (std::int32_t x = 0; x < f.width; ++x, p += Bpp) {
            const std::uint32_t sum = std::uint32_t(scaled[p[0]]) + scaled[p[1]] + scaled[p[2]];
            const std::uint8_t* o = out[DivideBy3(sum)];
            p[kBlue] = o[kBlue];
            p[kGreen] = o[kGreen];
            p[kRed] = o[kRed];
            if constexpr (Bpp == 4)
                p[3] = 0;
        }
    }
}

template <int Bpp> void Equalize(const Frame& f)
{
    std::uint32_t hist[3][256] = {};
    std::uint32_t seen[3] = { 0, 0, 0 };
    for (std::int32_t y = 0; y < f.height; ++y) {
        const std::uint8_t* p = f.Row(y);
        for (std::int32_t x = 0; x < f.width; ++x, p += Bpp) {
            ++hist[0][p[0]];
            ++hist[1][p[1]];
            ++hist[2][p[2]];
            seen[0] = p[0] > seen[0] ? p[0] : seen[0];
            seen[1] = p[1] > seen[1] ? p[1] : seen[1];
            seen[2] = p[2] > seen[2] ? p[2] : seen[2];
        }
    }
    // hist[c][v] becomes the number of pixels with value <= v; the new value
    // depends on v only, so the second pass is a table lookup.
    const std::uint64_t pixels = std::uint64_t(f.width) * std::uint64_t(f.height);
    std::uint8_t map[3][256];
    for (int c = 0; c < 3; ++c) {
        std::uint32_t running = 0;
        for (int v = 0; v < 256; ++v) {
            running += hist[c][v];
            map[c][v] = static_cast<std::uint8_t>(std::uint64_t(seen[c]) * running / pixels);
        }
    }
    for (std::int32_t y = 0; y < f.height; ++y) {
        std::uint8_t* p = f.Row(y);
        for (std::int32_t x = 0; x < f.width; ++x, p += Bpp) {
            p[0] = map[0][p[0]];
            p[1] = map[1][p[1]];
            p[2] = map[2][p[2]];
            if constexpr (Bpp == 4)
                p[3] = 0;
        }
    }
}

template <int Bpp> void Mosaic(const Frame& f, std::int32_t n)
{
    for (std::int32_t y0 = 0; y0 < f.height; y0 += n) {
        const std::int32_t bh = n < f.height - y0 ? n : f.height - y0;
        for (std::int32_t x0 = 0; x0 < f.width; x0 += n) {
            const std::int32_t bw = n < f.width - x0 ? n : f.width - x0;
            std::uint32_t sum[3] = { 0, 0, 0 };
            for (std::int32_t y = y0; y < y0 + bh; ++y) {
                const std::uint8_t* p = f.Row(y) + x0 * Bpp;
                for (std::int32_t x = 0; x < bw; ++x, p += Bpp) {
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
            const std::uint32_t count = std::uint32_t(bw) * std::uint32_t(bh);
            std::uint8_t pixel[4] = { static_cast<std::uint8_t>(sum[0] / count),
                static_cast<std::uint8_t>(sum[1] / count), static_cast<std::uint8_t>(sum[2] / count), 0 };
            for (std::int32_t y = y0; y < y0 + bh; ++y) {
                std::uint8_t* p = f.Row(y) + x0 * Bpp;
                for (std::int32_t x = 0; x < bw; ++x, p += Bpp)
                    std::memcpy(p, pixel, Bpp);
            }
        }
    }
}

// dst[i] = clamp(dst[i] + add[i], 0, 255) over n bytes.
void AddClamped(std::uint8_t* dst, const std::int16_t* add, std::int32_t n)
{
    std::int32_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
        const __m128i lo
            = _mm_add_epi16(_mm_unpacklo_epi8(bytes, zero), _mm_loadu_si128(reinterpret_cast<const __m128i*>(add + i)));
        const __m128i hi = _mm_add_epi16(
            _mm_unpackhi_epi8(bytes, zero), _mm_loadu_si128(reinterpret_cast<const __m128i*>(add + i + 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; i < n; ++i)
        dst[i] = Clamp255(dst[i] + add[i]);
}

// Each row: the noise of every byte is drawn first (one random byte per
// pixel, or three, red first, per channel), then added with clamping.
template <int Bpp> void Noise(const Frame& f, const std::int32_t* noise, std::int32_t colourMode, NoiseBytes& random)
{
    const std::int32_t rowBytes = f.width * Bpp;
    std::vector<std::int16_t> add(static_cast<std::size_t>(rowBytes));
    for (std::int32_t y = 0; y < f.height; ++y) {
        std::int16_t* a = add.data();
        for (std::int32_t x = 0; x < f.width; ++x, a += Bpp) {
            const std::int32_t nr = noise[random.Next()];
            std::int32_t ng = nr, nb = nr;
            if (colourMode != 0) {
                ng = noise[random.Next()];
                nb = noise[random.Next()];
            }
            a[kBlue] = static_cast<std::int16_t>(nb);
            a[kGreen] = static_cast<std::int16_t>(ng);
            a[kRed] = static_cast<std::int16_t>(nr);
            if constexpr (Bpp == 4)
                a[3] = -255; // the fourth byte becomes 0
        }
        AddClamped(f.Row(y), add.data(), rowBytes);
    }
}

} // namespace

void Rgb8Gray(const Frame& f)
{
    f.bytesPerPixel == 3 ? Gray<3>(f) : Gray<4>(f);
}

void Rgb8Negative(const Frame& f)
{
    for (std::int32_t y = 0; y < f.height; ++y) {
        std::uint8_t* p = f.Row(y);
        if (f.bytesPerPixel == 3) {
            // 255 - v is v XOR 0xFF; eight bytes at a time.
            const std::int32_t n = f.width * 3;
            std::int32_t i = 0;
            for (; i + 8 <= n; i += 8) {
                std::uint64_t v;
                std::memcpy(&v, p + i, 8);
                v = ~v;
                std::memcpy(p + i, &v, 8);
            }
            for (; i < n; ++i)
                p[i] ^= 0xFF;
        } else {
            for (std::int32_t x = 0; x < f.width; ++x, p += 4) {
                std::uint32_t v;
                std::memcpy(&v, p, 4);
                v = ~v & 0x00FFFFFFu;
                std::memcpy(p, &v, 4);
            }
        }
    }
}

void Rgb8Mirror(const Frame& f)
{
    f.bytesPerPixel == 3 ? Mirror3(f) : Mirror<4>(f);
}

void Rgb8Tint(const Frame& f, const std::int32_t percent[3])
{
    // scaled = (v × 256) ÷ 255 (0..256); gray = the scaled sum ÷ 3 (0..256).
    std::uint16_t scaled[256];
    for (int v = 0; v < 256; ++v)
        scaled[v] = static_cast<std::uint16_t>((v * 256) / 255);
    std::uint8_t out[257][3];
    for (int gray = 0; gray <= 256; ++gray) {
        const std::int32_t base = (gray * 255) / 256;
        out[gray][kRed] = Clamp255(base * percent[0] / 100);
        out[gray][kGreen] = Clamp255(base * percent[1] / 100);
        out[gray][kBlue] = Clamp255(base * percent[2] / 100);
    }
    f.bytesPerPixel == 3 ? Tint<3>(f, scaled, out) : Tint<4>(f, scaled, out);
}

void Rgb8Brightness(const Frame& f, std::int32_t delta)
{
    std::uint8_t table[256];
    for (int v = 0; v < 256; ++v)
        table[v] = Clamp255(v + delta);
    MapBytes(f, table);
}

void Rgb8Contrast(const Frame& f, std::int32_t k)
{
    std::uint8_t table[256];
    for (int v = 0; v < 256; ++v)
        table[v] = Clamp255((255 * 100 / 2 + (v - 255 / 2) * k) / 100);
    MapBytes(f, table);
}

void Rgb8Equalize(const Frame& f)
{
    f.bytesPerPixel == 3 ? Equalize<3>(f) : Equalize<4>(f);
}

void Rgb8Mosaic(const Frame& f, std::int32_t n)
{
    f.bytesPerPixel == 3 ? Mosaic<3>(f, n) : Mosaic<4>(f, n);
}

void Rgb8Noise(const Frame& f, std::int32_t scale, std::int32_t colourMode, NoiseBytes& random)
{
    std::int32_t noise[256];
    for (int b = 0; b < 256; ++b)
        noise[b] = (((b * 100) / 255 - 50) * scale) / 100;
    f.bytesPerPixel == 3 ? Noise<3>(f, noise, colourMode, random) : Noise<4>(f, noise, colourMode, random);
}

} // namespace effect_internal
