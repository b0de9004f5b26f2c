// Building the playback graph of an editing timeline: the render engine's
// front end, its video group (group 0) through the effect filter "Dynamic
// Filter" to the "Video renderer", its first sound group to the "Audio
// Renderer" sample sink and the sound output, with feeds that ask the
// engine's group renderers. The graph is left cued (paused).
//
// Makes no widget and shows no message: it may run on any thread, as long as
// nothing changes the timeline meanwhile.
#pragma once

#include "platform/hresult.h"

#include <memory>

class CTimeline;
struct PlaybackGraphParts;

// 0 or the failing step's code (E_POINTER without a timeline). volume: the
// sound output's level in hundredths of a decibel. On failure parts may hold
// what was built (dismantle it).
HRESULT BuildTimelineGraph(std::shared_ptr<CTimeline> timeline, long volume, PlaybackGraphParts* parts);
