// test-links: cw_panes
// Track operations and the timeline window's routing: the lists, their
// positions, and the notifications that go to the main frame and the
// container with each operation.
#include "panes/timeline/timeline_view.h"
#include "panes/timeline/timeline_window.h"
#include "platform/messages.h"
#include "project/clip_track.h"
#include "recorder.h"
#include "test_util.h"

#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <optional>
#include <tuple>
#include <utility>

namespace {

CMediaFile Clip(const QString& name, std::uint32_t length, int kind = ClipKind::Sound)
{
    return CMediaFile("/m/" + name, length, 0, 0, kind);
}

// Names of the clips in list order, "*" marking the selected ones.
QString Names(const CClipTrack& t)
{
    QStringList out;
    for (const auto& c : t.clips())
        out << c.name() + (c.IsSelected() ? "*" : "");
    return out.join(' ');
}

// The invariants every operation keeps once the track is laid out.
void CheckConsistency(CClipTrack& t)
{
    t.Layout();
    std::uint32_t sum = 0;
    for (const auto& c : t.clips()) {
        EXPECT_EQ(c.timelineStart(), sum);
        EXPECT_FALSE(c.IsEmpty());
        sum += c.length();
    }
    EXPECT_EQ(t.totalLength(), sum);
    if (t.selectedPos()) {
        ASSERT_LT(*t.selectedPos(), t.size());
        EXPECT_TRUE(t.at(*t.selectedPos()).IsSelected());
    }
    if (t.editedPos()) {
        EXPECT_LT(*t.editedPos(), t.size());
    }
}

CClipTrack ThreeClips()
{
    CClipTrack t;
    t.Add(Clip("a.mp3", 1000));
    t.Add(Clip("b.mp3", 2000));
    t.Add(Clip("c.mp3", 3000));
    t.ClearSelection();
    return t;
}

TEST(ClipTrack, AddSelectsOnlyTheNewClipAndLayoutIsContiguous)
{
    CClipTrack t;
    EXPECT_EQ(t.Add(Clip("a.mp3", 1000)), 0u);
    EXPECT_EQ(t.Add(Clip("b.mp3", 2500)), 1u);
    EXPECT_EQ(Names(t), "a b*");
    EXPECT_FALSE(t.Add(CMediaFile()).has_value());
    EXPECT_EQ(t.size(), 2u);
    CheckConsistency(t);
    EXPECT_EQ(t.totalLength(), 3500u);
}

TEST(ClipTrack, ReplaceNeedsAnEditedClip)
{
    CClipTrack t = ThreeClips();
    t.at(0).SetSelected(true);
    EXPECT_FALSE(t.Replace(Clip("x.mp3", 500)));
    EXPECT_EQ(Names(t), "a b c"); // deselected, nothing stored

    t.SetEditedPos(1);
    EXPECT_TRUE(t.Replace(Clip("x.mp3", 500)));
    EXPECT_EQ(Names(t), "a x* c");
    EXPECT_EQ(t.selectedPos(), 1u);
    CheckConsistency(t);
    EXPECT_EQ(t.at(2).timelineStart(), 1500u);
}

TEST(ClipTrack, MovesFollowSelectedAndEditedPositions)
{
    using M = CClipTrack::Move;
    using R = CClipTrack::MoveResult;
    CClipTrack t = ThreeClips();
    t.at(0).SetSelected(true);
    t.SetSelectedPos(0);
    t.SetEditedPos(0);
    // One clip, selected and edited, walked through every move in turn: the
    // result, the order and the selected and edited position afterwards.
    const std::tuple<M, R, QString, std::size_t> steps[] = { { M::Forward, R::Refused, "a* b c", 0 },
        { M::First, R::InPlace, "a* b c", 0 }, { M::Backward, R::Moved, "b a* c", 1 },
        { M::End, R::Moved, "b c a*", 2 }, { M::Backward, R::Refused, "b c a*", 2 },
        { M::End, R::InPlace, "b c a*", 2 }, { M::First, R::Moved, "a* b c", 0 } };
    for (const auto& [move, result, names, pos] : steps) {
        const R got = t.MoveSelection(move);
        EXPECT_EQ(std::tuple(got, Names(t), t.selectedPos(), t.editedPos()), std::tuple(result, names, pos, pos));
    }
    CheckConsistency(t);

    // The edited position follows its clip when another clip moves over it.
    t.ClearSelection();
    t.SetEditedPos(1); // b
    t.at(2).SetSelected(true);
    t.MoveSelection(M::Forward);
    EXPECT_EQ(std::tuple(Names(t), t.editedPos()), std::tuple(QString("a c* b"), std::size_t(2)));

    // Nothing selected, or a single clip: every move is refused.
    CClipTrack none = ThreeClips(), one;
    one.Add(Clip("a.mp3", 1000));
    for (auto m : { M::Forward, M::Backward, M::First, M::End })
        EXPECT_EQ(std::pair(none.MoveSelection(m), one.MoveSelection(m)), std::pair(R::Refused, R::Refused));

    // Several selected clips move together.
    CClipTrack several = ThreeClips();
    several.Add(Clip("d.mp3", 1000)); // selected as the new clip
    several.at(1).SetSelected(true);
    for (const auto& [move, names] : { std::pair { M::Forward, "b* a d* c" }, std::pair { M::End, "a c b* d*" },
             std::pair { M::First, "b* d* a c" } }) {
        several.MoveSelection(move);
        EXPECT_EQ(Names(several), names);
    }
    CheckConsistency(several);
}

TEST(ClipTrack, DeleteSelectedAndRemoveByPathKeepPositions)
{
    CClipTrack t = ThreeClips();
    EXPECT_FALSE(t.DeleteSelected().removedAny);

    t.SetEditedPos(2);
    t.at(0).SetSelected(true);
    t.SetSelectedPos(0);
    auto r = t.DeleteSelected();
    EXPECT_EQ(std::tuple(r.removedAny, r.removedEdited), std::tuple(true, false));
    EXPECT_EQ(Names(t), "b c");
    EXPECT_FALSE(t.selectedPos().has_value());
    EXPECT_EQ(t.editedPos(), 1u); // c slid down

    t.at(1).SetSelected(true);
    r = t.DeleteSelected();
    EXPECT_TRUE(r.removedEdited && !t.editedPos().has_value());

    CClipTrack p = ThreeClips();
    p.Add(CMediaFile("/M/A.MP3", 500, 0, 0, ClipKind::Sound));
    p.SetSelectedPos(3);
    EXPECT_EQ(p.RemovePath("/m/a.mp3"), 2u); // without regard to case
    EXPECT_EQ(Names(p), "b c");
    EXPECT_FALSE(p.selectedPos().has_value());
    EXPECT_EQ(p.RemovePath("/m/none.mp3"), 0u);
    CheckConsistency(p);

    EXPECT_EQ((std::tuple { p.DeleteAll(), p.DeleteAll(), p.totalLength() }), std::tuple(true, false, 0u));
}

TEST(ClipTrack, TrimClampsAndMoveAfterKeepsTheSelectionsOrder)
{
    CClipTrack t = ThreeClips();
    // The left edge in by 1.2 s, then not before the source's start; the
    // right edge not past the source's end, and at least a second kept.
    const std::tuple<bool, int, std::uint32_t, std::uint32_t> trims[] = { { true, 1200, 1200, 1800 },
        { true, -5000, 0, 3000 }, { false, 4000, 0, 3000 }, { false, -2500, 0, CClipTrack::kMinTrimLength } };
    for (const auto& [left, by, start, length] : trims) {
        ASSERT_TRUE(t.TrimClip(2, left, by)) << by;
        EXPECT_EQ(std::tuple(t.at(2).mediaStart(), t.at(2).length()), std::tuple(start, length)) << by;
    }
    EXPECT_FALSE(t.TrimClip(3, false, 1));
    CheckConsistency(t);

    t.Add(Clip("d.mp3", 1000));
    t.at(0).SetSelected(true);
    t.SetSelectedPos(0);
    t.SetEditedPos(std::size_t(1));
    EXPECT_EQ(t.MoveSelectionAfter(2), CClipTrack::MoveResult::Moved);
    EXPECT_EQ(Names(t), "b c a* d*");
    EXPECT_EQ(std::tuple(t.selectedPos(), t.editedPos()),
        std::tuple(std::optional<std::size_t>(2), std::optional<std::size_t>(0)));
    EXPECT_EQ(t.MoveSelectionAfter(2), CClipTrack::MoveResult::Refused); // a selected anchor
    EXPECT_EQ(t.MoveSelectionAfter(1), CClipTrack::MoveResult::InPlace);
    CheckConsistency(t);
}

// ---------------------------------------------------------------------------
// Track view: the notifications of each operation.

class TrackViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view = new CCW_TimeLineView("Audio TimeLine", kAudioTrack, &window);
        view->SetFrame(&frame);
        for (const char* n : { "a.mp3", "b.mp3", "c.mp3" })
            view->AddClip(Clip(n, 1000));
        view->track().ClearSelection();
    }
    void Select(std::size_t pos)
    {
        view->track().at(pos).SetSelected(true);
        view->track().SetSelectedPos(pos);
    }

    Recorder window; // the view's parent, the timeline window
    Recorder frame;
    CCW_TimeLineView* view = nullptr;
};

TEST_F(TrackViewTest, MovesTellTheFrameOnlyWhenTheyGoAhead)
{
    Select(0);
    EXPECT_FALSE(view->MoveForward()); // refused: nothing sent
    EXPECT_TRUE(view->MoveFirst()); // already first: still announced
    EXPECT_TRUE(view->MoveBackward());
    EXPECT_EQ(Names(view->track()), "b a* c");
    const Sent stop { msg::StopPlayback, 3, 0 }, reset { msg::ResetPreviews, 3, 0 };
    EXPECT_EQ(frame.sent, (std::vector<Sent> { stop, reset, stop, reset }));
}

// Deleting resets the movie preview, and the source preview for the edited
// clip; emptying the track tells the timeline window once.
TEST_F(TrackViewTest, DeleteResetsThePreviewsAndEmptyingTellsTheWindowOnce)
{
    EXPECT_FALSE(view->DeleteSelected()); // nothing selected: nothing sent
    Select(1);
    EXPECT_TRUE(view->DeleteSelected());
    view->track().SetEditedPos(0);
    Select(0);
    EXPECT_TRUE(view->DeleteSelected());
    // The movie preview each time, then the source preview for the edited clip.
    const auto reset = msg::ResetPreviews;
    EXPECT_EQ(frame.sent, (std::vector<Sent> { { reset, 3, 0 }, { reset, 3, 0 }, { reset, 0, 0 } }));

    window.sent.clear();
    EXPECT_TRUE(view->DeleteAll());
    EXPECT_FALSE(view->DeleteAll());
    EXPECT_EQ(window.sent, (std::vector<Sent> { { msg::TrackEmptied, ToWParam(view), 0 } }));
}

// ---------------------------------------------------------------------------
// Timeline window: routing by kind with real files.

class TimelineRouting : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_FALSE(MediaCache::Make("both.avi",
            { "-f", "lavfi", "-i", "testsrc=size=64x48:rate=5:duration=1", "-f", "lavfi", "-i", "sine=duration=1",
                "-shortest" })
                         .isEmpty());
        ASSERT_FALSE(MediaCache::Make("sound.mp4", { "-f", "lavfi", "-i", "sine=duration=1" }).isEmpty());
        ASSERT_FALSE(
            MediaCache::Make("mute.avi", { "-f", "lavfi", "-i", "testsrc=size=64x48:rate=5:duration=1" }).isEmpty());
    }

    void SetUp() override
    {
        timeline = new CCW_TimeLineWnd(&container);
        timeline->SetFrame(&frame);
    }
    LRESULT Send(WPARAM w, const CMediaFile& clip)
    {
        return SendMessage(timeline, msg::ClipToTimeline, w, ToLParam(&clip));
    }
    // Video clips land once the media-probe service has answered.
    void Settle()
    {
        ASSERT_TRUE(WaitFor([&] { return !timeline->HasPendingAdds(); }, 30000));
    }
    CMediaFile File(const char* name, int kind) { return CMediaFile(MediaCache::Path(name), 3000, 64, 48, kind); }
    const CClipTrack& Track(int i) { return timeline->view(i)->track(); }

    Recorder container;
    Recorder frame;
    CCW_TimeLineWnd* timeline = nullptr;
};

TEST_F(TimelineRouting, VideoWithSoundGoesOnBothTracksAsIndependentCopies)
{
    EXPECT_EQ(Send(0, File("both.avi", ClipKind::VideoWithSound)), 0);
    Settle();
    // The video track received it; the audio copy lost its selection.
    ASSERT_EQ(Names(Track(kVideoTrack)) + " | " + Names(Track(kAudioTrack)), "both* | both");
    EXPECT_EQ(Track(kVideoTrack).selectedPos(), 0u);
    EXPECT_EQ(timeline->activeTrack(), kVideoTrack);
    EXPECT_EQ(container.sent.back(), (Sent { msg::TrackActivated, WPARAM(kVideoTrack), 0 }));

    timeline->view(kAudioTrack)->track().at(0).SetTrim(1000, 1000);
    EXPECT_EQ(Track(kVideoTrack).at(0).length(), 3000u);
}

TEST_F(TimelineRouting, KindsWithoutVideoStreamBecomeSound)
{
    Send(0, File("sound.mp4", ClipKind::VideoWithSound));
    Send(0, File("sound.mp4", ClipKind::VideoOnly));
    Settle();
    ASSERT_EQ(Names(Track(kVideoTrack)) + " | " + Names(Track(kAudioTrack)), " | sound sound*");
    EXPECT_EQ(std::tuple(Track(kAudioTrack).at(0).kind(), Track(kAudioTrack).at(1).kind()),
        std::tuple(ClipKind::Sound, ClipKind::Sound));
    EXPECT_EQ(Track(kAudioTrack).selectedPos(), 1u);
    EXPECT_EQ(Track(kAudioTrack).at(1).timelineStart(), 3000u);

    Send(0, File("mute.avi", ClipKind::VideoOnly));
    Settle();
    EXPECT_EQ(Names(Track(kVideoTrack)) + " | " + Names(Track(kAudioTrack)), "mute* | sound sound");
    EXPECT_EQ(Track(kAudioTrack).selectedPos(), std::nullopt); // the video track is active now
}

TEST_F(TimelineRouting, RequestsSentWhileAVideoClipWaitsKeepTheirOrder)
{
    EXPECT_EQ(Send(0, File("both.avi", ClipKind::VideoWithSound)), 0);
    EXPECT_EQ(Send(0, File("sound.mp4", ClipKind::Sound)), 0);
    EXPECT_EQ(Send(0, File("mute.avi", ClipKind::VideoOnly)), 0);
    EXPECT_EQ(Send(0, File("x.jpg", 4)), 1); // goes nowhere, waits for nothing
    EXPECT_EQ(Send(0, CMediaFile()), 1);
    // Nothing lands before the probe answers, not even the sound clip.
    EXPECT_TRUE(timeline->HasPendingAdds());
    EXPECT_TRUE(timeline->IsEmpty());
    SendMessage(timeline, msg::DeleteAllClips, kVideoTrack, 0); // after the three adds
    Send(0, File("voice.wav", ClipKind::Voice));
    Settle();
    EXPECT_EQ(Names(Track(kVideoTrack)) + " | " + Names(Track(kAudioTrack)) + " | " + Names(Track(kVoiceTrack)),
        " | both sound | voice*");
    EXPECT_EQ(timeline->activeTrack(), kVoiceTrack);
}

TEST_F(TimelineRouting, AServiceGoneBeforeItAnsweredIsReplaced)
{
    auto* service = new CMediaProbe;
    timeline->SetMediaProbe(service);
    Send(0, File("mute.avi", ClipKind::VideoOnly));
    delete service; // its answer is lost; the window asks again
    Settle();
    EXPECT_EQ(Track(kVideoTrack).size(), 1u);

    // A window destroyed while a clip waits takes the answer with it.
    Send(0, File("both.avi", ClipKind::VideoWithSound));
    delete timeline;
    timeline = nullptr;
    QTest::qWait(50);
}

TEST_F(TimelineRouting, EditedClipGoesBackToTheTrimmedTrack)
{
    Send(0, File("sound.mp4", ClipKind::Sound));
    Send(0, File("sound.mp4", ClipKind::Sound));
    // The audio view asks to preview its selected (second) clip.
    CCW_TimeLineView* audio = timeline->view(kAudioTrack);
    audio->PreviewSelected();
    EXPECT_EQ(timeline->trimTrack(), kAudioTrack);
    EXPECT_EQ(std::tuple(container.sent.back().message, container.sent.back().wParam),
        std::tuple(msg::PreviewClip, WPARAM(kAudioTrack)));
    EXPECT_EQ(audio->track().editedPos(), 1u);

    CMediaFile trimmed = File("sound.mp4", ClipKind::Sound);
    trimmed.SetTrim(1000, 1000);
    Send(1, trimmed);
    ASSERT_EQ(Track(kAudioTrack).size(), 2u);
    EXPECT_EQ(Track(kAudioTrack).at(1).length(), 1000u);
    EXPECT_EQ(Track(kAudioTrack).totalLength(), 4000u);

    // Without an edited clip the same request adds.
    audio->track().SetEditedPos(std::nullopt);
    Send(1, trimmed);
    EXPECT_EQ(Track(kAudioTrack).size(), 3u);
}

TEST_F(TimelineRouting, DeleteMessagesAndTrackEmptied)
{
    Send(0, File("both.avi", ClipKind::VideoWithSound));
    Send(0, File("voice.wav", ClipKind::Voice));
    Settle();
    // The video track is being trimmed (emptying that one resets the source
    // preview: ui/shell_routing); emptying another track tells nobody.
    timeline->view(kVideoTrack)->track().SetSelectedPos(0);
    timeline->view(kVideoTrack)->PreviewSelected();
    frame.sent.clear();
    // 0x5342 deletes the selection, or the whole track without one.
    SendMessage(timeline, msg::DeleteFromTrack, kAudioTrack, 0);
    EXPECT_TRUE(Track(kAudioTrack).empty());
    EXPECT_TRUE(frame.sent.empty());
    ASSERT_EQ(Track(kVoiceTrack).size(), 1u);
    SendMessage(timeline, msg::DeleteAllClips, 3, 0);
    EXPECT_TRUE(timeline->IsEmpty());
}

TEST_F(TimelineRouting, DroppedFileOpensInThePreviewAndActivatesItsTrack)
{
    Send(0, File("sound.mp4", ClipKind::Sound));
    Send(0, File("sound.mp4", ClipKind::Sound));
    timeline->view(kAudioTrack)->track().ClearSelection();
    const QString path = MediaCache::Path("sound.mp4");
    frame.sent.clear();
    EXPECT_EQ(SendMessage(timeline, msg::FilesDropped, 1, ToLParam(&path)), 0);
    ASSERT_EQ(frame.sent.size(), 2u);
    EXPECT_EQ(frame.sent[1], (Sent { msg::ShowSourcePreview, 0, 0 }));
    EXPECT_EQ(timeline->trimTrack(), kAudioTrack);
    EXPECT_EQ(Track(kAudioTrack).selectedPos(), 1u);
    EXPECT_EQ(Track(kAudioTrack).editedPos(), 1u);
}

// Marker and zoom reach every view; a view ignores a zoom below the first
// level (the levels: unit/timeline_scale.cpp), and a hidden marker keeps its
// time.
TEST_F(TimelineRouting, PositionAndZoomReachEveryView)
{
    SendMessage(timeline, msg::PositionMarker, 1, 2500);
    SendMessage(timeline, msg::SetZoom, 0, 45);
    SendMessage(timeline->view(kAudioTrack), msg::SetZoom, 0, 1);
    for (int i = 0; i < kTrackCount; ++i) {
        EXPECT_TRUE(timeline->view(i)->positionShown());
        EXPECT_EQ(timeline->view(i)->position(), 2500);
        EXPECT_EQ(timeline->view(i)->pixelsPerSecond(), 11);
    }
    SendMessage(timeline, msg::PositionMarker, 0, 9000);
    EXPECT_FALSE(timeline->view(kVoiceTrack)->positionShown());
    EXPECT_EQ(timeline->view(kVoiceTrack)->position(), 2500);
}

TEST_F(TimelineRouting, ActivatingATrackClearsTheOthers)
{
    Send(0, File("both.avi", ClipKind::VideoWithSound));
    Send(0, File("voice.wav", ClipKind::Voice));
    Settle();
    EXPECT_FALSE(Track(kVideoTrack).HasSelection());
    // Nothing selected on the activated track: the container hears -1.
    timeline->view(kAudioTrack)->track().ClearSelection();
    SendMessage(timeline, msg::TrackActivated, 0, ToLParam(timeline->view(kAudioTrack)));
    EXPECT_EQ(timeline->activeTrack(), kAudioTrack);
    EXPECT_FALSE(Track(kVoiceTrack).HasSelection());
    EXPECT_EQ(container.sent.back(), (Sent { msg::TrackActivated, WPARAM(-1), 0 }));
}

} // namespace
