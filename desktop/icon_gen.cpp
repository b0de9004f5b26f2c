// icon-gen: draws the application icon, a film strip with a play mark, as an
// SVG and as a 256 px PNG. Both come from the same shapes, so they cannot
// differ.
//
// usage: icon-gen OUT.svg OUT.png
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QTextStream>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSize = 256;

struct Shape {
    QColor color;
    QRectF rect; // a rounded rectangle when polygon is empty
    qreal radius = 0;
    QPolygonF polygon;
};

std::vector<Shape> iconShapes()
{
    const QColor frame(66, 92, 152), film(38, 62, 118), hole(232, 237, 247), accent(255, 168, 40);
    std::vector<Shape> shapes;
    shapes.push_back({ frame, QRectF(16, 16, 224, 224), 40, {} });
    shapes.push_back({ film, QRectF(16, 60, 224, 136), 0, {} });
    // Perforations along both edges of the strip.
    for (int i = 0; i < 7; ++i) {
        const qreal x = 29 + i * 30;
        shapes.push_back({ hole, QRectF(x, 70, 18, 16), 4, {} });
        shapes.push_back({ hole, QRectF(x, 170, 18, 16), 4, {} });
    }
    shapes.push_back({ accent, QRectF(), 0, QPolygonF({ QPointF(106, 98), QPointF(106, 158), QPointF(158, 128) }) });
    return shapes;
}

QString svg(const std::vector<Shape>& shapes)
{
    QString text;
    QTextStream out(&text);
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kSize << "\" height=\"" << kSize
        << "\" viewBox=\"0 0 " << kSize << ' ' << kSize << "\">\n";
    for (const Shape& s : shapes) {
        if (s.polygon.isEmpty()) {
            out << "  <rect x=\"" << s.rect.x() << "\" y=\"" << s.rect.y() << "\" width=\"" << s.rect.width()
                << "\" height=\"" << s.rect.height() << "\" rx=\"" << s.radius << '"';
        } else {
            out << "  <polygon points=\"";
            for (qsizetype i = 0; i < s.polygon.size(); ++i)
                out << (i ? " " : "") << s.polygon[i].x() << ',' << s.polygon[i].y();
            out << '"';
        }
        out << " fill=\"" << s.color.name() << "\"/>\n";
    }
    out << "</svg>\n";
    return text;
}

QImage png(const std::vector<Shape>& shapes)
{
    QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (const Shape& s : shapes) {
        p.setBrush(s.color);
        if (s.polygon.isEmpty())
            p.drawRoundedRect(s.rect, s.radius, s.radius);
        else
            p.drawPolygon(s.polygon);
    }
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: icon-gen OUT.svg OUT.png\n", stderr);
        return 2;
    }
    const std::vector<Shape> shapes = iconShapes();
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) || file.write(svg(shapes).toUtf8()) < 0 || !file.flush()) {
        std::fprintf(stderr, "icon-gen: cannot write %s\n", argv[1]);
        return 1;
    }
    if (!png(shapes).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "icon-gen: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
