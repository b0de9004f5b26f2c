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
#include "media_files.h"
#include "platform/dialog_service.h"
#include "save_fixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <tuple>
#include <utility>

namespace {

class SaveMedia : public SaveFixture {
protected:
    void SetUp() override
    {
        SaveFixture::SetUp();
        CurrentEffectId.store(0);
    }

    CMediaFile clip(const char* name, std::int32_t kind, std::uint32_t start, std::uint32_t length)
    {
        return SaveFixture::clip(media(name), kind, start, length);
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
};

} // namespace

// Containers, brands and lengths of every model's file are checked on
// cw-save's output in phone_file_timing.cpp; here what only the pipeline
// shows: its work units, results and what it leaves in the work folder.
// The save loads and renders the timelines it is given (the editor's view's)
// and suspends the view around the frame sampling only.
TEST_F(SaveMedia, SavesTwoClipsCountingEveryUnitAndKeepsTheIntermediates)
{
    CMovieTimeline movie;
    CMovieTimeline sound;
    std::vector<std::string> calls;
    env_.movieTimeline = &movie;
    env_.soundTimeline = &sound;
    env_.suspendView = [&calls](bool on) { calls.push_back(on ? "suspend" : "resume"); };
    env_.stopView = [&calls] { calls.push_back("stop"); };
    CMovieSave save(env_);
    save.setStepObserver([&calls](SaveStep step) { calls.push_back("step " + std::to_string(int(step))); });
    save.setModel("tx-07"); // any case
    save.BeginSave();
    ASSERT_TRUE(save.LoadProjectIntoPreview(twoClipProject()));
    EXPECT_EQ(save.DurationMs(), 5000);
    ASSERT_TRUE(movie.GetTimeline());
    EXPECT_EQ(movie.GetTimeline()->duration(), 50000000);
    const QString out = out_.filePath("a.3gp");
    EXPECT_EQ(save.Save(out), CMovieSave::Outcome::Saved);
    EXPECT_EQ(calls, (std::vector<std::string> { "step 0", "step 1", "step 2", "suspend", "resume", "step 3" }));
    // The encode's units: every sound chunk once, every sampled frame
    // twice; 10 frames per second of movie (sampling includes both ends).
    const int chunk = AudioChunkSamples(EncoderParamsForModel("tx-07").audioCodec, 1);
    EXPECT_EQ(CMovieWorkState::GetTotal() - CMovieSave::AudioChunkCount(5000, chunk), 2 * 51);
    EXPECT_TRUE(results_.lastSaveSucceeded);
    EXPECT_EQ(results_.lastSavedPath, out);
    EXPECT_NE(save.lastEncoderResult(), 0);
    save.EndSave();

    EXPECT_EQ(Probe(out, "stream=codec_name,width,height", "v:0"), "mpeg4\n176\n144");
    // The sampled frames spread over the movie's 5 s, shown at 5 frames per second.
    EXPECT_EQ(Probe(out, "stream=nb_frames", "v:0"), "25");
    EXPECT_EQ(Probe(out, "stream=codec_name,sample_rate,channels", "a:0"), "amr_nb\n8000\n1");
    // The intermediates stay in the run's work folder; the scratch files are gone.
    EXPECT_EQ(files(), (QStringList { "a.3gp", "work/MS_AVI_AUDIO.wav", "work/MS_AVI_VIDEO.avi" }));
    EXPECT_TRUE(cache_.IsEmpty());
    EXPECT_TRUE(dialogs_->records().empty());
}

TEST_F(SaveMedia, SoundIsCutAtTheVideoEnd)
{
    CProjectLists p;
    p.tracks[kVideoTrack] = { clip("red.avi", ClipKind::VideoWithSound, 0, 2000) };
    p.tracks[kAudioTrack] = { clip("tone.mp3", ClipKind::Sound, 0, 10000) };
    p.tracks[kVoiceTrack] = { clip("tone.mp3", ClipKind::Voice, 0, 1000), clip("tone.mp3", ClipKind::Voice, 0, 1000),
        clip("tone.mp3", ClipKind::Voice, 0, 1000) }; // starts 0, 1000, 2000 (= video end)
    p.Layout();
    const QString out = out_.filePath("m.3gp");
    CMovieSave save(env_);
    save.setModel("TX-11"); // AAC
    ASSERT_TRUE(save.LoadProjectIntoPreview(p));
    EXPECT_EQ(save.DurationMs(), 2000);
    ASSERT_EQ(save.Save(out), CMovieSave::Outcome::Saved);
    const double soundSeconds = Probe(out, "stream=duration", "a:0").toDouble();
    EXPECT_NEAR(soundSeconds, 2.0, 0.3);
}

// A save reports success only for a file that was written: a library that
// is missing or may not be loaded, a render that fails (while an earlier
// save's intermediate is still in the work folder), and paths or disk space
// that cannot serve end in failure with a message, and leave no output.
TEST_F(SaveMedia, FalseSuccess)
{
    QTemporaryDir empty;
    struct Case {
        const char* name;
        QString folder; // FOLDER, holding the encoder library
        bool soundBlocked; // a folder where the sound must be written
        QStringList shown;
    };
    const Case cases[] = {
        // Which libraries may be loaded: unit/ott_encoder.cpp.
        { "library missing", empty.path(), false, { "Invalid Setting. Please reinstall", "CW_MESSAGE/SAVE_FAIL" } },
        { "sound render fails", suite_.path(), true,
            { "Could not run compression graph!!", "Sound Compressing was failed! - 1", "CW_MESSAGE/SAVE_FAIL" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs_->clearRecords();
        SetSuiteValue("FOLDER", c.folder);
        // What an earlier save left is never encoded.
        ASSERT_TRUE(QFile::copy(media("red.avi"), work_->path() + "/MS_AVI_VIDEO.avi"));
        if (c.soundBlocked) {
            ASSERT_TRUE(QDir().mkdir(work_->path() + "/MS_AVI_AUDIO.wav"));
        }
        CProjectLists p;
        p.tracks[kVideoTrack] = { clip("clip.mp4", ClipKind::VideoWithSound, 0, 1000) };
        p.tracks[kAudioTrack] = p.tracks[kVideoTrack];
        CMovieSave save(env_);
        ASSERT_TRUE(save.LoadProjectIntoPreview(p));
        // The steps, on a thread of their own, show nothing there: their
        // messages wait for FinishRun on this thread.
        save.PrepareRun(out_.filePath("f.3gp"));
        std::thread([&save] { save.SaveWorker(); }).join();
        EXPECT_TRUE(dialogs_->records().empty());
        EXPECT_EQ(save.FinishRun(), CMovieSave::Outcome::Failed);
        EXPECT_FALSE(results_.lastSaveSucceeded);
        EXPECT_FALSE(QFile::exists(out_.filePath("f.3gp")));
        EXPECT_EQ(dialogs_.texts(), c.shown);
        QFile::remove(work_->path() + "/MS_AVI_VIDEO.avi");
        QFile::remove(work_->path() + "/MS_AVI_AUDIO.wav");
        QDir().rmdir(work_->path() + "/MS_AVI_AUDIO.wav");
    }

    // Refused before any work: a path the encoder block cannot hold, and a
    // work folder without room for the intermediates.
    CMovieSave save(env_);
    ASSERT_TRUE(save.LoadProjectIntoPreview(twoClipProject()));
    const QString longName = out_.filePath(QString(520, 'x') + ".3gp");
    EXPECT_EQ(save.Save(longName), CMovieSave::Outcome::Failed);
    EXPECT_EQ(save.lastMessage(),
        QString("the output path is longer than the encoder takes (519 bytes at most): %1").arg(longName));
    EXPECT_EQ(FreeSpaceRefusal(work_->path(), WorkBytesNeeded(5000)), QString());
    EXPECT_TRUE(FreeSpaceRefusal(work_->path(), std::int64_t(1) << 62).startsWith("Not enough free disk space in "));
    EXPECT_GT(WorkBytesNeeded(600000), WorkBytesNeeded(60000) * 9);
    EXPECT_TRUE(files().isEmpty()) << qPrintable(files().join(' '));
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
    // Frames 0 and 2 were sampled (all zeros); 1 was not.
    for (int n : { 0, 2 })
        cache.Add(n, std::make_unique<std::uint8_t[]>(bytes), bytes);
    CMovieWorkState::Reset();
    CMovieWorkState::SetTotal(3);
    ASSERT_EQ(save.EncodeForPhone({}, {}, {}, 176, 144, 0, 3, {}), 0); // encoder missing: no success
    // A sampled frame is copied; a skipped one leaves the buffer alone.
    std::vector<unsigned char> out(bytes);
    int ms = -1;
    for (const auto& [index, at, value, atMs] : { std::tuple(0, 0, 0x00, 0), std::tuple(1, bytes - 1, 0xEE, 200) }) {
        std::fill(out.begin(), out.end(), 0xEE);
        const int got = CMovieSave::ProvideVideoFrame(out.data(), index, &ms);
        EXPECT_EQ(std::tuple(got, int(out[at]), ms, cache.IsEmpty()), std::tuple(1, value, atMs, false)) << index;
    }
    const int end = CMovieSave::ProvideVideoFrame(out.data(), 3, &ms); // index = frame count
    EXPECT_EQ(std::pair(end, cache.IsEmpty()), std::pair(0, true));

    // 2.9 s of sound: 2 * 8000 / chunk + 1 chunks.
    EXPECT_EQ(std::tuple(CMovieSave::AudioChunkCount(2900, 1024), CMovieSave::AudioChunkCount(2900, 160)),
        std::tuple(16, 101));

    for (const auto& [what, value] : { std::pair(2, 40), std::pair(4, 1), std::pair(4, 1) })
        CMovieSave::OnEncoderStatus(what, value);
    EXPECT_EQ(std::tuple(CMovieWorkState::GetPhase(), CMovieWorkState::GetTotal(), CMovieWorkState::GetCurrent()),
        std::tuple(std::int32_t(CMovieWorkState::Saving), 40, 2));
    CMovieSave::OnEncoderStatus(0, 0);
    EXPECT_EQ(CMovieWorkState::GetCurrent(), 40);

    CMovieWorkState::SetCancel(1);
    EXPECT_EQ(CMovieSave::ProvideVideoFrame(out.data(), 0, &ms), -1);
    CMovieWorkState::Reset();
    SavingPane.store(nullptr);
}

TEST(SaveCallbacks, FindWavDataSkipsOtherChunks)
{
    const QByteArray head
        = QByteArray("RIFF\0\0\0\0WAVEfmt ", 16) + QByteArray(20, '\1') + QByteArray("LIST\4\0\0\0info", 12);
    // The data chunk behind the others; with none, the start and no length.
    const std::tuple<QByteArray, std::uint32_t, std::ptrdiff_t> cases[] = {
        { head + QByteArray("data\6\0\0\0\1\2\3\4\5\6", 14), 6, head.size() + 8 },
        { "RIFF....WAVEfmt nothing here", 0, 0 },
    };
    for (const auto& [wav, size, at] : cases) {
        std::uint32_t len = wav.size();
        const auto* base = reinterpret_cast<const std::uint8_t*>(wav.constData());
        const std::uint8_t* data = FindWavData(base, &len);
        EXPECT_EQ(std::tuple(len, data - base), std::tuple(size, at));
    }
}

// The command line tool: reading the project, what it says and its exit
// status. The job's own checks are in save_job.cpp.
class CwSave : public SaveMedia {
protected:
    QString writeProject(const QByteArray& project)
    {
        const QString json = out_.filePath("project.json");
        EXPECT_TRUE(WriteFile(json, project));
        return json;
    }
    static QByteArray clipJson(const char* name, const QByteArray& extra = {})
    {
        return "{\"path\": \"" + media(name).toUtf8() + "\"" + extra + "}";
    }
    static inline const QString kProgram = QStringLiteral(CW_BUILD_DIR "/bin/cw-save");

    // The folders under the suite's Temp: only the test's own work folder
    // once every run has ended.
    QStringList runFolders() const
    {
        QStringList left = QDir(suite_.filePath("Temp")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        left.removeAll(QFileInfo(work_->path()).fileName());
        return left;
    }
};

TEST_F(CwSave, SaysWhatHappenedWithItsExitStatus)
{
    QTemporaryDir empty;
    const QByteArray tx07 = "{\"model\": \"TX-07\", \"effect\": 2, ";
    const auto video
        = [&](const QByteArray& extra) { return tx07 + "\"video\": [" + clipJson("clip.mp4", extra) + "]}"; };
    struct Case {
        QByteArray project;
        QStringList args;
        int code;
        const char* says;
    };
    const Case cases[] = {
        { tx07 + "\"video\": [" + clipJson("clip.mp4", ", \"sound\": false") + "], \"audio\": ["
                + clipJson("tone.mp3", ", \"length\": 2000") + "]}",
            {}, 0, "(movie 3.0 s)" },
        { "not json", {}, 2, "not a JSON object" },
        { "{\"video\": [{\"start\": 0}]}", { "--model", "TX-07" }, 2, "needs a \"path\"" },
        { video(""), { "--folder", empty.path() }, 2, "no encoder library" },
        { tx07 + "\"video\": [{\"path\": \"/no/such.mp4\"}]}", {}, 2, "video clip 1: /no/such.mp4 is not a file" },
        { tx07 + "\"audio\": [" + clipJson("tone.mp3") + "]}", {}, 2, "no video clip" },
        // Times are whole milliseconds from 0 to 2^31 - 1 within the file, and
        // a clip that cannot be placed is an error naming it, never dropped.
        { video(", \"start\": 1e12"), {}, 2,
            "video clip 1: \"start\" must be a whole number of milliseconds from 0 to 2147483647" },
        { video(", \"start\": -1"), {}, 2, "video clip 1: \"start\" must be a whole number" },
        { video(", \"length\": 4294967296"), {}, 2, "video clip 1: \"length\" must be a whole number" },
        { video(", \"length\": 1500.5"), {}, 2, "video clip 1: \"length\" must be a whole number" },
        { video(", \"start\": \"10\""), {}, 2, "video clip 1: \"start\" must be a whole number" },
        { video(", \"start\": 1000, \"length\": 5000"), {}, 2, "video clip 1: " }, // beyond the file's end
        { video(", \"start\": 3000"), {}, 2, "video clip 1: nothing of " },
        { tx07 + "\"video\": [" + clipJson("clip.mp4") + "], \"audio\": [" + clipJson("tone.mp3") + "]}", {}, 2,
            "audio clip 1 (" }, // starts where the video (with its sound) ends
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
    EXPECT_TRUE(runFolders().isEmpty()) << qPrintable(runFolders().join(' '));
}

// Two cw-save runs and a save in this process (the editor's) at once, with
// the same suite folder: each works in its own folder, so each output has its
// own pictures and sound.
TEST_F(CwSave, TwoSavesAtOnce)
{
    const auto start = [&](QProcess& p, const char* name, const QByteArray& video) {
        const QString json = out_.filePath(QString(name) + ".json");
        ASSERT_TRUE(WriteFile(json, "{\"model\": \"TX-07\", \"video\": [" + video + "]}"));
        p.start(kProgram, { json, "-o", out_.filePath(QString(name) + ".3gp"), "--folder", suite_.path() });
        ASSERT_TRUE(p.waitForStarted());
    };
    QProcess silentRed, loud;
    start(silentRed, "red", clipJson("red.avi", ", \"sound\": false"));
    start(loud, "clip", clipJson("clip.mp4"));
    CProjectLists p;
    p.tracks[kVideoTrack] = { clip("red.avi", ClipKind::VideoWithSound, 0, 2000) };
    p.tracks[kAudioTrack] = { clip("tone.mp3", ClipKind::Sound, 0, 2000) };
    p.Layout();
    CMovieSave save(env_);
    ASSERT_TRUE(save.LoadProjectIntoPreview(p));
    EXPECT_EQ(save.Save(out_.filePath("editor.3gp")), CMovieSave::Outcome::Saved);
    for (QProcess* run : { &silentRed, &loud }) {
        ASSERT_TRUE(run->waitForFinished(300000));
        EXPECT_EQ(run->exitCode(), 0) << run->readAllStandardError().constData();
    }

    // The first picture's mean colour and the sound's peak of each output.
    const auto look = [&](const char* name) {
        const auto frames = DecodeFrames(out_.filePath(QString(name) + ".3gp"), 1, 1);
        return frames.empty() ? QByteArray() : frames.front();
    };
    const auto loudness = [&](const char* name) {
        double peak = 0;
        for (std::int16_t sample : DecodePcm(out_.filePath(QString(name) + ".3gp"), 8000, 1))
            peak = std::max(peak, std::abs(double(sample)));
        return peak;
    };
    for (const char* red : { "red", "editor" }) {
        SCOPED_TRACE(red);
        const QByteArray pixel = look(red);
        ASSERT_EQ(pixel.size(), 3);
        EXPECT_GT(quint8(pixel[0]), 200);
        EXPECT_LT(quint8(pixel[1]), 60);
    }
    EXPECT_GT(quint8(look("clip").append(3, 0)[1]), 100); // the test picture, not red
    EXPECT_LT(loudness("red"), 300); // silence
    EXPECT_GT(loudness("clip"), 3000);
    EXPECT_GT(loudness("editor"), 3000);
    EXPECT_TRUE(runFolders().isEmpty()) << qPrintable(runFolders().join(' '));
}

// Ctrl-C while rendering: yesterday's file of the output's name stays as it
// was, and the run's work folder goes.
TEST_F(CwSave, InterruptCancelsAndLeavesNoFiles)
{
    // Ten copies of the clip, interrupted once rendering has begun.
    QByteArray clips;
    for (int i = 0; i < 10; ++i)
        clips += (i ? "," : "") + clipJson("clip.mp4");
    const QString out = out_.filePath("long.3gp");
    ASSERT_TRUE(WriteFile(out, "yesterday"));
    QProcess p;
    p.start(kProgram,
        { writeProject("{\"model\": \"TX-07\", \"video\": [" + clips + "]}"), "-o", out, "--folder", suite_.path() });
    ASSERT_TRUE(p.waitForStarted());
    const auto rendering = [&] {
        for (const QString& run : runFolders()) {
            if (QFile::exists(suite_.filePath("Temp/" + run + "/MS_AVI_VIDEO.avi")))
                return true;
        }
        return false;
    };
    ASSERT_TRUE(WaitFor([&] { return rendering() || p.state() != QProcess::Running; }, 30000));
    ::kill(p.processId(), SIGINT);
    p.waitForFinished(120000);
    EXPECT_EQ(p.exitCode(), 1) << p.readAllStandardError().constData();
    EXPECT_EQ(ReadFile(out), "yesterday");
    EXPECT_EQ(QDir(out_.path()).entryList(QDir::Files), (QStringList { "long.3gp", "project.json" }));
    EXPECT_TRUE(runFolders().isEmpty()) << qPrintable(runFolders().join(' '));
}
