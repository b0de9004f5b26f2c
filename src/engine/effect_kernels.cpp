#include "engine/effect_kernels.h"
#include "engine/effect_kernels_internal.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

using namespace effect_internal;

std::atomic<std::int32_t> CurrentEffectId { 0 };

namespace {
std::atomic<bool> fastPaths { true };
}

void SetEffectFastPaths(bool enabled)
{
    fastPaths.store(enabled, std::memory_order_relaxed);
}

void SetCurrentEffectFromList(std::int32_t listIndex)
{
    const bool known = listIndex >= 1 && listIndex < kEffectCount;
    CurrentEffectId.store(known ? listIndex : 0, std::memory_order_relaxed);
}

std::int32_t GetMaskShift(std::uint32_t mask, std::int32_t* shift, std::int32_t* depth)
{
    if (mask == 0 || mask == 0xFFFFFFFFu)
        return -3;
    const int s = std::countr_zero(mask);
    const int d = std::countr_one(mask >> s);
    if (shift)
        *shift = s;
    if (depth)
        *depth = d;
    return 0;
}

std::int32_t InitEffectImage(EffectImage* image, std::uint8_t* data, std::int32_t width, std::int32_t height)
{
    if (!image || !data || width == 0 || height == 0)
        return -2;
    if (width < 1 || height <= 0)
        return -1;
    image->data = data;
    image->width = width;
    image->height = height;
    image->stride = 0;
    image->rowPadding = 0;
    image->alphaMask = 0;
    return 0;
}

std::int32_t SetEffectPixelFormat(EffectImage* image, std::int32_t bytesPerPixel, std::uint32_t redMask,
    std::uint32_t greenMask, std::uint32_t blueMask, std::uint32_t alphaMask, std::int32_t rowAlignment)
{
    if (!image)
        return -2;
    if (bytesPerPixel < 1 || bytesPerPixel > 4)
        return -6;
    for (std::uint32_t m : { redMask, greenMask, blueMask })
        if (m == 0 || m == 0xFFFFFFFFu)
            return -4;
    if (alphaMask == 0xFFFFFFFFu)
        return -4;
    if (rowAlignment != 1 && rowAlignment != 2 && rowAlignment != 4)
        return -7;
    image->bytesPerPixel = bytesPerPixel;
    image->redMask = redMask;
    image->greenMask = greenMask;
    image->blueMask = blueMask;
    image->alphaMask = alphaMask;
    const std::int32_t r = (image->width * bytesPerPixel) % rowAlignment;
    image->rowPadding = r != 0 ? rowAlignment - r : 0;
    return 0;
}

std::int32_t EffectImageStride(const EffectImage& image)
{
    return image.stride != 0 ? image.stride : image.width * image.bytesPerPixel + image.rowPadding;
}

namespace {

// Geometry checks shared by every kernel: -2 null, -1 size, -6 pixel size.
std::int32_t CheckGeometry(const EffectImage* image, Frame* f, std::int32_t minBytes)
{
    if (!image || !image->data)
        return -2;
    if (image->width < 1 || image->height < 1)
        return -1;
    if (image->bytesPerPixel < minBytes || image->bytesPerPixel > 4)
        return -6;
    f->data = image->data;
    f->width = image->width;
    f->height = image->height;
    f->bytesPerPixel = image->bytesPerPixel;
    f->stride = EffectImageStride(*image);
    return 0;
}

std::int32_t CheckChannels(const EffectImage* image, Frame* f)
{
    const std::uint32_t masks[3] = { image->redMask, image->greenMask, image->blueMask };
    for (int c = 0; c < 3; ++c) {
        Channel& ch = f->channel[c];
        if (GetMaskShift(masks[c], &ch.shift, &ch.depth) != 0)
            return -3;
        ch.mask = masks[c];
        ch.full = std::int64_t(1) << ch.depth;
        ch.max = ch.full - 1;
    }
    f->rgb8 = fastPaths.load(std::memory_order_relaxed) && (f->bytesPerPixel == 3 || f->bytesPerPixel == 4)
        && masks[0] == kRgb24RedMask && masks[1] == kRgb24GreenMask && masks[2] == kRgb24BlueMask;
    return 0;
}

// A frame for the kernels that work on channels (2 to 4 bytes per pixel).
std::int32_t PrepareChannels(const EffectImage* image, Frame* f)
{
    std::int32_t rc = CheckGeometry(image, f, 2);
    return rc != 0 ? rc : CheckChannels(image, f);
}

inline std::uint32_t LoadPixel(const std::uint8_t* p, std::int32_t bytes)
{
    std::uint32_t v = 0;
    for (std::int32_t i = 0; i < bytes; ++i)
        v |= std::uint32_t(p[i]) << (8 * i);
    return v;
}

inline void StorePixel(std::uint8_t* p, std::int32_t bytes, std::uint32_t v)
{
    for (std::int32_t i = 0; i < bytes; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void Split(const Frame& f, std::uint32_t pixel, std::int64_t v[3])
{
    for (int c = 0; c < 3; ++c)
        v[c] = (pixel & f.channel[c].mask) >> f.channel[c].shift;
}

inline std::uint32_t Compose(const Frame& f, const std::int64_t v[3])
{
    std::uint32_t pixel = 0;
    for (int c = 0; c < 3; ++c)
        pixel += static_cast<std::uint32_t>(v[c]) << f.channel[c].shift;
    return pixel;
}

inline std::int64_t Clamp(std::int64_t v, std::int64_t max)
{
    return v < 0 ? 0 : (v > max ? max : v);
}

// Visits every pixel row by row from the first row in memory, left to right:
// fn gets the three channel values and changes them in place.
template <class Fn> void ForEachPixel(const Frame& f, Fn&& fn)
{
    for (std::int32_t y = 0; y < f.height; ++y) {
        std::uint8_t* p = f.Row(y);
        for (std::int32_t x = 0; x < f.width; ++x, p += f.bytesPerPixel) {
            std::int64_t v[3];
            Split(f, LoadPixel(p, f.bytesPerPixel), v);
            fn(v);
            StorePixel(p, f.bytesPerPixel, Compose(f, v));
        }
    }
}

} // namespace

std::int32_t ApplyGray(EffectImage* image)
{
    Frame f;
    if (std::int32_t rc = PrepareChannels(image, &f))
        return rc;
    if (f.rgb8) {
        Rgb8Gray(f);
        return 0;
    }
    ForEachPixel(f, [&f](std::int64_t v[3]) {
        std::int64_t sum = 0;
        for (int c = 0; c < 3; ++c)
            sum += (v[c] * 256) / f.channel[c].full;
        const std::int64_t average = sum / 3;
        for (int c = 0; c < 3; ++c)
            v[c] = (average * f.channel[c].full) >> 8;
    });
    return 0;
}

std::int32_t MirrorHorizontal(EffectImage* image)
{
    Frame f;
    if (std::int32_t rc = CheckGeometry(image, &f, 1))
        return rc;
    if (fastPaths.load(std::memory_order_relaxed) && (f.bytesPerPixel == 3 || f.bytesPerPixel == 4)) {
        Rgb8Mirror(f);
        return 0;
    }
    const std::int32_t bpp = f.bytesPerPixel;
    for (std::int32_t y = 0; y < f.height; ++y) {
        std::uint8_t* row = f.Row(y);
        std::uint8_t* rowEnd = row + static_cast<std::ptrdiff_t>(f.width) * bpp;
        for (std::int32_t x = 0; x < f.width / 2; ++x)
            std::swap_ranges(row + x * bpp, row + (x + 1) * bpp, rowEnd - (x + 1) * bpp);
    }
    return 0;
}

namespace {

// Exchanges n bytes between a and b (not overlapping), 32 bytes per step.
void SwapBytes(std::uint8_t* a, std::uint8_t* b, std::size_t n)
{
    typedef std::uint8_t Bytes16 __attribute__((vector_size(16)));
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        Bytes16 a0, a1, b0, b1;
        std::memcpy(&a0, a + i, 16);
        std::memcpy(&a1, a + i + 16, 16);
        std::memcpy(&b0, b + i, 16);
        std::memcpy(&b1, b + i + 16, 16);
        std::memcpy(a + i, &b0, 16);
        std::memcpy(a + i + 16, &b1, 16);
        std::memcpy(b + i, &a0, 16);
        std::memcpy(b + i + 16, &a1, 16);
    }
    for (; i < n; ++i)
        std::swap(a[i], b[i]);
}

} // namespace

std::int32_t FlipVertical(EffectImage* image)
{
    Frame f;
    if (std::int32_t rc = CheckGeometry(image, &f, 1))
        return rc;
    // Pixel x of one row changes place with pixel x of the other: the same
    // bytes as swapping the rows' pixel data, padding excluded.
    const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(f.width) * f.bytesPerPixel;
    for (std::int32_t y = 0; y < f.height / 2; ++y)
        SwapBytes(f.Row(y), f.Row(f.height - 1 - y), static_cast<std::size_t>(rowBytes));
    return 0;
}

std::int32_t ApplyNegative(EffectImage* image)
{
    Frame f;
    if (std::int32_t rc = PrepareChannels(image, &f))
        return rc;
    if (f.rgb8) {
        Rgb8Negative(f);
        return 0;
    }
    ForEachPixel(f, [&f](std::int64_t v[3]) {
        for (int c = 0; c < 3; ++c)
            v[c] = f.channel[c].max - v[c];
    });
    return 0;
}

std::int32_t ApplyTint(EffectImage* image, std::int32_t r, std::int32_t g, std::int32_t b)
{
    Frame f;
    if (std::int32_t rc = PrepareChannels(image, &f))
        return rc;
    if (r < 0 || r > 255 || g < 0 || g > 255 || b < 0 || b > 255)
        return -3;
    std::int32_t tint[3] = { r, g, b };
    ScaleColourToDepth(image, &tint[0], &tint[1], &tint[2]);
    std::int32_t percent[3];
    for (int c = 0; c < 3; ++c)
        percent[c] = static_cast<std::int32_t>((std::int64_t(tint[c]) * 100) / f.channel[c].max);
    if (f.rgb8) {
        Rgb8Tint(f, percent);
        return 0;
    }
    ForEachPixel(f, [&](std::int64_t v[3]) {
        std::int64_t sum = 0;
        for (int c = 0; c < 3; ++c)
            sum += (v[c] * 256) / f.channel[c].max;
        const std::int64_t gray = sum / 3;
        for (int c = 0; c < 3; ++c) {
            const std::int64_t max = f.channel[c].max;
            const std::int64_t out = ((gray * max) / 256) * percent[c] / 100;
            v[c] = out > max ? max : out;
        }
    });
    return 0;
}

std::int32_t ApplyBrightness(EffectImage* image, std::int32_t level)
{
    Frame f;
    if (std::int32_t rc = PrepareChannels(image, &f))
        return rc;
    if (level < -100 || level > 100)
        return -1;
    std::int64_t delta[3];
    for (int c = 0; c < 3; ++c)
        delta[c] = (level * f.channel[c].full) / 100;
    if (f.rgb8) {
        Rgb8Brightness(f, static_cast<std::int32_t>(delta[0]));
        return 0;
    }
    ForEachPixel(f, [&](std::int64_t v[3]) {
        for (int c = 0; c < 3; ++c)
            v[c] = Clamp(v[c] + delta[c], f.channel[c].max);
    });
    return 0;
}

std::int32_t ApplyContrast(EffectImage* image, std::int32_t level)
{
    Frame f;
    if (std::int32_t rc = PrepareChannels(image, &f))
        return rc;
    if (level < -100 || level > 100)
        return -3;
    const std::int32_t k = 2 * level + 100;
    if (f.rgb8) {
        Rgb8Contrast(f, k);
        return 0;
    }
    ForEachPixel(f, [&](std::int64_t v[3]) {
        for (int c = 0; c < 3; ++c) {
            const std::int64_t max = f.channel[c].max;
            v[c] = Clamp(((max * 100) / 2 + (v[c] - max / 2) * k) / 100, max);
        }
    });
    return 0;
}

std::int32_t EqualizeHistogram(EffectImage* image)
{
    Frame f;
    if (std::int32_t rc = PrepareChannels(image, &f))
        return rc;
    if (f.rgb8) {
        Rgb8Equalize(f);
        return 0;
    }
    std::unique_ptr<std::uint32_t[]> hist[3];
    for (int c = 0; c < 3; ++c) {
        hist[c].reset(new (std::nothrow) std::uint32_t[static_cast<std::size_t>(f.channel[c].full)]());
        if (!hist[c])
            return -5;
    }
    std::int64_t seen[3] = { 0, 0, 0 };
    for (std::int32_t y = 0; y < f.height; ++y) {
        const std::uint8_t* p = f.Row(y);
        for (std::int32_t x = 0; x < f.width; ++x, p += f.bytesPerPixel) {
            std::int64_t v[3];
            Split(f, LoadPixel(p, f.bytesPerPixel), v);
            for (int c = 0; c < 3; ++c) {
                ++hist[c][v[c]];
                seen[c] = std::max(seen[c], v[c]);
            }
        }
    }
    for (int c = 0; c < 3; ++c)
        for (std::int64_t i = 0; i + 1 < f.channel[c].full; ++i)
            hist[c][i + 1] += hist[c][i];
    // The product is formed in 64 bits; it equals the 32-bit one whenever
    // that does not overflow (frames below 16 million pixels).
    const std::uint64_t pixels = std::uint64_t(f.width) * std::uint64_t(f.height);
    ForEachPixel(f, [&](std::int64_t v[3]) {
        for (int c = 0; c < 3; ++c)
            v[c] = static_cast<std::int64_t>(std::uint64_t(seen[c]) * hist[c][v[c]] / pixels);
    });
    return 0;
}

std::int32_t ApplyMosaic(EffectImage* image, std::int32_t n)
{
    Frame f;
    if (std::int32_t rc = PrepareChannels(image, &f))
        return rc;
    if (n < 2 || n > 11)
        return -4;
    if (f.rgb8) {
        Rgb8Mosaic(f, n);
        return 0;
    }
    const std::int32_t bpp = f.bytesPerPixel;
    for (std::int32_t y0 = 0; y0 < f.height; y0 += n) {
        const std::int32_t bh = std::min(n, f.height - y0);
        for (std::int32_t x0 = 0; x0 < f.width; x0 += n) {
            const std::int32_t bw = std::min(n, f.width - x0);
            std::int64_t sum[3] = { 0, 0, 0 };
            for (std::int32_t y = y0; y < y0 + bh; ++y)
                for (std::int32_t x = x0; x < x0 + bw; ++x) {
                    std::int64_t v[3];
                    Split(f, LoadPixel(f.Row(y) + x * bpp, bpp), v);
                    for (int c = 0; c < 3; ++c)
                        sum[c] += v[c];
                }
            const std::int64_t count = std::int64_t(bw) * bh;
            for (int c = 0; c < 3; ++c)
                sum[c] /= count;
            const std::uint32_t pixel = Compose(f, sum);
            for (std::int32_t y = y0; y < y0 + bh; ++y)
                for (std::int32_t x = x0; x < x0 + bw; ++x)
                    StorePixel(f.Row(y) + x * bpp, bpp, pixel);
        }
    }
    return 0;
}

namespace {

// One noise value from one pseudo-random byte: -scale/2 .. scale/2.
inline std::int64_t NoiseValue(std::int64_t scale, NoiseBytes& random)
{
    const std::int64_t b = random.Next();
    const std::int64_t q = (b * 100) / 255;
    return ((q - 50) * scale) / 100;
}

} // namespace

std::int32_t ApplyNoise(EffectImage* image, std::int32_t amount, std::int32_t colourMode)
{
    Frame f;
    if (std::int32_t rc = PrepareChannels(image, &f))
        return rc;
    if (amount < 0 || amount > 255)
        return -1;
    const std::int64_t scale = (amount * f.channel[0].full) / 100;
    NoiseBytes random(static_cast<std::uint32_t>(std::rand()));
    if (f.rgb8) {
        Rgb8Noise(f, static_cast<std::int32_t>(scale), colourMode, random);
        return 0;
    }
    ForEachPixel(f, [&](std::int64_t v[3]) {
        if (colourMode == 0) {
            const std::int64_t noise = NoiseValue(scale, random);
            for (int c = 0; c < 3; ++c)
                v[c] = Clamp(v[c] + noise, f.channel[c].max);
        } else {
            for (int c = 0; c < 3; ++c)
                v[c] = Clamp(v[c] + NoiseValue(scale, random), f.channel[c].max);
        }
    });
    return 0;
}

std::int32_t ScaleColourToDepth(const EffectImage* image, std::int32_t* r, std::int32_t* g, std::int32_t* b)
{
    if (!image || !r || !g || !b)
        return -2;
    std::int32_t* values[3] = { r, g, b };
    const std::uint32_t masks[3] = { image->redMask, image->greenMask, image->blueMask };
    std::int32_t depth[3];
    for (int c = 0; c < 3; ++c) {
        if (*values[c] < 0 || *values[c] > 255)
            return -1;
        if (GetMaskShift(masks[c], nullptr, &depth[c]) != 0)
            return -3;
    }
    for (int c = 0; c < 3; ++c)
        *values[c] = depth[c] <= 8 ? *values[c] >> (8 - depth[c]) : *values[c] << (depth[c] - 8);
    return 0;
}

std::int32_t ApplyEffect(EffectImage* image, std::int32_t effectId)
{
    auto tint = [image](std::int32_t r, std::int32_t g, std::int32_t b) { return ApplyTint(image, r, g, b); };
    switch (effectId) {
    case kEffectGray:
        return ApplyGray(image);
    case kEffectHorizontal:
        return MirrorHorizontal(image);
    case kEffectVertical:
        return FlipVertical(image);
    case kEffectNegative:
        return ApplyNegative(image);
    case kEffectSepia:
        return tint(230, 180, 95);
    case kEffectContrast:
        return ApplyContrast(image, 10);
    case kEffectBrightness:
        return ApplyBrightness(image, 10);
    case kEffectEqualizeHistogram:
        return EqualizeHistogram(image);
    case kEffectMosaic:
        return ApplyMosaic(image, 5);
    case kEffectNoise:
        return ApplyNoise(image, 30, 0);
    case kEffectGreen:
        return tint(72, 205, 0);
    case kEffectAqua:
        return tint(0, 187, 176);
    case kEffectOrange:
        return tint(255, 180, 0);
    case kEffectGold:
        return tint(255, 252, 0);
    case kEffectBlue:
        return tint(53, 133, 231);
    case kEffectViolet:
        return tint(162, 53, 231);
    case kEffectPink:
        return tint(255, 102, 204);
    case kEffectStrawberry:
        return tint(230, 22, 71);
    default:
        return 0; // "None" and numbers outside the list
    }
}
