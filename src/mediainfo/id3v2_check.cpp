#include "mediainfo/id3v2_check.h"

#include <cstdint>

namespace {

constexpr qsizetype kHeaderBytes = 10;

std::uint32_t BigEndian(const QByteArray& b, qsizetype at)
{
    return std::uint32_t(std::uint8_t(b[at])) << 24 | std::uint32_t(std::uint8_t(b[at + 1])) << 16
        | std::uint32_t(std::uint8_t(b[at + 2])) << 8 | std::uint32_t(std::uint8_t(b[at + 3]));
}

// Seven bits per byte, as the tag header and version 2.4 frame sizes store it.
std::uint32_t SyncSafe(const QByteArray& b, qsizetype at)
{
    return std::uint32_t(std::uint8_t(b[at]) & 0x7F) << 21 | std::uint32_t(std::uint8_t(b[at + 1]) & 0x7F) << 14
        | std::uint32_t(std::uint8_t(b[at + 2]) & 0x7F) << 7 | std::uint32_t(std::uint8_t(b[at + 3]) & 0x7F);
}

// Undoes the unsynchronisation of a whole tag: FF 00 becomes FF.
QByteArray Resync(const QByteArray& data)
{
    QByteArray out;
    out.reserve(data.size());
    for (qsizetype i = 0; i < data.size(); ++i) {
        out.append(data[i]);
        if (std::uint8_t(data[i]) == 0xFF && i + 1 < data.size() && data[i + 1] == 0)
            ++i;
    }
    return out;
}

} // namespace

qsizetype Id3v2BytesToCheck(const QByteArray& header10)
{
    if (header10.size() < kHeaderBytes || !header10.startsWith("ID3"))
        return header10.size();
    return kHeaderBytes + qsizetype(SyncSafe(header10, 6));
}

bool Id3v2TagIsSafe(const QByteArray& bytes)
{
    if (bytes.size() < kHeaderBytes || !bytes.startsWith("ID3"))
        return true;
    const int version = std::uint8_t(bytes[3]);
    const std::uint8_t flags = std::uint8_t(bytes[5]);
    if (version < 3)
        return !(flags & 0x40); // a compressed version 2.2 tag has no defined layout
    if (version > 4)
        return true; // id3lib does not read it
    QByteArray tag = bytes.mid(kHeaderBytes, qsizetype(SyncSafe(bytes, 6)));
    if (flags & 0x80 && version == 3)
        tag = Resync(tag);
    qsizetype at = 0;
    if (flags & 0x40) { // extended header
        if (tag.size() < 4)
            return true;
        at = version == 3 ? 4 + qsizetype(BigEndian(tag, 0)) : qsizetype(SyncSafe(tag, 0));
    }
    while (at + 10 <= tag.size() && tag[at] != 0) {
        const std::uint32_t size = version == 3 ? BigEndian(tag, at + 4) : SyncSafe(tag, at + 4);
        const std::uint8_t format = std::uint8_t(tag[at + 9]);
        const bool compressed = version == 3 ? (format & 0x80) : (format & 0x08);
        const bool encrypted = version == 3 ? (format & 0x40) : (format & 0x04);
        at += 10;
        if (compressed || encrypted)
            return false;
        if (qsizetype(size) > tag.size() - at)
            return true; // the frame runs past the tag: id3lib stops there
        at += qsizetype(size);
    }
    return true;
}
