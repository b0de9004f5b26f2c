// CThumbnailMaker: the 96 x 96 cells of the media list and the media
// browser's list, made on a background worker.
//
// A cell is white with a one-pixel RGB(192, 192, 192) frame. Pictures are
// fitted by their ratio (small ones keep their size, centred); .AVI, .MPG,
// .WMV and .MPEG files show the frame at 1 s (else the first) fitted with
// integer arithmetic; the phone, MP3, WAV and MID types show their type
// picture unscaled at the top left; everything else, and whatever cannot be
// read, an empty cell.
//
// Decoded cells are kept in memory and on disk under the cache folder, keyed
// by path, size and modification time, so a file added again is not decoded
// again. Only the worker thread touches the caches.
//
// Create, request and destroy on the UI thread. A dropped ticket's job is
// skipped (or its answer discarded); the destructor cancels what is left and
// waits for the running job.
#pragma once

#include "config/resources.h"
#include "platform/background_worker.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

class CThumbnailMaker : public QObject {
public:
    static constexpr int kCell = 96;
    static constexpr QRgb kFill = 0xFFFFFFFF;
    static constexpr QRgb kFrame = 0xFFC0C0C0;
    static constexpr int kMemoryCells = 512;

    // Set to drop a request.
    using Ticket = std::shared_ptr<std::atomic<bool>>;

    // cacheFolder empty: $XDG_CACHE_HOME/orvanta/thumbnails.
    explicit CThumbnailMaker(const QString& cacheFolder = QString(), QObject* parent = nullptr);
    ~CThumbnailMaker() override;

    // Makes the cell of path and calls done(cell) on the UI thread while
    // receiver lives and the ticket was not dropped. resources names the
    // type pictures.
    Ticket Request(
        QObject* receiver, const QString& path, const ResourceLookup& resources, std::function<void(QImage)> done);
    static void Drop(const Ticket& ticket)
    {
        if (ticket)
            *ticket = true;
    }

    bool IsIdle() const { return worker_.IsIdle(); }
    // Files opened with a decoder so far (cache hits open none).
    int decodes() const { return decodes_; }
    const QString& cacheFolder() const { return cacheFolder_; }

    // The empty framed cell.
    static QImage EmptyCell();
    // The picture fitted into a cell by its ratio.
    static QImage PictureCell(const QImage& picture);
    // A video frame fitted into a cell with integer arithmetic.
    static QRect FrameRect(QSize frame);
    static QImage FrameCell(const QImage& frame);
    // The type picture copied unscaled at the top left.
    static QImage TypeCell(const QImage& typePicture);
    // The key under "ME_RIGHT_LISTIMAGE" of path's type picture, or empty.
    static QString TypePictureKey(const QString& path);
    // True for the files whose thumbnail is a video frame.
    static bool IsFrameFile(const QString& path);

private:
    QImage Make(const QString& path, const QString& typePicture);
    QImage Decode(const QString& path);

    QString cacheFolder_;
    std::atomic<int> decodes_ { 0 };
    // Worker thread only.
    QHash<QString, QImage> memory_;
    std::deque<QString> memoryOrder_;
    // Last member: destroyed (joined) first.
    CBackgroundWorker worker_;
};
