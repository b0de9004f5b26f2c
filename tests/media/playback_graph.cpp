// Playback graph: real files and timelines played through CGraphBasic, with
// sound through the PulseAudio server of the test script when there is one,
// and once more in a child run with no sound server at all.
// test-links: cw_panes

#include "engine/playback_graph.h"
#include "engine/effect_kernels.h"
#include "engine/render_engine.h"
#include "engine/video_renderer.h"
#include "panes/movie_view/video_surface.h"
#include "platform/audio_output.h"
#include "platform/messages.h"
#include "platform/running_objects.h"
#include "project/movie_timeline.h"

#include "media_files.h"
#include "test_util.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>
#include <tuple>
#include <vector>

namespace {
constexpr REFERENCE_TIME kSecond = 10000000;

bool ChildWithoutSound()
{
    return qEnvironmentVariableIsSet("CW_PLAYBACK_NO_SOUND");
}

// Sound is expected to reach a device when the test script's server is up.
bool SoundServerExpected()
{
    const QString server = qEnvironmentVariable("PULSE_SERVER");
    if (ChildWithoutSound() || !server.startsWith("unix:"))
        return false;
    return QFileInfo::exists(server.mid(5));
}

std::vector<long> DrainEvents(CGraphBasic& graph)
{
    std::vector<long> codes;
    long code = 0, p1 = 0, p2 = 0;
    while (SUCCEEDED(graph.GetEvent(&code, &p1, &p2, 0)))
        codes.push_back(code);
    return codes;
}

// Names of the process's threads, sorted.
QStringList ThreadNames()
{
    QStringList names;
    for (const QString& task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QString("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly))
            names << QString::fromUtf8(comm.readAll()).trimmed();
    }
    names.sort();
    return names;
}
} // namespace

class PlaybackGraph : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(movie.isEmpty()); }

    QTemporaryDir dir;
    const QString movie = ColourMovie(); // 3 s red, green, blue with a tone
    CGraphBasic graph;
};

TEST_F(PlaybackGraph, FileFactsStatesAndPositionLimits)
{
    EXPECT_EQ(graph.GraphState(), CGraphBasic::Closed);
    ASSERT_EQ(graph.OpenFile(movie), S_OK);
    EXPECT_EQ(graph.FilePath(), movie);
    EXPECT_NEAR(double(graph.GetDuration()), 3.0 * kSecond, 0.1 * kSecond);
    EXPECT_NEAR(graph.AvgTimePerFrame(), 1.0 / 15, 1e-3);
    // Size, kind and the media detector facts.
    EXPECT_EQ(
        std::tuple(graph.VideoWidth(), graph.VideoHeight(), graph.IsAudioOnly(), graph.IsVideoOnly(), graph.FrameRate(),
            graph.StreamLength(), graph.AudioLength(), graph.AudioSampleRate(), graph.AudioBitRate()),
        std::tuple(64, 48, false, false, 15, 3, 3, 44, 1411));
    // A renderer for each stream, no effect filter.
    FilterPtr filter;
    EXPECT_EQ(graph.FilterGraph()->FindFilterByName("Audio Renderer", &filter), S_OK);
    EXPECT_NE(graph.FilterGraph()->FindFilterByName("Dynamic Filter", &filter), S_OK);

    // A second open is refused and leaves the first graph alone.
    EXPECT_EQ(graph.OpenFile(movie), E_FAIL);
    EXPECT_EQ(graph.GraphState(), CGraphBasic::Open);

    // Position limits: the duration itself is accepted, one unit beyond is not.
    const REFERENCE_TIME duration = graph.GetDuration();
    EXPECT_EQ(graph.SetCurrentPosition(duration), S_OK);
    REFERENCE_TIME position = -1;
    EXPECT_EQ(graph.GetCurrentPosition(&position), S_OK);
    EXPECT_EQ(position, duration);
    EXPECT_EQ(graph.SetCurrentPosition(duration + 1), E_FAIL);
    EXPECT_EQ(graph.SetCurrentPosition(-1), E_FAIL);
    EXPECT_EQ(graph.GetCurrentPosition(&position), S_OK);
    EXPECT_EQ(position, duration);

    // Transitions: Stop is accepted in state 1 and rewinds.
    EXPECT_EQ(graph.Stop(), S_OK);
    EXPECT_EQ(graph.GraphState(), CGraphBasic::Stopped);
    EXPECT_EQ(graph.GetCurrentPosition(&position), S_OK);
    EXPECT_EQ(position, 0);
    EXPECT_EQ(graph.Play(), S_OK);
    EXPECT_EQ(graph.GraphState(), CGraphBasic::Running);
    FILTER_STATE fs = State_Stopped;
    EXPECT_EQ(graph.GetState(10000, &fs), S_OK);
    EXPECT_EQ(fs, State_Running);
    // A new sound stream may take a moment before it starts to play.
    ASSERT_TRUE(WaitFor([&] { return graph.GetCurrentPosition(&position) == S_OK && position > 0; }, 5000));
    EXPECT_EQ(graph.Pause(), S_OK);
    EXPECT_EQ(graph.GraphState(), CGraphBasic::Paused);
    EXPECT_EQ(graph.GetState(10000, &fs), S_OK);
    EXPECT_EQ(fs, State_Paused);
    // The position holds still while paused.
    REFERENCE_TIME paused = 0, later = 0;
    graph.GetCurrentPosition(&paused);
    QTest::qWait(150);
    graph.GetCurrentPosition(&later);
    EXPECT_EQ(paused, later);
    EXPECT_GT(paused, 0);
    EXPECT_LT(paused, duration);

    EXPECT_EQ(graph.CloseGraph(), S_OK);
    EXPECT_EQ(graph.GraphState(), CGraphBasic::Closed);
    EXPECT_TRUE(graph.FilePath().isEmpty());
    EXPECT_EQ(graph.FilterGraph(), nullptr);
    // Everything is refused once closed.
    EXPECT_EQ((std::vector<HRESULT> { graph.Play(), graph.Pause(), graph.Stop(), graph.SetCurrentPosition(0),
                  graph.GetCurrentPosition(&position), graph.CloseGraph() }),
        std::vector<HRESULT>(6, E_FAIL));
}

TEST_F(PlaybackGraph, PlaysToTheEndAtRealTimeAndNotifiesOnce)
{
    MessageCounter notices { msg::WM_GRAPHNOTIFY };
    ASSERT_EQ(graph.OpenFile(movie), S_OK);
    ASSERT_EQ(graph.SetNotifyWindow(&notices, msg::WM_GRAPHNOTIFY), S_OK);
    const std::int64_t shownAtOpen = graph.FramesPresented();
    EXPECT_EQ(CentreColour(graph.VideoSlot()->Current()), 0) << "the first frame is shown when opened";

    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(graph.Play(), S_OK);
    if (SoundServerExpected()) {
        ASSERT_NE(graph.AudioOutput(), nullptr) << "the sound server of the test script takes the sound";
        EXPECT_TRUE(graph.SoundClockActive());
    }
    if (ChildWithoutSound()) {
        EXPECT_EQ(graph.AudioOutput(), nullptr);
        EXPECT_FALSE(graph.SoundClockActive());
    }
    // Halfway through the second second the green pictures are up.
    ASSERT_TRUE(WaitFor([&] { return graph.VideoSlot()->CurrentTime() >= kSecond * 3 / 2; }, 10000));
    EXPECT_EQ(CentreColour(graph.VideoSlot()->Current()), 1);
    REFERENCE_TIME position = 0;
    graph.GetCurrentPosition(&position);
    EXPECT_GE(position, kSecond * 3 / 2 - kSecond / 10) << "pictures follow the clock";

    ASSERT_TRUE(WaitFor([&] { return notices.count > 0; }, 15000));
    const qint64 elapsed = timer.elapsed();
    // Pictures are shown at their times, so the end cannot come early.
    EXPECT_GE(elapsed, 2700);
    EXPECT_EQ(DrainEvents(graph), std::vector<long> { EC_COMPLETE });
    // Every frame was shown or, when late, skipped (45 frames over 3 s).
    EXPECT_GE(graph.FramesPresented() - shownAtOpen + graph.FramesSkipped(), 44);
    EXPECT_LE(graph.FramesSkipped(), 10);
    EXPECT_EQ(CentreColour(graph.VideoSlot()->Current()), 2);
    graph.GetCurrentPosition(&position);
    EXPECT_EQ(position, graph.GetDuration());

    // Only one completion.
    QTest::qWait(300);
    EXPECT_EQ(notices.count, 1);
    EXPECT_TRUE(DrainEvents(graph).empty());
    EXPECT_EQ(graph.Stop(), S_OK);
    graph.GetCurrentPosition(&position);
    EXPECT_EQ(position, 0);
    EXPECT_EQ(CentreColour(graph.VideoSlot()->Current()), 0);
}

// Seeking shows the frame there, paused or running; playing on from a seek
// reaches the end even once the file is deleted and the surface destroyed.
TEST_F(PlaybackGraph, SeekingShowsTheFrameThereAndPlaysOnWithoutFileOrSurface)
{
    const QString doomed = dir.filePath("doomed.avi");
    ASSERT_TRUE(QFile::copy(movie, doomed));
    ASSERT_EQ(graph.OpenFile(doomed), S_OK);
    auto slot = graph.VideoSlot();
    auto surface = std::make_unique<CVideoSurface>();
    surface->Attach(slot);
    ASSERT_EQ(graph.Pause(), S_OK);
    const std::pair<REFERENCE_TIME, int> seeks[]
        = { { kSecond * 3 / 2, 1 }, { kSecond * 5 / 2, 2 }, { kSecond / 2, 0 } };
    for (const auto& [at, colour] : seeks) {
        ASSERT_EQ(graph.SetCurrentPosition(at), S_OK);
        EXPECT_EQ(CentreColour(slot->Current()), colour) << at;
    }
    REFERENCE_TIME position = 0;
    graph.GetCurrentPosition(&position);
    EXPECT_EQ(position, kSecond / 2);

    ASSERT_EQ(graph.Play(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return graph.FramesPresented() > 2; }, 10000));
    ASSERT_TRUE(QFile::remove(doomed));
    surface.reset(); // pictures flow on, to nobody
    ASSERT_EQ(graph.SetCurrentPosition(kSecond * 2 + kSecond / 5), S_OK);
    EXPECT_EQ(graph.GraphState(), CGraphBasic::Running);
    ASSERT_TRUE(WaitFor([&] { return slot->CurrentTime() >= kSecond * 2 + kSecond / 5; }, 5000));
    EXPECT_EQ(CentreColour(slot->Current()), 2);
    long code = 0, p1 = 0, p2 = 0;
    EXPECT_EQ(graph.GetEvent(&code, &p1, &p2, 5000), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(graph.CloseGraph(), S_OK);
}

TEST_F(PlaybackGraph, AudioOnlyFileAndVolume)
{
    const QString wav = ToneWav();
    ASSERT_FALSE(wav.isEmpty());
    ASSERT_EQ(graph.OpenFile(wav), S_OK);
    EXPECT_EQ(graph.VideoSlot(), nullptr);
    EXPECT_EQ(std::tuple(graph.VideoWidth(), graph.VideoHeight(), graph.IsAudioOnly(), graph.IsVideoOnly(),
                  graph.StreamLength(), graph.AudioLength(), graph.AudioSampleRate(), graph.AudioBitRate()),
        std::tuple(0, 0, true, false, 0, 1, 22, 352));

    // Volume in hundredths of a decibel, applied to the output as a gain.
    long volume = 1;
    EXPECT_EQ(graph.GetVolume(&volume), S_OK);
    EXPECT_EQ(volume, 0);
    EXPECT_EQ((std::vector<HRESULT> {
                  graph.PutVolume(1), graph.PutVolume(-10001), graph.PutVolume(-2000), graph.GetVolume(&volume) }),
        (std::vector<HRESULT> { E_INVALIDARG, E_INVALIDARG, S_OK, S_OK }));
    EXPECT_EQ(volume, -2000);
    if (CAudioOutput* out = graph.AudioOutput()) {
        EXPECT_NEAR(out->Volume(), 0.1, 1e-6);
    }
    EXPECT_DOUBLE_EQ(VolumeToGain(0), 1.0);
    EXPECT_DOUBLE_EQ(VolumeToGain(-10000), 0.0);
    EXPECT_NEAR(VolumeToGain(-600), 0.501, 1e-3);

    // It plays to the end on the sound clock (or the monotonic one).
    ASSERT_EQ(graph.Play(), S_OK);
    if (SoundServerExpected()) {
        EXPECT_TRUE(graph.SoundClockActive());
    }
    long code = 0, p1 = 0, p2 = 0;
    EXPECT_EQ(graph.GetEvent(&code, &p1, &p2, 10000), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(graph.CloseGraph(), S_OK);
    // A file graph never has a video window, so the volume needs a sound stream.
    const QString silent = ColourMovie(false);
    ASSERT_EQ(graph.OpenFile(silent), S_OK);
    EXPECT_FALSE(graph.IsAudioOnly());
    EXPECT_TRUE(graph.IsVideoOnly());
    EXPECT_EQ(graph.PutVolume(-100), E_NOINTERFACE);
    EXPECT_EQ(graph.AudioOutput(), nullptr);
}

TEST_F(PlaybackGraph, TimelineThroughTheEffectFilter)
{
    CMovieTimeline composer;
    ASSERT_EQ(composer.ResetMovieTimeline(), S_OK);
    const CMediaFile clip(movie, 2000, 64, 48, 1);
    ASSERT_EQ(composer.AddClip(clip, 1), S_OK);
    ASSERT_EQ(composer.AddClip(clip, 2), S_OK);

    CurrentEffectId.store(kEffectNegative);
    MessageCounter notices { msg::WM_GRAPHNOTIFY };
    ASSERT_EQ(graph.OpenTimeline(composer.GetTimeline()), S_OK);
    graph.SetNotifyWindow(&notices, msg::WM_GRAPHNOTIFY);
    EXPECT_EQ(std::tuple(graph.GraphState(), graph.GetDuration(), graph.VideoWidth(), graph.VideoHeight(),
                  graph.IsAudioOnly()),
        std::tuple(CGraphBasic::Open, 2 * kSecond, CMovieTimeline::kFrameWidth, CMovieTimeline::kFrameHeight, false));
    FilterPtr filter;
    EXPECT_EQ(graph.FilterGraph()->FindFilterByName("Dynamic Filter", &filter), S_OK);
    EXPECT_EQ(graph.FilterGraph()->FindFilterByName("Video renderer", &filter), S_OK);

    // The running-object entry carries the graph's name.
    ASSERT_NE(CGraphBasic::RotRegistration(), 0u);
    const QString name = RunningObjectName(graph.FilterGraph());
    EXPECT_TRUE(RunningObjectNames().contains(name));
    EXPECT_TRUE(QRegularExpression("^FilterGraph [0-9a-f]{8} pid [0-9a-f]{8}$").match(name).hasMatch())
        << name.toStdString();
    EXPECT_TRUE(name.endsWith(QString::asprintf("%08x", unsigned(QCoreApplication::applicationPid()))));

    // A second timeline is refused without touching the open graph.
    CFilterGraph* open = graph.FilterGraph();
    EXPECT_EQ(graph.OpenTimeline(composer.GetTimeline()), E_FAIL);
    EXPECT_EQ(graph.FilterGraph(), open);

    // The picture went through the effect: red became cyan.
    auto slot = graph.VideoSlot();
    QImage first = slot->Current();
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first.size(), QSize(320, 240));
    const QColor c = first.pixelColor(160, 120);
    EXPECT_TRUE(c.red() < 80 && c.green() > 180 && c.blue() > 180) << c.name().toStdString();
    CurrentEffectId.store(kEffectNone);
    ASSERT_EQ(graph.Pause(), S_OK);
    ASSERT_EQ(graph.SetCurrentPosition(kSecond * 3 / 2), S_OK);
    EXPECT_EQ(CentreColour(slot->Current()), 1);

    ASSERT_EQ(graph.Play(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return notices.count > 0; }, 10000));
    EXPECT_EQ(DrainEvents(graph), std::vector<long> { EC_COMPLETE });

    EXPECT_EQ(graph.CloseGraph(), S_OK);
    EXPECT_EQ(CGraphBasic::RotRegistration(), 0u);
    EXPECT_FALSE(RunningObjectNames().contains(name));
    std::uint32_t registration = 0;
    EXPECT_EQ(AddGraphToRot(nullptr, &registration), E_POINTER);
    EXPECT_EQ(RemoveGraphFromRot(12345678u), E_INVALIDARG);
    EXPECT_EQ(graph.FilterGraph(), nullptr);
    // A file graph opened afterwards has no effect filter, and closes fine.
    ASSERT_EQ(graph.OpenFile(movie), S_OK);
    EXPECT_EQ(CGraphBasic::RotRegistration(), 0u);
    EXPECT_EQ(graph.CloseGraph(), S_OK);
}

TEST_F(PlaybackGraph, BadInputFailsWithoutAGraph)
{
    QByteArray bytes(64 * 1024, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 7919 + 13) & 0xFF);
    ASSERT_TRUE(WriteFile(dir.filePath("junk.avi"), bytes));
    for (const QString& bad : { dir.filePath("missing.avi"), dir.path(), dir.filePath("junk.avi") }) {
        EXPECT_EQ(graph.OpenFile(bad), E_FAIL) << bad.toStdString();
        EXPECT_EQ(graph.GraphState(), CGraphBasic::Closed);
    }

    // A truncated movie: the first part of a real one.
    const QByteArray whole = ReadFile(movie);
    const QString cut = dir.filePath("cut.avi");
    ASSERT_TRUE(WriteFile(cut, whole.left(whole.size() / 3)));
    if (SUCCEEDED(graph.OpenFile(cut))) {
        // What can be read plays and ends.
        ASSERT_EQ(graph.SetCurrentPosition(std::max<REFERENCE_TIME>(0, graph.GetDuration() - kSecond / 2)), S_OK);
        ASSERT_EQ(graph.Play(), S_OK);
        long code = 0, p1 = 0, p2 = 0;
        EXPECT_EQ(graph.GetEvent(&code, &p1, &p2, 10000), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);
        EXPECT_EQ(graph.CloseGraph(), S_OK);
    }
    EXPECT_EQ(graph.OpenTimeline(nullptr), E_POINTER);
    EXPECT_EQ(graph.GraphState(), CGraphBasic::Closed);
    // An empty timeline has nothing to render.
    EXPECT_TRUE(FAILED(graph.OpenTimeline(std::make_shared<CTimeline>())));
    EXPECT_EQ(graph.GraphState(), CGraphBasic::Closed);
}

// The graph may be opened and closed off the UI thread: built on a worker,
// then played by the thread it is handed to; closed (or destroyed) on
// another thread, which joins the streaming threads there. No thread of the
// graph's outlives the close.
TEST_F(PlaybackGraph, OpenedOnAWorkerAndNoThreadOutlivesTheClose)
{
    {
        // The sound system keeps threads of its own once used.
        CGraphBasic warm;
        ASSERT_EQ(warm.OpenFile(movie), S_OK);
        warm.Play();
        QTest::qWait(100);
    }
    QTest::qWait(50);
    const QStringList before = ThreadNames();
    const auto expectAllGone = [&] {
        // Ours are joined before the close returns...
        for (const char* name : { "playback video", "playback sound", "playback clock" })
            EXPECT_FALSE(ThreadNames().contains(name)) << name;
        // ...the system thread under the sound's QThread may take a moment
        // longer to leave the process, and nothing else stays behind (threads
        // that existed before may have ended meanwhile).
        EXPECT_TRUE(WaitFor([] { return !ThreadNames().contains("audio output"); }, 2000));
        const auto noNewThreads = [&] {
            const QStringList now = ThreadNames();
            return std::all_of(
                now.begin(), now.end(), [&](const QString& n) { return now.count(n) <= before.count(n); });
        };
        EXPECT_TRUE(WaitFor(noNewThreads, 10000)) << ThreadNames().join(",").toStdString();
    };

    auto graph = std::make_unique<CGraphBasic>();
    HRESULT hr = E_UNEXPECTED;
    std::thread([&] { hr = graph->OpenFile(movie); }).join();
    ASSERT_EQ(hr, S_OK);
    ASSERT_NE(graph->VideoSlot(), nullptr);
    MessageCounter notices { msg::WM_GRAPHNOTIFY };
    ASSERT_EQ(graph->SetNotifyWindow(&notices, msg::WM_GRAPHNOTIFY), S_OK);
    ASSERT_EQ(graph->Play(), S_OK);
    ASSERT_EQ(graph->SetCurrentPosition(kSecond * 5 / 2), S_OK);
    ASSERT_TRUE(WaitFor([&] { return notices.count > 0; }, 10000));
    EXPECT_EQ(CentreColour(graph->VideoSlot()->Current()), 2);
    ASSERT_EQ(graph->Stop(), S_OK);
    ASSERT_EQ(graph->Play(), S_OK);
    QTest::qWait(200);
    const QStringList running = ThreadNames();
    EXPECT_TRUE(running.contains("playback video")) << running.join(",").toStdString();
    EXPECT_TRUE(running.contains("playback sound") || !graph->AudioOutput());
    std::thread([&] { hr = graph->CloseGraph(); }).join();
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(graph->GraphState(), CGraphBasic::Closed);
    expectAllGone();

    CMovieTimeline composer;
    ASSERT_EQ(composer.ResetMovieTimeline(), S_OK);
    ASSERT_EQ(composer.AddClip(CMediaFile(movie, 2000, 64, 48, 1), 1), S_OK);
    std::thread([&] { hr = graph->OpenTimeline(composer.GetTimeline()); }).join();
    ASSERT_EQ(hr, S_OK);
    EXPECT_NE(CGraphBasic::RotRegistration(), 0u);
    ASSERT_EQ(graph->Play(), S_OK);
    QTest::qWait(100);
    std::thread([&] { graph.reset(); }).join();
    EXPECT_EQ(CGraphBasic::RotRegistration(), 0u);
    expectAllGone();
}

TEST(PlaybackWithoutSound, ChildRunWithNoSoundServer)
{
    if (ChildWithoutSound())
        GTEST_SKIP() << "already the child run";
    const ToolRun child = RunTool(QCoreApplication::applicationFilePath(),
        { "--gtest_filter=PlaybackGraph.PlaysToTheEnd*:PlaybackGraph.AudioOnly*:PlaybackGraph.Timeline*" },
        { "PULSE_SERVER=unix:/nonexistent/cw-no-sound/native", "CW_PLAYBACK_NO_SOUND=1" }, 60000);
    EXPECT_EQ(child.exitCode, 0) << child.out.constData() << child.err.constData();
}
