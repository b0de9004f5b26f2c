#include "mediainfo/id3v2_check.h"

#include <cstdint>

namespace {

constexpr qsizetype kHeaderBytes = 10;
// Tags one after the other that are looked at.
constexpr int kMaxTags = 64;

std::uint8_t Byte(const QByteArray& b, qsizetype at)
{
    return std::uint8_t(b[at]);
}

// Seven bits per byte, as the tag header stores its size.
std::uint32_t SyncSafe(const QByteArray& b, qsizetype at)
{
    return std::uint32_t(Byte(b, at) & 0x7F) << 21 | std::uint32_t(Byte(b, at + 1) & 0x7F) << 14
        | std::uint32_t(Byte(b, at + 2) & 0x7F) << 7 | std::uint32_t(Byte(b, at + 3) & 0x7F);
}

// Undoes the unsynchronisation of a whole tag: FF 00 becomes FF.
QByteArray Resync(const QByteArray& data)
{
    QByteArray out;
    out.reserve(data.size());
    for (qsizetype i = 0; i < data.size(); ++i) {
        out.append(data[i]);
        if (Byte(data, i) == 0xFF && i + 1 < data.size() && data[i + 1] == 0)
            ++i;
    }
    return out;
}

bool FramesAreSafe(const QByteArray& tag, int version)
{
    const bool old = version == 2; // 3-byte identifiers and sizes, no flags
    const int sizeAt = old ? 3 : 4;
    const int sizeBytes = old ? 3 : 4;
    const qsizetype headerBytes = old ? 6 : 10;
    qsizetype at = 0;
    while (tag.size() - at >= kHeaderBytes && tag[at] != 0) {
        if (old ? tag.mid(at, 3) == "CDM" : (Byte(tag, at + 9) & 0x88) != 0)
            return false; // compressed (0x80 as id3lib reads it, 0x08 in version 2.4)
        std::uint64_t size = 0;
        for (int i = 0; i < sizeBytes; ++i)
            size = size << 8 | Byte(tag, at + sizeAt + i);
        if (std::uint64_t(tag.size() - at) < size)
            return true; // id3lib stops at a frame that does not fit
        at += headerBytes + qsizetype(size);
    }
    return true;
}

} // namespace

qsizetype Id3v2TagEnd(const QByteArray& bytes, qsizetype start)
{
    if (start < 0 || bytes.size() - start < kHeaderBytes || bytes.mid(start, 3) != "ID3")
        return -1;
    return start + kHeaderBytes + qsizetype(SyncSafe(bytes, start + 6));
}

bool Id3v2TagsAreSafe(const QByteArray& bytes)
{
    qsizetype start = 0;
    for (int n = 0; n < kMaxTags; ++n) {
        const qsizetype end = Id3v2TagEnd(bytes, start);
        if (end < 0)
            return true;
        const int version = Byte(bytes, start + 3);
        const std::uint8_t flags = Byte(bytes, start + 5);
        if (flags & 0x40)
            return false; // extended header (a compressed tag in version 2.2)
        QByteArray tag = bytes.mid(start + kHeaderBytes, end - start - kHeaderBytes);
        if (flags & 0x80)
            tag = Resync(tag);
        if (!FramesAreSafe(tag, version))
            return false;
        start = end;
    }
    return true;
}
