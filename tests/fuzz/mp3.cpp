// Feeds arbitrary bytes to MP3FileInfo as a file: id3lib parses the tags and
// the MPEG header; every fact and text must be readable afterwards.
#include "mediainfo/mp3_file_info.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath("fuzz.mp3");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    MP3FileInfo info;
    const QByteArray name = path.toLocal8Bit();
    if (!info.Open(name.constData())) {
        if (info.IsValid() || info.PlayingTime() != 0 || info.Title())
            __builtin_trap();
        return 0;
    }
    std::size_t total = info.BitRateText().size() + info.LayerText().size() + info.VersionText().size()
        + info.ChannelModeText().size();
    for (const auto* text :
        { &info.Album(), &info.Artist(), &info.Comment(), &info.Title(), &info.Track(), &info.Year(), &info.Composer(),
            &info.Copyright(), &info.EncodedBy(), &info.OriginalArtist(), &info.UserUrl() })
        if (*text)
            total += (*text)->size();
    if (info.BitRateText().size() > 20 || total == std::size_t(-1))
        __builtin_trap();
    info.Clear();
    if (info.IsValid())
        __builtin_trap();
    return 0;
}
