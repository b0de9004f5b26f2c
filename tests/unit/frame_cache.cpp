// test-links: cw_engine cw_platform
// The frame cache with a small memory limit: frames past it go to a work
// file in the spill folder and come back byte for byte, in order and by
// number; the work file goes with FreeAll and with the cache; a frame that
// cannot be written is refused, never half kept.
#include "engine/frame_cache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <tuple>
#include <utility>

namespace {

constexpr std::size_t kFrameBytes = 1000;

// Frame n filled with a pattern of its own.
std::unique_ptr<std::uint8_t[]> Frame(int n)
{
    auto data = std::make_unique<std::uint8_t[]>(kFrameBytes);
    for (std::size_t i = 0; i < kFrameBytes; ++i)
        data[i] = std::uint8_t(n * 31 + int(i) * 7);
    return data;
}

bool Holds(const VideoBuf* f, int n)
{
    const auto expected = Frame(n);
    return f && f->frameNumber == n && f->size == kFrameBytes && f->data
        && std::equal(f->data.get(), f->data.get() + kFrameBytes, expected.get());
}

TEST(FrameCache, FramesPastTheLimitGoToTheWorkFileAndComeBack)
{
    QTemporaryDir folder;
    {
        FrameCache cache(3 * kFrameBytes);
        cache.SetSpillFolder(folder.path());
        for (int n = 0; n < 10; ++n)
            cache.Add(n, Frame(n), kFrameBytes);
        const QFileInfo file(cache.SpillFile());
        EXPECT_EQ(std::tuple(cache.WriteFailed(), cache.Count(), cache.MemoryBytes(), cache.SpilledCount(),
                      file.absolutePath(), file.suffix(), file.size()),
            std::tuple(false, 10u, 3 * kFrameBytes, 7u, QFileInfo(folder.path()).absoluteFilePath(), QString("yuv"),
                qint64(7 * kFrameBytes)));

        // In order, backwards, and by number, from memory and from the file.
        for (int n = 0; n < 10; ++n)
            EXPECT_TRUE(Holds(cache.At(std::size_t(n)), n)) << n;
        for (int n = 9; n >= 0; --n)
            EXPECT_TRUE(Holds(cache.Find(n), n)) << n;
        EXPECT_EQ(std::tuple(cache.At(10), cache.Find(10)), std::tuple(nullptr, nullptr));

        cache.FreeAll();
        EXPECT_TRUE(cache.IsEmpty());
        EXPECT_FALSE(QFile::exists(file.filePath()));
        // Filled again, it spills again; the cache takes its file with it.
        for (int n = 0; n < 5; ++n)
            cache.Add(n, Frame(n), kFrameBytes);
        EXPECT_EQ(cache.SpilledCount(), 2u);
        EXPECT_TRUE(Holds(cache.At(4), 4));
    }
    EXPECT_TRUE(QDir(folder.path()).isEmpty());
}

// Without a spill folder the limit does not apply: a small movie, or a
// caller that gives no folder, keeps everything in memory as before.
TEST(FrameCache, WithoutAFolderEverythingStaysInMemory)
{
    FrameCache cache(kFrameBytes);
    for (int n = 0; n < 4; ++n)
        cache.Add(n, Frame(n), kFrameBytes);
    EXPECT_EQ(std::tuple(cache.SpilledCount(), cache.MemoryBytes(), cache.SpillFile()),
        std::tuple(0u, 4 * kFrameBytes, QString()));
    EXPECT_TRUE(Holds(cache.At(3), 3));
}

TEST(FrameCache, AFrameThatCannotBeWrittenIsRefused)
{
    QTemporaryDir folder;
    FrameCache cache(kFrameBytes);
    cache.SetSpillFolder(folder.filePath("missing"));
    cache.Add(0, Frame(0), kFrameBytes);
    cache.Add(1, Frame(1), kFrameBytes);
    EXPECT_EQ(std::tuple(cache.WriteFailed(), cache.Count(), cache.At(1)), std::tuple(true, 1u, nullptr));
    EXPECT_TRUE(Holds(cache.At(0), 0));
    cache.FreeAll();
    EXPECT_FALSE(cache.WriteFailed());
}

} // namespace
