// skin-gen: draws the default skin of the suite data. It reads the image
// table (INI: section -> key -> file name), and draws every file it names from
// the recipe of that file name, into the output folder. A file name without a
// recipe is an error, so the table and the artwork cannot drift apart.
//
// The recipes are one table (kRecipes) of shapes and their parameters in
// logical pixels. Each file is drawn twice from its row: NAME.ext at scale 1
// and NAME@2x.ext at twice the size, for high-density screens.
//
// Buttons are horizontal strips of four equal frames: normal, hover, pressed,
// disabled.
//
// usage: skin-gen IMAGE_TABLE OUTPUT_FOLDER
#include "gif_writer.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <utility>

namespace {

// The palette of the skin.
const QColor kFrameDark(38, 62, 118);
const QColor kFrame(66, 92, 152);
const QColor kFrameLight(112, 140, 204);
const QColor kSplitter(80, 108, 177);
const QColor kPanel(232, 237, 247);
const QColor kAccent(255, 168, 40);
const QColor kRecord(214, 48, 48);

enum class Glyph {
    None,
    Play,
    Pause,
    Stop,
    Record,
    Folder,
    Trash,
    Grid,
    Down,
    Left,
    Right,
    Up,
    Star,
    List,
    Check,
    Close,
    Film,
    Note,
    Mic,
    Speaker,
    Search,
    Frames,
    Disk,
    Send,
    Clock,
    Plus,
    Minus,
    Fit,
    Phone
};

void drawGlyph(QPainter& p, Glyph g, const QRectF& r, const QColor& c)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = std::min(r.width(), r.height());
    const QPointF m = r.center();
    const qreal u = s / 10.0;
    QPen pen(c, std::max(1.0, u * 1.1), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(c);
    auto poly = [&](std::initializer_list<QPointF> pts) {
        QPolygonF pg;
        for (const QPointF& q : pts)
            pg << m + q * u;
        p.drawPolygon(pg);
    };
    switch (g) {
    case Glyph::None:
        break;
    case Glyph::Play:
        poly({ { -2.5, -3.5 }, { 3.5, 0 }, { -2.5, 3.5 } });
        break;
    case Glyph::Pause:
        p.drawRect(QRectF(m + QPointF(-3, -3.5) * u, QSizeF(2 * u, 7 * u)));
        p.drawRect(QRectF(m + QPointF(1, -3.5) * u, QSizeF(2 * u, 7 * u)));
        break;
    case Glyph::Stop:
        p.drawRect(QRectF(m + QPointF(-3, -3) * u, QSizeF(6 * u, 6 * u)));
        break;
    case Glyph::Record:
        p.setBrush(kRecord);
        p.setPen(QPen(c, u * 0.8));
        p.drawEllipse(m, 3.5 * u, 3.5 * u);
        break;
    case Glyph::Folder:
        p.setBrush(QColor(255, 214, 102));
        p.setPen(QPen(c, u * 0.7));
        poly({ { -4, -3 }, { -1, -3 }, { 0, -2 }, { 4, -2 }, { 4, 3 }, { -4, 3 } });
        break;
    case Glyph::Trash:
        p.setBrush(Qt::NoBrush);
        p.drawLine(m + QPointF(-3.5, -2.5) * u, m + QPointF(3.5, -2.5) * u);
        p.drawLine(m + QPointF(-1, -3.5) * u, m + QPointF(1, -3.5) * u);
        poly({ { -2.5, -1.5 }, { 2.5, -1.5 }, { 2, 3.5 }, { -2, 3.5 } });
        break;
    case Glyph::Grid:
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j)
                p.drawRect(QRectF(m + QPointF(-3.5 + i * 4, -3.5 + j * 4) * u, QSizeF(3 * u, 3 * u)));
        break;
    case Glyph::Down:
        poly({ { -3, -1.5 }, { 3, -1.5 }, { 0, 2 } });
        break;
    case Glyph::Left:
        poly({ { 2, -3 }, { 2, 3 }, { -2.5, 0 } });
        break;
    case Glyph::Right:
        poly({ { -2, -3 }, { -2, 3 }, { 2.5, 0 } });
        break;
    case Glyph::Up:
        poly({ { -3, 2 }, { 3, 2 }, { 0, -2.5 } });
        break;
    case Glyph::Star: {
        QPolygonF star;
        for (int i = 0; i < 10; ++i) {
            const qreal a = -M_PI / 2 + i * M_PI / 5;
            const qreal rr = (i % 2 ? 1.6 : 4.0) * u;
            star << m + QPointF(std::cos(a) * rr, std::sin(a) * rr);
        }
        p.setBrush(kAccent);
        p.drawPolygon(star);
        break;
    }
    case Glyph::List:
        for (int i = 0; i < 3; ++i)
            p.drawLine(m + QPointF(-3.5, -2.5 + i * 2.5) * u, m + QPointF(3.5, -2.5 + i * 2.5) * u);
        break;
    case Glyph::Check:
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({ m + QPointF(-3.5, 0) * u, m + QPointF(-1, 2.5) * u, m + QPointF(3.5, -3) * u }));
        break;
    case Glyph::Close:
        p.drawLine(m + QPointF(-2.5, -2.5) * u, m + QPointF(2.5, 2.5) * u);
        p.drawLine(m + QPointF(2.5, -2.5) * u, m + QPointF(-2.5, 2.5) * u);
        break;
    case Glyph::Film:
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(m + QPointF(-4, -3) * u, QSizeF(8 * u, 6 * u)));
        for (int i = 0; i < 4; ++i) {
            p.drawPoint(m + QPointF(-3 + i * 2, -2.2) * u);
            p.drawPoint(m + QPointF(-3 + i * 2, 2.2) * u);
        }
        break;
    case Glyph::Note:
        p.drawEllipse(m + QPointF(-2, 2.5) * u, 1.5 * u, 1.1 * u);
        p.drawLine(m + QPointF(-0.6, 2.5) * u, m + QPointF(-0.6, -3.5) * u);
        p.drawLine(m + QPointF(-0.6, -3.5) * u, m + QPointF(2.5, -2.5) * u);
        break;
    case Glyph::Mic:
        p.drawRoundedRect(QRectF(m + QPointF(-1.5, -4) * u, QSizeF(3 * u, 5 * u)), 1.5 * u, 1.5 * u);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(m + QPointF(-3, -2) * u, QSizeF(6 * u, 5 * u)), 180 * 16, 180 * 16);
        p.drawLine(m + QPointF(0, 3) * u, m + QPointF(0, 4) * u);
        break;
    case Glyph::Speaker:
        poly({ { -4, -1.5 }, { -2, -1.5 }, { 1, -4 }, { 1, 4 }, { -2, 1.5 }, { -4, 1.5 } });
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(m + QPointF(0, -2.5) * u, QSizeF(4 * u, 5 * u)), -60 * 16, 120 * 16);
        break;
    case Glyph::Search:
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(m + QPointF(-0.8, -0.8) * u, 2.6 * u, 2.6 * u);
        p.drawLine(m + QPointF(1.2, 1.2) * u, m + QPointF(3.5, 3.5) * u);
        break;
    case Glyph::Frames:
        p.setBrush(Qt::NoBrush);
        for (int i = 0; i < 3; ++i)
            p.drawRect(QRectF(m + QPointF(-4 + i * 1.5, -3.5 + i * 1.5) * u, QSizeF(5 * u, 4 * u)));
        break;
    case Glyph::Disk:
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(m + QPointF(-3.5, -3.5) * u, QSizeF(7 * u, 7 * u)));
        p.drawRect(QRectF(m + QPointF(-2, -3.5) * u, QSizeF(4 * u, 2.5 * u)));
        p.drawRect(QRectF(m + QPointF(-2, 0.8) * u, QSizeF(4 * u, 2.7 * u)));
        break;
    case Glyph::Send:
        poly({ { -4, -0.8 }, { 1, -0.8 }, { 1, -3 }, { 4, 0 }, { 1, 3 }, { 1, 0.8 }, { -4, 0.8 } });
        break;
    case Glyph::Plus:
        p.drawLine(m + QPointF(-3, 0) * u, m + QPointF(3, 0) * u);
        p.drawLine(m + QPointF(0, -3) * u, m + QPointF(0, 3) * u);
        break;
    case Glyph::Minus:
        p.drawLine(m + QPointF(-3, 0) * u, m + QPointF(3, 0) * u);
        break;
    case Glyph::Fit:
        poly({ { -4, 0 }, { -1.5, -2 }, { -1.5, 2 } });
        poly({ { 4, 0 }, { 1.5, -2 }, { 1.5, 2 } });
        p.drawLine(m + QPointF(-2, 0) * u, m + QPointF(2, 0) * u);
        break;
    case Glyph::Phone:
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(m + QPointF(-2.2, -4) * u, QSizeF(4.4 * u, 8 * u)), u, u);
        p.drawLine(m + QPointF(-0.6, 3) * u, m + QPointF(0.6, 3) * u);
        break;
    case Glyph::Clock:
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(m, 3.5 * u, 3.5 * u);
        p.drawLine(m, m + QPointF(0, -2.5) * u);
        p.drawLine(m, m + QPointF(1.8, 0) * u);
        break;
    }
    p.restore();
}

QFont skinFont(int pixelSize, bool bold = true)
{
    QFont f("DejaVu Sans");
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

void verticalGradient(QPainter& p, const QRectF& r, const QColor& top, const QColor& bottom)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(r, g);
}

// --- pieces -----------------------------------------------------------------

// Four button states side by side; the face draws a glyph and/or a label.
void paintButtonStrip(QPainter& p, int fw, int fh, Glyph glyph, const QString& label, QColor base)
{
    p.setRenderHint(QPainter::Antialiasing);
    for (int s = 0; s < 4; ++s) {
        const QRectF f(s * fw + 0.5, 0.5, fw - 1.0, fh - 1.0);
        QColor top = base.lighter(125), bottom = base.darker(125);
        if (s == 1) {
            top = top.lighter(120);
            bottom = bottom.lighter(120);
        } else if (s == 2) {
            std::swap(top, bottom);
        } else if (s == 3) {
            top = QColor(200, 200, 204);
            bottom = QColor(160, 160, 166);
        }
        QLinearGradient g(f.topLeft(), f.bottomLeft());
        g.setColorAt(0, top);
        g.setColorAt(1, bottom);
        p.setBrush(g);
        p.setPen(QPen(s == 3 ? QColor(130, 130, 136) : kFrameDark, 1));
        p.drawRoundedRect(f, 3, 3);
        const QColor ink = s == 3 ? QColor(230, 230, 232) : Qt::white;
        const QPointF shift = s == 2 ? QPointF(1, 1) : QPointF(0, 0);
        QRectF face = f.translated(shift).adjusted(2, 2, -2, -2);
        if (label.isEmpty()) {
            drawGlyph(p, glyph, face, ink);
        } else {
            QRectF text = face;
            if (glyph != Glyph::None) {
                drawGlyph(p, glyph, QRectF(face.left(), face.top(), face.height(), face.height()), ink);
                text.setLeft(face.left() + face.height());
            }
            p.setPen(ink);
            p.setFont(skinFont(std::min(12, fh / 2 + 1)));
            p.drawText(text, Qt::AlignCenter, label);
        }
    }
}

void paintGradient(QPainter& p, const QRect& r, QColor top, QColor bottom, bool lineTop, bool lineBottom)
{
    verticalGradient(p, r, top, bottom);
    if (lineTop)
        p.fillRect(0, 0, r.width(), 1, kFrameDark);
    if (lineBottom)
        p.fillRect(0, r.height() - 1, r.width(), 1, kFrameDark);
}

// A frame corner: the gradient with the border lines on its outer sides.
void paintCorner(QPainter& p, const QRect& r, QColor top, QColor bottom, bool right, bool isTop)
{
    const int w = r.width(), h = r.height();
    verticalGradient(p, r, top, bottom);
    p.setPen(kFrameDark);
    p.drawLine(right ? w - 1 : 0, 0, right ? w - 1 : 0, h - 1);
    p.drawLine(0, isTop ? 0 : h - 1, w - 1, isTop ? 0 : h - 1);
}

void paintSide(QPainter& p, const QRect& r, bool right)
{
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setColorAt(right ? 1 : 0, kFrameDark);
    g.setColorAt(right ? 0 : 1, kFrame);
    p.fillRect(r, g);
}

// Slider track pieces: a rounded groove across the middle of the piece.
void paintTrack(QPainter& p, const QRect& r, int which /* 0 head, 1 body, 2 tail */)
{
    const int w = r.width(), h = r.height();
    const int gh = std::max(4, h / 3);
    const QRectF groove(which == 0 ? w / 2.0 : -4, (h - gh) / 2.0, which == 1 ? w + 8 : w / 2.0 + 4, gh);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kFrameDark, 1));
    p.setBrush(QColor(20, 30, 60));
    p.setClipRect(r);
    p.drawRoundedRect(groove, gh / 2.0, gh / 2.0);
}

void paintBand(QPainter& p, const QRect& r, QColor c)
{
    const int gh = std::max(4, r.height() / 3);
    p.fillRect(QRect(0, (r.height() - gh) / 2, r.width(), gh), c);
}

void paintThumb(QPainter& p, const QRect& r, bool pressed)
{
    const int w = r.width(), h = r.height();
    p.setRenderHint(QPainter::Antialiasing);
    QPolygonF shape({ QPointF(0.5, 0.5), QPointF(w - 0.5, 0.5), QPointF(w - 0.5, h * 0.65), QPointF(w / 2.0, h - 0.5),
        QPointF(0.5, h * 0.65) });
    QLinearGradient g(0, 0, w, 0);
    g.setColorAt(0, pressed ? kAccent : QColor(250, 250, 252));
    g.setColorAt(1, pressed ? kAccent.darker(130) : QColor(176, 188, 214));
    p.setBrush(g);
    p.setPen(QPen(kFrameDark, 1));
    p.drawPolygon(shape);
}

// A 96 x 96 cell picture for a file type: a page with a badge.
void paintTypeIcon(QPainter& p, const QRect& r, const QString& ext, Glyph glyph, QColor badge)
{
    p.fillRect(r, Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath page;
    page.moveTo(24, 10);
    page.lineTo(60, 10);
    page.lineTo(74, 24);
    page.lineTo(74, 86);
    page.lineTo(24, 86);
    page.closeSubpath();
    p.setPen(QPen(QColor(150, 160, 180), 1.5));
    p.setBrush(QColor(246, 248, 252));
    p.drawPath(page);
    p.setBrush(QColor(220, 226, 238));
    p.drawPolygon(QPolygonF({ QPointF(60, 10), QPointF(60, 24), QPointF(74, 24) }));
    drawGlyph(p, glyph, QRectF(34, 26, 30, 30), badge);
    p.setPen(Qt::NoPen);
    p.setBrush(badge);
    p.drawRoundedRect(QRectF(16, 60, 52, 20), 4, 4);
    p.setPen(Qt::white);
    p.setFont(skinFont(ext.size() > 3 ? 11 : 13));
    p.drawText(QRectF(16, 60, 52, 20), Qt::AlignCenter, ext);
}

// A 102 x 102 stage tile of the progress dialog; phase < 0 draws it still.
void paintTile(QPainter& p, const QRect& r, Glyph glyph, const QString& text, bool done, qreal phase)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(r, kPanel);
    const QRectF disc(11, 6, 80, 80);
    QColor ring = done ? QColor(72, 168, 96) : (phase >= 0 ? kAccent : QColor(170, 180, 200));
    p.setPen(QPen(ring, 5));
    p.setBrush(QColor(255, 255, 255));
    p.drawEllipse(disc);
    if (phase >= 0) {
        p.setPen(QPen(kFrame, 5, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(disc, int(-phase * 360 * 16), 90 * 16);
    }
    drawGlyph(p, done ? Glyph::Check : glyph, disc.adjusted(18, 18, -18, -18), done ? QColor(72, 168, 96) : kFrame);
    p.setPen(kFrameDark);
    p.setFont(skinFont(11));
    p.drawText(QRectF(0, 86, 102, 16), Qt::AlignCenter, text);
}

void paintPreviewAnimation(QPainter& p, const QRect& r, int frame)
{
    p.fillRect(r, kFrame);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 3; ++i) {
        const bool lit = (i % 2) == (frame % 2);
        p.setBrush(lit ? kAccent : kFrameLight);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(9 + i * 6, 8), 2.2, 2.2);
    }
    p.setPen(Qt::white);
    p.setFont(skinFont(9));
    p.drawText(QRect(26, 0, 28, 16), Qt::AlignCenter, "PLAY");
}

void paintSpectrumBack(QPainter& p, const QRect& r)
{
    verticalGradient(p, r, QColor(18, 28, 56), QColor(8, 12, 28));
    p.setPen(QColor(40, 56, 96));
    for (int y = r.height() - 27; y > 0; y -= 16)
        p.drawLine(8, y, r.width() - 8, y);
}

void paintRecordingBackground(QPainter& p, const QRect& r)
{
    verticalGradient(p, r, kPanel, QColor(206, 216, 236));
    drawGlyph(p, Glyph::Mic, QRectF(14, 14, 44, 44), kFrame);
}

void paintMediaMenuBackground(QPainter& p, const QRect& r)
{
    verticalGradient(p, r, QColor(236, 240, 250), QColor(206, 216, 236));
    const int ys[] = { 32, 89, 147, 210 };
    const char* names[] = { "Video", "Audio", "Voice" };
    const Glyph glyphs[] = { Glyph::Film, Glyph::Note, Glyph::Mic };
    p.setFont(skinFont(10));
    for (int i = 0; i < 3; ++i) {
        p.fillRect(0, ys[i], r.width(), 1, QColor(170, 182, 210));
        drawGlyph(p, glyphs[i], QRectF(4, ys[i] + 4, 16, 16), kFrame);
        p.setPen(kFrameDark);
        p.drawText(QRect(22, ys[i] + 4, 70, 16), Qt::AlignVCenter, names[i]);
    }
}

void paintTimelinePosition(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kRecord);
    p.drawPolygon(QPolygonF({ QPointF(0, 0), QPointF(11, 0), QPointF(5.5, 8) }));
    p.fillRect(QRectF(5, 6, 1.5, 26), kRecord);
}

void paintBrowserLogo(QPainter& p, const QRect& r)
{
    verticalGradient(p, r, QColor(236, 240, 250), QColor(196, 206, 230));
    drawGlyph(p, Glyph::Film, QRectF(4, 5, 20, 20), kFrame);
    p.setPen(kFrameDark);
    p.setFont(skinFont(11));
    p.drawText(QRect(26, 0, 64, 30), Qt::AlignVCenter, "Media");
}

// --- recipes ----------------------------------------------------------------

enum class Shape {
    Button, // a strip of four frames, each w x h: glyph, text (label), c1 base colour (0: the default)
    Gradient, // c1 top, c2 bottom; option bit 0 a line on top, bit 1 at the bottom
    Corner, // c1 top, c2 bottom; option bit 0 right corner, bit 1 top corner
    Side, // option 1 the right side
    Label, // text drawn in c1 (option: pixel size) over c2
    Picture, // glyph drawn in c1 over c2
    Track, // option 0 head, 1 body, 2 tail
    Band, // c1
    Thumb, // option 1 pressed
    TypeIcon, // text the extension, glyph, c1 the badge (96 x 96)
    Tile, // glyph, text; option 1 done (102 x 102)
    AnimatedTile, // glyph, text; eight frames (102 x 102)
    PreviewAnimation, // option the frame number
    SpectrumBack,
    SpectrumTick1,
    SpectrumTick2,
    RecordingBackground,
    MediaMenuBackground,
    TimelinePosition,
    BrowserLogo,
    VerticalLine,
};

// One image file of the skin, drawn from logical pixels, so the same row
// gives the scale-1 file and the @2x file.
struct Recipe {
    const char* file;
    Shape shape;
    int w, h;
    Glyph glyph = Glyph::None;
    const char* text = "";
    QRgb c1 = 0, c2 = 0; // 0 is transparent
    int option = 0;
};

constexpr QRgb rgb(int r, int g, int b)
{
    return qRgb(r, g, b);
}

constexpr QRgb kTitleTop = rgb(92, 122, 192), kTitleBottom = rgb(48, 74, 136);
constexpr QRgb kRgbFrameDark = rgb(38, 62, 118), kRgbFrame = rgb(66, 92, 152), kRgbFrameLight = rgb(112, 140, 204);
constexpr QRgb kPaleTop = rgb(236, 240, 250), kPaleBottom = rgb(196, 206, 230), kPaleBottom2 = rgb(206, 216, 236);
constexpr QRgb kVideo = rgb(64, 110, 200), kPhoneVideo = rgb(40, 150, 150), kSound = rgb(200, 110, 40),
               kPicture = rgb(120, 90, 190);
constexpr int kLineTop = 1, kLineBottom = 2, kRight = 1, kTop = 2;

// clang-format off
const Recipe kRecipes[] = {
    // Skinned dialog frame and its close button.
    { "tm_ui_topleft.png", Shape::Corner, 14, 39, {}, "", kTitleTop, kTitleBottom, kTop },
    { "tm_ui_topmid.png", Shape::Gradient, 8, 39, {}, "", kTitleTop, kTitleBottom, kLineTop },
    { "tm_ui_topright.png", Shape::Corner, 14, 39, {}, "", kTitleTop, kTitleBottom, kRight | kTop },
    { "tm_ui_midleft.png", Shape::Side, 8, 8 },
    { "tm_ui_midright.png", Shape::Side, 8, 8, {}, "", 0, 0, kRight },
    { "tm_ui_bottomleft.png", Shape::Corner, 14, 12, {}, "", kRgbFrame, kRgbFrameDark },
    { "tm_ui_bottommid.png", Shape::Gradient, 8, 12, {}, "", kRgbFrame, kRgbFrameDark, kLineBottom },
    { "tm_ui_bottomright.png", Shape::Corner, 14, 12, {}, "", kRgbFrame, kRgbFrameDark, kRight },
    { "tm_ui_logo.png", Shape::Label, 96, 22, {}, "Orvanta", rgb(255, 255, 255), 0, 15 },
    { "tm_ui_slogan.png", Shape::Label, 160, 16, {}, "Movie editor", rgb(220, 228, 248), 0, 11 },
    { "btn_ui_close.png", Shape::Button, 21, 20, Glyph::Close, "", rgb(196, 72, 72) },
    // Pane theme pieces (media menu frame, ruler strip).
    { "tm_ui_theme_top_left.png", Shape::Corner, 6, 32, {}, "", kRgbFrameLight, kRgbFrame, kTop },
    { "tm_ui_theme_top_mid.png", Shape::Gradient, 8, 32, {}, "", kPaleTop, kPaleBottom, kLineBottom },
    { "tm_ui_theme_midleft.png", Shape::Side, 6, 8 },
    { "tm_ui_theme_bottom_left.png", Shape::Corner, 6, 6, {}, "", kRgbFrame, kRgbFrameDark },
    { "tm_ui_theme_bottom_mid.png", Shape::Gradient, 8, 6, {}, "", kRgbFrame, kRgbFrameDark, kLineBottom },
    // Message box buttons.
    { "btn_ui_ok.png", Shape::Button, 72, 24, Glyph::None, "OK" },
    { "btn_ui_cancel.png", Shape::Button, 72, 24, Glyph::None, "Cancel" },
    { "btn_ui_yes.png", Shape::Button, 72, 24, Glyph::None, "Yes" },
    { "btn_ui_no.png", Shape::Button, 72, 24, Glyph::None, "No" },
    // Preview panes.
    { "cw_preview_frame_top_left.png", Shape::Gradient, 8, 8, {}, "", kRgbFrameLight, kRgbFrame },
    { "cw_preview_frame_top_mid.png", Shape::Gradient, 8, 8, {}, "", kRgbFrameLight, kRgbFrame },
    { "cw_preview_frame_top_right.png", Shape::Gradient, 8, 8, {}, "", kRgbFrameLight, kRgbFrame },
    { "cw_preview_frame_bottom_left.png", Shape::Gradient, 8, 8, {}, "", kRgbFrameLight, kRgbFrame },
    { "cw_preview_frame_bottom_mid.png", Shape::Gradient, 8, 8, {}, "", kRgbFrameLight, kRgbFrame },
    { "cw_preview_frame_bottom_right.png", Shape::Gradient, 8, 8, {}, "", kRgbFrameLight, kRgbFrame },
    { "cw_preview_frame_mid_left.png", Shape::Side, 8, 8 },
    { "cw_preview_frame_mid_right.png", Shape::Side, 8, 8, {}, "", 0, 0, kRight },
    { "cw_preview_volume.png", Shape::Picture, 18, 14, Glyph::Speaker, "", kRgbFrameDark },
    { "cw_preview_btn_play.png", Shape::Button, 30, 30, Glyph::Play },
    { "cw_preview_btn_pause.png", Shape::Button, 30, 30, Glyph::Pause },
    { "cw_preview_btn_stop.png", Shape::Button, 30, 30, Glyph::Stop },
    { "cw_preview_btn_send2timeline.png", Shape::Button, 108, 23, Glyph::Send, "To timeline" },
    { "cw_preview_btn_changeduration.png", Shape::Button, 108, 23, Glyph::Clock, "Apply trim" },
    // Sliders. The seven range slider pieces share one size: the slider
    // takes its thumb width and tile step from the last one it loads.
    { "cw_slider_sound_back.png", Shape::Track, 66, 13, {}, "", 0, 0, 1 },
    { "cw_slider_sound_up.png", Shape::Thumb, 7, 13 },
    { "cw_slider_sound_down.png", Shape::Thumb, 7, 13, {}, "", 0, 0, 1 },
    { "cw_slider_mark_up.png", Shape::Thumb, 11, 17 },
    { "cw_slider_mark_down.png", Shape::Thumb, 11, 17, {}, "", 0, 0, 1 },
    { "cw_slider_back_head.png", Shape::Track, 11, 17, {}, "", 0, 0, 0 },
    { "cw_slider_back_body.png", Shape::Track, 11, 17, {}, "", 0, 0, 1 },
    { "cw_slider_back_tail.png", Shape::Track, 11, 17, {}, "", 0, 0, 2 },
    { "cw_slider_select.png", Shape::Band, 11, 17, {}, "", rgb(96, 160, 240) },
    { "cw_slider_visual.png", Shape::Band, 11, 17, {}, "", rgb(255, 168, 40) },
    { "cw_slider_zoom_back.png", Shape::Track, 120, 13, {}, "", 0, 0, 1 },
    // Spectrum and the edited-movie preview animation.
    { "cw_spectrum_back.png", Shape::SpectrumBack, 224, 160 },
    { "cw_spectrum_tick1.png", Shape::SpectrumTick1, 9, 4 },
    { "cw_spectrum_tick2.png", Shape::SpectrumTick2, 9, 4 },
    { "cw_edited_ani01.png", Shape::PreviewAnimation, 54, 16, {}, "", 0, 0, 1 },
    { "cw_edited_ani02.png", Shape::PreviewAnimation, 54, 16, {}, "", 0, 0, 2 },
    // Voice recording dialog.
    { "cw_recording_bg.png", Shape::RecordingBackground, 360, 150 },
    { "cw_recording_btn_play.png", Shape::Button, 30, 30, Glyph::Play },
    { "cw_recording_btn_stop.png", Shape::Button, 30, 30, Glyph::Stop },
    { "cw_recording_btn_record.png", Shape::Button, 30, 30, Glyph::Record },
    // Media menu, toolbar and timeline.
    { "cw_mediamenu_delete.png", Shape::Button, 28, 24, Glyph::Trash },
    { "cw_mediamenu_open.png", Shape::Button, 28, 24, Glyph::Folder },
    { "cw_mediamenu_record.png", Shape::Button, 28, 24, Glyph::Record },
    { "cw_mediamenu_background.png", Shape::MediaMenuBackground, 98, 210 },
    { "cw_toolbar_fileopen.png", Shape::Button, 28, 26, Glyph::Folder },
    { "cw_toolbar_delete.png", Shape::Button, 28, 26, Glyph::Trash },
    { "cw_toolbar_view.png", Shape::Button, 28, 26, Glyph::Grid },
    { "cw_toolbar_viewside.png", Shape::Button, 12, 26, Glyph::Down },
    { "cw_timeline_position.png", Shape::TimelinePosition, 11, 32 },
    // Edit menu under the timeline (zoom, preview, save).
    { "cw_editmenu_background.png", Shape::Gradient, 8, 210, {}, "", kPaleTop, kPaleBottom2 },
    { "cw_editmenu_preview.png", Shape::Button, 90, 24, Glyph::Play, "Preview" },
    { "cw_editmenu_stop.png", Shape::Button, 90, 24, Glyph::Stop, "Stop" },
    { "cw_editmenu_save.png", Shape::Button, 90, 24, Glyph::Disk, "Save" },
    { "cw_editmenu_send2phone.png", Shape::Button, 90, 24, Glyph::Phone, "To phone" },
    { "cw_editmenu_zoomin.png", Shape::Button, 24, 24, Glyph::Plus },
    { "cw_editmenu_zoomout.png", Shape::Button, 24, 24, Glyph::Minus },
    { "cw_editmenu_zoomfit.png", Shape::Button, 24, 24, Glyph::Fit },
    // Media browser toolbars and frames.
    { "me_toolbar_left.png", Shape::Corner, 8, 30, {}, "", kPaleTop, kPaleBottom, kTop },
    { "me_toolbar_mid.png", Shape::Gradient, 8, 30, {}, "", kPaleTop, kPaleBottom, kLineTop | kLineBottom },
    { "me_toolbar_right.png", Shape::Corner, 8, 30, {}, "", kPaleTop, kPaleBottom, kRight | kTop },
    { "me_toolbar_logo.png", Shape::BrowserLogo, 90, 30 },
    { "me_frame_mid_left.png", Shape::Side, 4, 8 },
    { "me_frame_mid_right.png", Shape::Side, 4, 8, {}, "", 0, 0, kRight },
    { "me_frame_bottom_left.png", Shape::Corner, 4, 4, {}, "", kRgbFrame, kRgbFrameDark },
    { "me_frame_bottom_mid.png", Shape::Gradient, 8, 4, {}, "", kRgbFrame, kRgbFrameDark, kLineBottom },
    { "me_frame_bottom_right.png", Shape::Corner, 4, 4, {}, "", kRgbFrame, kRgbFrameDark, kRight },
    { "ms_bookmark.png", Shape::Button, 26, 24, Glyph::Star },
    { "ms_bookmarklist.png", Shape::Button, 26, 24, Glyph::List },
    { "ms_before.png", Shape::Button, 26, 24, Glyph::Left },
    { "ms_next.png", Shape::Button, 26, 24, Glyph::Right },
    { "ms_up.png", Shape::Button, 26, 24, Glyph::Up },
    { "ms_viewmode.png", Shape::Button, 26, 24, Glyph::Grid },
    { "ms_viewmodeside.png", Shape::Button, 12, 24, Glyph::Down },
    { "ms_selectall.png", Shape::Button, 26, 24, Glyph::Check },
    { "ms_verline.png", Shape::VerticalLine, 2, 24 },
    { "ms_gain.png", Shape::Button, 74, 22, Glyph::None, "Add" },
    { "ms_cancel.png", Shape::Button, 74, 22, Glyph::None, "Cancel" },
    { "ms_cancel_w.png", Shape::Button, 74, 22, Glyph::None, "Cancel", rgb(150, 160, 182) },
    // File type pictures.
    { "type_avi.png", Shape::TypeIcon, 96, 96, Glyph::Film, "AVI", kVideo },
    { "type_mpg.png", Shape::TypeIcon, 96, 96, Glyph::Film, "MPG", kVideo },
    { "type_mpeg.png", Shape::TypeIcon, 96, 96, Glyph::Film, "MPEG", kVideo },
    { "type_wmv.png", Shape::TypeIcon, 96, 96, Glyph::Film, "WMV", kVideo },
    { "type_mp4.png", Shape::TypeIcon, 96, 96, Glyph::Film, "MP4", kPhoneVideo },
    { "type_3gp.png", Shape::TypeIcon, 96, 96, Glyph::Film, "3GP", kPhoneVideo },
    { "type_3g2.png", Shape::TypeIcon, 96, 96, Glyph::Film, "3G2", kPhoneVideo },
    { "type_k3g.png", Shape::TypeIcon, 96, 96, Glyph::Film, "K3G", kPhoneVideo },
    { "type_skm.png", Shape::TypeIcon, 96, 96, Glyph::Film, "SKM", kPhoneVideo },
    { "type_mp3.png", Shape::TypeIcon, 96, 96, Glyph::Note, "MP3", kSound },
    { "type_wav.png", Shape::TypeIcon, 96, 96, Glyph::Note, "WAV", kSound },
    { "type_mid.png", Shape::TypeIcon, 96, 96, Glyph::Note, "MID", kSound },
    { "type_aac.png", Shape::TypeIcon, 96, 96, Glyph::Note, "AAC", kSound },
    { "type_amr.png", Shape::TypeIcon, 96, 96, Glyph::Note, "AMR", kSound },
    { "type_imy.png", Shape::TypeIcon, 96, 96, Glyph::Note, "IMY", kSound },
    { "type_qcp.png", Shape::TypeIcon, 96, 96, Glyph::Note, "QCP", kSound },
    { "type_jpg.png", Shape::TypeIcon, 96, 96, Glyph::Frames, "JPG", kPicture },
    { "type_jpeg.png", Shape::TypeIcon, 96, 96, Glyph::Frames, "JPEG", kPicture },
    { "type_bmp.png", Shape::TypeIcon, 96, 96, Glyph::Frames, "BMP", kPicture },
    { "type_gif.png", Shape::TypeIcon, 96, 96, Glyph::Frames, "GIF", kPicture },
    { "type_folder.png", Shape::Picture, 96, 96, Glyph::Folder, "", rgb(150, 120, 40), rgb(255, 255, 255) },
    // Progress dialogs.
    { "work_analyzing_before.png", Shape::Tile, 102, 102, Glyph::Search, "Analyzing" },
    { "work_analyzing_after.png", Shape::Tile, 102, 102, Glyph::Search, "Analyzing", 0, 0, 1 },
    { "work_extracting_before.png", Shape::Tile, 102, 102, Glyph::Frames, "Extracting" },
    { "work_extracting_after.png", Shape::Tile, 102, 102, Glyph::Frames, "Extracting", 0, 0, 1 },
    { "work_saving_before.png", Shape::Tile, 102, 102, Glyph::Disk, "Saving" },
    { "work_saving_after.png", Shape::Tile, 102, 102, Glyph::Disk, "Saving", 0, 0, 1 },
    { "work_arrow.png", Shape::Picture, 24, 17, Glyph::Right, "", kRgbFrame },
    { "work_analyzing.gif", Shape::AnimatedTile, 102, 102, Glyph::Search, "Analyzing" },
    { "work_extracting.gif", Shape::AnimatedTile, 102, 102, Glyph::Frames, "Extracting" },
    { "work_saving.gif", Shape::AnimatedTile, 102, 102, Glyph::Disk, "Saving" },
    { "progress_back1.png", Shape::Corner, 6, 20, {}, "", rgb(250, 250, 252), rgb(214, 220, 232), kTop },
    { "progress_back2.png", Shape::Gradient, 8, 20, {}, "", rgb(250, 250, 252), rgb(214, 220, 232), kLineTop | kLineBottom },
    { "progress_back3.png", Shape::Corner, 6, 20, {}, "", rgb(250, 250, 252), rgb(214, 220, 232), kRight | kTop },
    { "progress_bar1.png", Shape::Corner, 6, 20, {}, "", rgb(130, 190, 250), rgb(48, 110, 200), kTop },
    { "progress_bar2.png", Shape::Gradient, 8, 20, {}, "", rgb(130, 190, 250), rgb(48, 110, 200), kLineTop | kLineBottom },
    { "progress_bar3.png", Shape::Corner, 6, 20, {}, "", rgb(130, 190, 250), rgb(48, 110, 200), kRight | kTop },
};
// clang-format on

QColor colour(QRgb c)
{
    return QColor::fromRgba(c);
}

QSize imageSize(const Recipe& r)
{
    return { r.shape == Shape::Button ? r.w * 4 : r.w, r.h };
}

int frameCount(const Recipe& r)
{
    return r.shape == Shape::AnimatedTile ? 8 : 1;
}

void paint(const Recipe& r, QPainter& p, int frame)
{
    const QRect rect(QPoint(0, 0), imageSize(r));
    const QString text = QString::fromUtf8(r.text);
    switch (r.shape) {
    case Shape::Button:
        paintButtonStrip(p, r.w, r.h, r.glyph, text, r.c1 ? colour(r.c1) : kFrameLight);
        break;
    case Shape::Gradient:
        paintGradient(p, rect, colour(r.c1), colour(r.c2), r.option & kLineTop, r.option & kLineBottom);
        break;
    case Shape::Corner:
        paintCorner(p, rect, colour(r.c1), colour(r.c2), r.option & kRight, r.option & kTop);
        break;
    case Shape::Side:
        paintSide(p, rect, r.option == kRight);
        break;
    case Shape::Label:
        p.fillRect(rect, colour(r.c2));
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setPen(colour(r.c1));
        p.setFont(skinFont(r.option));
        p.drawText(rect, Qt::AlignCenter, text);
        break;
    case Shape::Picture:
        p.fillRect(rect, colour(r.c2));
        drawGlyph(p, r.glyph, rect, colour(r.c1));
        break;
    case Shape::Track:
        paintTrack(p, rect, r.option);
        break;
    case Shape::Band:
        paintBand(p, rect, colour(r.c1));
        break;
    case Shape::Thumb:
        paintThumb(p, rect, r.option == 1);
        break;
    case Shape::TypeIcon:
        paintTypeIcon(p, rect, text, r.glyph, colour(r.c1));
        break;
    case Shape::Tile:
        paintTile(p, rect, r.glyph, text, r.option == 1, -1);
        break;
    case Shape::AnimatedTile:
        paintTile(p, rect, r.glyph, text, false, frame / 8.0);
        break;
    case Shape::PreviewAnimation:
        paintPreviewAnimation(p, rect, r.option);
        break;
    case Shape::SpectrumBack:
        paintSpectrumBack(p, rect);
        break;
    case Shape::SpectrumTick1:
        p.fillRect(rect, kAccent);
        break;
    case Shape::SpectrumTick2:
        p.fillRect(rect, QColor(80, 200, 120));
        p.fillRect(0, 3, 9, 1, QColor(18, 28, 56));
        break;
    case Shape::RecordingBackground:
        paintRecordingBackground(p, rect);
        break;
    case Shape::MediaMenuBackground:
        paintMediaMenuBackground(p, rect);
        break;
    case Shape::TimelinePosition:
        paintTimelinePosition(p);
        break;
    case Shape::BrowserLogo:
        paintBrowserLogo(p, rect);
        break;
    case Shape::VerticalLine:
        p.fillRect(0, 2, 1, 20, QColor(150, 162, 190));
        p.fillRect(1, 2, 1, 20, Qt::white);
        break;
    }
}

const Recipe* findRecipe(const QString& file)
{
    for (const Recipe& r : kRecipes) {
        if (file == QLatin1String(r.file))
            return &r;
    }
    return nullptr;
}

// NAME@2x.ext beside NAME.ext.
QString highDpiName(const QString& file)
{
    const qsizetype dot = file.lastIndexOf('.');
    return dot < 0 ? file + "@2x" : file.left(dot) + "@2x" + file.mid(dot);
}

// Every value of the image table: the file names to draw.
QStringList tableFileNames(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return {};
    }
    QStringList names;
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#') || line.startsWith('['))
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq > 0) {
            const QString value = line.mid(eq + 1).trimmed();
            if (!value.isEmpty() && !names.contains(value))
                names << value;
        }
    }
    return names;
}

// Draws the recipe at scale (1 or 2): the painter works in the recipe's own
// pixels and the image holds scale times as many.
bool draw(const Recipe& recipe, const QString& path, int scale)
{
    QList<QImage> frames;
    for (int i = 0; i < frameCount(recipe); ++i) {
        QImage img(imageSize(recipe) * scale, QImage::Format_ARGB32_Premultiplied);
        img.setDevicePixelRatio(scale);
        img.fill(Qt::transparent);
        QPainter p(&img);
        paint(recipe, p, i);
        p.end();
        frames << img;
    }
    if (recipe.shape == Shape::AnimatedTile)
        return WriteAnimatedGif(path, frames, 12);
    return frames.first().save(path, "PNG");
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fputs("usage: skin-gen IMAGE_TABLE OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    QString error;
    const QStringList names = tableFileNames(args[1], &error);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "skin-gen: %s\n", qPrintable(error));
        return 1;
    }
    QStringList missing;
    for (const QString& n : names) {
        if (!findRecipe(n))
            missing << n;
    }
    if (!missing.isEmpty()) {
        std::fprintf(stderr, "skin-gen: no artwork for: %s\n", qPrintable(missing.join(", ")));
        return 1;
    }
    if (!QDir().mkpath(args[2])) {
        std::fprintf(stderr, "skin-gen: cannot create %s\n", qPrintable(args[2]));
        return 1;
    }
    for (const QString& n : names) {
        for (const auto& [file, scale] : { std::pair { n, 1 }, { highDpiName(n), 2 } }) {
            if (!draw(*findRecipe(n), args[2] + '/' + file, scale)) {
                std::fprintf(stderr, "skin-gen: cannot write %s/%s\n", qPrintable(args[2]), qPrintable(file));
                return 1;
            }
        }
    }
    return 0;
}
