// test-links: cw_export cw_engine cw_project cw_mediainfo cw_media cw_config cw_platform
// CSaveJob, the save the editor's save dialog and cw-save drive: its target
// checks and refusals, its steps in order with their progress whichever way
// it runs, cancelling in each step, and what it leaves behind.
#include "export/save_job.h"
#include "config/suite_settings.h"
#include "engine/work_state.h"
#include "recorder.h"
#include "save_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace {

class SaveJob : public SaveFixture {
protected:
    void SetUp() override
    {
        SaveFixture::SetUp();
        CMovieWorkState::Reset();
    }

    // The clip with its sound, and a second of the tone as voice.
    SaveRequest request(const char* file = "movie.3gp")
    {
        SaveRequest s;
        s.model = "TX-07";
        s.effect = 2;
        s.outputPath = out_.filePath(file);
        s.project.tracks[kVideoTrack] = { clip(media("clip.mp4"), ClipKind::VideoWithSound, 0, 3000) };
        s.project.tracks[kAudioTrack] = { clip(media("clip.mp4"), ClipKind::VideoWithSound, 0, 3000) };
        s.project.tracks[kVoiceTrack] = { clip(media("tone.mp3"), ClipKind::Voice, 0, 1000) };
        s.project.Layout();
        return s;
    }
};

const std::vector<SaveStep> kAllSteps { SaveStep::Render, SaveStep::Sound, SaveStep::Sampling, SaveStep::Encoding };

std::vector<SaveStep> stepsOf(const SaveJobResult& r)
{
    std::vector<SaveStep> steps;
    for (const SaveStepTime& s : r.steps)
        steps.push_back(s.step);
    return steps;
}

} // namespace

TEST_F(SaveJob, TargetChecksSayWhatIsWrong)
{
    QTemporaryDir noEncoder, openEncoder;
    // A library others may change is not loaded.
    const QString shared = openEncoder.filePath("libOTTEnc.so");
    ASSERT_TRUE(QFile::copy(CW_SUITE_DIR "/libOTTEnc.so", shared));
    ASSERT_TRUE(QFile::setPermissions(shared, QFileDevice::Permissions(0x6666)));
    const QString invalid = "Invalid Setting. Please reinstall: ";
    const QString longName = out_.filePath(QString(520 - out_.path().size() - 5, 'm') + ".3gp");
    // A model, an effect (-1: the request's), an output and a suite folder
    // (empty: the request's), and why the target is refused (empty: fine).
    struct Case {
        const char* model;
        int effect;
        QString output, suite, reason;
    };
    const QString mp4 = out_.filePath("m.mp4");
    const Case cases[] = {
        { nullptr, -1, {}, {}, "" },
        { "ZT-500", -1, mp4, {}, "" }, // another model's container
        { nullptr, 19, {}, {}, "the effect must be a number from 0 to 18" },
        { nullptr, -1, {}, noEncoder.path(),
            invalid + QString("the suite folder %1 holds no encoder library (libOTTEnc.so)").arg(noEncoder.path()) },
        { nullptr, -1, {}, openEncoder.path(), invalid + shared + " may be changed by other users" },
        { nullptr, -1, {}, "suite", invalid + "the encoder folder \"suite\" is not an absolute path" },
        { "", -1, {}, {}, "no phone model" },
        { "QQ-1", -1, {}, {}, QString("unknown phone model QQ-1 (no model file %1/ini/QQ-1.ini)").arg(CW_SUITE_DIR) },
        { nullptr, -1, mp4, {}, QString("model TX-07 saves .3gp files; %1 has another extension").arg(mp4) },
        { nullptr, -1, out_.filePath("no/m.3gp"), {},
            QString("the output folder %1 does not exist").arg(out_.filePath("no")) },
        { nullptr, -1, longName, {},
            "the output path is longer than the encoder takes (519 bytes at most): " + longName },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.model ? c.model : "-") + " " + c.reason.toStdString());
        SaveRequest s = request();
        SaveEnvironment e = env_;
        if (c.model)
            s.model = c.model;
        if (c.effect >= 0)
            s.effect = c.effect;
        if (!c.output.isEmpty())
            s.outputPath = c.output;
        if (!c.suite.isEmpty())
            e.suiteFolder = c.suite;
        EXPECT_EQ(CSaveJob::CheckTarget(s, e), c.reason);
        if (c.reason.isEmpty())
            continue;
        // Start refuses with the same reason, before anything is written.
        CSaveJob job(e, s);
        EXPECT_FALSE(job.Start());
        EXPECT_TRUE(job.IsDone());
        const SaveJobResult r = job.Finish();
        EXPECT_EQ(std::tuple(r.status, r.message), std::tuple(SaveJobResult::Status::Refused, c.reason));
        EXPECT_TRUE(files().isEmpty()) << qPrintable(files().join(' '));
    }
    EXPECT_TRUE(dialogs_->records().empty());
}

TEST_F(SaveJob, EachWayToRunSavesInTheStepsOrderAndReportsProgress)
{
    using Progresses = std::vector<SaveJobProgress>;
    const auto pollUntil = [](const auto& done, CSaveJob& job, Progresses& seen) {
        while (!done()) {
            seen.push_back(job.Progress());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    // How it is run, and whether it keeps its work files.
    const std::tuple<const char*, bool, std::function<SaveJobResult(CSaveJob&, Progresses&)>> cases[] = {
        { "on the caller's thread, polled from another", false,
            [&](CSaveJob& job, Progresses& seen) {
                // The poller stops and is joined once Run has returned.
                std::jthread poller(
                    [&](std::stop_token stop) { pollUntil([&] { return stop.stop_requested(); }, job, seen); });
                return job.Run();
            } },
        { "on a worker, calling back", false,
            [](CSaveJob& job, Progresses& seen) {
                return job.RunWithProgress([&](const SaveJobProgress& p) { seen.push_back(p); }, 2);
            } },
        { "started and polled, keeping the work files", true,
            [&](CSaveJob& job, Progresses& seen) {
                EXPECT_TRUE(job.Start());
                pollUntil([&] { return job.IsDone(); }, job, seen);
                return job.Finish();
            } },
    };
    for (const auto& [name, keepWorkFiles, run] : cases) {
        SCOPED_TRACE(name);
        SaveRequest s = request();
        s.keepWorkFiles = keepWorkFiles;
        CSaveJob job(env_, s);
        Progresses seen;
        const SaveJobResult r = run(job, seen);

        ASSERT_EQ(r.status, SaveJobResult::Status::Saved) << qPrintable(r.message);
        const QString movie = out_.filePath("movie.3gp");
        EXPECT_EQ(std::tuple(r.message, r.outputPath, r.bytes, r.movieMs, results_.lastSaveSucceeded,
                      results_.lastSavedPath, seen.empty()),
            std::tuple(QString(), movie, QFileInfo(movie).size(), 3000, true, movie, false));
        EXPECT_NEAR(r.fileSeconds, 3.0, 0.1);
        // Every step once, in order; their times add up to the whole.
        EXPECT_EQ(stepsOf(r), kAllSteps);
        std::int64_t sum = 0;
        for (const SaveStepTime& t : r.steps)
            sum += t.ms;
        EXPECT_TRUE(sum <= r.elapsedMs && sum >= r.elapsedMs - 50) << sum << " of " << r.elapsedMs;

        // While it ran the steps never went back, shares stayed within 0 and 1
        // and the time left was never negative.
        for (std::size_t i = 0; i < seen.size(); ++i) {
            const SaveJobProgress& p = seen[i];
            EXPECT_TRUE((i == 0 || int(p.step) >= int(seen[i - 1].step)) && p.share >= 0.0 && p.share <= 1.0
                && p.stepElapsedMs <= p.elapsedMs && p.secondsLeft.value_or(0.0) >= 0.0)
                << "progress " << i << ": step " << int(p.step) << " share " << p.share;
        }
        // Only the phone file, and the work files when kept (the last case).
        const QStringList kept { "movie.3gp", "work/MS_AVI_AUDIO.wav", "work/MS_AVI_VIDEO.avi" };
        EXPECT_EQ(std::tuple(files(), cache_.IsEmpty(), CMovieWorkState::GetTotal()),
            std::tuple(keepWorkFiles ? kept : QStringList { "movie.3gp" }, true, 0));
        QFile::remove(r.outputPath);
    }
    EXPECT_TRUE(dialogs_->records().empty());
}

// Yesterday's movie of the output's name, and files named like the save's
// work files beside it, stay byte for byte through projects that cannot be
// loaded (a missing clip, no video, nothing at all), an output
// that is one of the clips (a hard link: another name, the same file), and a
// cancel in each step; a save that succeeds replaces only the movie.
TEST_F(SaveJob, ASaveNeverDestroysWhatItDidNotCreate)
{
    const QStringList users { "old.3gp", "old.yuv", "old.pcm", "video.tmp", "video_info.tmp", "audio.tmp",
        "audio_info.tmp", "MS_AVI_VIDEO.avi", "MS_AVI_AUDIO.wav" };
    for (const QString& name : users)
        ASSERT_TRUE(WriteFile(out_.filePath(name), "the user's " + name.toUtf8()));
    const auto untouched = [&](const QStringList& names) {
        for (const QString& name : names)
            EXPECT_EQ(ReadFile(out_.filePath(name)), "the user's " + name.toUtf8()) << qPrintable(name);
    };
    const QString input = out_.filePath("same.3gp");
    ASSERT_EQ(::link(QFile::encodeName(media("clip.mp4")).constData(), QFile::encodeName(input).constData()), 0);

    const std::pair<std::function<void(CProjectLists&)>, const char*> unloadable[] = {
        { [this](CProjectLists& p) { p.tracks[kVoiceTrack][0] = clip("/no/such.mp3", ClipKind::Voice, 0, 1000); },
            "CW_MESSAGE/NO_FILE" },
        { [](CProjectLists& p) { p.tracks[kVideoTrack].clear(); }, "CW_MESSAGE/NOT_SELCT_VIDEO" },
        { [](CProjectLists& p) { p = CProjectLists {}; }, "the project could not be loaded" },
    };
    Recorder frame;
    env_.mainFrame = &frame;
    for (const auto& [change, message] : unloadable) {
        SCOPED_TRACE(message);
        SaveRequest s = request("old.3gp");
        change(s.project);
        const SaveJobResult r = CSaveJob(env_, s).Run();
        EXPECT_EQ(std::tuple(r.status, r.message, r.steps.size()),
            std::tuple(SaveJobResult::Status::Refused, QString(message), std::size_t(0)));
        untouched(users);
    }
    {
        SCOPED_TRACE("output is one of the clips");
        SaveRequest s = request("same.3gp");
        s.project.tracks[kVideoTrack][0] = clip(media("clip.mp4"), ClipKind::VideoWithSound, 0, 3000);
        const SaveJobResult r = CSaveJob(env_, s).Run();
        EXPECT_EQ(std::tuple(r.status, r.message, r.steps.size()),
            std::tuple(SaveJobResult::Status::Refused,
                QString("the output %1 is one of the project's clips (%2); choose another file")
                    .arg(input, media("clip.mp4")),
                std::size_t(0)));
        EXPECT_EQ(QFileInfo(input).size(), QFileInfo(media("clip.mp4")).size());
    }
    for (const SaveStep step : kAllSteps) {
        SCOPED_TRACE(int(step));
        // Cancelled on the worker as the step begins: the job must stop in
        // that very step, so a save that ran to its end cannot pass.
        CSaveJob job(env_, request("old.3gp"));
        job.setStepObserver([step](SaveStep now) {
            if (now == step)
                CSaveJob::Cancel();
        });
        const SaveJobResult r = job.Run();
        ASSERT_FALSE(r.steps.empty());
        EXPECT_EQ(std::tuple(r.status, r.message, r.steps.back().step, results_.lastSaveSucceeded),
            std::tuple(SaveJobResult::Status::Cancelled, QString(), step, false));
        untouched(users);
        QStringList expected = users + QStringList { "same.3gp" }, seen = files();
        expected.sort();
        seen.sort();
        EXPECT_EQ(seen, expected);
        EXPECT_TRUE(cache_.IsEmpty());
        EXPECT_FALSE(CMovieWorkState::IsCancelled());
    }
    // The missing clip's message closes itself, and the main frame hears of
    // the file; no video's waits for the user; a cancel is no failure.
    ASSERT_EQ(dialogs_->records().size(), 2u);
    EXPECT_TRUE(dialogs_->records()[0].selfClosing);
    EXPECT_FALSE(dialogs_->records()[1].selfClosing);
    EXPECT_EQ(frame.texts, QStringList { "/no/such.mp3" });

    const SaveJobResult r = CSaveJob(env_, request("old.3gp")).Run();
    ASSERT_EQ(r.status, SaveJobResult::Status::Saved) << qPrintable(r.message);
    EXPECT_GT(QFileInfo(out_.filePath("old.3gp")).size(), 1000);
    untouched(users.mid(1));
}

TEST_F(SaveJob, DestroyingARunningJobCancelsIt)
{
    {
        CSaveJob job(env_, request());
        ASSERT_TRUE(job.Start());
    }
    EXPECT_TRUE(files().isEmpty()) << qPrintable(files().join(' '));
}

TEST(SaveJobEstimate, TimeLeftFollowsTheShareDone)
{
    struct Case {
        double share;
        std::int64_t elapsedMs;
        std::optional<double> seconds;
    };
    // At 2 % done there is too little to tell; more than all counts as all.
    const Case cases[] = { { 0.0, 1000, std::nullopt }, { 0.02, 1000, std::nullopt }, { 0.025, 100, 3.9 },
        { 0.25, 1000, 3.0 }, { 0.5, 2000, 2.0 }, { 1.0, 5000, 0.0 }, { 1.5, 5000, 0.0 }, { 0.5, -10, 0.0 },
        { std::nan(""), 1000, std::nullopt } };
    for (const Case& c : cases) {
        const auto left = CSaveJob::EstimateSecondsLeft(c.share, c.elapsedMs);
        ASSERT_EQ(left.has_value(), c.seconds.has_value()) << c.share;
        EXPECT_NEAR(left.value_or(0.0), c.seconds.value_or(0.0), 1e-9) << c.share;
    }
}

TEST_F(SaveJob, FileClipsTakeTheFileOrTheirTrim)
{
    struct Case {
        const char* file;
        std::uint32_t start;
        std::optional<std::uint32_t> length;
        std::optional<std::uint32_t> expectedLength; // none: refused
    };
    const Case cases[] = {
        { "clip.mp4", 0, std::nullopt, 3000 }, // the whole file
        { "clip.mp4", 1000, std::nullopt, 2000 }, // the rest of it
        { "clip.mp4", 1000, 1500, 1500 },
        { "clip.mp4", 1000, 2999, 2999 }, // within the rounding
        { "clip.mp4", 1000, 5000, std::nullopt },
        { "none.mp4", 0, std::nullopt, 0 }, // refused only when loaded
        { "none.mp4", 0, 2000, 2000 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.file << " " << c.start);
        QString why;
        const auto made = FileClip(media(c.file), ClipKind::Sound, c.start, c.length, &why);
        ASSERT_EQ(made.has_value(), c.expectedLength.has_value()) << qPrintable(why);
        if (made) {
            EXPECT_EQ(made->length(), *c.expectedLength);
            EXPECT_EQ(made->mediaStart(), c.start);
            EXPECT_TRUE(why.isEmpty());
        } else {
            EXPECT_EQ(why,
                QString("%1 is 3 s long, shorter than its trim (%2 ms from %3 ms)")
                    .arg(media(c.file))
                    .arg(*c.length)
                    .arg(c.start));
        }
    }
}
