// skin-gen: draws the default skin of the suite data. It reads the image
// table (INI: section -> key -> file name), and draws every file it names from
// the recipe of that file name, into the output folder. A file name without a
// recipe is an error, so the table and the artwork cannot drift apart.
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
#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <QTextStream>
#include <cstdio>
#include <functional>

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

// --- recipes ----------------------------------------------------------------

using Painter = std::function<void(QPainter&, const QRect&)>;

struct Recipe {
    int width;
    int height;
    Painter paint;
    int frames = 0; // > 0: an animated GIF of that many frames
    std::function<void(QPainter&, const QRect&, int)> paintFrame = {};
};

// Four button states side by side; the face draws a glyph and/or a label.
Recipe buttonStrip(int fw, int fh, Glyph glyph, const QString& label = {}, QColor base = kFrameLight)
{
    return { fw * 4, fh, [=](QPainter& p, const QRect&) {
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
            } };
}

Recipe gradientPiece(int w, int h, QColor top, QColor bottom, bool lineTop = false, bool lineBottom = false)
{
    return { w, h, [=](QPainter& p, const QRect& r) {
                verticalGradient(p, r, top, bottom);
                if (lineTop)
                    p.fillRect(0, 0, w, 1, kFrameDark);
                if (lineBottom)
                    p.fillRect(0, h - 1, w, 1, kFrameDark);
            } };
}

// A frame corner: the gradient with a rounded outer corner cut into the
// frame colour and the border lines on its outer sides.
Recipe corner(int w, int h, QColor top, QColor bottom, bool right, bool isTop)
{
    return { w, h, [=](QPainter& p, const QRect& r) {
                verticalGradient(p, r, top, bottom);
                p.setPen(kFrameDark);
                p.drawLine(right ? w - 1 : 0, 0, right ? w - 1 : 0, h - 1);
                p.drawLine(0, isTop ? 0 : h - 1, w - 1, isTop ? 0 : h - 1);
            } };
}

Recipe sidePiece(int w, int h, bool right)
{
    return { w, h, [=](QPainter& p, const QRect& r) {
                QLinearGradient g(r.topLeft(), r.topRight());
                g.setColorAt(right ? 1 : 0, kFrameDark);
                g.setColorAt(right ? 0 : 1, kFrame);
                p.fillRect(r, g);
            } };
}

Recipe label(int w, int h, const QString& text, int px, QColor ink, QColor back = Qt::transparent)
{
    return { w, h, [=](QPainter& p, const QRect& r) {
                p.fillRect(r, back);
                p.setRenderHint(QPainter::TextAntialiasing);
                p.setPen(ink);
                p.setFont(skinFont(px));
                p.drawText(r, Qt::AlignCenter, text);
            } };
}

Recipe glyphImage(int w, int h, Glyph g, QColor ink, QColor back = Qt::transparent)
{
    return { w, h, [=](QPainter& p, const QRect& r) {
                p.fillRect(r, back);
                drawGlyph(p, g, r, ink);
            } };
}

// Slider track pieces: a rounded groove across the middle of the piece.
Recipe trackPiece(int w, int h, int which /* 0 head, 1 body, 2 tail */)
{
    return { w, h, [=](QPainter& p, const QRect& r) {
                p.fillRect(r, Qt::transparent);
                const int gh = std::max(4, h / 3);
                const QRectF groove(which == 0 ? w / 2.0 : -4, (h - gh) / 2.0, which == 1 ? w + 8 : w / 2.0 + 4, gh);
                p.setRenderHint(QPainter::Antialiasing);
                p.setPen(QPen(kFrameDark, 1));
                p.setBrush(QColor(20, 30, 60));
                p.setClipRect(r);
                p.drawRoundedRect(groove, gh / 2.0, gh / 2.0);
            } };
}

Recipe band(int w, int h, QColor c)
{
    return { w, h, [=](QPainter& p, const QRect& r) {
                p.fillRect(r, Qt::transparent);
                const int gh = std::max(4, h / 3);
                p.fillRect(QRect(0, (h - gh) / 2, w, gh), c);
            } };
}

Recipe thumb(int w, int h, bool pressed)
{
    return { w, h, [=](QPainter& p, const QRect&) {
                p.setRenderHint(QPainter::Antialiasing);
                QPolygonF shape({ QPointF(0.5, 0.5), QPointF(w - 0.5, 0.5), QPointF(w - 0.5, h * 0.65),
                    QPointF(w / 2.0, h - 0.5), QPointF(0.5, h * 0.65) });
                QLinearGradient g(0, 0, w, 0);
                g.setColorAt(0, pressed ? kAccent : QColor(250, 250, 252));
                g.setColorAt(1, pressed ? kAccent.darker(130) : QColor(176, 188, 214));
                p.setBrush(g);
                p.setPen(QPen(kFrameDark, 1));
                p.drawPolygon(shape);
            } };
}

// A 96 x 96 cell picture for a file type: a page with a badge.
Recipe typeIcon(const QString& ext, Glyph glyph, QColor badge)
{
    return { 96, 96, [=](QPainter& p, const QRect& r) {
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
            } };
}

// A 102 x 102 stage tile of the progress dialog.
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

Recipe tile(Glyph glyph, const QString& text, bool done)
{
    return { 102, 102, [=](QPainter& p, const QRect& r) { paintTile(p, r, glyph, text, done, -1); } };
}

Recipe animatedTile(Glyph glyph, const QString& text)
{
    Recipe rec { 102, 102, {}, 8 };
    rec.paintFrame = [=](QPainter& p, const QRect& r, int i) { paintTile(p, r, glyph, text, false, i / 8.0); };
    return rec;
}

Recipe previewAnimation(int frame)
{
    return { 54, 16, [=](QPainter& p, const QRect& r) {
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
            } };
}

QHash<QString, Recipe> recipes()
{
    QHash<QString, Recipe> r;
    const QColor titleTop(92, 122, 192), titleBottom(48, 74, 136);
    // Skinned dialog frame and its close button.
    r["tm_ui_topleft.png"] = corner(14, 39, titleTop, titleBottom, false, true);
    r["tm_ui_topmid.png"] = gradientPiece(8, 39, titleTop, titleBottom, true);
    r["tm_ui_topright.png"] = corner(14, 39, titleTop, titleBottom, true, true);
    r["tm_ui_midleft.png"] = sidePiece(8, 8, false);
    r["tm_ui_midright.png"] = sidePiece(8, 8, true);
    r["tm_ui_bottomleft.png"] = corner(14, 12, kFrame, kFrameDark, false, false);
    r["tm_ui_bottommid.png"] = gradientPiece(8, 12, kFrame, kFrameDark, false, true);
    r["tm_ui_bottomright.png"] = corner(14, 12, kFrame, kFrameDark, true, false);
    r["tm_ui_logo.png"] = label(96, 22, "Orvanta", 15, Qt::white);
    r["tm_ui_slogan.png"] = label(160, 16, "Movie editor", 11, QColor(220, 228, 248));
    r["btn_ui_close.png"] = buttonStrip(21, 20, Glyph::Close, {}, QColor(196, 72, 72));
    // Pane theme pieces (media menu frame, ruler strip).
    r["tm_ui_theme_top_left.png"] = corner(6, 32, kFrameLight, kFrame, false, true);
    r["tm_ui_theme_top_mid.png"] = gradientPiece(8, 32, QColor(236, 240, 250), QColor(196, 206, 230), false, true);
    r["tm_ui_theme_midleft.png"] = sidePiece(6, 8, false);
    r["tm_ui_theme_bottom_left.png"] = corner(6, 6, kFrame, kFrameDark, false, false);
    r["tm_ui_theme_bottom_mid.png"] = gradientPiece(8, 6, kFrame, kFrameDark, false, true);
    // Message box buttons.
    r["btn_ui_ok.png"] = buttonStrip(72, 24, Glyph::None, "OK");
    r["btn_ui_cancel.png"] = buttonStrip(72, 24, Glyph::None, "Cancel");
    r["btn_ui_yes.png"] = buttonStrip(72, 24, Glyph::None, "Yes");
    r["btn_ui_no.png"] = buttonStrip(72, 24, Glyph::None, "No");
    // Preview panes.
    for (const char* side : { "top_left", "top_mid", "top_right", "bottom_left", "bottom_mid", "bottom_right" })
        r[QString("cw_preview_frame_%1.png").arg(side)] = gradientPiece(8, 8, kFrameLight, kFrame);
    r["cw_preview_frame_mid_left.png"] = sidePiece(8, 8, false);
    r["cw_preview_frame_mid_right.png"] = sidePiece(8, 8, true);
    r["cw_preview_volume.png"] = glyphImage(18, 14, Glyph::Speaker, kFrameDark);
    r["cw_preview_btn_play.png"] = buttonStrip(30, 30, Glyph::Play);
    r["cw_preview_btn_pause.png"] = buttonStrip(30, 30, Glyph::Pause);
    r["cw_preview_btn_stop.png"] = buttonStrip(30, 30, Glyph::Stop);
    r["cw_preview_btn_send2timeline.png"] = buttonStrip(108, 23, Glyph::Send, "To timeline");
    r["cw_preview_btn_changeduration.png"] = buttonStrip(108, 23, Glyph::Clock, "Apply trim");
    r["cw_slider_sound_back.png"] = trackPiece(66, 13, 1);
    r["cw_slider_sound_up.png"] = thumb(7, 13, false);
    r["cw_slider_sound_down.png"] = thumb(7, 13, true);
    r["cw_slider_mark_up.png"] = thumb(11, 17, false);
    r["cw_slider_mark_down.png"] = thumb(11, 17, true);
    r["cw_slider_back_head.png"] = trackPiece(11, 17, 0);
    r["cw_slider_back_body.png"] = trackPiece(8, 17, 1);
    r["cw_slider_back_tail.png"] = trackPiece(11, 17, 2);
    r["cw_slider_select.png"] = band(8, 17, QColor(96, 160, 240));
    r["cw_slider_visual.png"] = band(8, 17, kAccent);
    r["cw_spectrum_back.png"] = { 224, 160, [](QPainter& p, const QRect& rc) {
                                     verticalGradient(p, rc, QColor(18, 28, 56), QColor(8, 12, 28));
                                     p.setPen(QColor(40, 56, 96));
                                     for (int y = rc.height() - 27; y > 0; y -= 16)
                                         p.drawLine(8, y, rc.width() - 8, y);
                                 } };
    r["cw_spectrum_tick1.png"] = { 9, 4, [](QPainter& p, const QRect& rc) { p.fillRect(rc, kAccent); } };
    r["cw_spectrum_tick2.png"] = { 9, 4, [](QPainter& p, const QRect& rc) {
                                      p.fillRect(rc, QColor(80, 200, 120));
                                      p.fillRect(0, 3, 9, 1, QColor(18, 28, 56));
                                  } };
    r["cw_edited_ani01.png"] = previewAnimation(1);
    r["cw_edited_ani02.png"] = previewAnimation(2);
    // Voice recording dialog.
    r["cw_recording_bg.png"] = { 360, 150, [](QPainter& p, const QRect& rc) {
                                    verticalGradient(p, rc, kPanel, QColor(206, 216, 236));
                                    drawGlyph(p, Glyph::Mic, QRectF(14, 14, 44, 44), kFrame);
                                } };
    r["cw_recording_btn_play.png"] = buttonStrip(30, 30, Glyph::Play);
    r["cw_recording_btn_stop.png"] = buttonStrip(30, 30, Glyph::Stop);
    r["cw_recording_btn_record.png"] = buttonStrip(30, 30, Glyph::Record);
    // Media menu, toolbar and timeline.
    r["cw_mediamenu_delete.png"] = buttonStrip(28, 24, Glyph::Trash);
    r["cw_mediamenu_open.png"] = buttonStrip(28, 24, Glyph::Folder);
    r["cw_mediamenu_record.png"] = buttonStrip(28, 24, Glyph::Record);
    r["cw_mediamenu_background.png"] = { 98, 210, [](QPainter& p, const QRect& rc) {
                                            verticalGradient(p, rc, QColor(236, 240, 250), QColor(206, 216, 236));
                                            const int ys[] = { 32, 89, 147, 210 };
                                            const char* names[] = { "Video", "Audio", "Voice" };
                                            const Glyph glyphs[] = { Glyph::Film, Glyph::Note, Glyph::Mic };
                                            p.setFont(skinFont(10));
                                            for (int i = 0; i < 3; ++i) {
                                                p.fillRect(0, ys[i], rc.width(), 1, QColor(170, 182, 210));
                                                drawGlyph(p, glyphs[i], QRectF(4, ys[i] + 4, 16, 16), kFrame);
                                                p.setPen(kFrameDark);
                                                p.drawText(QRect(22, ys[i] + 4, 70, 16), Qt::AlignVCenter, names[i]);
                                            }
                                        } };
    r["cw_toolbar_fileopen.png"] = buttonStrip(28, 26, Glyph::Folder);
    r["cw_toolbar_delete.png"] = buttonStrip(28, 26, Glyph::Trash);
    r["cw_toolbar_view.png"] = buttonStrip(28, 26, Glyph::Grid);
    r["cw_toolbar_viewside.png"] = buttonStrip(12, 26, Glyph::Down);
    r["cw_timeline_position.png"] = { 11, 32, [](QPainter& p, const QRect&) {
                                         p.setRenderHint(QPainter::Antialiasing);
                                         p.setPen(Qt::NoPen);
                                         p.setBrush(kRecord);
                                         p.drawPolygon(QPolygonF({ QPointF(0, 0), QPointF(11, 0), QPointF(5.5, 8) }));
                                         p.fillRect(QRectF(5, 6, 1.5, 26), kRecord);
                                     } };
    // Edit menu under the timeline (zoom, preview, save).
    r["cw_editmenu_background.png"] = gradientPiece(8, 210, QColor(236, 240, 250), QColor(206, 216, 236));
    r["cw_editmenu_preview.png"] = buttonStrip(90, 24, Glyph::Play, "Preview");
    r["cw_editmenu_stop.png"] = buttonStrip(90, 24, Glyph::Stop, "Stop");
    r["cw_editmenu_save.png"] = buttonStrip(90, 24, Glyph::Disk, "Save");
    r["cw_editmenu_send2phone.png"] = buttonStrip(90, 24, Glyph::Phone, "To phone");
    r["cw_editmenu_zoomin.png"] = buttonStrip(24, 24, Glyph::Plus);
    r["cw_editmenu_zoomout.png"] = buttonStrip(24, 24, Glyph::Minus);
    r["cw_editmenu_zoomfit.png"] = buttonStrip(24, 24, Glyph::Fit);
    r["cw_slider_zoom_back.png"] = trackPiece(120, 13, 1);
    // Media browser toolbars and frames.
    r["me_toolbar_left.png"] = corner(8, 30, QColor(236, 240, 250), QColor(196, 206, 230), false, true);
    r["me_toolbar_mid.png"] = gradientPiece(8, 30, QColor(236, 240, 250), QColor(196, 206, 230), true, true);
    r["me_toolbar_right.png"] = corner(8, 30, QColor(236, 240, 250), QColor(196, 206, 230), true, true);
    r["me_toolbar_logo.png"] = { 90, 30, [](QPainter& p, const QRect& rc) {
                                    verticalGradient(p, rc, QColor(236, 240, 250), QColor(196, 206, 230));
                                    drawGlyph(p, Glyph::Film, QRectF(4, 5, 20, 20), kFrame);
                                    p.setPen(kFrameDark);
                                    p.setFont(skinFont(11));
                                    p.drawText(QRect(26, 0, 64, 30), Qt::AlignVCenter, "Media");
                                } };
    r["me_frame_mid_left.png"] = sidePiece(4, 8, false);
    r["me_frame_mid_right.png"] = sidePiece(4, 8, true);
    r["me_frame_bottom_left.png"] = corner(4, 4, kFrame, kFrameDark, false, false);
    r["me_frame_bottom_mid.png"] = gradientPiece(8, 4, kFrame, kFrameDark, false, true);
    r["me_frame_bottom_right.png"] = corner(4, 4, kFrame, kFrameDark, true, false);
    r["ms_bookmark.png"] = buttonStrip(26, 24, Glyph::Star);
    r["ms_bookmarklist.png"] = buttonStrip(26, 24, Glyph::List);
    r["ms_before.png"] = buttonStrip(26, 24, Glyph::Left);
    r["ms_next.png"] = buttonStrip(26, 24, Glyph::Right);
    r["ms_up.png"] = buttonStrip(26, 24, Glyph::Up);
    r["ms_viewmode.png"] = buttonStrip(26, 24, Glyph::Grid);
    r["ms_viewmodeside.png"] = buttonStrip(12, 24, Glyph::Down);
    r["ms_selectall.png"] = buttonStrip(26, 24, Glyph::Check);
    r["ms_verline.png"] = { 2, 24, [](QPainter& p, const QRect&) {
                               p.fillRect(0, 2, 1, 20, QColor(150, 162, 190));
                               p.fillRect(1, 2, 1, 20, Qt::white);
                           } };
    r["ms_gain.png"] = buttonStrip(74, 22, Glyph::None, "Add");
    r["ms_cancel.png"] = buttonStrip(74, 22, Glyph::None, "Cancel");
    r["ms_cancel_w.png"] = buttonStrip(74, 22, Glyph::None, "Cancel", QColor(150, 160, 182));
    // File type pictures.
    const struct {
        const char* ext;
        Glyph glyph;
        QColor colour;
    } types[] = {
        { "AVI", Glyph::Film, QColor(64, 110, 200) },
        { "MPG", Glyph::Film, QColor(64, 110, 200) },
        { "MPEG", Glyph::Film, QColor(64, 110, 200) },
        { "WMV", Glyph::Film, QColor(64, 110, 200) },
        { "MP4", Glyph::Film, QColor(40, 150, 150) },
        { "3GP", Glyph::Film, QColor(40, 150, 150) },
        { "3G2", Glyph::Film, QColor(40, 150, 150) },
        { "K3G", Glyph::Film, QColor(40, 150, 150) },
        { "SKM", Glyph::Film, QColor(40, 150, 150) },
        { "MP3", Glyph::Note, QColor(200, 110, 40) },
        { "WAV", Glyph::Note, QColor(200, 110, 40) },
        { "MID", Glyph::Note, QColor(200, 110, 40) },
        { "AAC", Glyph::Note, QColor(200, 110, 40) },
        { "AMR", Glyph::Note, QColor(200, 110, 40) },
        { "IMY", Glyph::Note, QColor(200, 110, 40) },
        { "QCP", Glyph::Note, QColor(200, 110, 40) },
        { "JPG", Glyph::Frames, QColor(120, 90, 190) },
        { "JPEG", Glyph::Frames, QColor(120, 90, 190) },
        { "BMP", Glyph::Frames, QColor(120, 90, 190) },
        { "GIF", Glyph::Frames, QColor(120, 90, 190) },
    };
    for (const auto& t : types)
        r[QString("type_%1.png").arg(QString(t.ext).toLower())] = typeIcon(t.ext, t.glyph, t.colour);
    r["type_folder.png"] = glyphImage(96, 96, Glyph::Folder, QColor(150, 120, 40), Qt::white);
    // Progress dialogs.
    r["work_analyzing_before.png"] = tile(Glyph::Search, "Analyzing", false);
    r["work_analyzing_after.png"] = tile(Glyph::Search, "Analyzing", true);
    r["work_extracting_before.png"] = tile(Glyph::Frames, "Extracting", false);
    r["work_extracting_after.png"] = tile(Glyph::Frames, "Extracting", true);
    r["work_saving_before.png"] = tile(Glyph::Disk, "Saving", false);
    r["work_saving_after.png"] = tile(Glyph::Disk, "Saving", true);
    r["work_arrow.png"] = glyphImage(24, 17, Glyph::Right, kFrame);
    r["work_analyzing.gif"] = animatedTile(Glyph::Search, "Analyzing");
    r["work_extracting.gif"] = animatedTile(Glyph::Frames, "Extracting");
    r["work_saving.gif"] = animatedTile(Glyph::Disk, "Saving");
    r["progress_back1.png"] = corner(6, 20, QColor(250, 250, 252), QColor(214, 220, 232), false, true);
    r["progress_back2.png"] = gradientPiece(8, 20, QColor(250, 250, 252), QColor(214, 220, 232), true, true);
    r["progress_back3.png"] = corner(6, 20, QColor(250, 250, 252), QColor(214, 220, 232), true, true);
    r["progress_bar1.png"] = corner(6, 20, QColor(130, 190, 250), QColor(48, 110, 200), false, true);
    r["progress_bar2.png"] = gradientPiece(8, 20, QColor(130, 190, 250), QColor(48, 110, 200), true, true);
    r["progress_bar3.png"] = corner(6, 20, QColor(130, 190, 250), QColor(48, 110, 200), true, true);
    return r;
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

bool draw(const Recipe& recipe, const QString& path)
{
    const QRect rect(0, 0, recipe.width, recipe.height);
    if (recipe.frames > 0) {
        QList<QImage> frames;
        for (int i = 0; i < recipe.frames; ++i) {
            QImage img(recipe.width, recipe.height, QImage::Format_ARGB32_Premultiplied);
            img.fill(Qt::transparent);
            QPainter p(&img);
            recipe.paintFrame(p, rect, i);
            p.end();
            frames << img;
        }
        return WriteAnimatedGif(path, frames, 12);
    }
    QImage img(recipe.width, recipe.height, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    recipe.paint(p, rect);
    p.end();
    return img.save(path, "PNG");
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
    const auto all = recipes();
    QStringList missing;
    for (const QString& n : names) {
        if (!all.contains(n))
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
        if (!draw(all.value(n), args[2] + '/' + n)) {
            std::fprintf(stderr, "skin-gen: cannot write %s/%s\n", qPrintable(args[2]), qPrintable(n));
            return 1;
        }
    }
    return 0;
}
