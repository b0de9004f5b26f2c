// CMovieGraphCompressor renders an editing timeline into an intermediate
// file: an AVI with the edited video (colour effect applied, DV) and its
// sound (PCM), or a WAV with the timeline's sound only. The graph is built
// around the render engine's front end, runs without a reference clock on
// the engine's streaming threads, and is watched from the caller's thread,
// which reports progress into CMovieWorkState every 100 ms, keeps its own
// messages flowing, and stops the run when the work state asks to cancel.
#pragma once

#include "engine/render_engine.h"

#include <QString>
#include <QStringList>

class CMovieGraphCompressor {
public:
    enum RenderMode { RenderSoundOnly = 0, RenderMovie = 1 };

    // The process-wide compressor names looked up by friendly name.
    static QStringList VideoCompressorNames();
    static void SetVideoCompressorNames(const QStringList& names);
    static QString AudioCompressorName();
    static void SetAudioCompressorName(const QString& name);

    CMovieGraphCompressor() = default;
    ~CMovieGraphCompressor();
    CMovieGraphCompressor(const CMovieGraphCompressor&) = delete;
    CMovieGraphCompressor& operator=(const CMovieGraphCompressor&) = delete;

    // The file to write: ".avi" for RenderMovie, ".wav" for RenderSoundOnly.
    HRESULT SetOutputFile(const QString& path);
    const QString& outputFile() const { return outputPath_; }

    // Finds the configured video or audio compressor by friendly name and
    // keeps it as m_pCompressor; E_FAIL when none is registered under it.
    HRESULT GetCompressor(bool video);

    // Builds, runs and tears down the graph. 0 on success, 1 when cancelled
    // (the output file is then deleted), else the failing code; each failing
    // construction step is shown in a message box naming it. A run that ends
    // with a write or encoding error fails and leaves no output file.
    HRESULT RenderTimeline(const std::shared_ptr<CTimeline>& timeline, int mode);

    FilterPtr m_pCompressor;
    std::shared_ptr<CRenderGraph> m_pGB;
    FilterPtr m_pWavDest;

private:
    HRESULT buildVideoChain(CBaseOutputPin* groupPin, CBaseInputPin* muxIn);
    HRESULT buildAudioChain(CBaseOutputPin* groupPin, CBaseInputPin* muxIn);
    HRESULT buildWavChain(CBaseOutputPin* groupPin);
    HRESULT fail(const char* text, HRESULT hr);
    void release();

    QString outputPath_;
    std::unique_ptr<CRenderEngine> engine_;
};
