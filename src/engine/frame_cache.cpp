#include "engine/frame_cache.h"

void FrameCache::Add(std::int32_t frameNumber, std::unique_ptr<std::uint8_t[]> data, std::size_t size)
{
    entries_.push_back(VideoBuf { frameNumber, std::move(data), size });
}

const VideoBuf* FrameCache::At(std::size_t index) const
{
    return index < entries_.size() ? &entries_[index] : nullptr;
}

const VideoBuf* FrameCache::Find(std::int32_t frameNumber) const
{
    // Extraction numbers frames 0, 1, 2, ... in list order, so the entry is
    // usually at its own number.
    if (frameNumber >= 0 && std::size_t(frameNumber) < entries_.size()
        && entries_[std::size_t(frameNumber)].frameNumber == frameNumber)
        return &entries_[std::size_t(frameNumber)];
    for (const VideoBuf& e : entries_)
        if (e.frameNumber == frameNumber)
            return &e;
    return nullptr;
}

void FrameCache::FreeAll()
{
    entries_.clear();
    entries_.shrink_to_fit();
}
