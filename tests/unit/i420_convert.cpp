// ConvertBgrToI420: the exact values of known colours (truncation toward
// zero in double precision), the reversal of bottom-up rows, the 2 x 2
// chroma averages, padded rows, and the sizes it refuses.
// test-links: cw_engine cw_export cw_config cw_media cw_platform
#include "engine/frame_capture.h"

#include <gtest/gtest.h>
#include <tuple>
#include <utility>
#include <vector>

namespace {

struct Bgr {
    std::uint8_t b, g, r;
};

// A bottom-up picture: rows[0] is the top row as seen, stored last.
std::vector<std::uint8_t> BottomUp(const std::vector<std::vector<Bgr>>& rows, int stride = 0)
{
    const int height = int(rows.size());
    const int width = int(rows[0].size());
    if (stride == 0)
        stride = width * 3;
    std::vector<std::uint8_t> pixels(std::size_t(stride) * std::size_t(height), 0xEE);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = pixels.data() + std::size_t(stride) * std::size_t(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = rows[y][x].b;
            row[3 * x + 1] = rows[y][x].g;
            row[3 * x + 2] = rows[y][x].r;
        }
    }
    return pixels;
}

struct ColourCase {
    const char* name;
    Bgr colour;
    int y, cb, cr;
};

class I420KnownColour : public ::testing::TestWithParam<ColourCase> { };

TEST_P(I420KnownColour, EveryPlaneHoldsTheTruncatedValue)
{
    const ColourCase& c = GetParam();
    const int w = 4, h = 2;
    const auto pixels = BottomUp(std::vector<std::vector<Bgr>>(h, std::vector<Bgr>(w, c.colour)));
    const auto out = CMovieGraphCapture::ConvertBgrToI420(pixels.data(), w, h);
    ASSERT_TRUE(out);
    for (int i = 0; i < w * h; ++i)
        EXPECT_EQ(out[i], c.y) << "Y " << i;
    for (int i = 0; i < w * h / 4; ++i) {
        EXPECT_EQ(out[w * h + i], c.cb) << "Cb " << i;
        EXPECT_EQ(out[w * h + w * h / 4 + i], c.cr) << "Cr " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Colours, I420KnownColour,
    ::testing::Values(ColourCase { "black", { 0, 0, 0 }, 0, 128, 128 },
        ColourCase { "blue", { 255, 0, 0 }, 29, 255, 108 }, // Cr: trunc(-20.73) = -20
        ColourCase { "red", { 0, 0, 255 }, 76, 85, 255 }, ColourCase { "green", { 0, 255, 0 }, 149, 44, 22 },
        ColourCase { "white", { 255, 255, 255 }, 255, 128, 128 },
        // 0.299 + 0.587 + 0.114 times 128 is just below 128 in doubles.
        ColourCase { "grey", { 128, 128, 128 }, 127, 128, 128 }, ColourCase { "yellow", { 0, 255, 255 }, 225, 1, 148 },
        ColourCase { "leaf", { 30, 200, 10 }, 123, 76, 47 }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(I420Convert, RowsTurnTopDownAndChromaAveragesEachBlock)
{
    const Bgr k { 0, 0, 0 }, b { 255, 0, 0 }, r { 0, 0, 255 }, w { 255, 255, 255 };
    // As seen: top pair of rows black/blue, bottom pair red/white.
    const auto pixels = BottomUp({ { k, b, r, r }, { b, k, r, r }, { w, w, k, k }, { w, w, k, k } });
    const auto out = CMovieGraphCapture::ConvertBgrToI420(pixels.data(), 4, 4);
    ASSERT_TRUE(out);
    const std::vector<std::uint8_t> y(out.get(), out.get() + 16);
    EXPECT_EQ(y, (std::vector<std::uint8_t> { 0, 29, 76, 76, 29, 0, 76, 76, 255, 255, 0, 0, 255, 255, 0, 0 }));
    const std::uint8_t* cb = out.get() + 16;
    const std::uint8_t* cr = cb + 4;
    // Block 0: two black, two blue.
    EXPECT_EQ((std::vector<int> { cb[0], cr[0], cb[1], cr[1], cb[2], cr[3] }),
        (std::vector<int> { (128 + 255 + 255 + 128) >> 2, (128 + 108 + 108 + 128) >> 2, 85, 255, 128, 128 }));
}

TEST(I420Convert, PaddedRowsAreReadAtTheirStride)
{
    const Bgr r { 0, 0, 255 }, g { 0, 255, 0 };
    const auto packed = BottomUp({ { r, g }, { g, r } });
    const auto padded = BottomUp({ { r, g }, { g, r } }, 8);
    const auto a = CMovieGraphCapture::ConvertBgrToI420(packed.data(), 2, 2);
    const auto b = CMovieGraphCapture::ConvertBgrToI420(padded.data(), 2, 2, 8);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(std::vector<std::uint8_t>(a.get(), a.get() + 6), std::vector<std::uint8_t>(b.get(), b.get() + 6));
    EXPECT_EQ(std::tuple(a[0], a[1]), std::tuple(std::uint8_t(76), std::uint8_t(149)));
}

TEST(I420Convert, RefusesOddOrEmptySizes)
{
    const std::vector<std::uint8_t> pixels(64 * 3, 0);
    for (const auto& [data, w, h] : { std::tuple { pixels.data(), 3, 2 }, std::tuple { pixels.data(), 2, 3 },
             std::tuple { pixels.data(), 0, 2 }, std::tuple { static_cast<const std::uint8_t*>(nullptr), 2, 2 } })
        EXPECT_FALSE(CMovieGraphCapture::ConvertBgrToI420(data, w, h)) << w << "x" << h;
}

} // namespace
