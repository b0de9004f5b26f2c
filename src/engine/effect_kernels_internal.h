// Shared by the mask-based kernels and the 24/32-bit code paths.
#pragma once

#include "engine/effect_kernels.h"

#include <cstdint>

namespace effect_internal {

struct Channel {
    std::uint32_t mask = 0;
    std::int32_t shift = 0;
    std::int32_t depth = 0;
    std::int64_t full = 0; // 2^depth
    std::int64_t max = 0; // full - 1
};

// A checked image: its geometry and the red, green and blue channels.
struct Frame {
    std::uint8_t* data = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0;
    std::int32_t bytesPerPixel = 0;
    Channel channel[3]; // red, green, blue
    // 3 or 4 bytes per pixel with the masks 0xFF0000 / 0x00FF00 / 0x0000FF.
    bool rgb8 = false;

    std::uint8_t* Row(std::int32_t y) const { return data + static_cast<std::ptrdiff_t>(y) * stride; }
};

// Fast paths for Frame::rgb8 frames; each gives the same bytes as the
// mask-based kernel of the same name.
void Rgb8Gray(const Frame& f);
void Rgb8Negative(const Frame& f);
void Rgb8Mirror(const Frame& f);
void Rgb8Tint(const Frame& f, const std::int32_t percent[3]);
void Rgb8Brightness(const Frame& f, std::int32_t delta);
void Rgb8Contrast(const Frame& f, std::int32_t k);
void Rgb8Equalize(const Frame& f);
void Rgb8Mosaic(const Frame& f, std::int32_t n);
void Rgb8Noise(const Frame& f, std::int32_t scale, std::int32_t colourMode);

} // namespace effect_internal
