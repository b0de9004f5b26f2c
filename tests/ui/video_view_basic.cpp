// The movie view in a real widget: what it adds to the playback graph
// (media/playback_graph.cpp).
// test-links: cw_panes

#include "engine/frame_cache.h"
#include "engine/video_renderer.h"
#include "engine/work_state.h"
#include "mediainfo/mp3_file_info.h"
#include "panes/movie_view/movie_view.h"
#include "platform/dialog_service.h"

#include "media_files.h"
#include "recorder.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <tuple>
#include <utility>

namespace {

class VideoView : public ::testing::Test {
protected:
    void SetUp() override
    {
        host.resize(240, 180);
        view = new CCW_VideoView(&host);
        view->setGeometry(0, 0, 200, 150);
        view->SetMainFrame(&mainFrame);
        host.show();
    }

    // The open results the main frame heard of (the code, the view kind).
    std::vector<std::pair<HRESULT, int>> opened() const
    {
        std::vector<std::pair<HRESULT, int>> results;
        for (const Sent& s : mainFrame.sent) {
            if (s.message == msg::MovieViewOpened)
                results.emplace_back(HRESULT(std::uint32_t(s.wParam)), int(s.lParam));
        }
        return results;
    }
    // Waits for the main frame to hear of the next open and returns its result.
    HRESULT Opened()
    {
        const std::size_t next = seen + 1;
        if (!WaitFor([&] { return opened().size() >= next; }, 30000))
            return E_UNEXPECTED;
        seen = next;
        EXPECT_FALSE(view->IsOpening());
        EXPECT_EQ(view->OpenResult(), opened()[next - 1].first);
        return opened()[next - 1].first;
    }
    HRESULT OpenVideo(const QString& path)
    {
        const HRESULT hr = view->OpenVideoFile(path);
        return FAILED(hr) ? hr : Opened();
    }
    HRESULT OpenAudio(const QString& path)
    {
        const HRESULT hr = view->OpenAudioFile(path);
        return FAILED(hr) ? hr : Opened();
    }
    // A transport button by letter: p PlayPause, h Pause (hold), s Stop.
    HRESULT Move(char button)
    {
        return button == 'p' ? view->PlayPause() : button == 'h' ? view->Pause() : view->Stop();
    }

    QTemporaryDir dir;
    QWidget host;
    CCW_VideoView* view = nullptr;
    Recorder mainFrame { "main frame" };
    std::size_t seen = 0; // open results taken by Opened()
};
} // namespace

TEST_F(VideoView, VideoFileEndsOnceRewindsSuspendsAndNotifiesTheMainFrame)
{
    const QString movie = ColourMovie();
    ASSERT_FALSE(movie.isEmpty());
    ASSERT_EQ(view->OpenVideoFile(movie), S_OK);
    // The open runs on the worker; the kind and the path are set at once.
    EXPECT_TRUE(view->IsOpening());
    EXPECT_EQ(view->ViewKind(), CCW_VideoView::KindVideoFile);
    EXPECT_EQ(view->Path(), movie);
    ASSERT_EQ(Opened(), S_OK);
    EXPECT_EQ(opened().back().second, CCW_VideoView::KindVideoFile);
    EXPECT_EQ(view->VideoSize(), QSize(64, 48));
    EXPECT_TRUE(view->isVisible());

    // The video surface is a child filling the view, and follows its size.
    CVideoSurface* video = view->Surface();
    ASSERT_NE(video->Slot(), nullptr);
    EXPECT_EQ(video->parentWidget(), view);
    EXPECT_EQ(video->geometry(), view->rect());
    EXPECT_TRUE(video->isVisible());
    view->resize(160, 120);
    EXPECT_EQ(video->geometry(), QRect(0, 0, 160, 120));

    ASSERT_EQ(view->PlayPause(), S_OK);
    EXPECT_EQ(view->GraphState(), CGraphBasic::Running);
    ASSERT_EQ(view->SetPosition(2500), S_OK);
    ASSERT_TRUE(WaitFor([&] { return mainFrame.times(msg::PlaybackFinished) > 0; }, 10000));
    QTest::qWait(200);
    EXPECT_EQ(mainFrame.times(msg::PlaybackFinished), 1);
    // Rewound and stopped, with the first picture up again.
    EXPECT_EQ(view->GraphState(), CGraphBasic::Stopped);
    std::int64_t ms = -1;
    EXPECT_EQ(view->GetPosition(&ms), S_OK);
    EXPECT_EQ(ms, 0);
    QTest::qWait(50);
    EXPECT_EQ(CentreColour(video->grab().toImage()), 0) << "the widget paints the frame";

    // Suspending pauses and hides the view; resuming restores the state before
    // it. A frame extraction pauses playback the same way and resumes it (the
    // frames themselves: media/extract_frames.cpp).
    const std::pair<char, CGraphBasic::State> moves[] = {
        { 'p', CGraphBasic::Running },
        { 'p', CGraphBasic::Paused },
        { 's', CGraphBasic::Stopped },
    };
    for (const auto& [move, state] : moves) {
        SCOPED_TRACE(int(state));
        ASSERT_EQ(Move(move), S_OK);
        view->Suspend(true);
        EXPECT_FALSE(view->isVisible());
        EXPECT_EQ(view->GraphState(), CGraphBasic::Paused);
        view->Suspend(false);
        EXPECT_TRUE(view->isVisible());
        EXPECT_EQ(view->GraphState(), state);
    }

    TempRegistry registry;
    ScriptedDialogs dialogs;
    SetSuiteValue("FOLDER", dir.path());
    CMovieWorkState::Reset();
    ASSERT_EQ(view->PlayPause(), S_OK);
    FrameCache cache;
    std::int32_t count = -1;
    EXPECT_EQ(view->ExtractFrames(movie, 64, 48, &count, 0.5, 0.0, 1.0, 1, cache), S_OK);
    EXPECT_EQ(view->GraphState(), CGraphBasic::Running);
    EXPECT_TRUE(view->isVisible());
    CMovieWorkState::Reset();

    view->Close();
    EXPECT_EQ(view->ViewKind(), CCW_VideoView::KindNone);
    EXPECT_EQ(view->GraphState(), CGraphBasic::Closed);
    EXPECT_EQ(view->Surface()->Slot(), nullptr);
    EXPECT_FALSE(view->Surface()->isVisible());
}

TEST_F(VideoView, TransportRulesAndTheNewestOpenWins)
{
    // Empty: it paints black, ignores graph notices and refuses every move.
    EXPECT_EQ(SendMessage(view, msg::WM_GRAPHNOTIFY), 0);
    EXPECT_EQ(mainFrame.times(msg::PlaybackFinished), 0);
    QTest::qWait(20);
    const QImage image = view->grab().toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixelColor(10, 10), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(image.width() - 5, image.height() - 5), QColor(Qt::black));
    for (char move : { 'p', 'h', 's' })
        EXPECT_EQ(Move(move), E_FAIL) << move;
    std::int64_t ms = 0;
    EXPECT_EQ(view->GetPosition(&ms), E_FAIL);
    // Without a movie timeline there is nothing to render or preview.
    EXPECT_EQ(view->TimelineDurationMs(), 0);
    EXPECT_EQ(view->CompressVideo(dir.filePath("out.avi"), 0, 0), E_FAIL);
    EXPECT_TRUE(FAILED(view->OpenEditedMovie()));

    const QString movie = ColourMovie(), mp3 = ToneMp3();
    ASSERT_FALSE(movie.isEmpty() || mp3.isEmpty());
    ASSERT_EQ(OpenVideo(movie), S_OK);
    // Opened: the view refuses Stop, which the graph itself would accept;
    // pause only in states 1 to 3, stop only in states 2 and 4.
    using G = CGraphBasic;
    const std::tuple<char, HRESULT, G::State> moves[] = { { 's', E_FAIL, G::Open }, { 'h', S_OK, G::Paused },
        { 'h', E_FAIL, G::Paused }, { 'p', S_OK, G::Running }, { 'p', S_OK, G::Paused }, { 's', S_OK, G::Stopped },
        { 's', E_FAIL, G::Stopped }, { 'h', S_OK, G::Paused } };
    for (const auto& row : moves) {
        const auto& [move, result, state] = row;
        EXPECT_EQ(Move(move), result) << "row " << &row - moves;
        EXPECT_EQ(view->GraphState(), state) << "row " << &row - moves;
    }

    // Positions in milliseconds.
    EXPECT_EQ(view->SetPosition(1500), S_OK);
    EXPECT_EQ(view->GetPosition(&ms), S_OK);
    EXPECT_EQ(ms, 1500);

    // A file that cannot be opened fails with its surface hidden.
    EXPECT_EQ(OpenVideo(dir.filePath("missing.avi")), E_FAIL);
    EXPECT_FALSE(view->Surface()->isVisible());
    EXPECT_EQ(view->OpenVideoFile(QString()), E_INVALIDARG);
    EXPECT_FALSE(view->IsOpening());

    // The newest open wins; a close or a delete drops an open under way
    // (the open results counted from here).
    mainFrame.clear();
    seen = 0;
    // Views gone while the worker opens, and gone with the result waiting in
    // the event queue (no events are handled meanwhile): nothing comes back.
    for (int delayMs : { 0, 30, 500 }) {
        auto* doomed = new CCW_VideoView(&host);
        doomed->SetMainFrame(&mainFrame);
        ASSERT_EQ(doomed->OpenVideoFile(movie), S_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        delete doomed;
    }
    QTest::qWait(300);
    EXPECT_TRUE(opened().empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy cursor is gone with the views";

    // Asked again before the first open came back: only the second is shown.
    ASSERT_EQ(view->OpenVideoFile(movie), S_OK);
    ASSERT_EQ(view->OpenAudioFile(mp3), S_OK);
    EXPECT_EQ(view->ViewKind(), CCW_VideoView::KindAudioFile);
    ASSERT_EQ(Opened(), S_OK);
    EXPECT_EQ(opened().back().second, CCW_VideoView::KindAudioFile);
    EXPECT_EQ(view->Path(), mp3);
    EXPECT_TRUE(view->Graph().IsAudioOnly());
    // A sound file hides the view and lasts the MP3's playing time.
    EXPECT_FALSE(view->isVisible());
    MP3FileInfo info;
    ASSERT_TRUE(info.Open(QFile::encodeName(mp3).constData()));
    EXPECT_EQ(view->DurationMs(), std::int64_t(info.PlayingTime()) * 1000);
    QTest::qWait(300);
    EXPECT_EQ(opened().size(), 1u) << "the first open was dropped";

    // Closed while opening: nothing comes back, and a later open works. The
    // sound closes as the video's open starts.
    ASSERT_EQ(view->PlayPause(), S_OK);
    ASSERT_EQ(view->OpenVideoFile(movie), S_OK);
    EXPECT_EQ(view->GraphState(), CGraphBasic::Closed);
    view->Close();
    EXPECT_FALSE(view->IsOpening());
    EXPECT_EQ(view->OpenResult(), S_FALSE);
    EXPECT_EQ(view->ViewKind(), CCW_VideoView::KindNone);
    ASSERT_EQ(OpenVideo(movie), S_OK);
    QTest::qWait(300);
    EXPECT_EQ(opened().size(), 2u) << "the closed open was dropped";
    EXPECT_EQ(view->ViewKind(), CCW_VideoView::KindVideoFile);
    EXPECT_EQ(view->GraphState(), CGraphBasic::Open);

    // The edited movie supersedes an open under way too.
    ASSERT_EQ(view->ResetTimeline(), S_OK);
    ASSERT_EQ(view->AddClip(CMediaFile(movie, 2000, 64, 48, 1), 1), S_OK);
    ASSERT_EQ(view->FinishTimeline(), S_OK);
    ASSERT_EQ(view->OpenAudioFile(mp3), S_OK);
    ASSERT_EQ(view->OpenEditedMovie(), S_OK);
    QTest::qWait(300);
    EXPECT_EQ(opened().size(), 2u);
    EXPECT_EQ(view->ViewKind(), CCW_VideoView::KindEditedMovie);
    EXPECT_EQ(view->TimelineDurationMs(), 2000);
    EXPECT_EQ(view->DurationMs(), 2000);
}
