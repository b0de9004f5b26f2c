// The timeline as the user drives it, on a created editor.
#include "panes/timeline/edit_menu.h"
#include "panes/timeline/media_menu.h"
#include "panes/timeline/timeline_ruler.h"
#include "panes/timeline/timeline_view.h"
#include "platform/hresult.h"
#include "shell/preview_contain.h"
#include "shell/timeline_contain.h"
#include "shell_fixture.h"
#include "skin/skin_button.h"
#include "skin/skin_slider.h"

#include <QApplication>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QUrl>
#include <tuple>

namespace {

QString Names(const CClipTrack& t)
{
    QStringList out;
    for (const auto& c : t.clips())
        out << c.name() + (c.IsSelected() ? "*" : "");
    return out.join(' ');
}

QStringList ActionNames(const QMenu& menu)
{
    QStringList names;
    for (const QAction* a : menu.actions()) {
        if (!a->isSeparator())
            names << a->objectName();
    }
    return names;
}

class TimelineEditing : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        ASSERT_TRUE(WaitFor([this] { return audio()->width() > 600; }, 5000));
    }
    CCW_TimeLineView* audio() { return timeline()->view(kAudioTrack); }
    // n clips of 20 s on the audio track at 10 pixels per second, none selected.
    void Fill(int n)
    {
        SendMessage(timeline(), msg::DeleteAllClips, kAudioTrack, 0);
        for (int i = 0; i < n; ++i) {
            CMediaFile clip(QString("/m/%1.mp3").arg(QChar('a' + i)), 20000, 0, 0, ClipKind::Sound);
            ASSERT_EQ(SendMessage(timeline(), msg::ClipToTimeline, 0, ToLParam(&clip)), 0);
        }
        SendMessage(timeline(), msg::SetZoom, 0, 44);
        audio()->track().ClearSelection();
        audio()->Repaint();
    }
    QRect Box(std::size_t pos)
    {
        const MediaRect& r = audio()->track().at(pos).rect();
        return QRect(r.left, r.top, r.width(), r.height());
    }
    void Drag(QPoint from, int dx, Qt::KeyboardModifiers mods = {})
    {
        QTest::mousePress(audio(), Qt::LeftButton, mods, from);
        QTest::mouseMove(audio(), from + QPoint(dx, 0));
        QTest::mouseRelease(audio(), Qt::LeftButton, mods, from + QPoint(dx, 0));
    }
    CCW_MediaMenuWnd* mediaMenu() { return dynamic_cast<CCW_MediaMenuWnd*>(frame.timelinePane()->mediaMenu()); }
    CCW_EditMenuWnd* editMenu() { return dynamic_cast<CCW_EditMenuWnd*>(frame.timelinePane()->editMenu()); }

    ScriptedDialogs dialogs; // before the frame is created in SetUp
};

TEST_F(TimelineEditing, MouseSelectsTrimsAtTwoZoomsAndMovesByEachLandingRule)
{
    Fill(3);
    ASSERT_EQ(Box(1), QRect(200, audio()->height() / 2 - 17, 200, 34));
    const std::tuple<int, Qt::KeyboardModifiers, const char*> clicks[] = { { 0, {}, "a* b c" },
        { 2, Qt::ShiftModifier, "a* b* c*" }, { 1, {}, "a b* c" }, { 2, Qt::ControlModifier, "a b* c*" } };
    for (const auto& [box, mods, names] : clicks) {
        QTest::mouseClick(audio(), Qt::LeftButton, mods, Box(box).center());
        EXPECT_EQ(Names(audio()->track()), names);
    }
    EXPECT_EQ(timeline()->activeTrack(), kAudioTrack);

    // Edge drags of 4 pixels: 100 ms per pixel, then 625 (quarter minutes).
    std::uint32_t start = 0, length = 20000;
    for (auto [zoom, msPerPixel] : { std::pair { 44, 100u }, std::pair { 30, 625u } }) {
        SendMessage(timeline(), msg::SetZoom, 0, zoom);
        Drag(QPoint(Box(0).left() + 2, Box(0).center().y()), 4);
        start += 4 * msPerPixel;
        length -= 4 * msPerPixel;
        EXPECT_EQ(audio()->track().at(0).mediaStart(), start) << zoom;
        EXPECT_EQ(audio()->track().at(0).length(), length) << zoom;
        Drag(QPoint(Box(0).right() - 2, Box(0).center().y()), -4);
        length -= 4 * msPerPixel;
        EXPECT_EQ(audio()->track().at(0).length(), length) << zoom;
        EXPECT_EQ(audio()->track().at(1).timelineStart(), length) << zoom;
    }

    // Boxes of 200 pixels: onto another clip (after it), left of the start,
    // past the last box, onto itself.
    const std::tuple<int, int, const char*> moves[]
        = { { 2, -350, "a c* b" }, { 1, -250, "b* a c" }, { 0, 650, "b c a*" }, { 0, 5, "a* b c" } };
    for (const auto& [box, dx, names] : moves) {
        Fill(3);
        Drag(Box(box).center(), dx);
        EXPECT_EQ(Names(audio()->track()), names);
    }
    // Onto a selected clip with no unselected clip before it: to the end.
    QTest::mouseClick(audio(), Qt::LeftButton, Qt::ControlModifier, Box(1).center());
    Drag(Box(1).center(), 250, Qt::ControlModifier);
    EXPECT_EQ(Names(audio()->track()), "c a* b*");
}

TEST_F(TimelineEditing, KeysAndContextMenuActOnTheSelection)
{
    Recorder changes("frame");
    timeline()->SetFrame(&changes);
    Fill(3);
    QTest::mouseClick(audio(), Qt::LeftButton, {}, Box(2).center());
    const std::pair<Qt::Key, const char*> keys[] = { { Qt::Key_Home, "c* a b" }, { Qt::Key_Right, "a c* b" },
        { Qt::Key_End, "a b c*" }, { Qt::Key_Left, "a c* b" }, { Qt::Key_Delete, "a b" } };
    for (const auto& [key, names] : keys) {
        changes.clear();
        QTest::keyClick(timeline(), key);
        EXPECT_EQ(Names(audio()->track()), names);
        EXPECT_TRUE(changes.got(msg::ResetPreviews));
    }
    EXPECT_FALSE(timeline()->HandleKey(Qt::Key_A));

    SendMessage(timeline(), msg::DeleteAllClips, kAudioTrack, 0);
    changes.clear();
    for (auto key : { Qt::Key_Home, Qt::Key_End, Qt::Key_Delete, Qt::Key_Return })
        QTest::keyClick(timeline(), key);
    EXPECT_TRUE(changes.sent.empty());
    timeline()->SetFrame(frame.window());

    // The context menu's entries follow the selection.
    QMenu empty;
    audio()->FillContextMenu(empty);
    EXPECT_TRUE(empty.actions().isEmpty());
    Fill(2);
    QMenu none;
    audio()->FillContextMenu(none);
    EXPECT_EQ(ActionNames(none), QStringList({ "PREVIEW", "DELETE_ALL" }));
    EXPECT_EQ(none.actions().last()->data().toInt(), TimelineCommand::DeleteAll);
    QTest::mouseClick(audio(), Qt::LeftButton, {}, Box(1).center());
    QMenu one;
    audio()->FillContextMenu(one);
    EXPECT_EQ(ActionNames(one),
        QStringList({ "PREVIEW", "MOVE_FORWARD", "MOVE_BACKWARD", "MOVE_FIRST", "MOVE_END", "DELETE" }));
    EXPECT_TRUE(audio()->RunCommand(TimelineCommand::MoveFirst));
    EXPECT_EQ(Names(audio()->track()), "b* a");
    EXPECT_TRUE(audio()->RunCommand(TimelineCommand::DeleteAll));
    EXPECT_FALSE(audio()->RunCommand(TimelineCommand::Preview));
}

// The edit menu's fit (the effect list's choice reaching the edited preview:
// the scenario), the ruler's seek and the zoom.
TEST_F(TimelineEditing, FitRulerSeeksAndZoomKeepsTheTimeAtTheLeftEdge)
{
    CCW_EditMenuWnd* menu = editMenu();
    ASSERT_NE(menu, nullptr);
    menu->Fit(); // nothing to fit: the zoom stays
    EXPECT_EQ(dialogs->records().back().text, "Zoom-Fit Failed");
    EXPECT_EQ(menu->zoomSlider()->GetPos(), kZoomDefault);
    menu->Preview(); // empty tracks: refused, the button shows preview
    EXPECT_FALSE(menu->playing());

    CMediaFile clip("/m/a.mp3", 10000, 0, 0, ClipKind::Sound);
    SendMessage(timeline(), msg::ClipToTimeline, 0, ToLParam(&clip));
    menu->Fit();
    EXPECT_EQ(menu->zoomSlider()->GetPos(), kZoomMax);
    EXPECT_EQ(audio()->pixelsPerSecond(), 32);
    EXPECT_EQ(audio()->scrollOffset(), 0);

    Recorder seeks("frame");
    timeline()->SetFrame(&seeks);
    Fill(3);
    auto* ruler = dynamic_cast<CCW_TimeLineRuler*>(timeline()->ruler());
    ASSERT_NE(ruler, nullptr);
    QTest::mouseClick(ruler, Qt::LeftButton, {}, QPoint(100, 20));
    ASSERT_FALSE(seeks.sent.empty());
    EXPECT_EQ(seeks.sent.back(), (Sent { msg::SeekMovie, 0, 10000 }));
    EXPECT_TRUE(audio()->positionShown());
    EXPECT_EQ(audio()->position(), 10000);

    ASSERT_TRUE(timeline()->scrollBar()->isEnabled());
    ASSERT_GE(timeline()->scrollBar()->maximum(), 2000);
    timeline()->scrollBar()->setValue(1000); // 100 s at the left edge
    EXPECT_EQ(audio()->scrollOffset(), 1000);
    EXPECT_EQ(ruler->scrollOffset(), 1000);
    EXPECT_TRUE(audio()->track().at(2).rect().isEmpty()); // scrolled out: not drawn, no box
    SendMessage(timeline(), msg::SetZoom, 0, 54); // 20 pixels per second
    EXPECT_EQ(audio()->scrollOffset(), 2000);
    EXPECT_EQ(timeline()->scrollBar()->value(), 2000);
    timeline()->scrollBar()->setValue(0);
    EXPECT_EQ(Box(1).left(), 400); // boxes follow the scroll
    timeline()->SetFrame(frame.window());
}

TEST_F(TimelineEditing, DropsAndTheMediaMenuBringFilesIn)
{
    QTemporaryDir dir;
    for (const char* name : { "a.avi", "photo.jpg", "b.wav", "x.amr" }) {
        ASSERT_TRUE(WriteFile(dir.filePath(name)));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.avi"));
    QList<QUrl> urls;
    for (const char* name : { "a.avi", "photo.jpg", "folder.avi", "missing.mp3", "b.wav", "x.amr" })
        urls << QUrl::fromLocalFile(dir.filePath(name));
    Recorder opened("frame");
    timeline()->SetFrame(&opened);
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(20, 60), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(timeline(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 60), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(timeline(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_TRUE(WaitFor([this] { return !timeline()->HasPendingDrop(); }, 5000));
    std::vector<WPARAM> kinds;
    for (const Sent& s : opened.sent) {
        if (s.message == msg::OpenSource)
            kinds.push_back(s.wParam);
    }
    EXPECT_EQ(kinds, (std::vector<WPARAM> { 0, 1 }));
    EXPECT_EQ(opened.texts, QStringList({ dir.filePath("a.avi"), dir.filePath("b.wav") }));
    timeline()->SetFrame(frame.window());

    // The media menu opens, records and deletes.
    const QString song = dir.filePath("song.wav");
    ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "anullsrc=r=8000:cl=mono", "-t", "59.9", song }));
    CCW_MediaMenuWnd* menu = mediaMenu();
    ASSERT_NE(menu, nullptr);
    dialogs->pushCancel();
    menu->RunCommand(CCW_MediaMenuWnd::kAudioOpen);
    EXPECT_FALSE(menu->HasPendingOpen());
    dialogs->pushPath(song);
    QTest::mouseClick(menu->button("AudioOpen"), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([this] { return audio()->track().size() == 1; }, 20000));
    const CMediaFile& clip = audio()->track().at(0);
    EXPECT_EQ(clip.length(), 59000u);
    EXPECT_EQ(clip.sourceLength(), 59000u);
    EXPECT_EQ(clip.kind(), ClipKind::Sound);
    EXPECT_EQ(dialogs->records().back().filter, "AudioFile(*.mp3;*.wav)| *.mp3; *.wav||");
    EXPECT_TRUE(menu->trackHasSelection(kAudioTrack));

    // A cancelled recording changes nothing (a recorded voice landing on its
    // track: the scenario).
    dialogs->pushResult(IDCANCEL);
    menu->RunCommand(CCW_MediaMenuWnd::kVoiceRecord);
    EXPECT_EQ(menu->voiceCounter(), 1);
    EXPECT_TRUE(timeline()->view(kVoiceTrack)->track().empty());

    menu->RunCommand(CCW_MediaMenuWnd::kAudioDelete);
    EXPECT_TRUE(timeline()->IsEmpty());
}

} // namespace
