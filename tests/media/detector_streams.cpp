// CMediaDet on files made by the ffmpeg command: a source whose colour
// changes every second (red, green, blue, with a white band at the top) and
// a tone, encoded with an inter-frame codec (MPEG-4) and an intra-only one
// (MJPEG); stream facts, bitmap contents and orientation at known times,
// decoding only what is asked for, and bad input.
// test-links: cw_engine cw_media cw_config cw_platform
#include "engine/media_detector.h"
#include "engine/media_source.h"
#include "engine/source_reader.h"

#include "media_files.h"
#include "platform/media/media_errors.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <tuple>
#include <utility>
#include <vector>

namespace {

constexpr int kW = 176;
constexpr int kH = 144;

constexpr Rgb kRed { 255, 0, 0 }, kGreen { 0, 255, 0 }, kBlue { 0, 0, 255 }, kWhite { 255, 255, 255 };

class DetectorEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(
            MakeBandedColourClip("mpeg4.avi", kW, kH, { "-c:v", "mpeg4", "-q:v", "2", "-g", "12", "-bf", "2" }));
        ASSERT_TRUE(
            MakeBandedColourClip("mjpeg.avi", kW, kH, { "-c:v", "mjpeg", "-q:v", "2", "-pix_fmt", "yuvj420p" }));
        // Eight seconds with a key frame only at the start.
        ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", QString("testsrc=s=%1x%2:r=25:d=8").arg(kW).arg(kH), "-c:v",
            "mpeg4", "-g", "300", MediaCache::Path("long-gop.avi") }));
        ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "sine=duration=2:sample_rate=22050", "-ac", "2", "-c:a",
            "pcm_s16le", MediaCache::Path("tone.wav") }));
    }
};
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new DetectorEnvironment);

// One pixel of a 24-bit bottom-up bitmap, row counted from the top as seen.
Rgb PixelAt(const std::vector<char>& dib, int x, int yFromTop)
{
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib.data(), sizeof h);
    const int row = h.biHeight - 1 - yFromTop;
    const auto* p = reinterpret_cast<const std::uint8_t*>(dib.data()) + sizeof h
        + std::size_t(DibRowBytes(h.biWidth, 24)) * std::size_t(row) + std::size_t(3 * x);
    return { p[2], p[1], p[0] };
}

::testing::AssertionResult Near(const Rgb& got, const Rgb& want)
{
    return RgbNear(got, want, 48);
}

std::vector<char> Bitmap(CMediaDet& det, double t, int w = kW, int h = kH)
{
    std::int32_t size = 0;
    EXPECT_EQ(det.GetBitmapBits(t, &size, nullptr, w, h), S_OK);
    EXPECT_EQ(size, CMediaDet::BitmapBytes(w, h));
    std::vector<char> dib(static_cast<std::size_t>(size));
    EXPECT_EQ(det.GetBitmapBits(t, &size, dib.data(), w, h), S_OK) << "t=" << t;
    return dib;
}

class DetectorCodec : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { ASSERT_EQ(det_.put_Filename(MediaCache::Path(GetParam())), S_OK); }
    CMediaDet det_;
};

TEST_P(DetectorCodec, StreamFacts)
{
    std::int32_t n = 0;
    ASSERT_EQ(det_.get_OutputStreams(&n), S_OK);
    ASSERT_EQ(n, 2);

    ASSERT_EQ(det_.put_CurrentStream(0), S_OK);
    GUID major = GUID_NULL;
    ASSERT_EQ(det_.get_StreamType(&major), S_OK);
    EXPECT_EQ(major, MEDIATYPE_Video);
    double length = 0, fps = 0;
    ASSERT_EQ(det_.get_StreamLength(&length), S_OK);
    EXPECT_NEAR(length, 3.0, 0.05);
    ASSERT_EQ(det_.get_FrameRate(&fps), S_OK);
    EXPECT_DOUBLE_EQ(fps, 25.0);
    CMediaType mt;
    ASSERT_EQ(det_.get_StreamMediaType(&mt), S_OK);
    ASSERT_NE(mt.VideoInfo(), nullptr);
    EXPECT_EQ(std::tuple(mt.VideoInfo()->bmiHeader.biWidth, mt.VideoInfo()->bmiHeader.biHeight,
                  mt.VideoInfo()->AvgTimePerFrame),
        std::tuple(kW, kH, 400000));

    ASSERT_EQ(det_.put_CurrentStream(1), S_OK);
    ASSERT_EQ(det_.get_StreamType(&major), S_OK);
    EXPECT_EQ(major, MEDIATYPE_Audio);
    ASSERT_EQ(det_.get_StreamLength(&length), S_OK);
    EXPECT_NEAR(length, 3.0, 0.05);
    ASSERT_EQ(det_.get_StreamMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_PCM);
    ASSERT_NE(mt.WaveFormat(), nullptr);
    EXPECT_EQ(std::tuple(mt.WaveFormat()->nSamplesPerSec, mt.WaveFormat()->nChannels, mt.WaveFormat()->nAvgBytesPerSec),
        std::tuple(44100u, 1, 88200u));
    std::int32_t size = 0;
    EXPECT_EQ((std::vector<HRESULT> { det_.get_FrameRate(&fps), det_.GetBitmapBits(0.5, &size, nullptr, kW, kH),
                  det_.put_CurrentStream(2), det_.put_CurrentStream(-1) }),
        (std::vector<HRESULT> { VFW_E_INVALIDMEDIATYPE, VFW_E_INVALIDMEDIATYPE, E_INVALIDARG, E_INVALIDARG }));
}

// Forward, backward (a seek) and far ahead; the header, the colour of the
// second asked for, and the white band at the top of the picture.
TEST_P(DetectorCodec, BitmapAtKnownTimes)
{
    const struct {
        double t;
        Rgb colour;
    } steps[] = { { 0.0, kRed }, { 0.5, kRed }, { 1.5, kGreen }, { 2.5, kBlue }, { 0.2, kRed }, { 1.04, kGreen },
        { 2.96, kBlue }, { 7.0, kBlue } };
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << "t=" << s.t);
        const std::vector<char> dib = Bitmap(det_, s.t);
        BITMAPINFOHEADER h;
        std::memcpy(&h, dib.data(), sizeof h);
        // Positive height: bottom-up.
        EXPECT_EQ(std::tuple(h.biSize, h.biWidth, h.biHeight, h.biBitCount, h.biCompression, h.biSizeImage),
            std::tuple(40u, kW, kH, 24, BI_RGB, std::uint32_t(kW * kH * 3)));
        EXPECT_TRUE(Near(PixelAt(dib, kW / 2, kH - 2), s.colour));
        EXPECT_TRUE(Near(PixelAt(dib, 3, kH / 2), s.colour));
        EXPECT_TRUE(Near(PixelAt(dib, kW / 2, 2), kWhite));
    }
}

// Scaled to other sizes, one with a row length that needs padding.
TEST_P(DetectorCodec, ScalesToTheAskedSize)
{
    const std::vector<char> dib = Bitmap(det_, 1.5, 30, 20);
    ASSERT_EQ(dib.size(), 40u + 92u * 20u); // 30 x 3 = 90 bytes, padded to 92
    EXPECT_TRUE(Near(PixelAt(dib, 15, 18), kGreen));
    EXPECT_TRUE(Near(PixelAt(dib, 29, 0), kWhite));
    EXPECT_EQ(dib[40 + 90], 0); // padding is zero
    // Sizes may change between requests (a codec that decodes small
    // pictures at reduced size starts again at full size).
    EXPECT_TRUE(Near(PixelAt(Bitmap(det_, 2.5), kW / 2, kH - 2), kBlue));
    EXPECT_TRUE(Near(PixelAt(Bitmap(det_, 0.5, 30, 20), 15, 18), kRed));
}

// Samples at increasing times never decode a frame twice; the intra-only
// codec decodes just the frames that are shown.
TEST_P(DetectorCodec, IncreasingTimesDecodeForwardOnly)
{
    int samples = 0;
    for (int i = 0; i <= 15; ++i, ++samples)
        Bitmap(det_, i * 0.2);
    if (std::strcmp(GetParam(), "mjpeg.avi") == 0)
        EXPECT_EQ(det_.DecodedFrames(), samples);
    else
        EXPECT_LE(det_.DecodedFrames(), 75);
}

// Far ahead, with no key frame between: reading on beats seeking back to
// the only key frame and decoding everything again.
TEST(Detector, FarAheadWithoutKeyFrameReadsOn)
{
    CMediaDet det;
    ASSERT_EQ(det.put_Filename(MediaCache::Path("long-gop.avi")), S_OK);
    Bitmap(det, 4.0);
    Bitmap(det, 7.5);
    EXPECT_LE(det.DecodedFrames(), 195); // 7.5 s x 25 frames, and a few ahead
}

INSTANTIATE_TEST_SUITE_P(Codecs, DetectorCodec, ::testing::Values("mpeg4.avi", "mjpeg.avi"),
    [](const auto& info) { return std::string(info.param).substr(0, std::string(info.param).find('.')); });

// A sound file has one stream, the sound. Cover art (an attached picture) is
// not a video stream either: not an output stream of the detector, not the
// picture stream of the readers, and the shared has-video answer says no.
TEST(Detector, SoundOnlyFilesAndCoverArtHaveNoVideoStream)
{
    const QString path = MediaCache::Path("cover.mp3");
    ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "sine=duration=1", "-f", "lavfi", "-i", "color=red:s=32x32:d=1",
        "-map", "0:a", "-map", "1:v", "-frames:v", "1", "-c:a", "libmp3lame", "-c:v", "png", "-disposition:v:0",
        "attached_pic", "-id3v2_version", "3", path }));
    CMediaDet det;
    for (const QString& file : { path, MediaCache::Path("tone.wav") }) {
        ASSERT_EQ(det.put_Filename(file), S_OK);
        std::int32_t n = 0;
        ASSERT_EQ(det.get_OutputStreams(&n), S_OK);
        EXPECT_EQ(n, 1) << qPrintable(file);
        GUID major = GUID_NULL;
        ASSERT_EQ(det.get_StreamType(&major), S_OK);
        EXPECT_EQ(major, MEDIATYPE_Audio) << qPrintable(file);
    }
    double length = 0; // of the tone
    ASSERT_EQ(det.get_StreamLength(&length), S_OK);
    EXPECT_NEAR(length, 2.0, 0.01);
    CMediaType mt;
    ASSERT_EQ(det.get_StreamMediaType(&mt), S_OK);
    ASSERT_NE(mt.WaveFormat(), nullptr);
    EXPECT_EQ(std::tuple(mt.WaveFormat()->nChannels, mt.WaveFormat()->nAvgBytesPerSec), std::tuple(2, 22050u * 4u));

    EXPECT_EQ((std::vector { HasVideoStream(path), HasVideoStream(MediaCache::Path("mpeg4.avi")),
                  HasVideoStream(MediaCache::Path("tone.wav")), HasVideoStream(MediaCache::Path("missing.avi")) }),
        (std::vector { false, true, false, false }));
    const auto source = CMediaSource::Open(path);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(std::tuple(source->videoStream(), source->audioStream()), std::tuple(-1, 0));
    CSourceVideoReader reader(path);
    EXPECT_FALSE(reader.ok());
    EXPECT_EQ(reader.frameAt(0), nullptr);
}

TEST(Detector, BadOrTruncatedInput)
{
    CMediaDet det;
    std::int32_t n = 0;
    double value = 0;
    EXPECT_EQ((std::vector<HRESULT> {
                  det.get_OutputStreams(&n), det.get_StreamLength(&value), det.get_OutputStreams(nullptr) }),
        (std::vector<HRESULT> { E_UNEXPECTED, E_UNEXPECTED, E_POINTER }));

    ASSERT_TRUE(WriteFile(MediaCache::Path("garbage.avi"), QByteArray(5000, '\x5A')));
    ASSERT_TRUE(WriteFile(MediaCache::Path("head.avi"), ReadFile(MediaCache::Path("mpeg4.avi")).left(600)));
    ASSERT_TRUE(QDir().mkpath(MediaCache::Path("folder.avi")));

    EXPECT_EQ(det.put_Filename(QString()), E_INVALIDARG);
    for (const char* name : { "missing.avi", "folder.avi", "garbage.avi" }) {
        EXPECT_EQ(det.put_Filename(MediaCache::Path(name)), E_FAIL) << name;
        EXPECT_EQ(det.get_OutputStreams(&n), E_UNEXPECTED) << name;
    }
    // A file cut inside its headers: refused, or open with nothing to show.
    if (det.put_Filename(MediaCache::Path("head.avi")) == S_OK && det.get_OutputStreams(&n) == S_OK && n > 0) {
        std::vector<char> dib(std::size_t(CMediaDet::BitmapBytes(kW, kH)));
        std::int32_t size = std::int32_t(dib.size());
        EXPECT_NE(det.GetBitmapBits(1.0, &size, dib.data(), kW, kH), S_OK);
    }

    ASSERT_EQ(det.put_Filename(MediaCache::Path("mpeg4.avi")), S_OK);
    std::int32_t size = 0;
    std::vector<char> small(100);
    std::int32_t smallSize = 100;
    EXPECT_EQ(
        (std::vector<HRESULT> { det.GetBitmapBits(0, &size, nullptr, 0, kH),
            det.GetBitmapBits(0, &size, nullptr, kW, 9000), det.GetBitmapBits(0, &smallSize, small.data(), kW, kH) }),
        std::vector<HRESULT>(3, E_INVALIDARG));

    // Cut in the middle of its pictures: those there are shown, later times
    // give the last one.
    const QByteArray bytes = ReadFile(MediaCache::Path("mpeg4.avi"));
    ASSERT_TRUE(WriteFile(MediaCache::Path("cut.avi"), bytes.left(bytes.size() / 2)));
    ASSERT_EQ(det.put_Filename(MediaCache::Path("cut.avi")), S_OK);
    EXPECT_TRUE(Near(PixelAt(Bitmap(det, 0.5), 10, 100), kRed));
    std::vector<char> dib(std::size_t(CMediaDet::BitmapBytes(kW, kH)));
    for (double t : { 2.5, 2.9, 0.1 }) {
        size = std::int32_t(dib.size());
        det.GetBitmapBits(t, &size, dib.data(), kW, kH);
    }
}

} // namespace
