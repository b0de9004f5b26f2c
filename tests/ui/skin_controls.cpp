// The skin controls in real widgets, drawn from the default skin in the
// build's suite folder; the same tests run again at scale 2, where the @2x
// files are drawn and every value must come out as at scale 1.
// test-links: cw_skin

#include "platform/dialog_service.h"
#include "recorder.h"
#include "skin/animated_picture.h"
#include "skin/range_slider.h"
#include "skin/skin_bitmap.h"
#include "skin/skin_button.h"
#include "skin/skin_slider.h"
#include "test_util.h"

#include <QApplication>
#include <QHash>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <limits>
#include <utility>

namespace {

using Notes = std::vector<std::pair<int, int>>;

const QString kImages = QStringLiteral(CW_SUITE_DIR "/image/");

// The device pixel ratio the run is meant to have (the child run at scale 2
// sets QT_SCALE_FACTOR).
qreal ExpectedScale()
{
    return qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? 2.0 : 1.0;
}

// What a control told its parent (a Recorder) with one message: (wParam,
// lParam) each time.
Notes NotesOf(const Recorder& parent, std::uint32_t message = msg::RangeChanged)
{
    Notes notes;
    for (const Sent& s : parent.sent) {
        if (s.message == message)
            notes.emplace_back(int(s.wParam), int(s.lParam));
    }
    return notes;
}

void Mouse(QWidget* w, QEvent::Type type, int x, int y = 8)
{
    const QPointF pos(x, y);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, pos, w->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
        Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// A press at from, a move to to (a click when they are the same) and the
// release there.
void Drag(QWidget* w, int from, int to)
{
    Mouse(w, QEvent::MouseButtonPress, from);
    if (to != from)
        Mouse(w, QEvent::MouseMove, to);
    Mouse(w, QEvent::MouseButtonRelease, to);
}

// A slider of 222 px: thumbs of 11, 200 usable pixels over [0, 50], so one
// pixel is 0.25; the selection starts at [10, 40] (marks at x 40 and 171).
struct SliderSetup {
    Recorder parent;
    CRangeSlider* slider = new CRangeSlider(&parent, 7);

    SliderSetup()
    {
        EXPECT_EQ(qApp->devicePixelRatio(), ExpectedScale());
        parent.resize(260, 40);
        parent.show();
        slider->SetMarkBitmaps(kImages + "cw_slider_mark_up.png", kImages + "cw_slider_mark_down.png");
        slider->SetTrackBitmaps(kImages + "cw_slider_back_head.png", kImages + "cw_slider_back_body.png",
            kImages + "cw_slider_back_tail.png");
        slider->SetBandBitmaps(kImages + "cw_slider_select.png", kImages + "cw_slider_visual.png");
        slider->setGeometry(10, 10, 222, 17);
        slider->SetMinMax(0, 50);
        slider->SetRange(10, 40);
        draw();
        parent.clear();
    }
    // Paints the slider (which also places its marks for hit testing).
    QImage draw() { return slider->grab().toImage(); }
    std::pair<double, double> range() const
    {
        double l = 0, r = 0;
        slider->GetRange(l, r);
        return { l, r };
    }
};

// One pixel of an image at a point in scale-1 pixels.
QColor At(const QImage& img, int x, int y)
{
    const qreal r = img.devicePixelRatio();
    return img.pixelColor(int((x + 0.5) * r), int((y + 0.5) * r));
}

QColor At(const SkinBitmap& b, int x, int y)
{
    return At(b.image(), x, y);
}

SkinBitmap Load(const QString& file)
{
    SkinBitmap b;
    EXPECT_TRUE(LoadSkinBitmap(b, kImages + file)) << qPrintable(file);
    return b;
}

} // namespace

TEST(RangeSlider, EdgeCases)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    struct Row {
        const char* name;
        std::function<void(CRangeSlider*)> act;
        double left, right;
        Notes notes;
    };
    const std::vector<Row> rows = {
        { "a range beyond both ends is cut to the value range, left first",
            [](CRangeSlider* s) { s->SetRange(-5, 100); }, 0, 50, { { 0, 0 }, { 1, 0 } } },
        { "the left mark dragged past the right one stops on it", [](CRangeSlider* s) { Drag(s, 45, 190); }, 40, 40,
            { { 0, 0 } } },
        { "the selection dragged against an end keeps its width", [](CRangeSlider* s) { Drag(s, 110, 0); }, 0, 30,
            { { 2, 0 } } },
        { "Shift+Right moves the right mark one pixel and reports the left",
            [](CRangeSlider* s) { QTest::keyClick(s, Qt::Key_Right, Qt::ShiftModifier); }, 10, 40.25, { { 0, 0 } } },
        { "releasing the right mark sends (1, 1)", [](CRangeSlider* s) { Drag(s, 176, 176); }, 10, 40, { { 1, 1 } } },
        { "values that are not finite change nothing",
            [=](CRangeSlider* s) {
                s->SetMinMax(0, inf);
                s->SetRange(-inf, 20);
                s->SetVisualRange(nan, 1);
            },
            10, 40, {} },
        { "an empty value range: keys and presses do nothing",
            [](CRangeSlider* s) {
                s->SetMinMax(5, 5);
                s->grab();
                QTest::keyClick(s, Qt::Key_Right);
                Drag(s, 45, 100);
            },
            5, 5, { { 1, 0 }, { 0, 0 } } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QCoreApplication::processEvents(); // each row is a user's action of its own
        SliderSetup s;
        row.act(s.slider);
        EXPECT_EQ(s.range(), std::make_pair(row.left, row.right));
        EXPECT_EQ(NotesOf(s.parent), row.notes);
    }
}

TEST(RangeSlider, MarksAndBandsArePaintedWhereTheValuesSay)
{
    SliderSetup s;
    s.slider->SetVisualRange(30, 20); // swapped into [20, 30]
    s.slider->SetVisualMode(true);
    const SkinBitmap markUp = Load("cw_slider_mark_up.png"), markDown = Load("cw_slider_mark_down.png");
    const SkinBitmap body = Load("cw_slider_back_body.png"), select = Load("cw_slider_select.png"),
                     played = Load("cw_slider_visual.png");
    ASSERT_EQ(markUp.size(), QSize(11, 17));
    ASSERT_EQ(markUp.image().devicePixelRatio(), ExpectedScale());
    ASSERT_NE(At(select, 5, 8), At(body, 5, 8));
    ASSERT_NE(At(played, 5, 8), At(select, 5, 8));
    ASSERT_NE(At(markDown, 5, 8), At(markUp, 5, 8));

    // The marks at 10 and 40, the selection at 15 and 35, the played bar at
    // 25, the track at 45 and 3.5.
    QImage img = s.draw();
    const std::pair<int, const SkinBitmap*> pixels[] = { { 45, &markUp }, { 176, &markUp }, { 71, &select },
        { 151, &select }, { 111, &played }, { 191, &body }, { 25, &body } };
    for (const auto& [x, bitmap] : pixels)
        EXPECT_EQ(At(img, x, 8), At(*bitmap, 5, 8)) << x;

    // A dragged mark is drawn pressed.
    Mouse(s.slider, QEvent::MouseButtonPress, 45);
    EXPECT_EQ(At(s.draw(), 45, 8), At(markDown, 5, 8));
    Mouse(s.slider, QEvent::MouseButtonRelease, 45);
    EXPECT_EQ(At(s.draw(), 45, 8), At(markUp, 5, 8));

    // No value range: the track alone.
    s.slider->SetMinMax(5, 5);
    img = s.draw();
    for (int x : { 14, 45, 71, 111, 176 })
        EXPECT_EQ(At(img, x, 8), At(body, 5, 8)) << x;
}

TEST(SkinButton, FramesByStateAndKeys)
{
    EXPECT_EQ(qApp->devicePixelRatio(), ExpectedScale());
    QWidget parent;
    auto* button = new CSkinButton(&parent, 6303);
    button->SetImages(kImages + "cw_preview_btn_play.png", kImages + "cw_preview_btn_pause.png");
    ASSERT_EQ(button->size(), QSize(30, 30));
    parent.show();
    int clicks = 0;
    QObject::connect(button, &QAbstractButton::clicked, [&] { ++clicks; });

    // The button drawn on a transparent image is exactly one frame of a strip.
    auto drawn = [&] {
        const qreal r = qApp->devicePixelRatio();
        QImage img(button->size() * r, QImage::Format_ARGB32_Premultiplied);
        img.setDevicePixelRatio(r);
        img.fill(Qt::transparent);
        button->render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
        img.setDevicePixelRatio(1);
        return img;
    };
    auto frame = [](const QString& file, int i) {
        const QImage strip = Load(file).image().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const int w = strip.width() / 4;
        QImage f = strip.copy(i * w, 0, w, strip.height());
        f.setDevicePixelRatio(1);
        return f;
    };
    const QString play = "cw_preview_btn_play.png", pause = "cw_preview_btn_pause.png";
    for (int i = 1; i < 4; ++i)
        ASSERT_NE(frame(play, i), frame(play, 0));

    EXPECT_EQ(drawn(), frame(play, CSkinButton::Normal));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), button->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(button, &enter);
    EXPECT_EQ(drawn(), frame(play, CSkinButton::Hover));
    Mouse(button, QEvent::MouseButtonPress, 5);
    EXPECT_EQ(drawn(), frame(play, CSkinButton::Pressed));
    Mouse(button, QEvent::MouseButtonRelease, 5);
    EXPECT_EQ(clicks, 1);
    button->SetSecondMode(true);
    EXPECT_EQ(drawn(), frame(pause, CSkinButton::Hover));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(drawn(), frame(pause, CSkinButton::Normal));

    for (auto key : { Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter })
        QTest::keyClick(button, key);
    EXPECT_EQ(clicks, 4);
    button->setEnabled(false);
    EXPECT_EQ(drawn(), frame(pause, CSkinButton::Disabled));
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(clicks, 4);
}

TEST(SkinImages, AFileThatCannotBeLoadedWarnsOnceAndIsDrawnWithoutAndTheGifPlays)
{
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    const QString missing = dir.filePath("gone.png"), broken = dir.filePath("broken.png");
    ASSERT_TRUE(WriteFile(broken, "not an image"));

    SkinBitmap bmp = Load("cw_slider_mark_up.png");
    EXPECT_EQ(bmp.size(), QSize(11, 17));
    EXPECT_EQ(bmp.image().size(), QSize(11, 17) * ExpectedScale());
    EXPECT_FALSE(LoadSkinBitmap(bmp, QString())); // the host has no such image: silently nothing
    EXPECT_FALSE(LoadSkinBitmap(bmp, missing, false));
    EXPECT_TRUE(dialogs->records().empty());
    EXPECT_FALSE(bmp.isNull()) << "a missing file leaves the held bitmap";
    EXPECT_FALSE(LoadSkinBitmap(bmp, broken));
    EXPECT_TRUE(bmp.isNull());
    ASSERT_EQ(dialogs->records().size(), 1u);
    EXPECT_EQ(dialogs->records()[0].title, "Warning");
    EXPECT_EQ(dialogs->records()[0].text, broken + " File not found!");
    dialogs->clearRecords();

    // A button whose strip is missing: one warning, however often it is
    // drawn, and it still clicks.
    QWidget parent;
    auto* button = new CSkinButton(&parent);
    button->SetImages(missing);
    button->resize(30, 30);
    parent.show();
    int clicks = 0;
    QObject::connect(button, &QAbstractButton::clicked, [&] { ++clicks; });
    for (int i = 0; i < 3; ++i)
        button->grab();
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(clicks, 1);
    ASSERT_EQ(dialogs->records().size(), 1u);
    EXPECT_EQ(dialogs->records()[0].text, missing + " File not found!");

    // The animated picture plays at its scale-1 size; a missing one warns.
    dialogs->clearRecords();
    CAnimatedPicture picture;
    ASSERT_TRUE(picture.Load(kImages + "work_saving.gif"));
    EXPECT_EQ(picture.size(), QSize(102, 102));
    picture.show();
    const QImage first = picture.grab().toImage();
    EXPECT_EQ(first.size(), QSize(102, 102) * ExpectedScale());
    picture.Start();
    EXPECT_TRUE(WaitFor([&] { return picture.grab().toImage() != first; }, 3000)) << "the picture does not move";
    picture.Stop();
    EXPECT_TRUE(dialogs->records().empty());
    EXPECT_FALSE(picture.Load(kImages + "gone.gif"));
    EXPECT_TRUE(picture.isNull());
    EXPECT_EQ(dialogs->records().size(), 1u);
}

// The one-thumb slider in both of its forms: 100 usable pixels over [0, 100].
TEST(SkinSlider, UserMovesAreSentWithTheControlId)
{
    ScriptedDialogs dialogs;
    TempRegistry registry;
    SetSuiteValue("IMAGEDIR", CW_SUITE_DIR "/image");
    const ResourceLookup lookup(nullptr, [](QString section, QString key) {
        static const QHash<QString, QString> table
            = { { "VOLUME/BACK_IMAGE", "sound_back" }, { "VOLUME/UP_IMAGE", "sound_up" },
                  { "VOLUME/DOWN_IMAGE", "sound_down" }, { "POSITION/BACK_HEAD", "back_head" },
                  { "POSITION/BACK_BODY", "back_body" }, { "POSITION/BACK_TAIL", "back_tail" },
                  { "POSITION/MARK_UP", "mark_up" }, { "POSITION/MARK_DOWN", "mark_down" } };
        const QString name = table.value(section + "/" + key);
        return name.isEmpty() ? name : "cw_slider_" + name + ".png";
    });
    for (const auto& [section, thumb] : { std::pair { "VOLUME", 7 }, { "POSITION", 11 } }) {
        Recorder parent;
        auto* slider = new CSkinSlider(&parent, 42);
        slider->LoadBitmaps(lookup, section);
        ASSERT_EQ(slider->thumbWidth(), thumb) << section;
        slider->resize(thumb + 100, 17);
        slider->SetRange(100, 0);
        slider->SetPos(50);
        EXPECT_EQ(slider->thumbRect(), QRect(50, 0, thumb, thumb == 7 ? 13 : 17)) << section;
        const int half = thumb / 2;
        Drag(slider, 50 + half, 70 + half); // on the thumb
        Drag(slider, 10 + half, 10 + half); // on the track: the thumb jumps there
        for (auto key : { Qt::Key_End, Qt::Key_Right, Qt::Key_Home })
            QTest::keyClick(slider, key);
        EXPECT_EQ(NotesOf(parent, msg::SliderMoved), (Notes { { 42, 70 }, { 42, 10 }, { 42, 100 }, { 42, 0 } }))
            << section;
        slider->SetRange(5, 5); // no positions: the track alone, and nothing to grab
        EXPECT_TRUE(slider->thumbRect().isEmpty());
        Mouse(slider, QEvent::MouseButtonPress, 50);
        EXPECT_EQ(slider->GetPos(), 5);
        EXPECT_EQ(NotesOf(parent, msg::SliderMoved).size(), 4u);
    }
    EXPECT_TRUE(dialogs->records().empty());
}

// The tests above once more at scale 2, in a child process (the scale is
// fixed when the application starts).
TEST(SkinControls, SameValuesAndPixelsAtScaleTwo)
{
    if (ExpectedScale() != 1.0)
        GTEST_SKIP() << "this is the scale 2 run";
    const ToolRun run = RunTool(QCoreApplication::applicationFilePath(),
        { "--gtest_filter=RangeSlider.*:SkinButton.*:SkinImages.*:SkinSlider.*" }, { "QT_SCALE_FACTOR=2" });
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("[  PASSED  ] 5 tests")) << run.out.toStdString();
}
