// FrameCache: the ordered list of sampled movie frames that frame extraction
// fills and the encoder's video callback reads. Each entry is a frame number
// and the I420 picture of that frame (Y plane, then Cb, then Cr). The cache
// owns the buffers; FreeAll releases them all.
//
// Memory is bounded: frames are held in memory up to a limit (64 MB unless
// the constructor is given another); with a spill folder set, the frames
// beyond it go to a work file there ("frames-XXXXXX.yuv", made for this
// cache and removed by FreeAll and the destructor), so a long movie costs
// disk instead of memory. Without a spill folder every frame stays in memory.
//
// Filled by one thread and read afterwards by the same or a later one (the
// buffers are handed over in sequence), so nothing here locks.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class QTemporaryFile;

// Bytes of frames a cache holds in memory before it spills to its work file.
inline constexpr std::size_t kFrameCacheMemoryLimit = std::size_t(64) << 20;

struct VideoBuf {
    std::int32_t frameNumber = 0;
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
};

class FrameCache {
public:
    explicit FrameCache(std::size_t memoryLimit = kFrameCacheMemoryLimit);
    virtual ~FrameCache();
    FrameCache(const FrameCache&) = delete;
    FrameCache& operator=(const FrameCache&) = delete;

    // Where frames beyond the memory limit go from now on: the run's work
    // folder. Empty keeps every frame in memory.
    void SetSpillFolder(const QString& folder) { spillFolder_ = folder; }
    const QString& SpillFolder() const { return spillFolder_; }

    // Appends an entry; the cache takes the buffer of size bytes. Virtual so
    // that a holder can follow frames as they arrive. A frame that had to go
    // to the work file and could not be written there is not added, and
    // WriteFailed() turns true.
    virtual void Add(std::int32_t frameNumber, std::unique_ptr<std::uint8_t[]> data, std::size_t size);
    // The entry at list position index, or null when there is none (or it
    // cannot be read back). A frame in the work file is read into a buffer
    // of the cache, valid until the next At or Find.
    const VideoBuf* At(std::size_t index) const;
    // The first entry with this frame number, or null; as At.
    const VideoBuf* Find(std::int32_t frameNumber) const;
    // Frees every buffer, empties the list and removes the work file.
    void FreeAll();
    std::size_t Count() const { return entries_.size(); }
    bool IsEmpty() const { return entries_.empty(); }

    // Bytes of frames held in memory, and how many frames are in the work file.
    std::size_t MemoryBytes() const { return memoryBytes_; }
    std::size_t SpilledCount() const { return spilledCount_; }
    // The work file while it exists, else empty.
    QString SpillFile() const;
    // A frame could not be written to the work file since the last FreeAll.
    bool WriteFailed() const { return writeFailed_; }

private:
    struct Entry {
        VideoBuf frame; // frame.data is null while the frame is in the work file
        std::int64_t offset = -1; // where in the work file; -1 in memory
    };
    const VideoBuf* Resolve(const Entry& e) const;
    bool Spill(const std::uint8_t* data, std::size_t size, std::int64_t* offset);

    std::size_t memoryLimit_;
    QString spillFolder_;
    std::vector<Entry> entries_;
    std::size_t memoryBytes_ = 0;
    std::size_t spilledCount_ = 0;
    std::unique_ptr<QTemporaryFile> spill_;
    std::int64_t spillBytes_ = 0;
    bool writeFailed_ = false;
    mutable VideoBuf loaded_; // the last frame read back from the work file
    mutable std::size_t loadedCapacity_ = 0;
};
