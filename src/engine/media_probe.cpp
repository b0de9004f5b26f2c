#include "engine/media_probe.h"

#include "engine/media_detector.h"
#include "engine/video_renderer.h"
#include "mediainfo/mp3_file_info.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace {

// Detectors kept open at once (one per seek lane in use).
constexpr std::size_t kOpenDetectors = 4;
constexpr int kMaxBitmapSide = 8192;

// Why a file cannot be opened: it is not there, or it is not media that can
// be read.
QString OpenError(const QString& path)
{
    if (path.isEmpty())
        return QStringLiteral("no file named");
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("file not found: %1").arg(path);
    if (!info.isFile())
        return QStringLiteral("not a file: %1").arg(path);
    return QStringLiteral("not a media file that can be read: %1").arg(path);
}

// The first video stream of an open detector, or -1.
std::int32_t FirstVideoStream(CMediaDet& detector)
{
    std::int32_t count = 0;
    if (FAILED(detector.get_OutputStreams(&count)))
        return -1;
    for (std::int32_t i = 0; i < count; ++i) {
        GUID major {};
        if (SUCCEEDED(detector.put_CurrentStream(i)) && SUCCEEDED(detector.get_StreamType(&major))
            && major == MEDIATYPE_Video)
            return i;
    }
    return -1;
}

} // namespace

QImage MediaBitmap::ToImage() const
{
    if (!ok || bits.size() < qsizetype(sizeof(BITMAPINFOHEADER)))
        return {};
    VIDEOINFOHEADER vih {};
    std::memcpy(&vih.bmiHeader, bits.constData(), sizeof(BITMAPINFOHEADER));
    if (bits.size() < qsizetype(sizeof(BITMAPINFOHEADER)) + DibImageBytes(vih.bmiHeader))
        return {};
    return FrameToImage(reinterpret_cast<const std::uint8_t*>(bits.constData()) + sizeof(BITMAPINFOHEADER), vih);
}

struct CMediaProbe::OpenDetector {
    QString lane;
    QString path;
    QDateTime modified;
    qint64 bytes = -1;
    std::shared_ptr<CMediaDet> detector;
};

CMediaProbe::CMediaProbe(QObject* parent)
    : QObject(parent)
    , worker_(QStringLiteral("cw-media-probe"))
{ }

CMediaProbe::~CMediaProbe() = default;

QString CMediaProbe::Lane(const QObject* owner, const char* what)
{
    return QStringLiteral("%1@%2").arg(QLatin1String(what)).arg(quintptr(owner), 0, 16);
}

void CMediaProbe::ProbeStreams(QObject* receiver, const QString& lane, const QString& path, Done<MediaStreams> done)
{
    QPointer<CMediaProbe> self(this);
    worker_.Post<MediaStreams>(
        receiver, lane, [path](const CBackgroundWorker::CancelFlag&) { return ReadStreams(path); },
        [self, path, done = std::move(done)](MediaStreams streams) {
            if (self && streams.ok)
                self->hasVideo_.insert(path, streams.hasVideo);
            done(std::move(streams));
        });
}

void CMediaProbe::ProbeHasVideo(QObject* receiver, const QString& path, Done<bool> done)
{
    const auto known = hasVideo_.constFind(path);
    if (known != hasVideo_.cend()) {
        QTimer::singleShot(0, receiver, [done = std::move(done), hasVideo = *known] { done(hasVideo); });
        return;
    }
    ProbeStreams(receiver, QString(), path, [done = std::move(done)](MediaStreams streams) { done(streams.hasVideo); });
}

void CMediaProbe::ProbeBitmap(QObject* receiver, const QString& lane, const QString& path, double seconds, int width,
    int height, Done<MediaBitmap> done)
{
    worker_.Post<MediaBitmap>(
        receiver, lane,
        [this, lane, path, seconds, size = QSize(width, height)](const CBackgroundWorker::CancelFlag&) {
            // Without a lane nothing follows the request: a detector of its own.
            std::shared_ptr<CMediaDet> detector
                = lane.isEmpty() ? std::make_shared<CMediaDet>() : DetectorFor(lane, path);
            return ReadBitmap(*detector, path, seconds, size);
        },
        std::move(done));
}

void CMediaProbe::ProbeMp3(QObject* receiver, const QString& lane, const QString& path, Done<Mp3Facts> done)
{
    worker_.Post<Mp3Facts>(
        receiver, lane, [path](const CBackgroundWorker::CancelFlag&) { return ReadMp3(path); }, std::move(done));
}

void CMediaProbe::Cancel(const QString& lane)
{
    // Requests without a lane are always answered.
    if (!lane.isEmpty())
        worker_.Cancel(lane);
}

bool CMediaProbe::IsIdle() const
{
    return worker_.IsIdle();
}

std::shared_ptr<CMediaDet> CMediaProbe::DetectorFor(const QString& lane, const QString& path)
{
    const QFileInfo info(path);
    const QDateTime modified = info.lastModified();
    const qint64 bytes = info.size();
    auto it = std::find_if(detectors_.begin(), detectors_.end(), [&](const auto& d) { return d->lane == lane; });
    std::shared_ptr<OpenDetector> entry;
    if (it != detectors_.end()) {
        entry = *it;
        detectors_.erase(it);
        // Another file, or the same one rewritten: start afresh.
        if (entry->path != path || entry->modified != modified || entry->bytes != bytes)
            entry.reset();
    }
    if (!entry) {
        entry = std::make_shared<OpenDetector>();
        entry->lane = lane;
        entry->path = path;
        entry->modified = modified;
        entry->bytes = bytes;
        entry->detector = std::make_shared<CMediaDet>();
    }
    // Most recently used first; the least recently used one is closed.
    detectors_.insert(detectors_.begin(), entry);
    if (detectors_.size() > kOpenDetectors)
        detectors_.pop_back();
    return entry->detector;
}

MediaStreams CMediaProbe::ReadStreams(const QString& path)
{
    MediaStreams result;
    result.path = path;
    CMediaDet detector;
    std::int32_t count = 0;
    if (path.isEmpty() || FAILED(detector.put_Filename(path)) || FAILED(detector.get_OutputStreams(&count))) {
        result.error = OpenError(path);
        return result;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        MediaStreamInfo stream;
        GUID major {};
        if (FAILED(detector.put_CurrentStream(i)) || FAILED(detector.get_StreamType(&major))) {
            result.error = QStringLiteral("stream %1 cannot be read: %2").arg(i).arg(path);
            return result;
        }
        stream.video = major == MEDIATYPE_Video;
        if (FAILED(detector.get_StreamLength(&stream.seconds)))
            stream.seconds = 0;
        if (stream.video) {
            if (FAILED(detector.get_FrameRate(&stream.frameRate)))
                stream.frameRate = 0;
            CMediaType type;
            if (SUCCEEDED(detector.get_StreamMediaType(&type)) && type.VideoInfo()) {
                const BITMAPINFOHEADER& h = type.VideoInfo()->bmiHeader;
                stream.pictureSize = QSize(h.biWidth, h.biHeight < 0 ? -h.biHeight : h.biHeight);
            }
            if (!result.hasVideo) {
                result.hasVideo = true;
                result.frameRate = stream.frameRate;
                result.pictureSize = stream.pictureSize;
            }
        }
        result.seconds = std::max(result.seconds, stream.seconds);
        result.streams.push_back(stream);
    }
    result.ok = true;
    return result;
}

MediaBitmap CMediaProbe::ReadBitmap(CMediaDet& detector, const QString& path, double seconds, QSize size)
{
    MediaBitmap result;
    result.path = path;
    result.seconds = seconds;
    result.size = size;
    if (size.width() < 1 || size.height() < 1 || size.width() > kMaxBitmapSide || size.height() > kMaxBitmapSide) {
        result.error = QStringLiteral("picture size %1 x %2 out of range").arg(size.width()).arg(size.height());
        return result;
    }
    if (path.isEmpty() || (detector.get_Filename() != path && FAILED(detector.put_Filename(path)))) {
        result.error = OpenError(path);
        return result;
    }
    const std::int32_t video = FirstVideoStream(detector);
    if (video < 0) {
        result.error = QStringLiteral("no video stream: %1").arg(path);
        return result;
    }
    detector.put_CurrentStream(video);
    std::int32_t bytes = CMediaDet::BitmapBytes(size.width(), size.height());
    result.bits.resize(bytes);
    if (FAILED(detector.GetBitmapBits(seconds, &bytes, result.bits.data(), size.width(), size.height()))) {
        result.bits.clear();
        result.error = QStringLiteral("no picture at %1 s: %2").arg(seconds).arg(path);
        return result;
    }
    result.ok = true;
    return result;
}

Mp3Facts CMediaProbe::ReadMp3(const QString& path)
{
    Mp3Facts result;
    result.path = path;
    MP3FileInfo info;
    if (path.isEmpty() || !info.Open(QFile::encodeName(path).constData())) {
        result.error = QFileInfo(path).isFile() ? QStringLiteral("not an MP3 file that can be read: %1").arg(path)
                                                : OpenError(path);
        return result;
    }
    result.ok = true;
    result.hasLyrics = info.HasLyrics();
    result.hasV1Tag = info.HasV1Tag();
    result.hasV2Tag = info.HasV2Tag();
    result.fileSize = info.FileSize();
    result.bitRate = info.BitRate();
    result.vbrBitRate = info.VbrBitRate();
    result.sampleRate = info.SampleRate();
    result.playingTime = info.PlayingTime();
    result.bitRateText = info.BitRateText();
    result.layerText = info.LayerText();
    result.versionText = info.VersionText();
    result.channelModeText = info.ChannelModeText();
    result.album = info.Album();
    result.artist = info.Artist();
    result.comment = info.Comment();
    result.title = info.Title();
    result.track = info.Track();
    result.year = info.Year();
    result.composer = info.Composer();
    result.copyright = info.Copyright();
    result.encodedBy = info.EncodedBy();
    result.originalArtist = info.OriginalArtist();
    result.userUrl = info.UserUrl();
    return result;
}
