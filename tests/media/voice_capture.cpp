// Voice capture failures and the system mixer: no sound server, a source
// removed while it records, a missing folder and a full disk; the master
// volume through ALSA's PulseAudio device.
// test-links: cw_engine

#include "engine/voice_capture_graph.h"
#include "platform/system_volume.h"

#include "capture_media.h"
#include "test_util.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace capture_media;

namespace {
// Runs one of the child cases below in a process of its own: a process
// keeps the sound server it first talked to.
ToolRun RunChild(const QString& test, const QStringList& env)
{
    return RunTool(QCoreApplication::applicationFilePath(),
        { "--gtest_also_run_disabled_tests", "--gtest_filter=VoiceCaptureChild.DISABLED_" + test }, env, 90000);
}

bool Passed(const ToolRun& run)
{
    return run.exitCode == 0 && run.out.contains("[  PASSED  ] 1 test");
}
} // namespace

TEST(VoiceCaptureChild, DISABLED_NoServer)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("voice.wav");
    CVoiceCaptureGraph graph;
    EXPECT_EQ(graph.StartCapture(path), E_NOINTERFACE);
    EXPECT_EQ(graph.DeviceNames(), QStringList { CVoiceCaptureGraph::kNoEntries });
    EXPECT_EQ(graph.Graph(), nullptr);
    EXPECT_FALSE(QFile::exists(path));
    // A second try fails the same way.
    EXPECT_EQ(graph.StartCapture(path), E_NOINTERFACE);
}

TEST(VoiceCaptureChild, DISABLED_SourceRemoved)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("voice.wav");
    MessageCounter notify(msg::WM_CAPTURENOTIFY);
    CVoiceCaptureGraph graph(&notify);
    ASSERT_EQ(graph.StartCapture(path), S_OK);
    EXPECT_TRUE(graph.DeviceNames().value(0).contains("Sine")) << graph.DeviceNames().join(", ").toStdString();
    ASSERT_TRUE(WaitFor([&] { return graph.FirstSampleMs() != 0; }, 15000));
    WaitFor([] { return false; }, 700);
    EXPECT_EQ(notify.count, 0);

    QProcess pactl;
    pactl.start("pactl", { "-s", qEnvironmentVariable("PULSE_SERVER"), "unload-module", "module-remap-source" });
    ASSERT_TRUE(pactl.waitForFinished(10000));
    ASSERT_TRUE(WaitFor([&] { return notify.count > 0; }, 10000));
    EXPECT_EQ(graph.StopCapture(), S_OK);
    EXPECT_EQ(notify.count, 1);

    const Wav wav = ReadWav(path);
    EXPECT_TRUE(wav.exact);
    EXPECT_EQ(wav.bits, 16);
    EXPECT_GT(wav.seconds(), 0.4);
}

TEST(VoiceCaptureChild, DISABLED_WriteFails)
{
    QTemporaryDir dir;
    MessageCounter notify(msg::WM_CAPTURENOTIFY);
    CVoiceCaptureGraph graph(&notify);
    // A folder that is not there: the start fails and writes nothing.
    EXPECT_EQ(graph.StartCapture(dir.filePath("gone/voice.wav")), E_FAIL);
    EXPECT_EQ(graph.Graph(), nullptr);

    // Files of this process may not grow past 200 kB: a full disk.
    constexpr rlim_t kLimit = 200000;
    const rlimit limit { kLimit, kLimit };
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    signal(SIGXFSZ, SIG_IGN);
    const QString path = dir.filePath("voice.wav");
    ASSERT_EQ(graph.StartCapture(path), S_OK);
    ASSERT_TRUE(WaitFor([&] { return notify.count > 0; }, 20000));
    EXPECT_EQ(graph.StopCapture(), S_OK);
    const Wav wav = ReadWav(path);
    EXPECT_TRUE(wav.valid);
    EXPECT_GT(wav.samples.size(), 0u);
    EXPECT_LE(wav.samples.size() * 2 + 44, kLimit);
}

TEST(VoiceCaptureFailures, NoServerAndRemovedSource)
{
    PrivateSoundServer server;
    ASSERT_TRUE(server.ready());
    const std::pair<const char*, QString> runs[] = { { "NoServer", "PULSE_SERVER=unix:/nonexistent/cw-no-server" },
        { "SourceRemoved", "PULSE_SERVER=" + server.address() }, { "WriteFails", "" } };
    for (const auto& [name, env] : runs) {
        const ToolRun run = RunChild(name, env.isEmpty() ? QStringList {} : QStringList { env });
        EXPECT_TRUE(Passed(run)) << name << run.out.constData() << run.err.constData();
    }
}

TEST(SystemMixer, MasterVolumeInStepsAndNoCard)
{
    CSystemVolumeCtrl none;
    EXPECT_EQ(none.OpenMixer("hw:97"), 0);
    EXPECT_EQ(none.GetMasterVolumeMax(), 0);
    EXPECT_EQ(none.GetMasterVolume(), 0);
    EXPECT_FALSE(none.Refresh());
    CCaptureSourceCtrl noSource;
    EXPECT_FALSE(noSource.Open("hw:97"));
    EXPECT_FALSE(noSource.SelectMic());
    EXPECT_TRUE(noSource.Values().isEmpty());

    PrivateSoundServer server;
    ASSERT_TRUE(server.ready());
    const QByteArray previous = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", server.address().toUtf8());
    ASSERT_EQ(server.pactl({ "set-sink-volume", "t_null", "40%" }), 0);
    CSystemVolumeCtrl mixer;
    ASSERT_EQ(mixer.OpenMixer("pulse"), 1);
    const long max = mixer.GetMasterVolumeMax();
    EXPECT_EQ(max, CSystemVolumeCtrl::kMaxSteps); // the raw range is wider
    EXPECT_NEAR(double(mixer.GetMasterVolume()), 0.40 * double(max), 0.01 * double(max));
    ASSERT_EQ(server.pactl({ "set-sink-volume", "t_null", "75%" }), 0);
    ASSERT_TRUE(mixer.Refresh());
    EXPECT_NEAR(double(mixer.GetMasterVolume()), 0.75 * double(max), 0.01 * double(max));
    ASSERT_EQ(server.pactl({ "set-sink-volume", "t_null", "0%" }), 0);
    ASSERT_TRUE(mixer.Refresh());
    EXPECT_EQ(mixer.GetMasterVolume(), 0);
    qputenv("PULSE_SERVER", previous);
}
