// The render engine's composition over generated clips: letterboxing,
// frame-exact media times, track priority, the sound mix, and the rule that
// an output nobody reads decodes nothing.
// test-links: cw_engine cw_project cw_export cw_media cw_platform
#include "engine/render_engine.h"
#include "engine/file_filters.h"
#include "engine/render_frontend.h"
#include "media_files.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

constexpr REFERENCE_TIME kSecond = 10000000;

const Rgb kBlack { 0, 0, 0 }, kRed { 255, 0, 0 }, kGreen { 0, 128, 0 }, kBlue { 0, 0, 255 }, kWhite { 255, 255, 255 };

class RenderEngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const QStringList x264 { "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv444p" };
        auto lavfi = [](const char* source) { return QStringList { "-f", "lavfi", "-i", source }; };
        const std::pair<const char*, QStringList> recipes[] = {
            { "red.mp4", lavfi("color=red:s=64x48:r=15:d=3") + x264 },
            { "blue.mp4", lavfi("color=blue:s=64x48:r=15:d=3") + x264 },
            { "wide.mp4", lavfi("color=red:s=128x72:r=15:d=3") + x264 },
            { "tall.mp4", lavfi("color=green:s=60x120:r=15:d=3") + x264 },
            { "anamorphic.mp4", lavfi("color=white:s=64x48:r=15:d=3,setsar=2") + x264 }, // shown 8:3
            // Top half red, bottom half blue.
            { "halves.mp4",
                QStringList { "-filter_complex", "color=red:s=64x24:d=1[a];color=blue:s=64x24:d=1[b];[a][b]vstack" }
                    + x264 },
            // One colour per second at 30 frames per second.
            { "colours.mp4",
                QStringList { "-filter_complex",
                    "color=red:s=64x48:r=30:d=1[a];color=green:s=64x48:r=30:d=1[b];"
                    "color=blue:s=64x48:r=30:d=1[c];color=white:s=64x48:r=30:d=1[d];"
                    "[a][b][c][d]concat=n=4:v=1:a=0" }
                    + x264 },
            // A different grey in every frame at 30 frames per second; two of
            // every three frames are B-frames that no other frame refers to.
            { "ramp.mp4",
                lavfi("color=black:s=64x48:r=30:d=3,format=yuv444p,geq=lum='16+N*3':cb=128:cr=128")
                    + QStringList { "-c:v", "libx264", "-preset", "medium", "-crf", "8", "-bf", "3", "-b-pyramid",
                        "none", "-pix_fmt", "yuv444p" } },
            // Two parts of different picture sizes, joined below.
            { "a.ts", lavfi("color=red:s=64x48:r=15:d=1") + QStringList { "-c:v", "mpeg2video" } },
            { "b.ts",
                lavfi("color=blue:s=128x48:r=15:d=1")
                    + QStringList { "-c:v", "mpeg2video", "-output_ts_offset", "1" } },
            { "a440.wav", lavfi("sine=frequency=440:sample_rate=22050:duration=2") },
            { "b1000.wav", lavfi("sine=frequency=1000:sample_rate=48000:duration=2") },
            { "loud.wav",
                lavfi("sine=frequency=440:sample_rate=44100:duration=1") + QStringList { "-af", "volume=7" } },
        };
        for (const auto& [name, args] : recipes)
            ASSERT_TRUE(RunFfmpeg(args + QStringList { path(name) })) << name;
        // The picture size changes after one second; the cut file ends in
        // the middle of the second part.
        const QByteArray first = ReadFile(path("a.ts")), second = ReadFile(path("b.ts"));
        ASSERT_TRUE(WriteFile(path("sizes.ts"), first + second));
        ASSERT_TRUE(WriteFile(path("cut.ts"), first + second.left(3000)));
    }

    static QString path(const QString& name) { return MediaCache::Path(name); }
    std::vector<std::uint8_t> frame = std::vector<std::uint8_t>(320 * 240 * 3); // one rendered RGB picture

    // A group of the given type with one source per track, in order.
    struct Src {
        const char* file;
        REFERENCE_TIME start, stop, mediaStart;
        int stretch = kStretchPreserveAspect;
    };
    static std::shared_ptr<CTimelineGroup> Group(const CMediaType& mt, std::initializer_list<Src> sources)
    {
        auto group = std::make_shared<CTimelineGroup>();
        EXPECT_EQ(group->SetMediaType(mt), S_OK);
        for (const Src& s : sources) {
            auto track = std::make_shared<CTimelineTrack>();
            auto src = std::make_shared<CTimelineSource>();
            src->SetStartStop(s.start, s.stop);
            src->SetMediaTimes(s.mediaStart, s.mediaStart + s.stop - s.start);
            src->SetMediaName(path(s.file));
            src->SetStretchMode(s.stretch);
            track->SrcAdd(src);
            group->VTrackInsBefore(track, -1);
        }
        return group;
    }

    // Pictures of the sources at 320 x 240, 24 bits.
    static CGroupRenderer Video(std::initializer_list<Src> sources, REFERENCE_TIME length)
    {
        return CGroupRenderer(0, Group(MakeRgbVideoType(320, 240, 24), sources), length);
    }

    // The pixel at (x, y) counted from the picture's top-left corner.
    static Rgb Pixel(const std::vector<std::uint8_t>& frame, int x, int y)
    {
        const std::uint8_t* p = frame.data() + std::size_t(239 - y) * 960 + std::size_t(x) * 3;
        return { p[2], p[1], p[0] };
    }
    static ::testing::AssertionResult Near(Rgb a, Rgb b) { return RgbNear(a, b, 40); }

    // Sends pin's sound through a WAV writer into file.
    static void ConnectWavWriter(CRenderGraph& graph, CBaseOutputPin* pin, const QString& file)
    {
        auto wav = std::make_shared<CWavDestFilter>();
        auto writer = std::make_shared<CFileWriterFilter>();
        writer->SetFileName(file);
        graph.AddFilter(wav, "WAV Dest");
        graph.AddFilter(writer, "File Writer");
        ASSERT_EQ(graph.Connect(pin, wav->GetPin(0)), S_OK);
        ASSERT_EQ(graph.Connect(wav->GetPin(1), writer->GetPin(0)), S_OK);
    }
};

#define EXPECT_PIXEL(frame, x, y, colour) EXPECT_TRUE(Near(Pixel(frame, x, y), colour)) << "at " << (x) << "," << (y)

TEST_F(RenderEngineTest, PicturesAreLetterboxedCentredAndBottomUp)
{
    struct Case {
        const char* file;
        int left, top, right, bottom; // expected picture box
        Rgb colour;
    };
    const Case cases[] = {
        { "red.mp4", 0, 0, 320, 240, kRed }, // 4:3 fills the frame
        { "wide.mp4", 0, 30, 320, 210, kRed }, // 16:9: bars above and below
        { "tall.mp4", 100, 0, 220, 240, kGreen }, // 1:2: bars left and right
        { "anamorphic.mp4", 0, 60, 320, 180, kWhite }, // pixel aspect 2 makes it 8:3
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        CGroupRenderer r = Video({ { c.file, 0, kSecond, 0 } }, kSecond);
        r.RenderVideoFrame(7, frame.data());
        EXPECT_PIXEL(frame, (c.left + c.right) / 2, (c.top + c.bottom) / 2, c.colour);
        EXPECT_PIXEL(frame, c.left + 2, c.top + 2, c.colour);
        EXPECT_PIXEL(frame, c.right - 3, c.bottom - 3, c.colour);
        if (c.left > 0) {
            EXPECT_PIXEL(frame, c.left - 3, 120, kBlack);
            EXPECT_PIXEL(frame, c.right + 2, 120, kBlack);
        }
        if (c.top > 0) {
            EXPECT_PIXEL(frame, 160, c.top - 3, kBlack);
            EXPECT_PIXEL(frame, 160, c.bottom + 2, kBlack);
        }
    }
    // Resize mode fills the frame whatever the shape.
    CGroupRenderer stretched = Video({ { "wide.mp4", 0, kSecond, 0, kStretchResize } }, kSecond);
    stretched.RenderVideoFrame(0, frame.data());
    EXPECT_PIXEL(frame, 160, 2, kRed);

    CGroupRenderer halves = Video({ { "halves.mp4", 0, kSecond, 0 } }, kSecond);
    halves.RenderVideoFrame(0, frame.data());
    EXPECT_PIXEL(frame, 160, 20, kRed); // top of the picture: the buffer's last rows
    EXPECT_PIXEL(frame, 160, 220, kBlue);
    EXPECT_TRUE(Near({ frame[2], frame[1], frame[0] }, kBlue)); // first bytes: bottom-left pixel
}

TEST_F(RenderEngineTest, MediaStartAndLengthAreFrameExactAtTheGroupRate)
{
    // Seconds 1 and 2 of the colour clip, then its second 3: green, blue, white.
    CGroupRenderer r = Video(
        { { "colours.mp4", 0, 2 * kSecond, kSecond }, { "colours.mp4", 2 * kSecond, 3 * kSecond, 3 * kSecond } },
        3 * kSecond);
    ASSERT_EQ(r.frameCount(), 45);
    EXPECT_EQ(r.frameTime(15), kSecond);
    for (std::int64_t i = 0; i < r.frameCount(); ++i) {
        r.RenderVideoFrame(i, frame.data());
        const Rgb expected = i < 15 ? kGreen : i < 30 ? kBlue : kWhite;
        EXPECT_TRUE(Near(Pixel(frame, 160, 120), expected)) << "frame " << i;
    }
    // Going back seeks.
    r.RenderVideoFrame(3, frame.data());
    EXPECT_PIXEL(frame, 160, 120, kGreen);
}

TEST_F(RenderEngineTest, EveryFrameIsTheOneShownAtItsTime)
{
    // Group frame i at 15 fps shows source frame 2i (+ 15 for a media start
    // of half a second); frames in between are never decoded for display.
    CGroupRenderer r = Video({ { "ramp.mp4", 0, 2 * kSecond, kSecond / 2 } }, 2 * kSecond);
    for (std::int64_t i = 0; i < r.frameCount(); ++i) {
        r.RenderVideoFrame(i, frame.data());
        const int expected = int(std::lround((15 + 2 * int(i)) * 3 * 255.0 / 219.0)); // 3.5 apart
        EXPECT_NEAR(Pixel(frame, 160, 120).g, expected, 1.5) << "frame " << i;
    }
}

TEST_F(RenderEngineTest, LaterTracksCoverEarlierOnesAndGapsAreBlack)
{
    CGroupRenderer r
        = Video({ { "red.mp4", 0, 3 * kSecond, 0 }, { "blue.mp4", kSecond, 2 * kSecond, 0 },
                    { "missing.mp4", 4 * kSecond, 5 * kSecond, 0 }, { "a440.wav", 5 * kSecond, 6 * kSecond, 0 } },
            6 * kSecond);
    // Red, blue above it, red again, a gap, a missing file, a file without pictures.
    const std::pair<int, Rgb> expected[]
        = { { 7, kRed }, { 22, kBlue }, { 37, kRed }, { 52, kBlack }, { 67, kBlack }, { 82, kBlack } };
    for (const auto& [index, colour] : expected) {
        r.RenderVideoFrame(index, frame.data());
        EXPECT_PIXEL(frame, 160, 120, colour);
    }
}

TEST_F(RenderEngineTest, SizeChangesAndCutFilesKeepRendering)
{
    for (const char* file : { "sizes.ts", "cut.ts" }) {
        SCOPED_TRACE(file);
        CGroupRenderer r = Video({ { file, 0, 2 * kSecond, 0 } }, 2 * kSecond);
        r.RenderVideoFrame(7, frame.data());
        EXPECT_PIXEL(frame, 160, 120, kRed);
        EXPECT_PIXEL(frame, 160, 10, kRed); // 4:3: no bars
        for (std::int64_t i = 8; i < r.frameCount(); ++i)
            r.RenderVideoFrame(i, frame.data()); // never crashes or stalls
    }
    CGroupRenderer r = Video({ { "sizes.ts", 0, 2 * kSecond, 0 } }, 2 * kSecond);
    r.RenderVideoFrame(24, frame.data());
    EXPECT_PIXEL(frame, 160, 120, kBlue);
    EXPECT_PIXEL(frame, 160, 10, kBlack); // 8:3 now: letterboxed
}

TEST_F(RenderEngineTest, SoundMixesEveryCoveringSource)
{
    // 440 Hz over 0-2 s, 1000 Hz over 1-3 s, a picture-only file at 3-4 s.
    CGroupRenderer r(1,
        Group(MakePcmAudioType(2, 44100, 16),
            { { "a440.wav", 0, 2 * kSecond, 0 }, { "b1000.wav", kSecond, 3 * kSecond, 0 },
                { "red.mp4", 3 * kSecond, 4 * kSecond, 0 } }),
        4 * kSecond);
    ASSERT_EQ(r.sampleCount(), 4 * 44100);
    std::vector<std::int16_t> pcm(std::size_t(r.sampleCount()) * 2);
    for (std::int64_t first = 0; first < r.sampleCount(); first += 4410)
        r.RenderAudio(first, 4410, pcm.data() + first * 2);
    auto level = [&](int second, double freq) {
        return ToneLevel(pcm.data() + std::size_t(second) * 88200 + 8820, 70000, 2, 44100, freq);
    };
    // Each tone is there (1) or absent (0) in seconds 0, 1 and 2; -1: neither clearly.
    const auto heard = [&](int second, double freq) {
        const double l = level(second, freq);
        return l > 0.08 ? 1 : l < 0.01 ? 0 : -1;
    };
    EXPECT_EQ(
        (std::vector { heard(0, 440), heard(0, 1000), heard(1, 440), heard(1, 1000), heard(2, 440), heard(2, 1000) }),
        (std::vector { 1, 0, 1, 1, 0, 1 }));
    for (std::size_t i = 3 * 88200; i < pcm.size(); ++i)
        ASSERT_EQ(pcm[i], 0) << i;
    // Both channels carry the mono sources.
    EXPECT_EQ(pcm[88200 + 1000], pcm[88200 + 1001]);
}

TEST_F(RenderEngineTest, LoudSourcesSaturateInsteadOfWrapping)
{
    const CMediaType mono = MakePcmAudioType(1, 44100, 16);
    CGroupRenderer one(1, Group(mono, { { "loud.wav", 0, kSecond, 0 } }), kSecond);
    CGroupRenderer two(1, Group(mono, { { "loud.wav", 0, kSecond, 0 }, { "loud.wav", 0, kSecond, 0 } }), kSecond);
    std::vector<std::int16_t> a(44100), b(44100);
    one.RenderAudio(0, 44100, a.data());
    two.RenderAudio(0, 44100, b.data());
    int clipped = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(b[i], std::clamp(2 * a[i], -32768, 32767)) << i;
        clipped += std::abs(2 * a[i]) > 32767;
    }
    EXPECT_GT(clipped, 1000);
}

TEST_F(RenderEngineTest, UnconnectedOutputDecodesNothing)
{
    auto timeline = std::make_shared<CTimeline>();
    timeline->AddGroup(Group(MakeRgbVideoType(320, 240, 24), { { "red.mp4", 0, 2 * kSecond, 0 } }));
    timeline->AddGroup(Group(MakePcmAudioType(1, 8000, 16), { { "a440.wav", 0, 2 * kSecond, 0 } }));
    CRenderEngine engine;
    ASSERT_EQ(engine.SetTimelineObject(timeline), S_OK);
    ASSERT_EQ(engine.ConnectFrontEnd(), S_OK);
    std::shared_ptr<CRenderGraph> graph;
    ASSERT_EQ(engine.GetFilterGraph(&graph), S_OK);
    CBaseOutputPin* videoPin = nullptr;
    CBaseOutputPin* soundPin = nullptr;
    ASSERT_EQ(engine.GetGroupOutputPin(0, &videoPin), S_OK);
    ASSERT_EQ(engine.GetGroupOutputPin(1, &soundPin), S_OK);
    CBaseOutputPin* none = nullptr;
    EXPECT_EQ(engine.GetGroupOutputPin(2, &none), S_FALSE);

    ConnectWavWriter(*graph, soundPin, path("sound.wav"));
    graph->SetSyncSource(nullptr);
    ASSERT_EQ(graph->Run(), S_OK);
    long code = 0;
    ASSERT_EQ(graph->WaitForCompletion(30000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    REFERENCE_TIME position = 0;
    graph->GetCurrentPosition(&position);
    EXPECT_EQ(position, 2 * kSecond);
    graph->Stop();

    EXPECT_EQ(static_cast<CRenderGroupPin*>(videoPin)->renderer().openedSources(), 0);
    EXPECT_EQ(static_cast<CRenderGroupPin*>(soundPin)->renderer().openedSources(), 1);
    EXPECT_EQ(QFileInfo(path("sound.wav")).size(), 44 + 2 * 8000 * 2);
    engine.ScrapIt();
}

TEST_F(RenderEngineTest, WithItsClockTheGraphRunsInRealTimeAndPauses)
{
    auto timeline = std::make_shared<CTimeline>();
    timeline->AddGroup(Group(MakePcmAudioType(1, 8000, 16), { { "a440.wav", 0, 20 * kSecond, 0 } }));
    CRenderEngine engine;
    engine.SetTimelineObject(timeline);
    ASSERT_EQ(engine.ConnectFrontEnd(), S_OK);
    std::shared_ptr<CRenderGraph> graph;
    engine.GetFilterGraph(&graph);
    CBaseOutputPin* pin = nullptr;
    engine.GetGroupOutputPin(0, &pin);
    ConnectWavWriter(*graph, pin, path("clocked.wav"));
    ASSERT_TRUE(graph->HasClock());

    // A sample leaves when its time is due: the position never runs ahead of
    // the wall clock by more than the sample being delivered (0.1 s).
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(graph->Run(), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    REFERENCE_TIME position = 0;
    graph->GetCurrentPosition(&position);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_LE(position, std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() * 10 + kSecond / 10);

    ASSERT_EQ(graph->Pause(), S_OK);
    REFERENCE_TIME paused = 0;
    graph->GetCurrentPosition(&paused);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    graph->GetCurrentPosition(&position);
    EXPECT_LE(position, paused + kSecond / 10);
    long code = 0;
    EXPECT_EQ(graph->WaitForCompletion(0, &code), VFW_E_TIMEOUT);
    ASSERT_EQ(graph->Stop(), S_OK);
    engine.ScrapIt();
}

} // namespace
