// CMediaProbe: the editor's media-probe service. Panes ask it about files
// (the streams, a picture at a time, the MP3 facts) and get the answer later
// on the UI thread, so that no pane opens or decodes a file on the UI thread.
//
// The work runs on one CBackgroundWorker thread with a media detector
// (CMediaDet) or MP3FileInfo there; each answer is a plain value handed to a
// callback while its receiver lives. Requests go in lanes: a newer request
// in a lane supersedes the older one still waiting or running there (its
// callback never comes), so a pane that asks again while the user scrolls or
// drags sees only the newest answer. Give each pane its own lanes (Lane()
// below: one per list for thumbnails, one per preview for seeking); a request
// without a lane is never superseded and is always answered.
//
// A file that is missing, not media or damaged gives an answer with ok false
// and an error text, never an exception or a hang.
//
// Create, ask and destroy on the UI thread; one service per editor (the main
// frame makes it and hands it to the panes through PaneContext).
#pragma once

#include "platform/background_worker.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One output stream of a file as the media detector lists it (cover pictures
// and data streams are not listed).
struct MediaStreamInfo {
    bool video = false; // else sound
    double seconds = 0;
    double frameRate = 0; // video only
    QSize pictureSize; // video only
};

// The answer to ProbeStreams.
struct MediaStreams {
    QString path;
    bool ok = false;
    QString error; // why not ok
    std::vector<MediaStreamInfo> streams; // in file order
    bool hasVideo = false;
    // Of the longest stream.
    double seconds = 0;
    // Of the first video stream (0 and empty without one).
    double frameRate = 0;
    QSize pictureSize;

    int streamCount() const { return int(streams.size()); }
};

// The answer to ProbeBitmap: the picture of the first video stream at a time,
// scaled to the asked size, in the detector's bitmap format (a
// BITMAPINFOHEADER and bottom-up 24-bit rows, blue byte first, padded to 4
// bytes).
struct MediaBitmap {
    QString path;
    double seconds = 0;
    QSize size;
    bool ok = false;
    QString error;
    QByteArray bits;

    // The picture as a top-down image (null when not ok).
    QImage ToImage() const;
};

// The answer to ProbeMp3: MP3FileInfo's facts, copied.
struct Mp3Facts {
    QString path;
    bool ok = false;
    QString error;
    bool hasLyrics = false;
    bool hasV1Tag = false;
    bool hasV2Tag = false;
    std::uint32_t fileSize = 0xFFFFFFFFu;
    int bitRate = 0;
    int vbrBitRate = 0;
    int sampleRate = 0;
    int playingTime = 0; // whole seconds
    std::string bitRateText, layerText, versionText, channelModeText;
    std::optional<std::string> album, artist, comment, title, track, year, composer, copyright, encodedBy,
        originalArtist, userUrl;
};

class CMediaDet;

class CMediaProbe : public QObject {
public:
    template <typename Result> using Done = std::function<void(Result)>;

    explicit CMediaProbe(QObject* parent = nullptr);
    ~CMediaProbe() override;

    // A lane name that is owner's own: Lane(this, "thumbnails").
    static QString Lane(const QObject* owner, const char* what);

    // Each calls done(answer) on the UI thread while receiver lives, unless a
    // newer request in the same lane (non-empty) superseded it.
    void ProbeStreams(QObject* receiver, const QString& lane, const QString& path, Done<MediaStreams> done);
    // width x height from 1 to 8192.
    void ProbeBitmap(QObject* receiver, const QString& lane, const QString& path, double seconds, int width, int height,
        Done<MediaBitmap> done);
    void ProbeMp3(QObject* receiver, const QString& lane, const QString& path, Done<Mp3Facts> done);
    // Whether a file has a video stream, from the last streams answer about
    // it (whoever asked); a file not probed yet is probed once and the
    // answer kept. done comes on the UI thread after this call returns,
    // while receiver lives.
    void ProbeHasVideo(QObject* receiver, const QString& path, Done<bool> done);

    // Drops what lane waits for; its answer never comes. (Requests without
    // a lane cannot be cancelled.)
    void Cancel(const QString& lane);
    // True when nothing waits or runs (for tests and shutdown).
    bool IsIdle() const;

    // The work itself, synchronous (what the worker thread runs).
    static MediaStreams ReadStreams(const QString& path);
    static MediaBitmap ReadBitmap(CMediaDet& detector, const QString& path, double seconds, QSize size);
    static Mp3Facts ReadMp3(const QString& path);

private:
    // A detector kept open per seek lane, so that pictures asked at
    // increasing times of one file decode forward instead of reopening.
    // Touched only on the worker thread.
    struct OpenDetector;
    std::shared_ptr<CMediaDet> DetectorFor(const QString& lane, const QString& path);

    std::vector<std::shared_ptr<OpenDetector>> detectors_;
    // What the streams answers said about video, by path; UI thread only.
    QHash<QString, bool> hasVideo_;
    // Last member: destroyed (joined) first, before the detectors go.
    CBackgroundWorker worker_;
};
