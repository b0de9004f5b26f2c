#include "ott_layout.h"

#include "ott_scratch.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace ott {
namespace {

struct Box {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    char type[5] = {};
};

std::uint32_t Get32(const unsigned char* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::uint64_t Get64(const unsigned char* p)
{
    return std::uint64_t(Get32(p)) << 32 | Get32(p + 4);
}

void Put32(unsigned char* p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

void Put64(unsigned char* p, std::uint64_t v)
{
    Put32(p, static_cast<std::uint32_t>(v >> 32));
    Put32(p + 4, static_cast<std::uint32_t>(v));
}

bool ReadAt(std::FILE* f, std::uint64_t offset, void* buffer, std::size_t n)
{
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0 && std::fread(buffer, 1, n, f) == n;
}

// The top-level boxes of the file; false when they do not tile it exactly.
bool TopLevelBoxes(std::FILE* f, std::vector<Box>& boxes)
{
    if (fseeko(f, 0, SEEK_END) != 0)
        return false;
    const auto end = static_cast<std::uint64_t>(ftello(f));
    std::uint64_t at = 0;
    while (at < end) {
        unsigned char head[16];
        if (end - at < 8 || !ReadAt(f, at, head, 8))
            return false;
        Box box;
        box.offset = at;
        box.size = Get32(head);
        std::memcpy(box.type, head + 4, 4);
        if (box.size == 1) {
            if (end - at < 16 || !ReadAt(f, at + 8, head + 8, 8))
                return false;
            box.size = Get64(head + 8);
        } else if (box.size == 0) {
            box.size = end - at;
        }
        if (box.size < 8 || box.size > end - at)
            return false;
        boxes.push_back(box);
        at += box.size;
    }
    return true;
}

// Where a byte of the old file lies in the new one.
struct Move {
    std::uint64_t from = 0;
    std::uint64_t size = 0;
    std::uint64_t to = 0;
};

bool MoveOffset(const std::vector<Move>& moves, std::uint64_t& offset)
{
    for (const Move& m : moves) {
        if (offset >= m.from && offset < m.from + m.size) {
            offset = offset - m.from + m.to;
            return true;
        }
    }
    return false;
}

// Moves every chunk offset (stco, co64) inside the boxes of data[begin, end).
bool PatchOffsets(unsigned char* data, std::size_t begin, std::size_t end, const std::vector<Move>& moves)
{
    static const char* const kContainers[] = { "moov", "trak", "mdia", "minf", "stbl" };
    std::size_t at = begin;
    while (at + 8 <= end) {
        std::uint64_t size = Get32(data + at);
        std::size_t header = 8;
        if (size == 1) {
            if (at + 16 > end)
                return false;
            size = Get64(data + at + 8);
            header = 16;
        } else if (size == 0) {
            size = end - at;
        }
        if (size < header || size > end - at)
            return false;
        const char* type = reinterpret_cast<const char*>(data + at + 4);
        const std::size_t body = at + header;
        const std::size_t stop = at + static_cast<std::size_t>(size);
        bool container = false;
        for (const char* c : kContainers)
            container = container || std::memcmp(type, c, 4) == 0;
        if (container && !PatchOffsets(data, body, stop, moves))
            return false;
        const bool stco = std::memcmp(type, "stco", 4) == 0;
        const bool co64 = std::memcmp(type, "co64", 4) == 0;
        if (stco || co64) {
            if (body + 8 > stop)
                return false;
            const std::uint64_t count = Get32(data + body + 4);
            const std::size_t width = stco ? 4 : 8;
            if (count > (stop - body - 8) / width)
                return false;
            for (std::uint64_t i = 0; i < count; ++i) {
                unsigned char* p = data + body + 8 + i * width;
                std::uint64_t offset = stco ? Get32(p) : Get64(p);
                if (!MoveOffset(moves, offset))
                    return false;
                if (stco) {
                    if (offset > UINT32_MAX)
                        return false;
                    Put32(p, static_cast<std::uint32_t>(offset));
                } else {
                    Put64(p, offset);
                }
            }
        }
        at = stop;
    }
    return true;
}

bool CopyRange(std::FILE* in, std::uint64_t offset, std::uint64_t size, std::FILE* out)
{
    if (fseeko(in, static_cast<off_t>(offset), SEEK_SET) != 0)
        return false;
    std::vector<unsigned char> buffer(1 << 16);
    while (size > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size()));
        if (std::fread(buffer.data(), 1, n, in) != n || std::fwrite(buffer.data(), 1, n, out) != n)
            return false;
        size -= n;
    }
    return true;
}

bool Fail(std::string& error, const char* why)
{
    error = why;
    return false;
}

} // namespace

bool WriteMovieFirst(const std::string& from, const std::string& to, const FileBrands& brands, std::string& error)
{
    FilePtr in(std::fopen(from.c_str(), "rb"));
    if (!in)
        return Fail(error, "cannot read the written file back");
    std::vector<Box> boxes;
    if (!TopLevelBoxes(in.get(), boxes))
        return Fail(error, "the written file is damaged");

    const Box* ftyp = nullptr;
    const Box* moov = nullptr;
    std::vector<const Box*> rest; // media data and anything else, in order
    for (const Box& b : boxes) {
        if (std::memcmp(b.type, "ftyp", 4) == 0 && !ftyp)
            ftyp = &b;
        else if (std::memcmp(b.type, "moov", 4) == 0 && !moov)
            moov = &b;
        else if (std::memcmp(b.type, "free", 4) != 0 && std::memcmp(b.type, "skip", 4) != 0)
            rest.push_back(&b);
    }
    if (!ftyp || !moov || ftyp->size < 16 || moov->size > (64u << 20))
        return Fail(error, "the written file has no file type or movie box");

    // The new file type box: the brands asked for, the muxer's minor version.
    unsigned char oldHead[16];
    if (!ReadAt(in.get(), ftyp->offset, oldHead, sizeof oldHead))
        return Fail(error, "cannot read the written file back");
    const std::uint32_t minor = Get32(oldHead + 12);
    const std::string major
        = brands.major.size() == 4 ? brands.major : std::string(reinterpret_cast<char*>(oldHead + 8), 4);
    std::vector<unsigned char> newFtyp(16);
    std::memcpy(newFtyp.data() + 4, "ftyp", 4);
    std::memcpy(newFtyp.data() + 8, major.data(), 4);
    Put32(newFtyp.data() + 12, minor);
    for (const std::string& brand : brands.compatible) {
        if (brand.size() == 4)
            newFtyp.insert(newFtyp.end(), brand.begin(), brand.end());
    }
    Put32(newFtyp.data(), static_cast<std::uint32_t>(newFtyp.size()));

    std::vector<unsigned char> movie(static_cast<std::size_t>(moov->size));
    if (!ReadAt(in.get(), moov->offset, movie.data(), movie.size()))
        return Fail(error, "cannot read the written file back");
    std::vector<Move> moves;
    std::uint64_t at = newFtyp.size() + movie.size();
    for (const Box* b : rest) {
        moves.push_back(Move { b->offset, b->size, at });
        at += b->size;
    }
    if (!PatchOffsets(movie.data(), 0, movie.size(), moves))
        return Fail(error, "the movie box points outside the media data");

    FilePtr out(std::fopen(to.c_str(), "wb"));
    if (!out)
        return Fail(error, "cannot create the finished file");
    bool ok = std::fwrite(newFtyp.data(), 1, newFtyp.size(), out.get()) == newFtyp.size()
        && std::fwrite(movie.data(), 1, movie.size(), out.get()) == movie.size();
    for (const Box* b : rest)
        ok = ok && CopyRange(in.get(), b->offset, b->size, out.get());
    ok = ok && std::fflush(out.get()) == 0 && fsync(fileno(out.get())) == 0;
    std::FILE* f = out.release();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::remove(to.c_str());
        return Fail(error, "writing the finished file failed or the disk is full");
    }
    return true;
}

} // namespace ott
