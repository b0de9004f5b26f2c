#include "ott_scratch.h"

#include <cstdio>

extern "C" {
#include <libavcodec/packet.h>
}

namespace ott {
namespace {

// A packet larger than this in a scratch file means the file is damaged.
constexpr std::uint32_t kMaxPacketBytes = 64u << 20;

FilePtr OpenFile(const std::string& path, const char* mode)
{
    FilePtr f(std::fopen(path.c_str(), mode));
    if (f)
        std::setvbuf(f.get(), nullptr, _IOFBF, 1 << 16);
    return f;
}

} // namespace

bool ScratchWriter::open(const ScratchFiles& files)
{
    data_ = OpenFile(files.data, "wb");
    info_ = OpenFile(files.info, "wb");
    packets_ = 0;
    failed_ = !data_ || !info_;
    return !failed_;
}

bool ScratchWriter::write(const AVPacket& packet)
{
    if (failed_ || packet.size < 0)
        return false;
    const PacketRecord record { packet.pts, packet.dts, packet.duration, static_cast<std::uint32_t>(packet.size),
        static_cast<std::uint32_t>(packet.flags) };
    if (std::fwrite(&record, sizeof record, 1, info_.get()) != 1
        || (packet.size > 0
            && std::fwrite(packet.data, 1, static_cast<std::size_t>(packet.size), data_.get())
                != static_cast<std::size_t>(packet.size))) {
        failed_ = true;
        return false;
    }
    ++packets_;
    return true;
}

bool ScratchWriter::close()
{
    bool ok = !failed_;
    for (FilePtr* f : { &data_, &info_ }) {
        if (*f && std::fclose(f->release()) != 0)
            ok = false;
    }
    return ok;
}

bool ScratchReader::open(const ScratchFiles& files)
{
    data_ = OpenFile(files.data, "rb");
    info_ = OpenFile(files.info, "rb");
    failed_ = !data_ || !info_;
    remaining_ = 0;
    if (!failed_ && std::fseek(info_.get(), 0, SEEK_END) == 0) {
        remaining_ = std::ftell(info_.get()) / static_cast<long>(sizeof(PacketRecord));
        std::rewind(info_.get());
    }
    return !failed_;
}

bool ScratchReader::next(AVPacket* packet)
{
    if (failed_)
        return false;
    PacketRecord record;
    const std::size_t got = std::fread(&record, 1, sizeof record, info_.get());
    if (got == 0 && std::feof(info_.get()))
        return false;
    av_packet_unref(packet);
    if (got != sizeof record || record.size > kMaxPacketBytes
        || av_new_packet(packet, static_cast<int>(record.size)) < 0
        || std::fread(packet->data, 1, record.size, data_.get()) != record.size) {
        failed_ = true;
        return false;
    }
    packet->pts = record.pts;
    packet->dts = record.dts;
    packet->duration = record.duration;
    packet->flags = static_cast<int>(record.flags);
    --remaining_;
    return true;
}

void RemoveScratch(const ScratchFiles& files)
{
    std::remove(files.data.c_str());
    std::remove(files.info.c_str());
}

} // namespace ott
