// A created editor under a host window, with recording stand-ins for the
// panes plugged into the containers (media list, toolbar, previews, menus).
#pragma once

#include "panes/timeline/timeline_window.h"
#include "platform/messages.h"
#include "recorder.h"
#include "shell/main_frame.h"
#include "test_util.h"

#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

inline QString FixtureText(QString section, QString key)
{
    if (section == "MEDIAEXPLORER" && key == "MOBILE_DEVICE")
        return "Mobile Phone";
    return QString();
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSuiteValue("FOLDER", suite.path());
        SetSuiteValue("ORVT_DEFAULT_MODELNAME", "tx-07");
        host.resize(1000, 600);
        host.show();
        ASSERT_NE(frame.Create(&FixtureText, nullptr, &host), nullptr);
    }
    void TearDown() override { frame.Destroy(); }

    // Puts a stand-in into every pane slot.
    void AttachPanes()
    {
        toolBar = new Recorder("toolbar");
        mediaList = new Recorder("media list");
        source = new Recorder("source preview");
        edited = new Recorder("edited preview");
        mediaMenu = new Recorder("media menu");
        editMenu = new Recorder("edit menu");
        frame.thumbnailPane()->AttachToolBar(toolBar);
        frame.thumbnailPane()->AttachMediaList(mediaList);
        frame.previewPane()->AttachSourcePreview(source);
        frame.previewPane()->AttachEditedPreview(edited);
        frame.timelinePane()->AttachMediaMenu(mediaMenu);
        frame.timelinePane()->AttachEditMenu(editMenu, [this](bool playing) { faces.push_back(playing); });
    }
    LRESULT ToFrame(std::uint32_t m, WPARAM w = 0, LPARAM l = 0) { return SendMessage(frame.window(), m, w, l); }
    CCW_TimeLineWnd* timeline() { return frame.timelinePane()->timeline(); }
    LPARAM project() { return ToLParam(static_cast<const CTimelineProject*>(timeline())); }
    // Puts a voice clip on the timeline (no media probe needed).
    void AddVoiceClip(const QString& path = "/v/voice.wav")
    {
        CMediaFile clip(path, 2000, 0, 0, ClipKind::Voice);
        ASSERT_EQ(SendMessage(timeline(), msg::ClipToTimeline, 0, ToLParam(&clip)), 0);
    }

    TempRegistry registry;
    QTemporaryDir suite;
    Recorder host { "host" };
    CCW_MainFrame& frame = CCW_MainFrame::instance();
    Recorder* toolBar = nullptr;
    Recorder* mediaList = nullptr;
    Recorder* source = nullptr;
    Recorder* edited = nullptr;
    Recorder* mediaMenu = nullptr;
    Recorder* editMenu = nullptr;
    std::vector<bool> faces; // edit menu preview button: true = playing
};
