#include "platform/media_input.h"

#include <QFile>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include <sys/stat.h>

FfPtr<AVFormatContext> OpenMediaInput(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st { };
    if (path.isEmpty() || ::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return nullptr;
    // Nested opens (a container naming another file) inherit both lists.
    raw->protocol_whitelist = av_strdup("file");
    raw->format_whitelist = av_strdup(kAcceptedDemuxers);
    if (avformat_open_input(&raw, name.constData(), nullptr, nullptr) < 0)
        return nullptr; // avformat_open_input frees the context on failure
    FfPtr<AVFormatContext> format(raw);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return nullptr;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* par = format->streams[i]->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_VIDEO)
            continue;
        if (par->width > kMaxPictureSide || par->height > kMaxPictureSide
            || static_cast<long long>(par->width) * par->height > kMaxPicturePixels)
            return nullptr;
    }
    return format;
}
