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

// The noise kernels' random bytes: a small generator seeded once per frame
// from rand(), so a frame takes the C library's lock once instead of once per
// pixel. Each call owns its generator; nothing is shared between threads.
class NoiseBytes {
public:
    explicit NoiseBytes(std::uint32_t seed)
        : state_(0x9E3779B97F4A7C15ull ^ (std::uint64_t(seed) * 0xBF58476D1CE4E5B9ull))
    {
        if (state_ == 0)
            state_ = 0x6D2B79F5u;
    }
    // Uniform over 0..255: the bytes of a xorshift64* step, low byte first.
    std::uint32_t Next()
    {
        if (left_ == 0) {
            state_ ^= state_ >> 12;
            state_ ^= state_ << 25;
            state_ ^= state_ >> 27;
            bits_ = state_ * 0x2545F4914F6CDD1Dull;
            left_ = 8;
        }
        const auto b = static_cast<std::uint32_t>(bits_ & 0xFF);
        bits_ >>= 8;
        --left_;
        return b;
    }

private:
    std::uint64_t state_;
    std::uint64_t bits_ = 0;
    int left_ = 0;
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
void Rgb8Noise(const Frame& f, std::int32_t scale, std::int32_t colourMode, NoiseBytes& random);

} // namespace effect_internal
