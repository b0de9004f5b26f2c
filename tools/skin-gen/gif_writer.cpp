#include "gif_writer.h"

#include <QFile>
#include <QHash>

namespace {

constexpr int kRed = 6, kGreen = 7, kBlue = 6; // 252 palette entries

int paletteIndex(QRgb c)
{
    const int r = (qRed(c) * (kRed - 1) + 127) / 255;
    const int g = (qGreen(c) * (kGreen - 1) + 127) / 255;
    const int b = (qBlue(c) * (kBlue - 1) + 127) / 255;
    return (r * kGreen + g) * kBlue + b;
}

void put16(QByteArray& out, int v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

// LZW with 8-bit roots, variable code width up to 12 bits, packed LSB first
// into sub-blocks of at most 255 bytes.
QByteArray lzw(const QByteArray& indices)
{
    constexpr int clear = 256, end = 257;
    QByteArray packed;
    quint32 bitBuffer = 0;
    int bitCount = 0;
    int width = 9;
    auto putCode = [&](int code) {
        bitBuffer |= quint32(code) << bitCount;
        bitCount += width;
        while (bitCount >= 8) {
            packed.append(char(bitBuffer & 0xFF));
            bitBuffer >>= 8;
            bitCount -= 8;
        }
    };
    QHash<quint32, int> table;
    int next = 258;
    putCode(clear);
    int prefix = -1;
    for (char ch : indices) {
        const int k = quint8(ch);
        if (prefix < 0) {
            prefix = k;
            continue;
        }
        const quint32 key = (quint32(prefix) << 8) | quint32(k);
        const auto it = table.constFind(key);
        if (it != table.cend()) {
            prefix = *it;
            continue;
        }
        putCode(prefix);
        if (next < 4096) {
            table.insert(key, next++);
            if (next > (1 << width) && width < 12)
                ++width;
        } else {
            putCode(clear);
            table.clear();
            next = 258;
            width = 9;
        }
        prefix = k;
    }
    if (prefix >= 0)
        putCode(prefix);
    putCode(end);
    if (bitCount > 0)
        packed.append(char(bitBuffer & 0xFF));

    QByteArray blocks;
    for (qsizetype i = 0; i < packed.size(); i += 255) {
        const QByteArray chunk = packed.mid(i, 255);
        blocks.append(char(chunk.size()));
        blocks.append(chunk);
    }
    blocks.append('\0');
    return blocks;
}

} // namespace

bool WriteAnimatedGif(const QString& path, const QList<QImage>& frames, int delayCentiseconds)
{
    if (frames.isEmpty())
        return false;
    const int w = frames.first().width(), h = frames.first().height();
    QByteArray out("GIF89a");
    put16(out, w);
    put16(out, h);
    out.append(char(0xF7)); // global colour table of 256 entries, 8 bits
    out.append('\0');
    out.append('\0');
    for (int i = 0; i < 256; ++i) {
        const int r = i / (kGreen * kBlue), g = (i / kBlue) % kGreen, b = i % kBlue;
        const bool used = r < kRed;
        out.append(char(used ? r * 255 / (kRed - 1) : 0));
        out.append(char(used ? g * 255 / (kGreen - 1) : 0));
        out.append(char(used ? b * 255 / (kBlue - 1) : 0));
    }
    out.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (const QImage& frame : frames) {
        const QImage img = frame.convertToFormat(QImage::Format_RGB32).scaled(w, h);
        out.append("\x21\xF9\x04\x04", 4); // graphic control: leave frame in place
        put16(out, delayCentiseconds);
        out.append('\0');
        out.append('\0');
        out.append(char(0x2C));
        put16(out, 0);
        put16(out, 0);
        put16(out, w);
        put16(out, h);
        out.append('\0');
        QByteArray indices;
        indices.reserve(w * h);
        for (int y = 0; y < h; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            for (int x = 0; x < w; ++x)
                indices.append(char(paletteIndex(line[x])));
        }
        out.append(char(8)); // minimum code size
        out.append(lzw(indices));
    }
    out.append(char(0x3B));
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(out) == out.size();
}
