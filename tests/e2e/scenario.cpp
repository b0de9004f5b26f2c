// A new user's first movie, end to end: orvanta-host runs a script under the
// offscreen platform with its own registry, folders and simulated phone, and
// records from the sound server's tone source. The user gathers media through
// the browser, lays out the timeline, replaces the sound with music, picks an
// effect, previews, records a voice, saves for the phone model and sends the
// movie to the phone; a screenshot follows every step. The saved movie is
// probed and decoded. The same user runs again at scale 2, up to the save.
#include "engine/effect_kernels.h"
#include "media_files.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

const QString kBuild = QStringLiteral(CW_BUILD_DIR);

// Source colours: the AVI is one colour; the H.264 clip changes colour every
// second (red, lime, blue, white, yellow). The clip is an MPEG program
// stream: an .mp4 is a phone format, which the media list refuses.
const QRgb kAviColour = qRgb(0x20, 0x50, 0xC0);
const QRgb kSecondColours[]
    = { qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255), qRgb(255, 255, 0) };

QJsonObject readJson(const QString& path)
{
    return QJsonDocument::fromJson(ReadFile(path)).object();
}

QStringList filesUnder(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

QByteArray digest(const QString& path)
{
    return QCryptographicHash::hash(ReadFile(path), QCryptographicHash::Sha1);
}

// What the Sepia kernel makes of one colour.
QRgb sepiaOf(QRgb colour)
{
    std::uint8_t pixel[4] = { std::uint8_t(qBlue(colour)), std::uint8_t(qGreen(colour)), std::uint8_t(qRed(colour)) };
    EffectImage image;
    InitEffectImage(&image, pixel, 1, 1);
    SetEffectPixelFormat(&image, 3, kRgb24RedMask, kRgb24GreenMask, kRgb24BlueMask, 0, 4);
    EXPECT_EQ(ApplyEffect(&image, kEffectSepia), 0);
    return qRgb(pixel[2], pixel[1], pixel[0]);
}

// The mean colour of the middle quarter of a packed RGB24 frame.
QRgb middleOf(const QByteArray& frame, int w, int h)
{
    long sum[3] = {};
    long n = 0;
    for (int y = h * 3 / 8; y < h * 5 / 8; ++y) {
        for (int x = w * 3 / 8; x < w * 5 / 8; ++x, ++n) {
            for (int c = 0; c < 3; ++c)
                sum[c] += std::uint8_t(frame[(y * w + x) * 3 + c]);
        }
    }
    return qRgb(int(sum[0] / n), int(sum[1] / n), int(sum[2] / n));
}

int colourDistance(QRgb a, QRgb b)
{
    return std::max({ std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b)) });
}

class Scenario : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root_.isValid());
        if (!QFileInfo::exists(kBuild + "/lib/libcw_load.so"))
            GTEST_SKIP() << "libcw_load.so is not built";
        if (RunTool("pactl", { "info" }).exitCode != 0)
            GTEST_SKIP() << "no sound server (scripts/sound-server starts one)";
        // The browser starts in the home folder, where the user's clips are.
        ASSERT_TRUE(QDir().mkpath(media()) && QDir().mkpath(path("out")));
        ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i",
            "color=c=red:s=640x480:r=25:d=1[a];color=c=lime:s=640x480:r=25:d=1[b];"
            "color=c=blue:s=640x480:r=25:d=1[c];color=c=white:s=640x480:r=25:d=1[d];"
            "color=c=yellow:s=640x480:r=25:d=1[e];[a][b][c][d][e]concat=n=5:v=1:a=0[out0]",
            "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-t", "5", "-c:v", "libx264", "-pix_fmt",
            "yuv420p", "-c:a", "mp2", "-shortest", "-f", "mpeg", media("colours.mpg") }));
        ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "color=c=0x2050C0:s=320x240:r=15", "-f", "lavfi", "-i",
            "sine=frequency=440:sample_rate=22050", "-t", "2", "-c:v", "mjpeg", "-q:v", "3", "-c:a", "pcm_s16le",
            media("scene.avi") }));
        ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "sine=frequency=300:sample_rate=44100", "-t", "8", "-c:a",
            "libmp3lame", "-b:a", "128k", media("tone.mp3") }));
        ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "testsrc=size=176x144:rate=15", "-t", "1", "-c:v", "mpeg4", "-f",
            "3gp", media("phone.3gp") }));
        for (const QString& f : filesUnder(media()))
            sources_.insert(f, digest(media(f)));
    }

    QString path(const QString& rel) const { return root_.filePath(rel); }
    QString media(const QString& name = QString()) const
    {
        return path("home/first-movie") + (name.isEmpty() ? "" : "/" + name);
    }
    QString state(const QString& name) const { return path("state/" + name + ".json"); }
    // One section of a state file the script wrote.
    QJsonObject section(const QString& name, const QString& part) const
    {
        return readJson(state(name)).value(part).toObject();
    }

    // Runs the host on the steps; each step ends with a screenshot of the
    // window, shots/NN-NAME.png.
    ToolRun host(
        const QList<std::pair<QString, QString>>& steps, const QStringList& args = {}, const QStringList& env = {})
    {
        QString text;
        for (const auto& [name, commands] : steps) {
            shots_ << path(QString("shots/%1-%2.png").arg(shots_.size() + 1, 2, 10, QChar('0')).arg(name));
            text += QString("# %1\n%2\nscreenshot \"%3\"\n").arg(name, commands.trimmed(), shots_.back());
        }
        text += "quit\n";
        EXPECT_TRUE(WriteFile(path("script.txt"), text.toUtf8()));
        return RunTool(kBuild + "/bin/orvanta-host",
            QStringList { "--phone", path("phone"), "--script", path("script.txt") } + args,
            QStringList { "QT_QPA_PLATFORM=offscreen", "ORVANTA_REGISTRY=" + path("registry.db"),
                "HOME=" + path("home"), "XDG_DATA_HOME=" + path("data"), "XDG_CONFIG_HOME=" + path("config"),
                "XDG_CACHE_HOME=" + path("cache"), "ORVANTA_COMPONENT=" }
                + env,
            240000);
    }

    // The new user's steps, from the start to the save (and on to the phone
    // when toPhone); the movies go to out.
    QList<std::pair<QString, QString>> firstMovieSteps(const QString& out, bool toPhone) const;

    // Every step's screenshot is the whole window at the scale, and none
    // (nor the dialogs' own) is blank.
    void checkShots(int scale) const
    {
        const QImage first(shots_.front());
        EXPECT_GE(first.width(), 800 * scale);
        EXPECT_GE(first.height(), 500 * scale);
        for (const QString& shot : shots_ + QStringList { path("shots/browser.png"), path("shots/recording.png") }) {
            const QImage img(shot);
            ASSERT_FALSE(img.isNull()) << qPrintable(shot);
            EXPECT_TRUE(img.size() == first.size() || !shots_.contains(shot)) << qPrintable(shot);
            EXPECT_GT(ColourCount(img), 3) << qPrintable(shot);
        }
    }

    QTemporaryDir root_;
    QMap<QString, QByteArray> sources_;
    QStringList shots_;
};

} // namespace

QList<std::pair<QString, QString>> Scenario::firstMovieSteps(const QString& out, bool toPhone) const
{
    QList<std::pair<QString, QString>> steps = {
        { "start", "wait-for idle 30000" },
        // The toolbar's browser, from the home folder down to the clips; all
        // four picked at once.
        { "browser",
            QString("click OpenFile\nwait-for dialog 10000\nwait 1500\nselect tree first-movie\nwait 1500\n"
                    "wait-for idle 10000\nclick CMS_Browser/selectall\nstate \"%1\"\n"
                    "screenshot \"%2\" CMS_Browser")
                .arg(state("browser"), path("shots/browser.png")) },
        { "gain",
            QString("click CMS_Browser/Gain\nwait-for closed CMS_Browser 10000\n"
                    "wait-for property CCW_ThumbnailWnd thumbnailsReady 3 30000\n"
                    "expect-dialog @COMMON/CANNOT_BE_SUPPORT_FORMAT\nstate \"%1\"")
                .arg(state("list")) },
        // The first video opens in the source preview from the list and
        // plays; its marks go to 1 s and 4 s and it is sent; then the AVI is
        // sent whole.
        { "timeline",
            "dblclick CMS_ListCtrl colours.mpg\nwait 500\nwait-for idle 20000\nclick CCW_PreviewMedia/6303\n"
            "wait 1000\ntrim CCW_PreviewMedia/6306 1 4\nclick CCW_PreviewMedia/6124\nwait 500\nwait-for idle\n"
            "dblclick CMS_ListCtrl scene.avi\nwait 500\nwait-for idle 20000\nclick CCW_PreviewMedia/6124\n"
            "wait 500\nwait-for idle\nclick fit\nwait 200" },
        // The AVI (selected as it arrived) to the start.
        { "home", "key CCW_TimeLineWnd Home\nwait 200" },
        { "music",
            QString("click AudioDelete\nwait 300\nanswer-path \"%1\"\nclick AudioOpen\nwait 1000\nwait-for idle")
                .arg(media("tone.mp3")) },
        { "sepia", "select effect Sepia\nwait 200" },
        { "preview",
            QString("click CCW_EditMenuWnd/preview\nwait 1500\nstate \"%1\"\nwait 1000\nstate \"%2\"")
                .arg(state("playing1"), state("playing2")) },
        { "stop", "click CCW_EditMenuWnd/preview\nwait 300" },
        { "record",
            QString("click VoiceRecord\nwait-for dialog\nwait 500\nclick CCW_RecordingDlg/0x1803\n"
                    "wait-for property CCW_RecordingDlg slider 25 15000\n"
                    "click CCW_RecordingDlg/0x1802\nwait 300\nstate \"%1\"\nscreenshot \"%2\" CCW_RecordingDlg")
                .arg(state("recorded"), path("shots/recording.png")) },
        { "confirm",
            QString("click CCW_RecordingDlg/0x1804\nwait-for closed CCW_RecordingDlg\nwait 500\nwait-for idle\n"
                    "state \"%1\"")
                .arg(state("tracks")) },
        { "save",
            QString("answer-path \"%1\"\nclick CCW_EditMenuWnd/save\nwait 500\nwait-for closed CGlobalWorkDlg 90000\n"
                    "wait-for idle\nexpect-dialog @CW_MESSAGE/SAVE_OK")
                .arg(out + "/movie.3gp") },
    };
    if (toPhone) {
        steps.append({ "phone",
            QString("answer-path \"%1\"\nclick CCW_EditMenuWnd/send\nwait 500\nwait-for closed CGlobalWorkDlg 90000\n"
                    "wait-for idle\nexpect-dialog @THEMEMANAGER/TM_SENDING_OK")
                .arg(out + "/phone.3gp") });
    }
    return steps;
}

TEST_F(Scenario, NewUsersFirstMovieFromMediaToPhone)
{
    const QString out = path("out");
    const ToolRun r = host(firstMovieSteps(out, true));
    ASSERT_EQ(r.exitCode, 0) << r.out.constData() << r.err.constData();
    EXPECT_FALSE(r.out.contains("unanswered dialog")) << r.out.constData();

    checkShots(1);

    // The browser went to the clips' folder; the phone-format movie was
    // refused, the other three listed with their thumbnails.
    EXPECT_EQ(section("browser", "browser")["folder"].toString(), media());
    EXPECT_EQ(section("browser", "browser")["selection"].toArray().size(), 4);
    const QJsonObject list = section("list", "medialist");
    EXPECT_EQ(list["rows"].toInt(), 3);
    EXPECT_EQ(list["thumbnailsReady"].toInt(), 3);

    // The preview played: the marker moved on.
    const QJsonObject playing1 = section("playing1", "edited");
    const QJsonObject playing2 = section("playing2", "edited");
    EXPECT_GT(playing2["positionMs"].toInt(), playing1["positionMs"].toInt());
    EXPECT_GT(section("playing2", "timeline")["marker"].toInt(), section("playing1", "timeline")["marker"].toInt());
    EXPECT_EQ(playing1["effect"].toInt(), int(kEffectSepia));

    // The tracks: the AVI first, the clip's 1-4 s after it; the music alone
    // on the audio track; the recording on the voice track.
    const QJsonArray tracks = section("tracks", "timeline")["tracks"].toArray();
    ASSERT_EQ(tracks.size(), 3);
    const auto clips = [&](int t) { return tracks[t].toObject()["clips"].toArray(); };
    for (int t : { 0, 1, 2 })
        ASSERT_EQ(clips(t).size(), t == 0 ? 2 : 1) << t;
    const std::tuple<int, int, const char*, QJsonValue> facts[]
        = { { 0, 0, "path", media("scene.avi") }, { 0, 0, "length", 2000 }, { 0, 1, "path", media("colours.mpg") },
              { 0, 1, "mediaStart", 1000 }, { 0, 1, "timelineStart", 2000 }, { 0, 1, "length", 3000 },
              { 1, 0, "path", media("tone.mp3") }, { 1, 0, "timelineStart", 0 }, { 2, 0, "timelineStart", 0 } };
    for (const auto& [t, i, key, value] : facts)
        EXPECT_EQ(clips(t)[i].toObject()[key], value) << "track " << t << " clip " << i << " " << key;
    const QJsonObject voice = clips(2)[0].toObject();
    // 2.5 s on the dialog's clock, in whole seconds.
    ASSERT_GE(voice["length"].toInt(), 2000);
    EXPECT_LE(voice["length"].toInt(), 3000);
    const QJsonObject recording = section("recorded", "recording");
    EXPECT_TRUE(recording["hasRecording"].toBool());
    EXPECT_FALSE(recording["recording"].toBool());
    EXPECT_EQ(voice["path"].toString(), recording["path"].toString());
    // The movie lasts as long as the video track says.
    const int movieMs = clips(0)[0].toObject()["length"].toInt() + clips(0)[1].toObject()["length"].toInt();
    ASSERT_EQ(movieMs, 5000);

    // The movie for the model: 3GP, MPEG-4 part 2 at 176 x 144 and 5 fps,
    // every sampled frame, AMR-NB sound at 8 kHz mono.
    const QString movie = out + "/movie.3gp";
    EXPECT_TRUE(Probe(movie, "format_tags=major_brand").startsWith("3gp")) << qPrintable(movie);
    EXPECT_EQ(Probe(movie, "stream=codec_name,width,height,r_frame_rate", "v:0"), "mpeg4\n176\n144\n5/1");
    EXPECT_EQ(Probe(movie, "stream=codec_name,sample_rate,channels", "a:0"), "amr_nb\n8000\n1");
    const std::vector<QByteArray> frames = DecodeFrames(movie, 176, 144);
    EXPECT_EQ(int(frames.size()), movieMs / 200);

    // The pictures: Sepia of the AVI's colour first, then of the clip's
    // seconds 1, 2 and 3.
    const struct {
        double at;
        QRgb source;
    } pictures[]
        = { { 1.0, kAviColour }, { 2.5, kSecondColours[1] }, { 3.5, kSecondColours[2] }, { 4.5, kSecondColours[3] } };
    for (const auto& p : pictures) {
        const auto index = std::size_t(p.at * 5);
        ASSERT_LT(index, frames.size());
        const QRgb seen = middleOf(frames[index], 176, 144);
        EXPECT_LE(colourDistance(seen, sepiaOf(p.source)), 24)
            << p.at << " s: " << qPrintable(QColor(seen).name()) << " for "
            << qPrintable(QColor(sepiaOf(p.source)).name());
    }

    // The sound: the music throughout, the voice's tone where it lies, and
    // nothing of the clips' own 440 Hz, which the music replaced.
    const std::vector<std::int16_t> pcm = DecodePcm(movie, 8000, 1);
    ASSERT_GE(int(pcm.size()), movieMs * 8 - 800);
    const auto level = [&](double from, double to, double hz) {
        const auto a = std::size_t(from * 8000);
        return ToneLevel(pcm.data() + a, std::size_t((to - from) * 8000), 1, 8000, hz);
    };
    for (double t = 0.25; t + 0.5 <= movieMs / 1000.0; t += 0.5) {
        const double music = level(t, t + 0.5, 300);
        EXPECT_GT(music, 0.02) << t;
        EXPECT_LT(level(t, t + 0.5, 440), music / 10) << t;
    }
    const double voiceEnd = voice["length"].toInt() / 1000.0;
    const double spoken = level(0.2, voiceEnd - 0.2, 1000);
    EXPECT_GT(spoken, 0.02);
    EXPECT_LT(level(voiceEnd + 0.3, movieMs / 1000.0 - 0.1, 1000), spoken / 10);

    // The phone's copy is the second save, in the model's movie folder.
    EXPECT_EQ(ReadFile(path("phone/Movies/phone.3gp")), ReadFile(out + "/phone.3gp"));
    EXPECT_EQ(filesUnder(path("phone")), QStringList { "Movies/phone.3gp" });

    // Nothing else left behind: the two movies, the sources untouched, the
    // work folder gone with the editor.
    EXPECT_EQ(filesUnder(out), (QStringList { "movie.3gp", "phone.3gp" }));
    QMap<QString, QByteArray> after;
    for (const QString& f : filesUnder(media()))
        after.insert(f, digest(media(f)));
    EXPECT_EQ(after, sources_);
    EXPECT_EQ(filesUnder(path("data/orvanta/Temp")), QStringList());
}

// The same user at scale 2 (a high-density screen), up to the save: the
// screenshots are the window at twice the size, and the movie is saved.
TEST_F(Scenario, FirstMovieUpToTheSaveAtScaleTwo)
{
    const QString out = path("out");
    const ToolRun r = host(firstMovieSteps(out, false), {}, { "QT_SCALE_FACTOR=2" });
    ASSERT_EQ(r.exitCode, 0) << r.out.constData() << r.err.constData();
    EXPECT_FALSE(r.out.contains("unanswered dialog")) << r.out.constData();
    checkShots(2);
    EXPECT_EQ(filesUnder(out), QStringList { "movie.3gp" });
    EXPECT_TRUE(Probe(out + "/movie.3gp", "format_tags=major_brand").startsWith("3gp"));
}

// The Korean suite: a notice before the first save, ticked away for good;
// then the phone model changes while the editor runs, and the next save
// takes that model's format.
TEST_F(Scenario, KoreanSuiteNoticeOnceAndModelChangedWhileRunning)
{
    const QString out = path("out");
    const QList<std::pair<QString, QString>> steps = {
        { "start",
            QString("wait-for idle 30000\nclip \"%1\" 0 2000\nwait 500\nwait-for idle").arg(media("scene.avi")) },
        // The file dialog comes as the notice closes: its answer is queued
        // only now, or the notice would take it.
        { "notice",
            QString("click CCW_EditMenuWnd/save\nwait-for dialog\nwait 300\nclick CCW_MsgBox/DONT_SHOW\n"
                    "answer-path \"%1\"")
                .arg(out + "/first.3gp") },
        { "saved",
            "click CCW_MsgBox/1\nwait 500\nwait-for closed CGlobalWorkDlg 90000\nwait-for idle\n"
            "expect-dialog @CW_MESSAGE/SAVE_OK" },
        { "model",
            QString("registry set Orvanta3.0 ORVT_DEFAULT_MODELNAME TX-35\n"
                    "registry set Orvanta3.0 ORVT_DISPLAY_MODELNAME TX-35\nanswer-path \"%1\"\n"
                    "click CCW_EditMenuWnd/save\nwait 1000\nwait-for closed CGlobalWorkDlg 90000\nwait-for idle\n"
                    "state \"%2\"")
                .arg(out + "/second", state("end")) },
    };
    const ToolRun r = host(steps, { "--lang", "KR", "--model", "TX-07" });
    ASSERT_EQ(r.exitCode, 0) << r.out.constData() << r.err.constData();

    const QJsonObject end = readJson(state("end"));
    int notices = 0;
    for (const QJsonValue w : end["dialogWindows"].toArray())
        notices += w.toObject()["class"].toString() == "CCW_MsgBox";
    EXPECT_EQ(notices, 1);
    QStringList saved;
    for (const QJsonValue d : end["dialogs"].toArray()) {
        if (d.toObject()["kind"].toString() == "skinned-message")
            saved << d.toObject()["text"].toString();
    }
    EXPECT_EQ(saved.count(QStringLiteral("동영상을 저장했습니다.")), 2) << qPrintable(saved.join('|'));

    EXPECT_EQ(filesUnder(out), (QStringList { "first.3gp", "second.skm" }));
    EXPECT_TRUE(Probe(out + "/first.3gp", "format_tags=major_brand").startsWith("3gp"));
    EXPECT_EQ(Probe(out + "/second.skm", "format_tags=major_brand"), "skm2");
    EXPECT_EQ(Probe(out + "/second.skm", "stream=codec_name", "a:0"), "amr_nb");
    EXPECT_EQ(int(DecodeFrames(out + "/second.skm", 176, 144).size()), 10);
}
