// Feeds arbitrary bytes to the search for a WAV file's sample data, and reads
// the samples as the save does: the data found must lie inside the image, and
// every byte the save would copy must be there.
#include "export/save_pipeline.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    // A buffer of exactly the input's size, so a read past it is seen.
    const auto image = std::make_unique<std::uint8_t[]>(size);
    if (size > 0)
        std::memcpy(image.get(), data, size);
    auto length = static_cast<std::uint32_t>(size);
    const std::uint8_t* found = FindWavData(image.get(), &length);
    if (found < image.get() || found > image.get() + size)
        __builtin_trap();
    if (found == image.get() ? length != 0 : found < image.get() + 8 || std::memcmp(found - 8, "data", 4) != 0)
        __builtin_trap(); // a length without a tag, or data not after one
    const auto available = static_cast<std::uint32_t>(image.get() + size - found);
    const std::uint32_t copied = std::min(length, available) & ~1u;
    // Read as the save copies it.
    const auto pcm = std::make_unique<std::uint8_t[]>(copied);
    if (copied > 0)
        std::memcpy(pcm.get(), found, copied);
    return 0;
}
