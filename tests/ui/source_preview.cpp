// The source preview in a created editor.
#include "engine/playback_graph.h"
#include "engine/video_renderer.h"
#include "panes/edited_preview/preview_edited.h"
#include "panes/movie_view/movie_view.h"
#include "panes/source_preview/level_bars.h"
#include "panes/source_preview/preview_media.h"
#include "platform/system_volume.h"
#include "skin/range_slider.h"
#include "skin/skin_button.h"
#include "skin/skin_slider.h"

#include "media_files.h"
#include "shell_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <numeric>
#include <sys/stat.h>

namespace {

// Ten seconds, each one second of red, green or blue in turn (second s has
// colour s mod 3), with a tone.
QString ColourSeconds()
{
    const char* colours[] = { "red", "lime", "blue" };
    QString graph;
    for (int s = 0; s < 10; ++s)
        graph += QString("color=c=%1:s=64x48:r=15:d=1[v%2];").arg(colours[s % 3]).arg(s);
    for (int s = 0; s < 10; ++s)
        graph += QString("[v%1]").arg(s);
    graph += "concat=n=10:v=1:a=0";
    return MediaCache::Make("seconds.avi",
        { "-f", "lavfi", "-i", graph, "-f", "lavfi", "-i", "sine=frequency=440:duration=10", "-c:v", "mpeg4", "-q:v",
            "2", "-c:a", "pcm_s16le", "-t", "10" });
}

class SourcePreview : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        pane = dynamic_cast<CCW_PreviewMedia*>(frame.previewPane()->sourcePreview());
        ASSERT_NE(pane, nullptr);
        pane->SetVolumeMaximum(100);
    }
    LRESULT open(const QString& path, WPARAM kind = 0)
    {
        QString copy = path;
        return ToFrame(msg::OpenSource, kind, ToLParam(&copy));
    }
    int shownColour() const { return CentreColour(pane->view()->Surface()->grab().toImage()); }
    void marks(double left, double right, WPARAM which, LPARAM released = 0)
    {
        pane->rangeSlider()->SetRange(left, right);
        SendMessage(pane, msg::RangeChanged, which, released);
    }
    CGraphBasic& graph() { return pane->view()->Graph(); }

    ScriptedDialogs dialogs;
    QTemporaryDir media;
    CCW_PreviewMedia* pane = nullptr;
};

} // namespace

// Marks drive the frame shown; play stops at the right mark and rewinds to
// the left one; a 2.7 s to 9.2 s selection lands on both tracks as whole
// seconds.
TEST_F(SourcePreview, TrimsAndSendsWholeSeconds)
{
    const QString movie = ColourSeconds();
    ASSERT_FALSE(movie.isEmpty());
    ASSERT_EQ(open(movie), 0);
    EXPECT_TRUE(pane->isLoaded());
    EXPECT_EQ(pane->mediaKind(), 1);
    EXPECT_EQ(pane->clipLengthMs(), 10000u);
    EXPECT_EQ(graph().GraphState(), CGraphBasic::Running);
    EXPECT_TRUE(pane->sendButton()->isVisible());

    marks(4, 8.5, 1);
    EXPECT_NE(graph().GraphState(), CGraphBasic::Running);
    EXPECT_TRUE(WaitFor([&] { return shownColour() == 8 % 3; }, 5000)) << shownColour();
    marks(4, 8.5, 1, 1);
    EXPECT_TRUE(WaitFor([&] { return shownColour() == 4 % 3; }, 5000)) << shownColour();
    EXPECT_EQ(pane->label(), "00:00:04");

    marks(1, 2, 0);
    pane->toggleButton()->click();
    ASSERT_EQ(graph().GraphState(), CGraphBasic::Running);
    ASSERT_TRUE(WaitFor([&] { return graph().GraphState() != CGraphBasic::Running; }, 6000));
    std::int64_t at = 0;
    pane->view()->GetPosition(&at);
    EXPECT_EQ(at, 1000);
    EXPECT_EQ(pane->label(), "00:00:01");
    EXPECT_FALSE(pane->toggleButton()->secondMode());

    pane->rangeSlider()->SetRange(2.7, 9.2);
    pane->sendButton()->click();
    ASSERT_TRUE(WaitFor(
        [&] { return timeline()->track(kVideoTrack).size() == 1 && timeline()->track(kAudioTrack).size() == 1; },
        10000));
    for (int track : { kVideoTrack, kAudioTrack }) {
        const auto& clips = timeline()->track(track);
        ASSERT_EQ(clips.size(), 1u) << track;
        EXPECT_EQ(clips.front().mediaStart(), 2000u);
        EXPECT_EQ(clips.front().length(), 6000u);
        EXPECT_EQ(clips.front().sourceLength(), 10000u);
    }
}

// Kinds and facts of what opens, what does not open, the volume read back
// from the graph, the resets and where the end of playback goes.
TEST_F(SourcePreview, KindsFactsVolumeAndRoutes)
{
    const QString silent = ColourMovie(false);
    const QString avi = ColourMovie();
    const QString mp3 = ToneMp3();
    ASSERT_FALSE(silent.isEmpty() || avi.isEmpty() || mp3.isEmpty());

    ASSERT_EQ(open(silent), 0);
    EXPECT_EQ(pane->mediaKind(), 6);
    ASSERT_EQ(open(mp3), 0);
    EXPECT_EQ(pane->mediaKind(), 2);
    EXPECT_TRUE(pane->spectrum()->isVisible());
    EXPECT_FALSE(pane->view()->isVisible());
    EXPECT_TRUE(pane->infoLine().startsWith("tone550.mp3           0.03MB    00:00:02    mp3"))
        << pane->infoLine().toStdString();
    ASSERT_EQ(open(avi), 0);
    EXPECT_EQ(pane->mediaKind(), 1);
    EXPECT_TRUE(pane->infoLine().startsWith("colours.avi           ")) << pane->infoLine().toStdString();
    EXPECT_TRUE(pane->infoLine().endsWith("MB    00:00:03    64 * 48    avi")) << pane->infoLine().toStdString();
    EXPECT_EQ(frame.statusText(), pane->infoLine());

    // Volume maximum 100: 5 is silence, 100 full; the edited preview follows.
    for (const auto& [position, level] : { std::pair { 5, -10000L }, { 100, 0L } }) {
        SendMessage(pane, msg::SliderMoved, CCW_PreviewMedia::kVolumeId, position);
        long volume = 1;
        EXPECT_EQ(graph().GetVolume(&volume), S_OK);
        EXPECT_EQ(volume, level) << position;
        EXPECT_EQ(frame.editedPreview()->volumeSlider()->GetPos(), position);
    }

    // The end of playback reaches the preview that owns the view.
    auto* stand_in = new Recorder("edited stand-in");
    auto* child = new QObject(stand_in);
    frame.previewPane()->AttachEditedPreview(stand_in);
    EXPECT_TRUE(pane->toggleButton()->secondMode());
    ToFrame(msg::PlaybackFinished, ToWParam(pane->view()), 0);
    EXPECT_FALSE(pane->toggleButton()->secondMode());
    EXPECT_FALSE(stand_in->got(msg::PlaybackFinished));
    ToFrame(msg::PlaybackFinished, ToWParam(child), 0);
    EXPECT_TRUE(stand_in->got(msg::PlaybackFinished));

    // 0x5501 resets only for the pane's own path, in any case; 0x5502 only
    // a clip from the timeline.
    QString other = media.filePath("other.avi");
    ToFrame(msg::FileGone, 0, ToLParam(&other));
    EXPECT_TRUE(pane->isLoaded());
    SendMessage(pane, msg::TrackEmptied, 0, 0);
    EXPECT_TRUE(pane->isLoaded());
    QString mine = avi.toUpper();
    SendMessage(pane, msg::FileGone, 0, ToLParam(&mine));
    EXPECT_FALSE(pane->isLoaded());
    CMediaFile clip(avi, 3000, 64, 48, 1);
    ASSERT_EQ(SendMessage(pane, msg::PreviewClip, kVideoTrack, ToLParam(&clip)), 0);
    EXPECT_TRUE(pane->changeButton()->isVisible());
    SendMessage(pane, msg::TrackEmptied, 0, 0);
    EXPECT_FALSE(pane->isLoaded());
    EXPECT_EQ(pane->label(), "00:00:00");

    // What does not open leaves the pane empty and no dialog behind (the
    // damaged files the decoder refuses: media/untrusted_media.cpp).
    ASSERT_TRUE(WriteFile(media.filePath("half.avi"), ReadFile(avi).left(256)));
    QDir(media.path()).mkdir("folder.avi");
    ASSERT_EQ(mkfifo(QFile::encodeName(media.filePath("fifo.avi")).constData(), 0600), 0);
    for (const char* name : { "half.avi", "folder.avi", "fifo.avi", "gone.avi" }) {
        EXPECT_EQ(open(media.filePath(name)), LRESULT(E_FAIL)) << name;
        EXPECT_FALSE(pane->isLoaded()) << name;
        EXPECT_TRUE(pane->sourcePath().isEmpty()) << name;
    }
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // A file that goes while it is loaded: NO_FILE, and the pane resets.
    const QString doomed = media.filePath("doomed.avi");
    ASSERT_TRUE(QFile::copy(ColourMovie(), doomed));
    ASSERT_EQ(open(doomed), 0);
    QFile::remove(doomed);
    pane->toggleButton()->click();
    EXPECT_FALSE(pane->isLoaded());
    EXPECT_EQ(dialogs->records().back().kind, DialogKind::SkinnedMessage);
}

// The source search over item tables, hold-and-fall, the falling timer
// that ends at once at zero heights, and a running spectrum that stops
// within a second without a mixer.
TEST_F(SourcePreview, Spectrum)
{
    using Item = CCaptureSourceCtrl::SourceItem;
    using Line = CCaptureSourceCtrl::LineType;
    const struct {
        QList<Item> items;
        int waveMix, mic;
    } tables[] = {
        { { { "CD" }, { "Microphone" }, { "Line In" }, { "Stereo Mix" } }, 3, 1 },
        { { { QString::fromUtf8("마이크") }, { QString::fromUtf8("웨이브 출력") } }, 1, 0 },
        { { { "Input 1", Line::WaveOut }, { "Input 2", Line::Microphone }, { "Input 3" } }, 0, 1 },
        { { { "CD" }, { "Front Mic" }, { "Rear mic" } }, 2, 2 },
        { { { "CD" }, { "Line" } }, -1, -1 },
    };
    for (const auto& t : tables) {
        const auto choice = CCaptureSourceCtrl::ChooseItems(t.items);
        EXPECT_EQ(choice.waveMix, t.waveMix) << t.items.first().text.toStdString();
        EXPECT_EQ(choice.mic, t.mic) << t.items.first().text.toStdString();
    }

    // A taller value is taken on the seventh chance; the fall takes one level.
    CSpectrumBars bars;
    for (int step = 0; step < 6; ++step)
        bars.Step([] { return 29; });
    EXPECT_EQ(bars.Heights()[0], 0);
    EXPECT_EQ(bars.Hold(9), 6);
    bars.Step([] { return 59; });
    EXPECT_EQ(bars.Heights()[4], 29);
    EXPECT_EQ(bars.Hold(4), 0);
    bars.Fall();
    bars.Step([] { return 10; });
    EXPECT_EQ(bars.Heights()[7], 28);
    std::srand(7);
    for (int step = 0; step < 200; ++step) {
        bars.Step([] { return std::rand(); });
        bars.Fall();
        for (int i = 0; i < CSpectrumBars::kCount; ++i) {
            ASSERT_GE(bars.Heights()[std::size_t(i)], 0);
            ASSERT_LE(bars.Heights()[std::size_t(i)], 28);
            ASSERT_LE(bars.Hold(i), CSpectrumBars::kHoldLimit);
        }
    }

    QTemporaryDir skin;
    for (const auto& [name, colour] :
        { std::pair { "BACK", Qt::darkBlue }, { "TICK1", Qt::white }, { "TICK2", Qt::green } }) {
        QImage img(name[0] == 'B' ? QSize(200, 60) : QSize(9, 4), QImage::Format_RGB32);
        img.fill(colour);
        ASSERT_TRUE(img.save(skin.filePath(QString(name) + ".png")));
    }
    static QTemporaryDir* folder = &skin;
    const ResourceLookup lookup([](QString, QString) { return QString(); },
        [](QString, QString key) { return folder->filePath(key + ".png"); });
    CCW_AudioSpectrum spectrum(lookup, nullptr, QString());
    spectrum.resize(200, 60);
    spectrum.show();
    QElapsedTimer clock;
    clock.start();
    spectrum.StopSpectrum(10);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(WaitFor([&] { return !spectrum.IsFalling(); }, 1000));
    const QImage still = spectrum.grab().toImage();
    EXPECT_EQ(still.pixelColor(20, 60 - 27 + 1), QColor(Qt::darkBlue));

    spectrum.StartSpectrum();
    EXPECT_TRUE(WaitFor(
        [&] {
            const auto f = spectrum.shownFrame();
            return std::accumulate(f.begin(), f.end(), 0) > 0;
        },
        3000));
    EXPECT_EQ(spectrum.MixerAvailable(), 0);
    clock.restart();
    spectrum.StopSpectrum(10);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(spectrum.IsRunning());
    EXPECT_TRUE(WaitFor([&] { return !spectrum.IsFalling(); }, 3000));
    const auto rest = spectrum.shownFrame();
    EXPECT_EQ(std::accumulate(rest.begin(), rest.end(), 0), 0);
}
