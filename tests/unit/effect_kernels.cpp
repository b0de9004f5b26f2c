// test-links: cw_engine cw_media cw_platform
#include "engine/effect_kernels.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// A frame buffer with rows padded to 4 bytes, as the effect filter describes it.
struct TestFrame {
    TestFrame(int w, int h, int bpp = 3, std::uint32_t r = kRgb24RedMask, std::uint32_t g = kRgb24GreenMask,
        std::uint32_t b = kRgb24BlueMask)
        : width(w)
        , height(h)
        , bpp(bpp)
        , stride((w * bpp + 3) / 4 * 4)
        , bytes(static_cast<std::size_t>(stride) * h, 0)
    {
        EXPECT_EQ(InitEffectImage(&image, bytes.data(), w, h), 0);
        EXPECT_EQ(SetEffectPixelFormat(&image, bpp, r, g, b, 0, 4), 0);
        EXPECT_EQ(EffectImageStride(image), stride);
    }
    // The description of this frame's own bytes (copies included).
    EffectImage* img()
    {
        image.data = bytes.data();
        return &image;
    }
    std::uint8_t* At(int x, int y) { return bytes.data() + y * stride + x * bpp; }
    void Set(int x, int y, int r, int g, int b)
    {
        std::uint8_t* p = At(x, y);
        p[0] = static_cast<std::uint8_t>(b);
        p[1] = static_cast<std::uint8_t>(g);
        p[2] = static_cast<std::uint8_t>(r);
    }
    std::array<int, 3> Rgb(int x, int y)
    {
        const std::uint8_t* p = At(x, y);
        return { p[2], p[1], p[0] };
    }
    void Fill(int r, int g, int b)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                Set(x, y, r, g, b);
    }
    void Randomize(std::mt19937& rng)
    {
        for (auto& v : bytes)
            v = static_cast<std::uint8_t>(rng());
    }
    std::uint16_t Pixel16(int x, int y) { return static_cast<std::uint16_t>(At(x, y)[0] | At(x, y)[1] << 8); }
    void SetPixel16(int x, int y, std::uint16_t v)
    {
        At(x, y)[0] = static_cast<std::uint8_t>(v);
        At(x, y)[1] = static_cast<std::uint8_t>(v >> 8);
    }

    int width, height, bpp, stride;
    std::vector<std::uint8_t> bytes;
    EffectImage image;
};

std::array<int, 3> ApplyToPixel(int effect, int r, int g, int b)
{
    TestFrame f(1, 1);
    f.Set(0, 0, r, g, b);
    EXPECT_EQ(ApplyEffect(f.img(), effect), 0);
    return f.Rgb(0, 0);
}

using Rgb = std::array<int, 3>;
using Codes = std::vector<std::int32_t>; // result codes of several calls, in order

TEST(EffectImageSetup, DescribesFramesAndRefusesBadValues)
{
    std::uint8_t buffer[64];
    EffectImage img;
    EXPECT_EQ((Codes { InitEffectImage(nullptr, buffer, 1, 1), InitEffectImage(&img, nullptr, 1, 1),
                  InitEffectImage(&img, buffer, 0, 1), InitEffectImage(&img, buffer, 1, 0),
                  InitEffectImage(&img, buffer, -1, 1), InitEffectImage(&img, buffer, 1, -4) }),
        (Codes { -2, -2, -2, -2, -1, -1 }));

    // Rows padded to 4 bytes: every TestFrame checks its stride; here 2 bytes.
    ASSERT_EQ(InitEffectImage(&img, buffer, 3, 1), 0);
    EXPECT_EQ(SetEffectPixelFormat(&img, 3, kRgb24RedMask, kRgb24GreenMask, kRgb24BlueMask, 0, 2), 0);
    EXPECT_EQ(img.rowPadding, 1);
    EXPECT_EQ((Codes { SetEffectPixelFormat(&img, 0, 0xFF0000, 0xFF00, 0xFF, 0, 4),
                  SetEffectPixelFormat(&img, 5, 0xFF0000, 0xFF00, 0xFF, 0, 4),
                  SetEffectPixelFormat(&img, 3, 0, 0xFF00, 0xFF, 0, 4),
                  SetEffectPixelFormat(&img, 3, 0xFF0000, 0xFFFFFFFF, 0xFF, 0, 4),
                  SetEffectPixelFormat(&img, 3, 0xFF0000, 0xFF00, 0xFF, 0xFFFFFFFF, 4),
                  SetEffectPixelFormat(&img, 3, 0xFF0000, 0xFF00, 0xFF, 0, 3),
                  SetEffectPixelFormat(&img, 3, 0xFF0000, 0xFF00, 0xFF, 0, 8) }),
        (Codes { -6, -6, -4, -4, -4, -7, -7 }));
}

TEST(EffectImageSetup, MaskShiftAndColourScaling)
{
    std::int32_t shift = -1, depth = -1;
    EXPECT_EQ(GetMaskShift(kRgb565GreenMask, &shift, &depth), 0); // not byte aligned
    EXPECT_EQ(std::pair(shift, depth), std::pair(5, 6));
    EXPECT_EQ(
        (Codes { GetMaskShift(0, &shift, &depth), GetMaskShift(0xFFFFFFFF, &shift, &depth) }), (Codes { -3, -3 }));

    TestFrame f(2, 2, 2, kRgb565RedMask, kRgb565GreenMask, kRgb565BlueMask);
    std::int32_t r = 230, g = 180, b = 95;
    EXPECT_EQ(ScaleColourToDepth(f.img(), &r, &g, &b), 0);
    EXPECT_EQ(std::tuple(r, g, b), std::tuple(28, 45, 11));
    for (std::int32_t bad : { 256, -1 }) {
        r = bad;
        EXPECT_EQ(ScaleColourToDepth(f.img(), &r, &g, &b), -1) << bad;
    }
}

TEST(EffectKernels, RefusedArgumentsLeaveTheFrameUnchanged)
{
    std::mt19937 rng(1);
    TestFrame f(3, 3);
    f.Randomize(rng);
    const auto before = f.bytes;
    EffectImage* img = f.img();
    EXPECT_EQ((Codes { ApplyTint(img, 256, 0, 0), ApplyTint(img, 0, -1, 0), ApplyBrightness(img, 101),
                  ApplyBrightness(img, -101), ApplyContrast(img, 101), ApplyContrast(img, -101), ApplyMosaic(img, 1),
                  ApplyMosaic(img, 12), ApplyNoise(img, 256, 0), ApplyNoise(img, -1, 0) }),
        (Codes { -3, -3, -1, -1, -3, -3, -4, -4, -1, -1 }));

    EffectImage broken = *f.img();
    broken.greenMask = 0;
    EXPECT_EQ(ApplyGray(&broken), -3);
    EXPECT_EQ(EqualizeHistogram(&broken), -3);
    broken = *f.img();
    broken.bytesPerPixel = 1; // palettised frames are not processed
    EXPECT_EQ(ApplyNegative(&broken), -6);
    broken = *f.img();
    broken.height = 0;
    EXPECT_EQ(ApplyMosaic(&broken, 5), -1);
    EXPECT_EQ(f.bytes, before);

    for (int id = 1; id < kEffectCount; ++id)
        EXPECT_EQ(ApplyEffect(nullptr, id), -2) << id;
    broken = *f.img();
    broken.data = nullptr;
    EXPECT_EQ(
        (Codes { ApplyGray(&broken), MirrorHorizontal(&broken), FlipVertical(&broken), ApplyContrast(&broken, 10) }),
        Codes(4, -2));

    for (int id : { 0, -1, 19, 1000 })
        EXPECT_EQ(ApplyEffect(img, id), 0) << id;
    EXPECT_EQ(f.bytes, before);
}

TEST(EffectKernels, PerPixelWorkedExamples)
{
    EXPECT_EQ(ApplyToPixel(kEffectGray, 200, 100, 50), (Rgb { 116, 116, 116 }));
    EXPECT_EQ(ApplyToPixel(kEffectSepia, 200, 100, 50), (Rgb { 103, 80, 42 }));
    EXPECT_EQ(ApplyToPixel(kEffectNegative, 200, 100, 0), (Rgb { 55, 155, 255 }));
    EXPECT_EQ(ApplyToPixel(kEffectBrightness, 50, 240, 0), (Rgb { 75, 255, 25 }));
    EXPECT_EQ(ApplyToPixel(kEffectContrast, 0, 50, 127), (Rgb { 0, 35, 127 }));
    EXPECT_EQ(ApplyToPixel(kEffectContrast, 200, 255, 128), (Rgb { 215, 255, 128 }));

    // Brightness truncates toward zero: level -15 gives delta -38, not -39.
    TestFrame f(1, 1);
    f.Set(0, 0, 100, 20, 255);
    EXPECT_EQ(ApplyBrightness(f.img(), -15), 0);
    EXPECT_EQ(f.Rgb(0, 0), (Rgb { 62, 0, 217 }));
}

TEST(EffectKernels, SixteenBitFramesWorkThroughTheirMasks)
{
    TestFrame f(2, 1, 2, kRgb565RedMask, kRgb565GreenMask, kRgb565BlueMask);
    f.SetPixel16(0, 0, 31 << 11); // pure red
    f.SetPixel16(1, 0, 0x0000);
    // Gray: scaled red (31 × 256) ÷ 32 = 248, average 82; back to
    // (82 × 32) >> 8 = 10 for 5 bits and (82 × 64) >> 8 = 20 for 6 bits.
    EXPECT_EQ(ApplyGray(f.img()), 0);
    EXPECT_EQ(f.Pixel16(0, 0), 10 << 11 | 20 << 5 | 10);
    EXPECT_EQ(ApplyNegative(f.img()), 0);
    EXPECT_EQ(f.Pixel16(1, 0), 0xFFFF);
    EXPECT_EQ(f.Pixel16(0, 0), (31 - 10) << 11 | (63 - 20) << 5 | (31 - 10));

    TestFrame g(1, 1, 2, kRgb555RedMask, kRgb555GreenMask, kRgb555BlueMask);
    g.SetPixel16(0, 0, 0x8000 | 10 << 10); // top bit is outside every mask
    EXPECT_EQ(ApplyBrightness(g.img(), 10), 0); // delta (10 × 32) ÷ 100 = 3
    EXPECT_EQ(g.Pixel16(0, 0), 13 << 10 | 3 << 5 | 3);
}

TEST(EffectKernels, MosaicBlocksAverageExactlyTheirOwnPixels)
{
    std::mt19937 rng(7);
    struct Case {
        int width, height;
        std::vector<std::array<int, 4>> blocks; // x, y, w, h
    };
    const Case cases[] = {
        { 7, 7, { { 0, 0, 5, 5 }, { 5, 0, 2, 5 }, { 0, 5, 5, 2 }, { 5, 5, 2, 2 } } },
        { 3, 4, { { 0, 0, 3, 4 } } },
    };
    for (const Case& c : cases) {
        TestFrame f(c.width, c.height);
        f.Randomize(rng);
        TestFrame original = f;
        ASSERT_EQ(ApplyEffect(f.img(), kEffectMosaic), 0);
        for (auto [bx, by, bw, bh] : c.blocks) {
            Rgb sum = { 0, 0, 0 };
            for (int y = by; y < by + bh; ++y)
                for (int x = bx; x < bx + bw; ++x)
                    for (int ch = 0; ch < 3; ++ch)
                        sum[ch] += original.Rgb(x, y)[ch];
            const Rgb average = { sum[0] / (bw * bh), sum[1] / (bw * bh), sum[2] / (bw * bh) };
            for (int y = by; y < by + bh; ++y)
                for (int x = bx; x < bx + bw; ++x)
                    EXPECT_EQ(f.Rgb(x, y), average) << c.width << "x" << c.height << " at " << x << "," << y;
        }
    }
}

TEST(EffectKernels, EqualizationUsesRunningSumAndLargestValueSeen)
{
    TestFrame one(5, 3);
    one.Fill(90, 90, 90);
    auto before = one.bytes;
    ASSERT_EQ(EqualizeHistogram(one.img()), 0);
    EXPECT_EQ(one.bytes, before);

    TestFrame black(4, 2);
    ASSERT_EQ(EqualizeHistogram(black.img()), 0);
    EXPECT_EQ(black.Rgb(3, 1), (Rgb { 0, 0, 0 }));

    // Red 0 and 200: h = 1 at 0, 2 at 200, seen 200 → 200 × 1 ÷ 2 and 200 × 2 ÷ 2.
    TestFrame two(2, 1);
    two.Set(0, 0, 0, 10, 40);
    two.Set(1, 0, 200, 10, 30);
    ASSERT_EQ(EqualizeHistogram(two.img()), 0);
    EXPECT_EQ(two.Rgb(0, 0), (Rgb { 100, 10, 40 }));
    EXPECT_EQ(two.Rgb(1, 0), (Rgb { 200, 10, 20 }));
}

TEST(EffectKernels, FlipsKeepTheMiddleAndMoveWholePixels)
{
    for (int bpp : { 3, 4 }) {
        TestFrame f(5, 3, bpp);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                f.Set(x, y, x, y, 10 * x + y);
                if (bpp == 4)
                    f.At(x, y)[3] = static_cast<std::uint8_t>(100 + x);
            }
        TestFrame mirrored = f;
        ASSERT_EQ(MirrorHorizontal(mirrored.img()), 0);
        TestFrame flipped = f;
        ASSERT_EQ(FlipVertical(flipped.img()), 0);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                EXPECT_EQ(std::memcmp(mirrored.At(x, y), f.At(4 - x, y), bpp), 0) << bpp << ":" << x << "," << y;
                EXPECT_EQ(std::memcmp(flipped.At(x, y), f.At(x, 2 - y), bpp), 0) << bpp << ":" << x << "," << y;
            }
    }
}

TEST(EffectKernels, NoiseAddsOneBoundedValueToAllChannels)
{
    std::srand(1234);
    TestFrame f(9, 7, 4);
    f.Fill(128, 128, 128);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            f.At(x, y)[3] = 0x55;
    ASSERT_EQ(ApplyEffect(f.img(), kEffectNoise), 0);
    int changed = 0;
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) {
            const Rgb out = f.Rgb(x, y);
            EXPECT_EQ(out, (Rgb { out[0], out[0], out[0] }));
            EXPECT_LE(std::abs(out[0] - 128), 38);
            EXPECT_EQ(f.At(x, y)[3], 0);
            changed += out[0] != 128;
        }
    EXPECT_GT(changed, 30);

    // Near the ends the value clamps per channel.
    TestFrame edge(50, 1);
    edge.Fill(250, 5, 128);
    ASSERT_EQ(ApplyNoise(edge.img(), 30, 0), 0);
    for (int x = 0; x < 50; ++x) {
        const Rgb out = edge.Rgb(x, 0);
        const int n = out[2] - 128;
        EXPECT_EQ(out, (Rgb { std::min(255, 250 + n), std::max(0, 5 + n), out[2] }));
    }
}

TEST(EffectKernels, PaddingIsNeverTouchedAndTheXByteIsCleared)
{
    std::mt19937 rng(3);
    for (int bpp : { 2, 3, 4 })
        for (int width : { 1, 2, 3, 5 })
            for (int effect = 1; effect < kEffectCount; ++effect) {
                TestFrame f(width, 3, bpp, bpp == 2 ? kRgb565RedMask : kRgb24RedMask,
                    bpp == 2 ? kRgb565GreenMask : kRgb24GreenMask, bpp == 2 ? kRgb565BlueMask : kRgb24BlueMask);
                f.Randomize(rng);
                const TestFrame original = f;
                ASSERT_EQ(ApplyEffect(f.img(), effect), 0);
                for (int y = 0; y < 3; ++y) {
                    for (int i = width * bpp; i < f.stride; ++i)
                        EXPECT_EQ(f.bytes[y * f.stride + i], original.bytes[y * f.stride + i])
                            << kEffectEntryTexts[effect] << " width " << width << " bpp " << bpp;
                    if (bpp == 4 && effect != kEffectHorizontal && effect != kEffectVertical) {
                        for (int x = 0; x < width; ++x)
                            EXPECT_EQ(f.At(x, y)[3], 0) << kEffectEntryTexts[effect];
                    }
                }
            }
}

// Runs kernel on a copy of frame through the 24/32-bit path and through the
// mask-based path (same random sequence) and compares every byte.
template <class Kernel> void ExpectPathsAgree(const TestFrame& frame, Kernel kernel, const std::string& what)
{
    TestFrame fast = frame, reference = frame;
    std::srand(99);
    const std::int32_t rcFast = kernel(fast.img());
    SetEffectFastPaths(false);
    std::srand(99);
    const std::int32_t rcReference = kernel(reference.img());
    SetEffectFastPaths(true);
    EXPECT_EQ(rcFast, rcReference) << what;
    EXPECT_EQ(fast.bytes, reference.bytes) << what << " " << frame.width << "x" << frame.height << " bpp " << frame.bpp;
}

TEST(EffectKernels, FastPathsMatchTheMaskBasedPathByteForByte)
{
    std::mt19937 rng(42);
    const std::array<int, 2> sizes[]
        = { { 1, 1 }, { 2, 3 }, { 3, 5 }, { 7, 3 }, { 13, 11 }, { 31, 17 }, { 64, 9 }, { 4099, 2 } };
    for (int bpp : { 3, 4 })
        for (auto [w, h] : sizes) {
            TestFrame frame(w, h, bpp);
            frame.Randomize(rng);
            for (int effect = 1; effect < kEffectCount; ++effect)
                ExpectPathsAgree(
                    frame, [effect](EffectImage* img) { return ApplyEffect(img, effect); }, kEffectEntryTexts[effect]);
        }
    // Arguments beyond the list's fixed ones.
    for (int bpp : { 3, 4 }) {
        TestFrame frame(23, 7, bpp);
        frame.Randomize(rng);
        for (int level : { -100, -37, -1, 0, 55, 100 }) {
            ExpectPathsAgree(
                frame, [level](EffectImage* img) { return ApplyBrightness(img, level); }, "brightness");
            ExpectPathsAgree(
                frame, [level](EffectImage* img) { return ApplyContrast(img, level); }, "contrast");
        }
        for (int n = 2; n <= 11; ++n)
            ExpectPathsAgree(
                frame, [n](EffectImage* img) { return ApplyMosaic(img, n); }, "mosaic");
        for (int amount : { 0, 1, 99, 255 })
            for (int mode : { 0, 1 })
                ExpectPathsAgree(
                    frame, [=](EffectImage* img) { return ApplyNoise(img, amount, mode); }, "noise");
        for (int i = 0; i < 20; ++i) {
            const int r = rng() % 256, g = rng() % 256, b = rng() % 256;
            ExpectPathsAgree(
                frame, [=](EffectImage* img) { return ApplyTint(img, r, g, b); }, "tint");
        }
    }
    // A frame of one value is the equalisation's edge (every count in one bin).
    TestFrame flat(9, 9, 3);
    flat.Fill(255, 0, 17);
    ExpectPathsAgree(flat, EqualizeHistogram, "equalize");
}

TEST(EffectList, CurrentEffectTakesOnlyListedEntries)
{
    EXPECT_EQ(CurrentEffectId.load(), 0);
    const std::pair<int, int> rows[] = { { kEffectMosaic, kEffectMosaic }, { 19, 0 }, { -1, 0 } };
    for (auto [entry, current] : rows) {
        SetCurrentEffectFromList(entry);
        EXPECT_EQ(CurrentEffectId.load(), current) << entry;
    }
}

} // namespace
