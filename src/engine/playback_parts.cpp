#include "engine/playback_parts.h"

#include "engine/playback_streaming.h"
#include "engine/render_engine.h"
#include "engine/video_renderer.h"

PlaybackGraphParts::PlaybackGraphParts() = default;

PlaybackGraphParts::~PlaybackGraphParts()
{
    Dismantle();
}

void PlaybackGraphParts::Dismantle()
{
    if (streaming) {
        streaming->halt();
        streaming->setNotify(nullptr, 0);
    }
    if (graph) {
        graph->Stop();
        FilterPtr effect;
        if (SUCCEEDED(graph->FindFilterByName("Dynamic Filter", &effect)))
            graph->RemoveFilter(effect.get());
    }
    streaming.reset();
    graph.reset();
    if (engine) {
        engine->ScrapIt();
        engine.reset();
    }
    videoSlot.reset();
    hasAudio = false;
}
