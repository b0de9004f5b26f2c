// What an open playback graph is made of: the filter graph, the render
// engine of a timeline graph, the streaming side and the frame slot. The
// graph builders (BuildFileGraph, BuildTimelineGraph) fill one; CGraphBasic
// keeps it while the graph is open.
//
// Dismantling (also on destruction) stops the streaming threads and the
// graph, then releases the parts in the order they depend on each other: the
// streaming side reads the engine's group renderers, so it goes first. It
// can run on any thread, as long as no other thread uses the parts.
#pragma once

#include <memory>

class CFilterGraph;
class CFrameSlot;
class CPlaybackStreaming;
class CRenderEngine;

struct PlaybackGraphParts {
    PlaybackGraphParts();
    ~PlaybackGraphParts();
    PlaybackGraphParts(const PlaybackGraphParts&) = delete;
    PlaybackGraphParts& operator=(const PlaybackGraphParts&) = delete;

    void Dismantle();

    std::shared_ptr<CFilterGraph> graph;
    std::unique_ptr<CRenderEngine> engine; // timeline graphs only
    std::unique_ptr<CPlaybackStreaming> streaming;
    std::shared_ptr<CFrameSlot> videoSlot; // null when the graph shows no pictures
    bool hasAudio = false;
};
