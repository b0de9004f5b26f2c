// Feeds arbitrary bytes to the look at ID3 version 2 tags made before id3lib
// reads a file, walking the tags as the MP3 facts helper does: every tag end
// lies after its start, and the walk ends.
#include "mediainfo/id3v2_check.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    int tags = 0;
    for (qsizetype start = 0, end = Id3v2TagEnd(bytes, 0); end >= 0; start = end, end = Id3v2TagEnd(bytes, end)) {
        if (end < start + 10 || ++tags > static_cast<int>(size))
            __builtin_trap();
    }
    const bool safe = Id3v2TagsAreSafe(bytes);
    if (Id3v2TagEnd(bytes, 0) < 0 && !safe)
        __builtin_trap(); // no tag at all is safe
    return 0;
}
