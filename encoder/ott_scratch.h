// Scratch files of one coded stream: the packet bytes in one file and a
// fixed-size record per packet in another. Encoding writes them while the
// callbacks deliver; muxing reads them back in order, so memory stays bounded
// however long the movie is.
#pragma once

#include "ott_av.h"
#include "ott_job.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

struct AVPacket;

namespace ott {

struct PacketRecord {
    std::int64_t pts;
    std::int64_t dts;
    std::int64_t duration;
    std::uint32_t size;
    std::uint32_t flags;
};
static_assert(sizeof(PacketRecord) == 32);

class ScratchWriter {
public:
    // Creates (truncates) both files; false when either cannot be created.
    bool open(const ScratchFiles& files);
    bool write(const AVPacket& packet);
    // Flushes and closes; false when anything failed to reach the disk.
    bool close();
    std::int64_t packets() const { return packets_; }

private:
    FilePtr data_;
    FilePtr info_;
    std::int64_t packets_ = 0;
    bool failed_ = false;
};

class ScratchReader {
public:
    bool open(const ScratchFiles& files);
    // Reads the next packet into packet (reallocated); false at the end or
    // on a damaged file (then failed() is true).
    bool next(AVPacket* packet);
    bool failed() const { return failed_; }
    // Packets not yet read.
    std::int64_t remaining() const { return remaining_; }

private:
    FilePtr data_;
    FilePtr info_;
    std::int64_t remaining_ = 0;
    bool failed_ = false;
};

// Deletes both files where they exist.
void RemoveScratch(const ScratchFiles& files);

} // namespace ott
