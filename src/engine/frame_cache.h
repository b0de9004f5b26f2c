// FrameCache: the ordered list of sampled movie frames that frame extraction
// fills and the encoder's video callback reads. Each entry is a frame number
// and the I420 picture of that frame (Y plane, then Cb, then Cr). The cache
// owns the buffers; FreeAll releases them all.
//
// Filled by one thread and read afterwards by the same or a later one (the
// buffers are handed over in sequence), so nothing here locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct VideoBuf {
    std::int32_t frameNumber = 0;
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
};

class FrameCache {
public:
    FrameCache() = default;
    virtual ~FrameCache() = default;
    FrameCache(const FrameCache&) = delete;
    FrameCache& operator=(const FrameCache&) = delete;

    // Appends an entry; the cache takes the buffer of size bytes. Virtual so
    // that a holder can follow frames as they arrive.
    virtual void Add(std::int32_t frameNumber, std::unique_ptr<std::uint8_t[]> data, std::size_t size);
    // The entry at list position index, or null when there is none.
    const VideoBuf* At(std::size_t index) const;
    // The first entry with this frame number, or null.
    const VideoBuf* Find(std::int32_t frameNumber) const;
    // Frees every buffer and empties the list.
    void FreeAll();
    std::size_t Count() const { return entries_.size(); }
    bool IsEmpty() const { return entries_.empty(); }

private:
    std::vector<VideoBuf> entries_;
};
