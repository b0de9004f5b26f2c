#include "export/movie_render.h"

#include "engine/compressor.h"
#include "engine/work_state.h"
#include "platform/dialog_service.h"
#include "project/movie_timeline.h"

namespace {
HRESULT Finish(HRESULT hr, const char* failure)
{
    if (hr == 1)
        return 1;
    if (FAILED(hr)) {
        Dialogs().messageBox(nullptr, QString::fromUtf8(failure), QString(), MB_OK);
        if (CMovieWorkState::IsCancelled())
            return 1;
    }
    return hr;
}
} // namespace

HRESULT CompressVideo(CMovieTimeline* movieTimeline, const QString& outputPath, REFERENCE_TIME, REFERENCE_TIME)
{
    CMovieGraphCompressor compressor;
    compressor.SetOutputFile(outputPath);
    auto timeline = movieTimeline ? movieTimeline->GetTimeline() : nullptr;
    if (!timeline)
        return E_FAIL;
    return Finish(
        compressor.RenderTimeline(timeline, CMovieGraphCompressor::RenderMovie), "Video Compressing was failed! - 1");
}

HRESULT CompressSound(CMovieTimeline& soundTimeline, const QString& outputPath, REFERENCE_TIME, REFERENCE_TIME duration,
    const QString& clipPath)
{
    CMovieGraphCompressor compressor;
    compressor.SetOutputFile(outputPath);
    const auto lengthMs = std::uint32_t(std::max<REFERENCE_TIME>(duration, 0) / 10000);
    HRESULT hr = soundTimeline.PrepareSoundTimeline(clipPath, lengthMs);
    if (SUCCEEDED(hr))
        hr = compressor.RenderTimeline(soundTimeline.GetTimeline(), CMovieGraphCompressor::RenderSoundOnly);
    return Finish(hr, "Sound Compressing was failed! - 1");
}
