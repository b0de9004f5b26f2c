// The voice recording dialog driven by clicks, recording the sound server's
// 1 kHz sine source.
// test-links: cw_panes

#include "panes/movie_view/movie_view.h"
#include "panes/recording/recording_dlg.h"
#include "skin/skin_button.h"

#include "capture_media.h"
#include "ui_watchdog.h"

#include <QAudioDevice>
#include <QLineEdit>
#include <QMediaDevices>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>

using namespace capture_media;

namespace {

// Answers the cancel question from the queue, after the user thought it
// over for a while.
class SlowAnswers : public ScriptedDialogService {
public:
    int delayMs = 0;
    int skinnedMessage(QWidget* owner, const SkinnedMessage& message) override
    {
        WaitFor([] { return false; }, delayMs);
        return ScriptedDialogService::skinnedMessage(owner, message);
    }
};

class RecordingDialog : public ::testing::Test {
protected:
    std::unique_ptr<CCW_RecordingDlg> Open()
    {
        PaneContext context;
        context.resources = ResourceLookup(&SuiteText, nullptr);
        context.dialogs = &answers;
        context.workFolder = dir.path();
        context.mainFrame = &frame;
        auto dialog = std::make_unique<CCW_RecordingDlg>(context);
        dialog->SetVoiceNumber(1);
        dialog->show();
        return dialog;
    }
    static void Click(CCW_RecordingDlg& dialog, int id) { QTest::mouseClick(dialog.button(id), Qt::LeftButton); }
    // Records until the time text reads until, then stops with stop.
    static void Record(CCW_RecordingDlg& dialog, const QString& until)
    {
        Click(dialog, CCW_RecordingDlg::IdRecord);
        ASSERT_TRUE(dialog.IsRecording()) << dialog.DeviceNames().join(", ").toStdString();
        ASSERT_TRUE(WaitFor([&] { return dialog.TimeText() >= until; }, 20000)) << dialog.TimeText().toStdString();
    }

    QTemporaryDir dir;
    SlowAnswers answers;
    MessageCounter frame { msg::WM_CAPTURENOTIFY };
};
} // namespace

TEST_F(RecordingDialog, RecordsOverwritesPausesPlaysAndEnds)
{
    // Confirm without a recording: 2 and no file.
    {
        auto idle = Open();
        Click(*idle, CCW_RecordingDlg::IdConfirm);
        EXPECT_EQ(idle->result(), 2);
        EXPECT_TRUE(idle->RecordedPath().isEmpty());
    }

    auto dialog = Open();
    EXPECT_EQ(dialog->TimeText(), "00:00:00.0");
    EXPECT_EQ(dialog->RecordingPath(), dir.filePath("UserVoice01.wav"));

    // 3 s in the device's own rate and channels, at 1 kHz.
    Record(*dialog, "00:00:03.0");
    Click(*dialog, CCW_RecordingDlg::IdStop);
    EXPECT_FALSE(dialog->IsRecording());
    EXPECT_FALSE(dialog->RecordingClockActive());
    ASSERT_TRUE(dialog->HasRecording());
    const QString path = dialog->RecordedPath();
    EXPECT_EQ(path, dir.filePath("UserVoice01.wav"));
    // The file as written, lasting about seconds.
    const auto recorded = [&](double seconds) {
        const Wav wav = ReadWav(path);
        EXPECT_TRUE(wav.exact);
        EXPECT_NEAR(wav.seconds(), seconds, 0.3);
        return wav;
    };
    const Wav wav = recorded(3.0);
    const QAudioFormat device = QMediaDevices::defaultAudioInput().preferredFormat();
    EXPECT_EQ(wav.rate, device.sampleRate());
    EXPECT_EQ(wav.channels, device.channelCount());
    EXPECT_EQ(wav.bits, 16);
    EXPECT_NEAR(wav.frequency(), 1000.0, 20.0);

    // The same name again: the file is replaced, not extended.
    Record(*dialog, "00:00:01.0");
    Click(*dialog, CCW_RecordingDlg::IdRecord); // record stops a recording
    EXPECT_FALSE(dialog->IsRecording());
    recorded(1.0);

    // Cancel at 1 s, answered No after 1.5 s: recording goes on, and the
    // pause shows neither in the text nor in the file.
    answers.delayMs = 1500;
    answers.pushResult(IDNO);
    Record(*dialog, "00:00:01.0");
    Click(*dialog, CCW_RecordingDlg::IdCancel);
    EXPECT_TRUE(dialog->IsRecording());
    EXPECT_LT(dialog->TimeText(), "00:00:01.3");
    ASSERT_TRUE(WaitFor([&] { return dialog->TimeText() >= "00:00:02.5"; }, 20000));
    Click(*dialog, CCW_RecordingDlg::IdStop);
    const auto asked = answers.records();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].title, SuiteText("CW_RECORDINGDLG", "MSG_TITLE"));
    EXPECT_EQ(asked[0].text, SuiteText("CW_RECORDINGDLG", "MESSAGE"));
    EXPECT_EQ(asked[0].type, 1u);
    recorded(2.5);

    // Listening moves the slider and the text, and ends idle. The movie view
    // opens and closes its sound output on the UI thread (waiting for the
    // sound server), which the watchdog here leaves to the view's own test.
    std::optional<UiStallAllowance> viewPlayback(std::in_place);
    Click(*dialog, CCW_RecordingDlg::IdPlay);
    ASSERT_TRUE(WaitFor([&] { return dialog->IsPlaying(); }, 20000));
    EXPECT_EQ(dialog->view()->ViewKind(), CCW_VideoView::KindAudioFile);
    ASSERT_TRUE(WaitFor([&] { return dialog->SliderPos() >= 1 && dialog->TimeText() >= "00:00:01"; }, 10000));
    ASSERT_TRUE(WaitFor([&] { return !dialog->IsPlaying(); }, 10000));
    EXPECT_FALSE(dialog->PlaybackClockActive());
    EXPECT_EQ(dialog->TimeText(), "00:00:00");
    EXPECT_EQ(frame.count, 0);
    viewPlayback.reset();

    Click(*dialog, CCW_RecordingDlg::IdConfirm);
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_EQ(dialog->RecordedPath(), path);

    // Cancel answered Yes ends with 2; the name's separators stay out of the path.
    answers.delayMs = 0;
    answers.pushResult(IDYES);
    auto other = Open();
    other->findChild<QLineEdit*>("name")->setText("../voice/x");
    Record(*other, "00:00:00.5");
    Click(*other, CCW_RecordingDlg::IdCancel);
    EXPECT_EQ(other->result(), 2);
    EXPECT_FALSE(other->IsRecording());
    EXPECT_EQ(other->RecordedPath(), dir.filePath(".._voice_x.wav"));
    EXPECT_TRUE(ReadWav(other->RecordedPath()).valid);
}
