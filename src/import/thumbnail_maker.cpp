#include "import/thumbnail_maker.h"

#include "config/media_classify.h"
#include "engine/media_detector.h"
#include "engine/media_probe.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QSaveFile>
#include <QStandardPaths>

#include <array>

namespace {

constexpr std::array<const char*, 4> kFrameSuffixes { ".AVI", ".MPG", ".WMV", ".MPEG" };
constexpr std::array<const char*, 8> kTypeSuffixes { ".K3G", ".MP4", ".SKM", ".3G2", ".3GP", ".MP3", ".WAV", ".MID" };
// A picture larger than this is not decoded (a damaged header can claim
// any size).
constexpr int kMaxPictureSide = 16384;

QImage FilledCell(const QImage& content, QPoint at)
{
    QImage cell(CThumbnailMaker::kCell, CThumbnailMaker::kCell, QImage::Format_RGB32);
    cell.fill(CThumbnailMaker::kFill);
    QPainter p(&cell);
    if (!content.isNull())
        p.drawImage(at, content);
    p.setPen(QColor::fromRgb(CThumbnailMaker::kFrame));
    p.drawRect(0, 0, CThumbnailMaker::kCell - 1, CThumbnailMaker::kCell - 1);
    return cell;
}

// Path, size and modification time name a cell in the caches; empty when
// the file cannot be looked at.
QString CacheKey(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return QString();
    const QByteArray text = path.toUtf8() + '\n' + QByteArray::number(info.size()) + '\n'
        + QByteArray::number(info.lastModified().toMSecsSinceEpoch());
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex());
}

} // namespace

CThumbnailMaker::CThumbnailMaker(const QString& cacheFolder, QObject* parent)
    : QObject(parent)
    , cacheFolder_(cacheFolder.isEmpty()
              ? QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/orvanta/thumbnails"
              : cacheFolder)
    , worker_(QStringLiteral("cw-thumbnails"))
{ }

CThumbnailMaker::~CThumbnailMaker()
{
    worker_.CancelAll();
}

CThumbnailMaker::Ticket CThumbnailMaker::Request(
    QObject* receiver, const QString& path, const ResourceLookup& resources, std::function<void(QImage)> done)
{
    auto ticket = std::make_shared<std::atomic<bool>>(false);
    const QString typeKey = TypePictureKey(path);
    // The host's lookups answer on the UI thread only.
    const QString typePicture
        = typeKey.isEmpty() ? QString() : resources.GetResourceImagePath("ME_RIGHT_LISTIMAGE", typeKey);
    worker_.Post<QImage>(
        receiver, QString(),
        [this, path, typePicture, ticket](const CBackgroundWorker::CancelFlag& cancel) {
            if (*ticket || *cancel)
                return QImage();
            return Make(path, typePicture);
        },
        [ticket, done = std::move(done)](QImage cell) {
            if (!*ticket)
                done(cell.isNull() ? EmptyCell() : cell);
        });
    return ticket;
}

bool CThumbnailMaker::IsFrameFile(const QString& path)
{
    for (const char* suffix : kFrameSuffixes)
        if (path.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return true;
    return false;
}

QString CThumbnailMaker::TypePictureKey(const QString& path)
{
    if (IsFrameFile(path))
        return QString();
    const MediaKind kind = BrowserMediaKind(path);
    if (kind != MediaKind::Video && kind != MediaKind::Audio)
        return QString();
    for (const char* suffix : kTypeSuffixes)
        if (path.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return QLatin1String(suffix + 1);
    return QString();
}

QImage CThumbnailMaker::EmptyCell()
{
    static const QImage cell = FilledCell(QImage(), QPoint());
    return cell;
}

QImage CThumbnailMaker::PictureCell(const QImage& picture)
{
    const int w = picture.width();
    const int h = picture.height();
    const double r = w > 0 ? double(h) / w : 1.0;
    QSize size(w, h);
    QPoint at((kCell - w) / 2, (kCell - h) / 2);
    if (w >= kCell || h >= kCell) {
        if (r <= 1.0) {
            size = QSize(kCell, int(kCell * r));
            at = QPoint(0, (kCell - size.height()) / 2);
        } else {
            size = QSize(int(kCell / r), kCell);
            at = QPoint((kCell - size.width()) / 2, 0);
        }
    }
    if (size.isEmpty())
        return EmptyCell();
    const QImage drawn
        = size == picture.size() ? picture : picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return FilledCell(drawn, at);
}

QRect CThumbnailMaker::FrameRect(QSize frame)
{
    const int w = frame.width();
    const int h = frame.height();
    if (w <= 0 || h <= 0)
        return QRect();
    if (w <= h) {
        const int width = w * kCell / h;
        return QRect((kCell - width) / 2, 0, width, kCell);
    }
    const int height = h * kCell / w;
    return QRect(0, (kCell - height) / 2, kCell, height);
}

QImage CThumbnailMaker::FrameCell(const QImage& frame)
{
    const QRect place = FrameRect(frame.size());
    if (place.isEmpty())
        return EmptyCell();
    const QImage drawn = frame.size() == place.size()
        ? frame
        : frame.scaled(place.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return FilledCell(drawn, place.topLeft());
}

QImage CThumbnailMaker::TypeCell(const QImage& typePicture)
{
    return FilledCell(typePicture, QPoint(0, 0));
}

QImage CThumbnailMaker::Make(const QString& path, const QString& typePicture)
{
    if (!typePicture.isEmpty()) {
        // Skin pictures are few and small: no cache.
        QImageReader reader(typePicture);
        return TypeCell(reader.read());
    }
    const MediaKind kind = BrowserMediaKind(path);
    const bool frame = (kind == MediaKind::Video || kind == MediaKind::Audio) && IsFrameFile(path);
    if (!frame && kind != MediaKind::Picture)
        return QImage();

    const QString key = CacheKey(path);
    if (key.isEmpty())
        return QImage();
    if (auto it = memory_.constFind(key); it != memory_.constEnd())
        return *it;
    const QString cacheFile = cacheFolder_ + "/" + key + ".png";
    QImage cell(cacheFile);
    if (cell.size() != QSize(kCell, kCell)) {
        cell = frame ? FrameCell(Decode(path)) : QImage();
        if (!frame) {
            QImageReader reader(path);
            const QSize size = reader.size();
            if (size.isValid() && size.width() <= kMaxPictureSide && size.height() <= kMaxPictureSide) {
                ++decodes_;
                const QImage picture = reader.read();
                if (!picture.isNull())
                    cell = PictureCell(picture);
            }
        }
        if (cell.isNull())
            return QImage(); // unreadable: an empty cell, not cached
        // A cache that cannot be written only costs a decode next time.
        QDir().mkpath(cacheFolder_);
        QSaveFile out(cacheFile);
        if (out.open(QIODevice::WriteOnly) && cell.save(&out, "PNG"))
            out.commit();
    }
    memory_.insert(key, cell);
    memoryOrder_.push_back(key);
    if (memoryOrder_.size() > std::size_t(kMemoryCells)) {
        memory_.remove(memoryOrder_.front());
        memoryOrder_.pop_front();
    }
    return cell;
}

QImage CThumbnailMaker::Decode(const QString& path)
{
    ++decodes_;
    CMediaDet detector;
    std::int32_t count = 0;
    if (FAILED(detector.put_Filename(path)) || FAILED(detector.get_OutputStreams(&count)))
        return QImage();
    QSize frame;
    double seconds = 0;
    for (std::int32_t i = 0; i < count && frame.isEmpty(); ++i) {
        GUID major {};
        CMediaType type;
        if (FAILED(detector.put_CurrentStream(i)) || FAILED(detector.get_StreamType(&major)) || major != MEDIATYPE_Video
            || FAILED(detector.get_StreamMediaType(&type)) || !type.VideoInfo())
            continue;
        const BITMAPINFOHEADER& h = type.VideoInfo()->bmiHeader;
        frame = QSize(h.biWidth, h.biHeight < 0 ? -h.biHeight : h.biHeight);
        if (FAILED(detector.get_StreamLength(&seconds)))
            seconds = 0;
    }
    const QSize size = FrameRect(frame).size();
    if (size.isEmpty())
        return QImage();
    // The frame at 1 s, else the first.
    for (double at : { 1.0, 0.0 }) {
        if (at > seconds)
            continue;
        const MediaBitmap bitmap = CMediaProbe::ReadBitmap(detector, path, at, size);
        if (bitmap.ok)
            return bitmap.ToImage();
    }
    return QImage();
}
