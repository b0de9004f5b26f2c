// The movie view's two render entry points, as engine functions: each uses
// a fresh CMovieGraphCompressor. Results: 0 success, 1 cancelled, negative
// failure (after the message naming the kind of render).
#pragma once

#include "platform/hresult.h"
#include "platform/media/media_types.h"

#include <QString>

class CMovieTimeline;

// Renders the movie timeline to an AVI (RenderMode 1). E_FAIL without a
// timeline. Times are in 100 ns units.
HRESULT CompressVideo(
    CMovieTimeline* movieTimeline, const QString& outputPath, REFERENCE_TIME start, REFERENCE_TIME duration);

// Builds the sound timeline for the first duration of clipPath (in the save,
// the rendered movie) and renders its sound to a WAV (RenderMode 0).
HRESULT CompressSound(CMovieTimeline& soundTimeline, const QString& outputPath, REFERENCE_TIME start,
    REFERENCE_TIME duration, const QString& clipPath);
