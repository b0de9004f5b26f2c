// test-links: cw_shell cw_project cw_export cw_engine cw_media cw_config cw_platform
// Each pane message reaches its receiver along its route.
#include "panes/timeline/timeline_view.h"
#include "platform/hresult.h"
#include "shell_fixture.h"

namespace {

using Routing = ShellTest;

TEST_F(Routing, MissingPanesAnswerOneAndNothingChanges)
{
    const QString path = "/m/a.avi";
    // The media list and both previews come with the panes: a missing file
    // and a missing clip record are refused by the source preview.
    EXPECT_EQ(ToFrame(msg::AddMovieList, 0, ToLParam(&path)), 0);
    std::uint32_t count = 0;
    SendMessage(frame.thumbnailPane(), msg::ListCount, 0, ToLParam(&count));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(ToFrame(msg::OpenSource, 0, ToLParam(&path)), LRESULT(E_FAIL));
    EXPECT_EQ(ToFrame(msg::PreviewClip, 0, 0), LRESULT(E_FAIL));
    EXPECT_EQ(ToFrame(msg::ResetPreviews, 0, 0), 0);
    EXPECT_EQ(ToFrame(msg::HostNoop), 0);
    AddVoiceClip();
    // The timeline and the edited-movie preview exist already: a whole-movie
    // request without a video clip reaches the preview, which refuses it.
    EXPECT_EQ(SendMessage(frame.timelinePane(), msg::PreviewClip, 3, 0), LRESULT(E_FAIL));

    // Until the panes exist, the frame drops the timeline-bound messages.
    frame.Destroy();
    ASSERT_TRUE(frame.CreateFrameWindow(&host));
    ASSERT_FALSE(frame.panesCreated());
    CMediaFile clip("/v/voice.wav", 1000, 0, 0, ClipKind::Voice);
    for (std::uint32_t m : { msg::PreviewEnded, msg::PositionMarker, msg::PlayingState, msg::TrackEmptied })
        EXPECT_EQ(ToFrame(m, 1, 1), 1) << std::hex << m;
    EXPECT_EQ(ToFrame(msg::ClipToTimeline, 0, ToLParam(&clip)), 1);
    // A gone file leaves the status line alone while the panes are missing.
    const QString info = "info";
    ToFrame(msg::HostStatus, ToWParam(&clip.path()), ToLParam(&info));
    host.clear();
    EXPECT_EQ(ToFrame(msg::FileGone, 0, ToLParam(&clip.path())), 1);
    EXPECT_TRUE(host.sent.empty());
    EXPECT_EQ(frame.statusFile(), clip.path());

    ASSERT_TRUE(frame.CreatePanes());
    EXPECT_TRUE(frame.timelinePane()->timeline()->IsEmpty());
    EXPECT_EQ(ToFrame(msg::ClipToTimeline, 0, ToLParam(&clip)), 0);
    EXPECT_EQ(timeline()->track(kVoiceTrack).size(), 1u);
}

TEST_F(Routing, HostAndFrameMessagesReachTheirPanes)
{
    AttachPanes();
    const QString path = "/m/a.avi";
    const LPARAM p = ToLParam(&path);
    struct Row {
        std::uint32_t message;
        WPARAM wParam;
        Recorder* receiver;
    };
    const Row rows[] = { { msg::AddMovieList, 0, mediaList }, { msg::HostAddFiles, 7, mediaList },
        { msg::HostAddBrowserFile, 7, mediaList }, { msg::OpenSource, 2, source }, { msg::PreviewClip, 1, source },
        { msg::PreviewClip, 3, edited }, { msg::StopPlayback, 0, source }, { msg::StopPlayback, 3, edited },
        { msg::ResetPreviews, 2, source }, { msg::ResetPreviews, 3, edited }, { msg::SaveToPc, 3, edited },
        { msg::SaveToPhone, 3, edited }, { msg::EffectChosen, 0, edited }, { msg::SeekMovie, 0, edited },
        { msg::TrackEmptied, 1, source } };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        for (Recorder* r : { mediaList, source, edited })
            r->clear();
        EXPECT_EQ(ToFrame(row.message, row.wParam, p), 0);
        for (Recorder* r : { mediaList, source, edited })
            EXPECT_EQ(r->sent,
                (r == row.receiver ? std::vector<Sent> { { row.message, row.wParam, p } } : std::vector<Sent> {}));
    }

    // Both values of 0x3068 must be non-zero.
    mediaList->clear();
    EXPECT_EQ(ToFrame(msg::HostAddBrowserFile, 0, p), 1);
    EXPECT_TRUE(mediaList->sent.empty());
    // The component's AddMovieList comes as 0x5003 with its path.
    frame.AddMovieList("/m/Clip.avi");
    EXPECT_EQ(mediaList->sent.size(), 1u);
    EXPECT_EQ(mediaList->texts, QStringList { "/m/Clip.avi" });
}

TEST_F(Routing, ThumbnailPaneListMessages)
{
    AttachPanes();
    for (std::uint32_t m : { msg::ListCommandFirst, msg::ListCommand2, msg::ListDeleteSelected, msg::ListSetViewMode,
             msg::ListAddHostFile, msg::ListAddPicked }) {
        mediaList->clear();
        SendMessage(frame.thumbnailPane(), m, 1, 2);
        EXPECT_EQ(mediaList->sent, (std::vector<Sent> { { m, 1, 2 } })) << std::hex << m;
    }
    // 0x5005 needs a path and an owner.
    mediaList->clear();
    QString path = "/m/a.mp3";
    EXPECT_EQ(SendMessage(frame.thumbnailPane(), msg::ListAddFile, 0, 5), 1);
    EXPECT_EQ(SendMessage(frame.thumbnailPane(), msg::ListAddFile, ToWParam(&path), 0), 1);
    EXPECT_TRUE(mediaList->sent.empty());
    SendMessage(frame.thumbnailPane(), msg::ListAddFile, ToWParam(&path), 5);
    EXPECT_EQ(mediaList->sent.size(), 1u);
    // 0x5006 is answered by the media list.
    mediaList->count = 4;
    std::uint32_t count = 0;
    SendMessage(frame.thumbnailPane(), msg::ListCount, 0, ToLParam(&count));
    EXPECT_EQ(count, 4u);
    // The media list opens a file in the source preview through the frame.
    SendMessage(frame.thumbnailPane(), msg::OpenSource, 0, ToLParam(&path));
    EXPECT_EQ(source->texts, QStringList { path });
}

// A clip from the source preview goes up to its owner, the preview pane, and
// lands at once; a video clip once the frame's media probe answers.
TEST_F(Routing, ClipsFromThePreviewsLandOnTheTimeline)
{
    AttachPanes();
    CMediaFile voice("/v/voice.wav", 3000, 0, 0, ClipKind::Voice);
    EXPECT_EQ(SendMessage(frame.previewPane(), msg::ClipToTimeline, 0, ToLParam(&voice)), 0);
    ASSERT_EQ(timeline()->track(kVoiceTrack).size(), 1u);
    EXPECT_EQ(timeline()->track(kVoiceTrack)[0].path(), "/v/voice.wav");
    EXPECT_EQ(faces, std::vector<bool> { false });
    // The media menu sends to the timeline pane directly, and learns which
    // track holds a selection.
    SendMessage(frame.timelinePane(), msg::ClipToTimeline, 0, ToLParam(&voice));
    EXPECT_EQ(timeline()->track(kVoiceTrack).size(), 2u);
    EXPECT_EQ(mediaMenu->sent.back(), (Sent { msg::TrackActivated, WPARAM(kVoiceTrack), 0 }));

    ASSERT_NE(frame.mediaProbe(), nullptr);
    EXPECT_EQ(frame.paneContext().probe, frame.mediaProbe());
    QTemporaryDir media;
    const QString path = media.filePath("clip.avi");
    ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "testsrc=size=64x48:rate=5:duration=1", path }));
    CMediaFile video(path, 1000, 64, 48, ClipKind::VideoOnly);
    EXPECT_EQ(SendMessage(frame.previewPane(), msg::ClipToTimeline, 0, ToLParam(&video)), 0);
    EXPECT_TRUE(timeline()->track(kVideoTrack).empty()); // the probe answers later
    ASSERT_TRUE(WaitFor([&] { return !timeline()->HasPendingAdds(); }, 30000));
    ASSERT_EQ(timeline()->track(kVideoTrack).size(), 1u);
    EXPECT_EQ(mediaMenu->sent.back(), (Sent { msg::TrackActivated, WPARAM(kVideoTrack), 0 }));

    // The service goes with the window.
    frame.Destroy();
    EXPECT_EQ(frame.mediaProbe(), nullptr);
    EXPECT_EQ(frame.paneContext().probe, nullptr);
}

// A whole-movie preview needs a clip; with only a voice clip the request
// goes on (the preview reports the missing video itself). The playing state
// sets the edit menu's button; lParam 1 asks for a fresh preview instead.
TEST_F(Routing, EditedPreviewRequestsFromTheTimelinePane)
{
    AttachPanes();
    EXPECT_EQ(SendMessage(frame.timelinePane(), msg::PreviewClip, 3, 0), E_FAIL);
    EXPECT_TRUE(edited->sent.empty());
    ToFrame(msg::PlayingState, 1, 0);
    ToFrame(msg::PlayingState, 0, 0);
    ToFrame(msg::PreviewEnded, 0, 0);
    EXPECT_EQ(faces, (std::vector<bool> { false, true, false, false }));

    AddVoiceClip();
    for (int viaPlayingState : { 0, 1 }) {
        edited->clear();
        faces.clear();
        EXPECT_EQ(viaPlayingState ? ToFrame(msg::PlayingState, 1, 1)
                                  : SendMessage(frame.timelinePane(), msg::PreviewClip, 3, 0),
            0);
        EXPECT_EQ(edited->sent, (std::vector<Sent> { { msg::PreviewClip, 3, project() } }));
    }
    EXPECT_TRUE(faces.empty());

    // Saves carry the project.
    edited->clear();
    EXPECT_EQ(SendMessage(frame.timelinePane(), msg::SaveToPc, 3, 0), 0);
    EXPECT_EQ(SendMessage(frame.timelinePane(), msg::SaveToPhone, 3, 0), 0);
    EXPECT_EQ(
        edited->sent, (std::vector<Sent> { { msg::SaveToPc, 3, project() }, { msg::SaveToPhone, 3, project() } }));
    // The effect choice, stop and reset go up from the menus.
    edited->clear();
    SendMessage(frame.timelinePane(), msg::EffectChosen, 0, 7);
    SendMessage(frame.timelinePane(), msg::StopPlayback, 3, 0);
    SendMessage(frame.timelinePane(), msg::ResetPreviews, 3, 0);
    EXPECT_EQ(edited->sent,
        (std::vector<Sent> { { msg::EffectChosen, 0, 7 }, { msg::StopPlayback, 3, 0 }, { msg::ResetPreviews, 3, 0 } }));
    // 0x5033 goes from the source preview to the edited-movie preview.
    SendMessage(frame.previewPane(), msg::SourceBusy, 0, 1);
    EXPECT_EQ(edited->sent.back(), (Sent { msg::SourceBusy, 0, 1 }));
}

TEST_F(Routing, TrackViewsReachThePreviewsThroughTheFrame)
{
    AttachPanes();
    AddVoiceClip("/v/a.wav");
    AddVoiceClip("/v/b.wav");
    CCW_TimeLineView* voice = timeline()->view(kVoiceTrack);
    ASSERT_TRUE(voice->MoveForward());
    EXPECT_EQ(edited->sent, (std::vector<Sent> { { msg::StopPlayback, 3, 0 }, { msg::ResetPreviews, 3, 0 } }));

    // Previewing a clip from its track: the source preview gets the clip for
    // the voice track.
    voice->PreviewSelected();
    ASSERT_EQ(source->sent.size(), 1u);
    EXPECT_EQ(source->sent[0].message, msg::PreviewClip);
    EXPECT_EQ(source->sent[0].wParam, WPARAM(kVoiceTrack));
    EXPECT_EQ(frame.previewPane()->frontPreview(), source);

    // Emptying the trimmed track resets the source preview.
    source->clear();
    SendMessage(frame.timelinePane(), msg::DeleteAllClips, kVoiceTrack, 0);
    EXPECT_EQ(source->sent, (std::vector<Sent> { { msg::TrackEmptied, 1, 0 } }));

    // The ruler's seek goes to the edited-movie preview; the marker to the views.
    edited->clear();
    SendMessage(timeline(), msg::SeekMovie, 0, 1500);
    EXPECT_EQ(edited->sent, (std::vector<Sent> { { msg::SeekMovie, 0, 1500 } }));
    ToFrame(msg::PositionMarker, 1, 800);
    EXPECT_EQ(voice->position(), 800);
}

TEST_F(Routing, DroppedFilesAndShowSourcePreviewBringUpTheSourcePreview)
{
    AttachPanes();
    const QString path = "/m/song.mp3";
    SendMessage(timeline(), msg::FilesDropped, 1, ToLParam(&path));
    SendMessage(frame.previewPane(), msg::FilesDropped, 0, ToLParam(&path));
    ASSERT_EQ(source->sent.size(), 2u);
    EXPECT_EQ(source->sent[0].message, msg::OpenSource);
    EXPECT_EQ(source->sent[0].wParam, 1u);
    EXPECT_EQ(source->sent[1].message, msg::OpenSource);
    EXPECT_EQ(source->texts, (QStringList { path, path }));
    EXPECT_EQ(timeline()->activeTrack(), kAudioTrack);

    // 0x5403 brings the source preview to the front, as an open does.
    CMediaFile clip("/v/voice.wav", 1000, 0, 0, ClipKind::Voice);
    ToFrame(msg::PreviewClip, 3, project());
    EXPECT_EQ(frame.previewPane()->frontPreview(), edited);
    EXPECT_EQ(ToFrame(msg::ShowSourcePreview), 0);
    EXPECT_EQ(frame.previewPane()->frontPreview(), source);
    ToFrame(msg::PreviewClip, 3, project());
    ToFrame(msg::OpenSource, 0, ToLParam(&clip.path()));
    EXPECT_EQ(frame.previewPane()->frontPreview(), source);
}

TEST_F(Routing, FileGoneReachesEveryPaneAndTheStatusLineFollowsTheFrame)
{
    AttachPanes();
    AddVoiceClip("/v/gone.wav");
    AddVoiceClip("/v/kept.wav");
    mediaMenu->clear();
    const QString gone = "/V/GONE.wav";
    EXPECT_EQ(ToFrame(msg::FileGone, 0, ToLParam(&gone)), 0);
    for (Recorder* r : { toolBar, mediaList, source, edited, mediaMenu, editMenu }) {
        EXPECT_EQ(r->sent, (std::vector<Sent> { { msg::FileGone, 0, ToLParam(&gone) } }))
            << r->objectName().toStdString();
    }
    ASSERT_EQ(timeline()->track(kVoiceTrack).size(), 1u);
    EXPECT_EQ(timeline()->track(kVoiceTrack)[0].path(), "/v/kept.wav");

    // The status line follows the frame.
    host.clear();
    const QString file = "/m/Clip.AVI";
    const QString info = "Clip.AVI           1.00MB    00:00:05    avi";
    EXPECT_EQ(ToFrame(msg::HostStatus, ToWParam(&file), ToLParam(&info)), 0);
    EXPECT_EQ(frame.statusFile(), file);
    EXPECT_EQ(frame.statusText(), info);
    EXPECT_EQ(host.sent, (std::vector<Sent> { { msg::HostStatus, 0, ToLParam(&info) } }));

    // 0x3074 repeats the stored text.
    host.clear();
    ToFrame(msg::HostResendStatus);
    EXPECT_EQ(host.texts, QStringList { info });

    // Another file going leaves the line; the shown one (any case) clears it.
    host.clear();
    const QString other = "/m/other.avi";
    ToFrame(msg::FileGone, 0, ToLParam(&other));
    EXPECT_TRUE(host.sent.empty());
    EXPECT_EQ(frame.statusText(), info);
    const QString sameFile = "/M/clip.avi";
    ToFrame(msg::FileGone, 0, ToLParam(&sameFile));
    EXPECT_EQ(host.texts, QStringList { QString() });
    EXPECT_TRUE(frame.statusText().isEmpty());
    EXPECT_TRUE(frame.statusFile().isEmpty());

    // 0x3075 clears the line and resets the source preview; the stored text
    // stays for a later 0x3074.
    ToFrame(msg::HostStatus, ToWParam(&file), ToLParam(&info));
    host.clear();
    source->clear();
    EXPECT_EQ(ToFrame(msg::HostClearStatus, 0, 0), 0);
    EXPECT_EQ(host.texts, QStringList { QString() });
    EXPECT_EQ(source->sent, (std::vector<Sent> { { msg::ResetPreviews, 0, 0 } }));
    host.clear();
    ToFrame(msg::HostResendStatus);
    EXPECT_EQ(host.texts, QStringList { info });
}

} // namespace
