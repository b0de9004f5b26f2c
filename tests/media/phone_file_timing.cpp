// test-links: cw_config cw_platform ott_core
// Phone files as a user gets them from cw-save: picture and sound as long as
// the movie and in step with it, the movie box ahead of the media data, the
// brands of the container, and two independent readers (FFmpeg, GStreamer)
// that take them without a complaint. Also the encoder's timeline on its own
// for what is too long to encode in a test. Needs cw-save built.
#include "media_files.h"
#include "ott_timeline.h"
#include "test_util.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <vector>

namespace {

// The source movie: 4 s, black with a white flash and a 1 kHz beep, each
// 0.4 s long, starting together at these instants.
constexpr double kMovieSeconds = 4.0;
const std::vector<double> kEvents { 0.5, 1.3, 2.9 };

// What a command wrote to both its outputs.
QByteArray Said(const ToolRun& r)
{
    return r.err + r.out;
}

// One box of an ISO media file, found by walking the box tree.
struct Box {
    QByteArray type;
    QByteArray body;
};

quint32 Be32(const QByteArray& b, qsizetype at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

std::vector<Box> Boxes(const QByteArray& data, qsizetype begin, qsizetype end)
{
    std::vector<Box> boxes;
    for (qsizetype at = begin; at + 8 <= end;) {
        qsizetype size = Be32(data, at);
        qsizetype header = 8;
        if (size == 1 && at + 16 <= end) {
            size = qsizetype(quint64(Be32(data, at + 8)) << 32 | Be32(data, at + 12));
            header = 16;
        } else if (size == 0) {
            size = end - at;
        }
        if (size < header || size > end - at)
            break;
        boxes.push_back({ data.mid(at + 4, 4), data.mid(at + header, size - header) });
        at += size;
    }
    return boxes;
}

// Starts of the runs where value(t) is above the threshold.
std::vector<double> Onsets(const std::vector<std::pair<double, double>>& series, double threshold)
{
    std::vector<double> onsets;
    bool on = false;
    for (const auto& [t, v] : series) {
        if (v > threshold && !on)
            onsets.push_back(t);
        on = v > threshold;
    }
    return onsets;
}

// Mean luma of every decoded picture, at its presentation time.
std::vector<std::pair<double, double>> PictureBrightness(const QString& file)
{
    const QString csv = RunFfprobe({ "-f", "lavfi", "-i", "movie=" + file + ",signalstats", "-show_entries",
        "frame=pts_time:frame_tags=lavfi.signalstats.YAVG", "-of", "csv=p=0" });
    std::vector<std::pair<double, double>> series;
    for (const QString& line : csv.split('\n')) {
        const QStringList f = line.trimmed().split(',');
        if (f.size() == 2)
            series.emplace_back(f[0].toDouble(), f[1].toDouble());
    }
    return series;
}

// Peak level of the decoded sound in 5 ms windows, from time 0.
std::vector<std::pair<double, double>> SoundLevel(const QString& file)
{
    const std::vector<std::int16_t> s = DecodePcm(file, 8000, 1);
    const int n = int(s.size());
    constexpr int kWindow = 40;
    std::vector<std::pair<double, double>> series;
    for (int i = 0; i + kWindow <= n; i += kWindow) {
        int peak = 0;
        for (int j = i; j < i + kWindow; ++j)
            peak = std::max(peak, std::abs(int(s[j])));
        series.emplace_back(i / 8000.0, peak);
    }
    return series;
}

struct Container {
    const char* model;
    const char* file;
    const char* audio;
    int amrFrameBytes; // one coded 20 ms frame with its header byte; 0 for AAC
    const char* brands; // major, then the compatible ones
};

void PrintTo(const Container& c, std::ostream* os)
{
    *os << c.model << " " << c.file;
}

class PhoneFiles : public ::testing::TestWithParam<Container> {
protected:
    static void SetUpTestSuite()
    {
        const QString d = QFileInfo(MediaCache::Path("suite")).path();
        // cw-save's suite folder: the built libraries and tables; its work
        // folder stays private to this program.
        ASSERT_TRUE(QDir(d).mkpath("suite"));
        for (const char* entry : { "libOTTEnc.so", "libOTTAVIEncoder.so", "ini", "tables" })
            ASSERT_TRUE(QFile::link(QStringLiteral(CW_SUITE_DIR "/") + entry, d + "/suite/" + entry));
        QString on;
        for (double t : kEvents)
            on += QString("%1between(t,%2,%3)").arg(on.isEmpty() ? "" : "+").arg(t).arg(t + 0.4);
        ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", QString("color=c=black:s=160x120:r=25:d=%1").arg(kMovieSeconds),
            "-f", "lavfi", "-i", QString("aevalsrc='0.5*(%1)*sin(2*PI*1000*t)':s=8000:d=%2").arg(on).arg(kMovieSeconds),
            "-vf", QString("drawbox=c=white:t=fill:enable='%1'").arg(on), "-c:v", "mpeg4", "-q:v", "3", "-c:a",
            "pcm_s16le", d + "/sync.avi" }));
        ASSERT_TRUE(WriteFile(d + "/project.json", "{\"video\": [{\"path\": \"sync.avi\"}]}"));
    }

    // Saves the movie for the model; the path of the phone file.
    QString Save(const Container& c)
    {
        const QString out = out_.filePath(c.file);
        const ToolRun r = RunTool(QStringLiteral(CW_BUILD_DIR "/bin/cw-save"),
            { MediaCache::Path("project.json"), "-o", out, "--model", c.model, "--folder", MediaCache::Path("suite") });
        EXPECT_EQ(r.exitCode, 0) << Said(r).constData();
        return out;
    }

    TempRegistry registry_; // each model's save starts from no settings
    QTemporaryDir out_;
};

} // namespace

TEST_P(PhoneFiles, LastAsLongAsTheMovieInStepAndPlayAnywhere)
{
    const Container c = GetParam();
    const QString file = Save(c);
    const QByteArray data = ReadFile(file);
    // Only the finished file is left beside it.
    EXPECT_EQ(QDir(out_.path()).entryList(QDir::Files | QDir::Hidden), QStringList { c.file });

    // Brands, and the movie box before the media data.
    const std::vector<Box> top = Boxes(data, 0, data.size());
    ASSERT_GE(top.size(), 3u);
    QByteArrayList types, brands { top[0].body.left(4) };
    for (const Box& b : top)
        types << b.type;
    for (qsizetype at = 8; at + 4 <= top[0].body.size(); at += 4)
        brands << top[0].body.mid(at, 4);
    EXPECT_EQ(std::pair(types[0], brands.join(' ')), std::pair(QByteArray("ftyp"), QByteArray(c.brands)));
    EXPECT_TRUE(types.indexOf("moov") >= 0 && types.indexOf("moov") < types.indexOf("mdat")) << types.join(' ').data();

    // Lengths and codecs as FFmpeg sees them; both streams start at 0, so no
    // empty edit delays one against the other.
    const QStringList streams
        = RunFfprobe({ "-show_entries", "stream=codec_type,codec_name,start_time,duration", "-of", "csv=p=0", file })
              .split('\n');
    ASSERT_EQ(streams.size(), 2) << qPrintable(streams.join('|'));
    for (const QString& line : streams) {
        const QStringList s = line.split(','); // codec, kind, start, length
        EXPECT_TRUE(s.size() == 4 && s[0] == (s[1] == "video" ? "mpeg4" : c.audio) && std::abs(s[2].toDouble()) < 0.001
            && std::abs(s[3].toDouble() - kMovieSeconds) < 0.2)
            << qPrintable(line);
    }
    if (c.amrFrameBytes > 0) {
        const QString sizes = RunFfprobe({ "-select_streams", "a:0", "-read_intervals", "%+#3", "-show_entries",
            "packet=size", "-of", "csv=p=0", file });
        EXPECT_EQ(sizes.split('\n').value(0).toInt(), c.amrFrameBytes);
    }

    // Reader one: FFmpeg decodes all of it without a word.
    const ToolRun ffmpeg = RunTool("ffmpeg", { "-v", "error", "-nostdin", "-i", file, "-f", "null", "-" });
    EXPECT_TRUE(ffmpeg.exitCode == 0 && Said(ffmpeg).isEmpty()) << Said(ffmpeg).constData();

    // Reader two: GStreamer decodes both streams to the end, into a Matroska
    // file (every buffer with its time, unlike a fake sink's messages).
    const QString decoded = out_.filePath("decoded.mkv");
    const ToolRun run = RunTool("gst-launch-1.0",
        { "uridecodebin", "uri=file://" + file, "name=d", "d.", "!", "queue", "!", "videoconvert", "!",
            "video/x-raw,format=I420", "!", "m.", "d.", "!", "queue", "!", "audioconvert", "!",
            "audio/x-raw,format=S16LE", "!", "m.", "matroskamux", "name=m", "!", "filesink", "location=" + decoded });
    const QByteArray gst = Said(run);
    EXPECT_TRUE(run.exitCode == 0 && !gst.contains("ERROR") && !gst.contains("WARNING")) << gst.constData();
    QMap<QString, double> ends; // of each kind's last buffer
    const QString packets
        = RunFfprobe({ "-show_entries", "packet=codec_type,pts_time,duration_time", "-of", "csv=p=0", decoded });
    for (const QString& line : packets.split('\n')) {
        const QStringList p = line.trimmed().split(',');
        if (p.size() == 3)
            ends[p[0]] = std::max(ends.value(p[0]), p[1].toDouble() + p[2].toDouble());
    }
    EXPECT_EQ(ends.keys(), (QStringList { "audio", "video" }));
    for (double end : ends)
        EXPECT_NEAR(end, kMovieSeconds, 0.2);

    // Sync: each flash and beep where the movie has them; the sound is exact
    // to a codec frame, the picture's frames are 200 ms apart.
    const std::vector<double> flashes = Onsets(PictureBrightness(file), 128);
    const std::vector<double> beeps = Onsets(SoundLevel(file), 3000);
    ASSERT_EQ(std::pair(flashes.size(), beeps.size()), std::pair(kEvents.size(), kEvents.size()));
    for (std::size_t i = 0; i < kEvents.size(); ++i)
        EXPECT_TRUE(std::abs(flashes[i] - kEvents[i]) < 0.2 && std::abs(beeps[i] - kEvents[i]) < 0.05)
            << kEvents[i] << " s: flash at " << flashes[i] << ", beep at " << beeps[i];
}

INSTANTIATE_TEST_SUITE_P(Models, PhoneFiles,
    ::testing::Values(Container { "TX-07", "a.3gp", "amr_nb", 20, "3gp4 3gp4 3gp5 isom" },
        Container { "TX-29", "b.k3g", "amr_nb", 27, "k3g1 k3g1 3gp4 isom" },
        Container { "TX-02", "c.3g2", "amr_nb", 32, "3g2a 3g2a 3gp4 isom" },
        Container { "TX-35", "d.skm", "amr_nb", 32, "skm2 skm2 3gp4 isom" },
        Container { "TX-11", "e.3gp", "aac", 0, "3gp4 3gp4 3gp5 isom" },
        Container { "ZT-500", "f.mp4", "aac", 0, "isom isom iso2 mp41" }),
    [](const ::testing::TestParamInfo<Container>& info) {
        QString name = QString(info.param.model) + "_" + info.param.file;
        return name.replace(QRegularExpression("[^A-Za-z0-9]"), "_").toStdString();
    });

// The timeline for what is too long to encode here.
TEST(PictureTimeline, LengthsAgreeAndEachInstantShowsItsMoment)
{
    const AVRational rate { 5, 1 };
    struct Case {
        int frames;
        std::int64_t samples;
    };
    // One hour sampled every 0.1 s (both ends); a short odd movie; one frame.
    for (const Case c : { Case { 36001, 3600LL * 8000 }, Case { 29, 23456 }, Case { 1, 8000 } }) {
        SCOPED_TRACE(c.frames);
        ott::FramePlacer placer(c.frames, c.samples, 8000);
        ott::PicturePicker picker(rate);
        const std::int64_t length = c.samples * 1000000 / 8000;
        std::int64_t shown = 0;
        std::int64_t worst = 0; // largest distance between an instant and its frame
        std::int64_t heldTime = 0;
        for (int i = 0; i < c.frames; ++i) {
            // Callback times are the block's 200 ms steps, not the sampling's.
            const std::int64_t t = placer.place(i, i * 200);
            const auto split = picker.arrive(i > 0, heldTime, t);
            for (std::int64_t k = shown; k < shown + split.held; ++k)
                worst = std::max(worst, std::abs(picker.instant(k) - heldTime));
            shown += split.held;
            for (std::int64_t k = shown; k < shown + split.incoming; ++k)
                worst = std::max(worst, std::abs(picker.instant(k) - t));
            shown += split.incoming;
            heldTime = t;
        }
        EXPECT_EQ(placer.length(picker.step()), length);
        shown += picker.finish(length);
        // The picture covers the sound to within one frame.
        EXPECT_LE(std::abs(shown * picker.step() - length), picker.step());
        EXPECT_EQ(shown, ott::InstantCount(rate, length));
        // Each instant shows a frame sampled no further away than half a
        // sampling step (or, past the last frame, what remains of the movie).
        const std::int64_t samplingStep = length / c.frames;
        EXPECT_LE(worst, std::max(samplingStep / 2 + 1, length - heldTime));
    }

    // No sound: the callback times place the frames, and the movie lasts one
    // step past the last.
    ott::FramePlacer placer(10, 0, 8000);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(placer.place(i, i * 200), i * 200000);
    EXPECT_EQ(placer.length(200000), 2000000);

    // A wild callback time does not make the picture endless.
    ott::FramePlacer wild(2, 0, 8000);
    wild.place(0, 0);
    EXPECT_LE(wild.place(1, 2000000000), 3LL * 3600 * 1000000);
}
