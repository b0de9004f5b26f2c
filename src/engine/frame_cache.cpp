#include "engine/frame_cache.h"

#include <QDir>
#include <QTemporaryFile>
#include <cerrno>
#include <new>
#include <unistd.h>

FrameCache::FrameCache(std::size_t memoryLimit)
    : memoryLimit_(memoryLimit)
{ }

FrameCache::~FrameCache() = default;

void FrameCache::Add(std::int32_t frameNumber, std::unique_ptr<std::uint8_t[]> data, std::size_t size)
{
    Entry e;
    e.frame.frameNumber = frameNumber;
    e.frame.size = size;
    // Once frames spill, the rest follow them, so the memory part stays the
    // start of the list.
    const bool spill = data && !spillFolder_.isEmpty() && (spilledCount_ > 0 || memoryBytes_ + size > memoryLimit_);
    if (spill) {
        if (!Spill(data.get(), size, &e.offset)) {
            writeFailed_ = true;
            return;
        }
        ++spilledCount_;
    } else {
        memoryBytes_ += data ? size : 0;
        e.frame.data = std::move(data);
    }
    entries_.push_back(std::move(e));
}

bool FrameCache::Spill(const std::uint8_t* data, std::size_t size, std::int64_t* offset)
{
    if (!spill_) {
        auto file = std::make_unique<QTemporaryFile>(QDir(spillFolder_).filePath("frames-XXXXXX.yuv"));
        if (!file->open())
            return false;
        spill_ = std::move(file);
        spillBytes_ = 0;
    }
    const int fd = spill_->handle();
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, off_t(spillBytes_ + std::int64_t(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    *offset = spillBytes_;
    spillBytes_ += std::int64_t(size);
    return true;
}

const VideoBuf* FrameCache::Resolve(const Entry& e) const
{
    if (e.offset < 0)
        return &e.frame;
    if (!spill_)
        return nullptr;
    if (loadedCapacity_ < e.frame.size) {
        loaded_.data.reset(new (std::nothrow) std::uint8_t[e.frame.size]);
        loadedCapacity_ = loaded_.data ? e.frame.size : 0;
        if (!loaded_.data)
            return nullptr;
    }
    std::size_t done = 0;
    while (done < e.frame.size) {
        const ssize_t n = ::pread(
            spill_->handle(), loaded_.data.get() + done, e.frame.size - done, off_t(e.offset + std::int64_t(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return nullptr;
        done += std::size_t(n);
    }
    loaded_.frameNumber = e.frame.frameNumber;
    loaded_.size = e.frame.size;
    return &loaded_;
}

const VideoBuf* FrameCache::At(std::size_t index) const
{
    return index < entries_.size() ? Resolve(entries_[index]) : nullptr;
}

const VideoBuf* FrameCache::Find(std::int32_t frameNumber) const
{
    // Extraction numbers frames 0, 1, 2, ... in list order, so the entry is
    // usually at its own number.
    if (frameNumber >= 0 && std::size_t(frameNumber) < entries_.size()
        && entries_[std::size_t(frameNumber)].frame.frameNumber == frameNumber)
        return Resolve(entries_[std::size_t(frameNumber)]);
    for (const Entry& e : entries_)
        if (e.frame.frameNumber == frameNumber)
            return Resolve(e);
    return nullptr;
}

void FrameCache::FreeAll()
{
    entries_.clear();
    entries_.shrink_to_fit();
    memoryBytes_ = 0;
    spilledCount_ = 0;
    spill_.reset();
    spillBytes_ = 0;
    writeFailed_ = false;
    loaded_ = VideoBuf();
    loadedCapacity_ = 0;
}

QString FrameCache::SpillFile() const
{
    return spill_ ? spill_->fileName() : QString();
}
