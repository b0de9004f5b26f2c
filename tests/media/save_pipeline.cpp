// test-links: cw_export cw_engine cw_project cw_mediainfo cw_media cw_config cw_platform
// The PC save end to end on generated media, its callbacks, and cw-save's
// own part: reading the project, exit codes, Ctrl-C. The save job around the
// pipeline has its tests in save_job.cpp.
#include "export/save_pipeline.h"
#include "config/suite_settings.h"
#include "engine/effect_kernels.h"
#include "engine/work_state.h"
#include "export/ott_encoder.h"
#include "export/save_formats.h"
#include "platform/dialog_service.h"
#include "platform/messages.h"
#include "test_util.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QWidget>
#include <csignal>
#include <gtest/gtest.h>

namespace {

QString textTable(QString section, QString key)
{
    return section + "/" + key;
}

// Generated once for the whole program: a 3 s 640 x 480 H.264 + AAC clip,
// a 2 s 320 x 240 clip without sound, a 10 s MP3 tone.
class SaveMedia : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        media_ = new QTemporaryDir;
        const QString d = media_->path();
        ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "testsrc=size=640x480:rate=25", "-f", "lavfi", "-i",
            "sine=frequency=1000:sample_rate=44100", "-t", "3", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac",
            "-shortest", d + "/clip.mp4" }));
        ASSERT_TRUE(RunFfmpeg(
            { "-f", "lavfi", "-i", "color=c=red:size=320x240:rate=15", "-t", "2", "-c:v", "mpeg4", d + "/red.avi" }));
        ASSERT_TRUE(
            RunFfmpeg({ "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-t", "10", d + "/tone.mp3" }));
    }
    static void TearDownTestSuite()
    {
        delete media_;
        media_ = nullptr;
    }

    void SetUp() override
    {
        // A suite folder with the built encoder libraries, and the bundled model files.
        for (const char* lib : { "libOTTEnc.so", "libOTTAVIEncoder.so" })
            QFile::link(QStringLiteral(CW_SUITE_DIR "/") + lib, suite_.filePath(lib));
        SetSuiteValue("FOLDER", suite_.path());
        SetSuiteValue("INIDIR", QStringLiteral(CW_SUITE_DIR "/ini"));
        CurrentEffectId.store(0);
        env_.suiteFolder = suite_.path();
        env_.frameCache = &cache_;
        env_.results = &results_;
        env_.lookup = ResourceLookup(&textTable, nullptr);
    }

    static QString media(const char* name) { return media_->filePath(name); }

    CMediaFile clip(const char* name, std::int32_t kind, std::uint32_t start, std::uint32_t length)
    {
        CMediaFile c(media(name), 0, 0, 0, kind);
        c.SetTimes(start, length, start + length);
        return c;
    }

    // The video clip on the video track and, as the editor does, on the audio track.
    CProjectLists twoClipProject()
    {
        CProjectLists p;
        p.tracks[kVideoTrack] = { clip("clip.mp4", ClipKind::VideoWithSound, 0, 3000),
            clip("red.avi", ClipKind::VideoWithSound, 0, 2000) };
        p.tracks[kAudioTrack] = { clip("clip.mp4", ClipKind::VideoWithSound, 0, 3000) };
        p.Layout();
        return p;
    }

    static inline QTemporaryDir* media_ = nullptr;
    TempRegistry registry_;
    ScriptedDialogs dialogs_;
    QTemporaryDir suite_;
    QTemporaryDir out_;
    FrameCache cache_;
    SaveResults results_;
    SaveEnvironment env_;
};

QString probe(const QString& file, const QString& entries, const QString& stream = QString())
{
    QStringList args;
    if (!stream.isEmpty())
        args << "-select_streams" << stream;
    args << "-show_entries" << entries << "-of"
         << "default=nw=1:nk=1" << file;
    return RunFfprobe(args);
}

} // namespace

// Containers, brands and lengths of every model's file are checked on
// cw-save's output in phone_file_timing.cpp; here what only the pipeline
// shows: its work units, results and what it leaves in the work folder.
TEST_F(SaveMedia, SavesTwoClipsCountingEveryUnitAndKeepsTheIntermediates)
{
    CMovieSave save(env_);
    save.setModel("tx-07"); // any case
    save.BeginSave();
    ASSERT_TRUE(save.LoadProjectIntoPreview(twoClipProject()));
    EXPECT_EQ(save.DurationMs(), 5000);
    const QString out = out_.filePath("a.3gp");
    EXPECT_EQ(save.Save(out), CMovieSave::Outcome::Saved);
    // The encode's units: every sound chunk once, every sampled frame
    // twice; 10 frames per second of movie (sampling includes both ends).
    const int chunk = AudioChunkSamples(EncoderParamsForModel("tx-07").audioCodec, 1);
    EXPECT_EQ(CMovieWorkState::GetTotal() - CMovieSave::AudioChunkCount(5000, chunk), 2 * 51);
    EXPECT_TRUE(results_.lastSaveSucceeded);
    EXPECT_EQ(results_.lastSavedPath, out);
    EXPECT_NE(save.lastEncoderResult(), 0);
    save.EndSave();

    EXPECT_EQ(probe(out, "stream=codec_name,width,height", "v:0"), "mpeg4\n176\n144");
    // The sampled frames spread over the movie's 5 s, shown at 5 frames per second.
    EXPECT_EQ(probe(out, "stream=nb_frames", "v:0"), "25");
    EXPECT_EQ(probe(out, "stream=codec_name,sample_rate,channels", "a:0"), "amr_nb\n8000\n1");
    // The intermediates stay in the work folder; the scratch files are gone.
    EXPECT_TRUE(QFile::exists(suite_.filePath("Temp/MS_AVI_VIDEO.avi")));
    EXPECT_TRUE(QFile::exists(suite_.filePath("Temp/MS_AVI_AUDIO.wav")));
    EXPECT_EQ(QDir(out_.path()).entryList(QDir::Files), QStringList { "a.3gp" });
    EXPECT_TRUE(cache_.IsEmpty());
    EXPECT_TRUE(dialogs_->records().empty());
}

TEST_F(SaveMedia, SoundIsCutAtTheVideoEndAndScratchFilesGo)
{
    CProjectLists p;
    p.tracks[kVideoTrack] = { clip("red.avi", ClipKind::VideoWithSound, 0, 2000) };
    p.tracks[kAudioTrack] = { clip("tone.mp3", ClipKind::Sound, 0, 10000) };
    p.tracks[kVoiceTrack] = { clip("tone.mp3", ClipKind::Voice, 0, 1000), clip("tone.mp3", ClipKind::Voice, 0, 1000),
        clip("tone.mp3", ClipKind::Voice, 0, 1000) }; // starts 0, 1000, 2000 (= video end)
    p.Layout();
    const QString out = out_.filePath("m.3gp");
    for (const char* leftover : { "m.yuv", "m.pcm", "video.tmp", "audio_info.tmp" }) {
        QFile f(out_.filePath(leftover));
        f.open(QIODevice::WriteOnly);
    }
    CMovieSave save(env_);
    save.setModel("TX-11"); // AAC
    ASSERT_TRUE(save.LoadProjectIntoPreview(p));
    EXPECT_EQ(save.DurationMs(), 2000);
    ASSERT_EQ(save.Save(out), CMovieSave::Outcome::Saved);
    const double soundSeconds = probe(out, "stream=duration", "a:0").toDouble();
    EXPECT_NEAR(soundSeconds, 2.0, 0.3);
    for (const char* leftover : { "m.yuv", "m.pcm", "video.tmp", "audio_info.tmp" })
        EXPECT_FALSE(QFile::exists(out_.filePath(leftover))) << leftover;
    EXPECT_EQ(QDir(out_.path()).entryList(QDir::Files), QStringList { "m.3gp" });
}

TEST_F(SaveMedia, RefusalsBeforeAnythingIsRendered)
{
    struct Receiver : MessageWindow<QWidget> {
        QStringList gone;
        LRESULT onMessage(std::uint32_t m, WPARAM, LPARAM l, bool& handled) override
        {
            handled = m == msg::FileGone;
            if (handled)
                gone << *FromParam<QString>(l);
            return 0;
        }
    } frame;
    env_.mainFrame = &frame;
    CMovieSave save(env_);
    EXPECT_FALSE(save.LoadProjectIntoPreview(CProjectLists {}));
    EXPECT_TRUE(dialogs_->records().empty());

    CProjectLists noVideo;
    noVideo.tracks[kVoiceTrack] = { clip("tone.mp3", ClipKind::Voice, 0, 1000) };
    EXPECT_FALSE(save.LoadProjectIntoPreview(noVideo));
    ASSERT_EQ(dialogs_->records().size(), 1u);
    EXPECT_EQ(dialogs_->records()[0].text, "CW_MESSAGE/NOT_SELCT_VIDEO");
    EXPECT_FALSE(dialogs_->records()[0].selfClosing);

    CProjectLists missing = twoClipProject();
    missing.tracks[kAudioTrack].push_back(clip("gone.mp3", ClipKind::Sound, 0, 1000));
    EXPECT_FALSE(save.LoadProjectIntoPreview(missing));
    ASSERT_EQ(dialogs_->records().size(), 2u);
    EXPECT_EQ(dialogs_->records()[1].text, "CW_MESSAGE/NO_FILE");
    EXPECT_TRUE(dialogs_->records()[1].selfClosing);
    EXPECT_EQ(frame.gone, QStringList { media("gone.mp3") });
}

TEST(SaveCallbacks, FramesChunksAndStatus)
{
    TempRegistry registry; // no "FOLDER": the encoder cannot run
    ScriptedDialogs dialogs;
    FrameCache cache;
    SaveEnvironment env;
    env.frameCache = &cache;
    CMovieSave save(env);
    SavingPane.store(&save);
    save.SetPhoneFrameFormat(176, 144, 160, 5);
    const int bytes = 176 * 144 * 3 / 2;
    // Frames 0 and 2 were sampled; 1 was not.
    for (int n : { 0, 2 }) {
        auto buf = std::make_unique<std::uint8_t[]>(bytes);
        std::fill_n(buf.get(), bytes, std::uint8_t(0x10 + n));
        cache.Add(n, std::move(buf), bytes);
    }
    CMovieWorkState::Reset();
    CMovieWorkState::SetTotal(3);
    ASSERT_EQ(save.EncodeForPhone({}, {}, {}, 176, 144, 0, 3, {}), 1); // encoder missing: still 1
    std::vector<unsigned char> out(bytes, 0xEE);
    int ms = -1;
    EXPECT_EQ(CMovieSave::ProvideVideoFrame(out.data(), 0, &ms), 1);
    EXPECT_EQ(out[0], 0x10);
    EXPECT_EQ(ms, 0);
    std::fill(out.begin(), out.end(), 0xEE);
    EXPECT_EQ(CMovieSave::ProvideVideoFrame(out.data(), 1, &ms), 1);
    EXPECT_EQ(out[bytes - 1], 0xEE); // the skipped frame leaves the buffer alone
    EXPECT_EQ(ms, 200);
    EXPECT_FALSE(cache.IsEmpty());
    EXPECT_EQ(CMovieSave::ProvideVideoFrame(out.data(), 3, &ms), 0); // index = frame count
    EXPECT_TRUE(cache.IsEmpty());

    // 2.9 s of sound: 2 * 8000 / chunk + 1 chunks.
    EXPECT_EQ(CMovieSave::AudioChunkCount(2900, 1024), 16);
    EXPECT_EQ(CMovieSave::AudioChunkCount(2900, 160), 101);

    CMovieSave::OnEncoderStatus(2, 40);
    EXPECT_EQ(CMovieWorkState::GetPhase(), CMovieWorkState::Saving);
    EXPECT_EQ(CMovieWorkState::GetTotal(), 40);
    CMovieSave::OnEncoderStatus(4, 1);
    CMovieSave::OnEncoderStatus(4, 1);
    EXPECT_EQ(CMovieWorkState::GetCurrent(), 2);
    CMovieSave::OnEncoderStatus(0, 0);
    EXPECT_EQ(CMovieWorkState::GetCurrent(), 40);

    CMovieWorkState::SetCancel(1);
    EXPECT_EQ(CMovieSave::ProvideVideoFrame(out.data(), 0, &ms), -1);
    CMovieWorkState::Reset();
    SavingPane.store(nullptr);
}

TEST(SaveCallbacks, FindWavDataSkipsOtherChunks)
{
    QByteArray wav("RIFF\x00\x00\x00\x00WAVEfmt ", 16);
    wav += QByteArray(20, '\x01');
    wav += QByteArray("LIST\x04\x00\x00\x00info", 12);
    wav += QByteArray("data\x06\x00\x00\x00", 8);
    wav += QByteArray("\x01\x02\x03\x04\x05\x06", 6);
    std::uint32_t len = wav.size();
    const auto* base = reinterpret_cast<const std::uint8_t*>(wav.constData());
    const std::uint8_t* data = FindWavData(base, &len);
    EXPECT_EQ(len, 6u);
    EXPECT_EQ(data - base, wav.size() - 6);

    QByteArray noData("RIFF....WAVEfmt nothing here");
    len = noData.size();
    base = reinterpret_cast<const std::uint8_t*>(noData.constData());
    EXPECT_EQ(FindWavData(base, &len), base);
    EXPECT_EQ(len, 0u);
}

// The command line tool: reading the project, what it says and its exit
// status. The job's own checks are in save_job.cpp.
class CwSave : public SaveMedia {
protected:
    QString writeProject(const QByteArray& project)
    {
        const QString json = out_.filePath("project.json");
        QFile f(json);
        f.open(QIODevice::WriteOnly);
        f.write(project);
        return json;
    }
    static QByteArray clipJson(const char* name, const QByteArray& extra = {})
    {
        return "{\"path\": \"" + media(name).toUtf8() + "\"" + extra + "}";
    }
    static inline const QString kProgram = QStringLiteral(CW_BUILD_DIR "/bin/cw-save");
};

TEST_F(CwSave, SaysWhatHappenedWithItsExitStatus)
{
    QTemporaryDir empty;
    const QByteArray tx07 = "{\"model\": \"TX-07\", \"effect\": 2, ";
    struct Case {
        QByteArray project;
        QStringList args;
        int code;
        const char* says;
    };
    const Case cases[] = {
        { tx07 + "\"video\": [" + clipJson("clip.mp4") + "], \"audio\": [" + clipJson("tone.mp3", ", \"length\": 2000")
                + "]}",
            {}, 0, "(movie 3.0 s)" },
        { "not json", {}, 2, "not a JSON object" },
        { "{\"video\": [{\"start\": 0}]}", { "--model", "TX-07" }, 2, "needs a \"path\"" },
        { tx07 + "\"video\": [" + clipJson("clip.mp4", ", \"start\": -1") + "]}", {}, 2, "must be a number" },
        { tx07 + "\"video\": [" + clipJson("clip.mp4") + "]}", { "--folder", empty.path() }, 2, "no encoder library" },
        { tx07 + "\"video\": [{\"path\": \"/no/such.mp4\"}]}", {}, 2, "" },
        { tx07 + "\"audio\": [" + clipJson("tone.mp3") + "]}", {}, 2, "no video clip" },
        { tx07 + "\"video\": [" + clipJson("red.avi", ", \"start\": 1000, \"length\": 5000") + "]}", {}, 2,
            "shorter than its trim" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        QStringList args { writeProject(c.project), "-o", out_.filePath("a.3gp") };
        args += c.args;
        if (!args.contains("--folder"))
            args << "--folder" << suite_.path();
        const ToolRun r = RunTool(kProgram, args);
        EXPECT_EQ(r.exitCode, c.code) << r.err.constData();
        EXPECT_TRUE((r.out + r.err).contains(c.says)) << r.out.constData() << r.err.constData();
        const QStringList left = QDir(out_.path()).entryList({ "*.3gp" }, QDir::Files);
        EXPECT_EQ(left, c.code == 0 ? QStringList { "a.3gp" } : QStringList {});
        QFile::remove(out_.filePath("a.3gp"));
    }
    EXPECT_TRUE(QDir(suite_.filePath("Temp")).entryList(QDir::Files).isEmpty());
}

TEST_F(CwSave, InterruptCancelsAndLeavesNoFiles)
{
    // Ten copies of the clip, interrupted once rendering has begun.
    QByteArray clips;
    for (int i = 0; i < 10; ++i)
        clips += (i ? "," : "") + clipJson("clip.mp4");
    const QString out = out_.filePath("long.3gp");
    QProcess p;
    p.start(kProgram,
        { writeProject("{\"model\": \"TX-07\", \"video\": [" + clips + "]}"), "-o", out, "--folder", suite_.path() });
    ASSERT_TRUE(p.waitForStarted());
    ASSERT_TRUE(WaitFor(
        [&] { return QFile::exists(suite_.filePath("Temp/MS_AVI_VIDEO.avi")) || p.state() != QProcess::Running; },
        30000));
    ::kill(p.processId(), SIGINT);
    p.waitForFinished(120000);
    EXPECT_EQ(p.exitCode(), 1) << p.readAllStandardError().constData();
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_TRUE(QDir(suite_.filePath("Temp")).entryList(QDir::Files).isEmpty());
}
