// The edited-movie preview: playing and saving the project.
#include "engine/effect_kernels.h"
#include "engine/work_state.h"
#include "panes/edited_preview/preview_edited.h"
#include "panes/movie_view/movie_view.h"
#include "panes/timeline/timeline_window.h"
#include "shell/main_frame.h"
#include "skin/global_work_dlg.h"
#include "skin/skin_button.h"
#include "skin/skin_slider.h"
#include "skin/work_cancel_button.h"

#include "recorder.h"
#include "save_fixture.h"

#include <QFileInfo>
#include <QTest>
#include <QTimer>

namespace {

class EditedPreview : public SaveFixture {
protected:
    void SetUp() override
    {
        SaveFixture::SetUp();
        SetSuiteValue("ORVT_DEFAULT_MODELNAME", "TX-11");
        context.resources = env_.lookup;
        context.mainFrame = &frame;
        context.frameCache = &cache_;
        context.saveResults = &results_;
        context.suiteFolder = suite_.path();
        context.workFolder = work_->path();
        pane = std::make_unique<CCW_PreviewEdited>(context);
        pane->resize(400, 300);
        pane->show();
        video.tracks[kVideoTrack] = { clip(media("clip.mp4"), ClipKind::VideoWithSound, 0, 2000) };
        video.Layout();
    }
    void TearDown() override { pane.reset(); }

    QStringList shown(DialogKind kind)
    {
        QStringList texts;
        for (const DialogRecord& r : dialogs_->records())
            if (r.kind == kind)
                texts << r.text + (r.selfClosing ? " (self-closing)" : "");
        return texts;
    }
    // A PC save answered with path, and the messages it showed.
    QStringList saveAs(const QString& path)
    {
        dialogs_->clearRecords();
        dialogs_->pushPath(path);
        EXPECT_EQ(SendMessage(pane.get(), msg::SaveToPc, 3, ToLParam<const CTimelineProject>(&video)), 0);
        return shown(DialogKind::SkinnedMessage);
    }
    // Presses Cancel in the progress dialog once the save reaches phase.
    void cancelIn(CCW_PreviewEdited::SavePhase phase)
    {
        auto* poll = new QTimer(pane.get());
        QObject::connect(poll, &QTimer::timeout, poll, [this, poll, phase] {
            CGlobalWorkDlg* dialog = pane->saveDialog();
            if (dialog && dialog->workWnd() && pane->savePhase() == phase) {
                dialog->workWnd()->cancelButton()->click();
                poll->deleteLater();
            }
        });
        poll->start(1);
    }

    Recorder frame;
    PaneContext context;
    std::unique_ptr<CCW_PreviewEdited> pane;
    CProjectLists video;
};

} // namespace

// Playing: no video, no play; the end rewinds once; seeks, effects and the
// volume follow their controls.
TEST_F(EditedPreview, PlaybackAndSaveToPc)
{
    CProjectLists soundOnly;
    soundOnly.tracks[kAudioTrack] = { clip(media("tone.mp3"), ClipKind::Sound, 0, 2000) };
    EXPECT_EQ(SendMessage(pane.get(), msg::PreviewClip, kWholeMovie, ToLParam<const CTimelineProject>(&soundOnly)),
        LRESULT(E_FAIL));
    EXPECT_EQ(shown(DialogKind::SkinnedMessage), QStringList { "CW_MESSAGE/NOT_SELCT_VIDEO" });
    EXPECT_FALSE(pane->movieLoaded());

    ASSERT_EQ(SendMessage(pane.get(), msg::PreviewClip, kWholeMovie, ToLParam<const CTimelineProject>(&video)), 0);
    ASSERT_TRUE(WaitFor([&] { return pane->view()->GraphState() == CGraphBasic::Running; }, 20000));
    EXPECT_TRUE(pane->toggleButton()->secondMode());
    EXPECT_EQ(frame.times({ msg::PlayingState, 1, 0 }), 1);
    frame.sent.clear();
    ASSERT_TRUE(WaitFor([&] { return frame.times({ msg::PlayingState, 0, 0 }) > 0; }, 20000));
    QTest::qWait(600); // a late end report would send another
    EXPECT_EQ(frame.times({ msg::PlayingState, 0, 0 }), 1);
    EXPECT_EQ(pane->positionSlider()->GetPos(), 0);
    EXPECT_EQ(pane->label(), "00:00:00");
    EXPECT_FALSE(pane->toggleButton()->secondMode());
    EXPECT_GT(frame.times({ msg::PositionMarker, 1, 0 }), 0);

    SendMessage(pane.get(), msg::SeekMovie, 0, 1000);
    EXPECT_EQ(pane->label(), "00:00:01");
    EXPECT_EQ(CCW_PreviewEdited::StateOf(pane.get(), "edited")["label"].toString(), "00:00:01");
    EXPECT_EQ(pane->positionSlider()->GetPos(), 1);
    EXPECT_EQ(frame.times({ msg::PositionMarker, 1, 1000 }), 1);

    const std::pair<int, int> effects[] = { { 7, 7 }, { 19, 0 }, { -1, 0 } };
    for (const auto& [index, effect] : effects) {
        SendMessage(pane.get(), msg::EffectChosen, 0, index);
        EXPECT_EQ(CurrentEffectId.load(), effect) << index;
    }
    SendMessage(pane.get(), msg::SliderMoved, CCW_PreviewEdited::kVolumeSliderId, 5);
    EXPECT_EQ(pane->attenuation(), -10000);
    SendMessage(pane.get(), msg::SliderMoved, CCW_PreviewEdited::kVolumeSliderId, 100);
    EXPECT_EQ(pane->attenuation(), 0);

    SendMessage(pane.get(), msg::ResetPreviews, kWholeMovie, 0);
    EXPECT_FALSE(pane->movieLoaded());

    // A PC save with scripted answers: the model's type and the comma rule's
    // folder asked for, the extension added, the phases in order, a phone file
    // that ffprobe reads, and the results kept; Cancel while analysing leaves
    // nothing; an unwritable folder fails and keeps the file already there.
    QTemporaryDir ini;
    ASSERT_TRUE(
        WriteFile(ini.filePath("orvt.ini"), QString("[DESKTOP PATH]\nCAMCORDER0=2,%1\n").arg(out_.path()).toUtf8()));
    SetSuiteValue("INIDIR", ini.path());

    std::vector<int> phases;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const int p = int(pane->savePhase());
        if (phases.empty() || phases.back() != p)
            phases.push_back(p);
    });
    watch.start(1);
    EXPECT_EQ(saveAs(out_.filePath("movie")), QStringList { "CW_MESSAGE/SAVE_OK (self-closing)" });
    watch.stop();
    phases.push_back(int(pane->savePhase()));
    const QString saved = out_.filePath("movie.3gp");
    EXPECT_EQ(results_.lastSavedPath, saved);
    EXPECT_TRUE(results_.lastSaveSucceeded);
    EXPECT_TRUE(std::is_sorted(phases.begin(), phases.end()));
    EXPECT_EQ(phases.back(), int(CCW_PreviewEdited::SavePhase::Done));
    const auto records = dialogs_->records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0].kind, DialogKind::SaveFile);
    EXPECT_EQ(records[0].filter, "Tessaly Movie file type (*.3gp)|*.3gp||");
    EXPECT_EQ(records[0].initialFolder, out_.path());
    EXPECT_EQ(files(), QStringList { "movie.3gp" });
    const QJsonObject state = CCW_PreviewEdited::StateOf(pane.get(), "save");
    EXPECT_EQ(state["phase"].toString(), "done");
    EXPECT_TRUE(state["results"].toObject()["lastSaveSucceeded"].toBool());

    cancelIn(CCW_PreviewEdited::SavePhase::Analysing);
    EXPECT_EQ(saveAs(out_.filePath("cancelled.3gp")), QStringList { "CW_MESSAGE/SAVE_CANCEL (self-closing)" });
    EXPECT_FALSE(results_.lastSaveSucceeded);
    EXPECT_EQ(files(), QStringList { "movie.3gp" });

    // A target that cannot be written (a folder of that name): the save
    // fails and the folder is left as it was; the next save works.
    ASSERT_TRUE(QDir().mkpath(out_.filePath("taken.3gp/keep")));
    EXPECT_EQ(saveAs(out_.filePath("taken.3gp")).last(), "CW_MESSAGE/SAVE_FAIL (self-closing)");
    EXPECT_FALSE(results_.lastSaveSucceeded);
    EXPECT_TRUE(QFileInfo(out_.filePath("taken.3gp/keep")).isDir());
    saveAs(out_.filePath("again.3gp"));
    EXPECT_TRUE(results_.lastSaveSucceeded);
}

// The whole editor: DestroyBtn while a save runs, in each of its phases (the
// save is cancelled and awaited, nothing is left of it, and the editor's
// work folder goes), then the phone save.
TEST_F(EditedPreview, DestroyDuringSaveAndPhoneSave)
{
    pane.reset();
    QWidget host;
    host.resize(800, 600);
    host.show();
    CCW_MainFrame& editor = CCW_MainFrame::instance();
    using Phase = CCW_PreviewEdited::SavePhase;
    for (Phase phase : { Phase::Analysing, Phase::Extracting, Phase::Saving }) {
        SCOPED_TRACE(int(phase));
        ASSERT_NE(editor.Create(&SaveFixture::textTable, nullptr, &host), nullptr);
        const QString work = editor.workFolder();
        ASSERT_TRUE(QFileInfo(work).isDir());
        dialogs_->pushPath(out_.filePath("gone.3gp"));
        bool destroyed = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            CCW_PreviewEdited* edited = editor.editedPreview();
            if (!destroyed && edited && edited->saveDialog() && edited->savePhase() == phase) {
                destroyed = true;
                editor.Destroy();
            }
        });
        poll.start(1);
        SendMessage(editor.window(), msg::SaveToPc, 3, ToLParam<const CTimelineProject>(&video));
        poll.stop();
        EXPECT_TRUE(destroyed);
        if (!destroyed)
            editor.Destroy();
        EXPECT_FALSE(QFileInfo::exists(work));
        // Cancelled before encoding, the save wrote nothing.
        EXPECT_TRUE(phase == Phase::Saving || !QFile::exists(out_.filePath("gone.3gp")));
        QFile::remove(out_.filePath("gone.3gp"));
    }

    // The edit menu's phone save: the PC save, then the phone through the
    // host; without a phone, with a phone the file cannot reach, after a
    // failed save.
    ASSERT_NE(editor.Create(&SaveFixture::textTable, nullptr, &host), nullptr);
    CMediaFile onTimeline(media("clip.mp4"), 2000, 320, 240, ClipKind::VideoWithSound);
    ASSERT_EQ(SendMessage(editor.window(), msg::ClipToTimeline, 0, ToLParam(&onTimeline)), 0);
    ASSERT_TRUE(WaitFor([&] { return !editor.timelinePane()->timeline()->HasPendingAdds(); }, 30000));
    ASSERT_EQ(editor.timelinePane()->timeline()->track(kVideoTrack).size(), 1u);

    const auto phoneSave = [&](const QString& path) {
        dialogs_->clearRecords();
        dialogs_->pushPath(path);
        EXPECT_EQ(SendMessage(editor.window(), msg::PhoneSaveCommand, 3, 0), 0);
        return shown(DialogKind::SkinnedMessage);
    };
    EXPECT_EQ(phoneSave(out_.filePath("a.3gp")),
        (QStringList { "CW_MESSAGE/SAVE_OK (self-closing)", "THEMEMANAGER/TM_MAINFRAME_PLZCONNECTTOPHONE" }));
    EXPECT_TRUE(editor.saveResults.lastSavedPath.isEmpty());
    host.setProperty("cwPhoneConnected", true);
    EXPECT_EQ(phoneSave(out_.filePath("b.3gp")),
        (QStringList { "CW_MESSAGE/SAVE_OK (self-closing)", "THEMEMANAGER/TM_THEME_SEND_FAIL" }));
    EXPECT_TRUE(QFile::exists(out_.filePath("b.3gp"))); // the PC file stays
    EXPECT_EQ(phoneSave(out_.filePath("missing/c.3gp")).last(), "THEMEMANAGER/TM_THEME_SEND_FAIL");

    // 0x5032 without a phone connection.
    host.setProperty("cwPhoneConnected", false);
    dialogs_->clearRecords();
    EXPECT_EQ(SendMessage(editor.window(), msg::SaveToPhone, 3, 0), LRESULT(E_FAIL));
    EXPECT_EQ(shown(DialogKind::SkinnedMessage), QStringList { "COMMDLL/COMMDLL_MUST_CONNECTED" });

    // With a phone the movie goes through the host's comm library: the
    // scenario and e2e/host_phone.cpp.
    editor.Destroy();
}
