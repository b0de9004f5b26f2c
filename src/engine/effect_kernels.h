// Colour-effect kernels: integer-only functions that change one uncompressed
// frame in place, and the table that maps an effect number to a kernel with
// its fixed arguments.
//
// A frame is described by an EffectImage: rows of width pixels of 2, 3 or 4
// bytes, each row padded to the row alignment, the first row in memory first.
// Pixels are read as little-endian values and split into channels by the
// red, green and blue masks; a pixel is written back composed from the three
// channels only, so the fourth byte of a 32-bit pixel becomes 0 (the two
// flips move bytes unchanged). Row padding is never touched.
//
// Every kernel returns 0 on success or a negative code, and leaves the image
// unchanged when it refuses its arguments:
//   -1 width/height below 1, or a level/amount out of range (brightness, noise)
//   -2 null image or null data
//   -3 a colour mask that is 0 or all ones; tint colour or contrast level out of range
//   -4 mosaic block size out of range
//   -5 no memory for the equalisation histograms
//   -6 bytes per pixel the kernel does not process
//
// 24- and 32-bit frames with the masks 0xFF0000 / 0x00FF00 / 0x0000FF take
// dedicated code paths that give byte-identical results to the mask-based
// path; SetEffectFastPaths(false) turns them off so the two can be compared.
#pragma once

#include <atomic>
#include <cstdint>

struct EffectImage {
    std::uint8_t* data = nullptr; // first byte of the first row in memory; not owned
    std::int32_t width = 0;
    std::int32_t height = 0;
    // Bytes from one row to the next; 0 is the automatic stride,
    // width × bytesPerPixel + rowPadding, the only one in use.
    std::int32_t stride = 0;
    std::int32_t rowPadding = 0;
    std::int32_t bytesPerPixel = 0;
    std::uint32_t redMask = 0;
    std::uint32_t greenMask = 0;
    std::uint32_t blueMask = 0;
    std::uint32_t alphaMask = 0;
};

// Masks of the supported pixel layouts.
inline constexpr std::uint32_t kRgb24RedMask = 0xFF0000;
inline constexpr std::uint32_t kRgb24GreenMask = 0x00FF00;
inline constexpr std::uint32_t kRgb24BlueMask = 0x0000FF;
inline constexpr std::uint32_t kRgb565RedMask = 0xF800;
inline constexpr std::uint32_t kRgb565GreenMask = 0x07E0;
inline constexpr std::uint32_t kRgb565BlueMask = 0x001F;
inline constexpr std::uint32_t kRgb555RedMask = 0x7C00;
inline constexpr std::uint32_t kRgb555GreenMask = 0x03E0;
inline constexpr std::uint32_t kRgb555BlueMask = 0x001F;

// Stores data, width and height; automatic stride, no padding, no alpha.
// -2: null image or data, or width or height 0; -1: width or height negative.
std::int32_t InitEffectImage(EffectImage* image, std::uint8_t* data, std::int32_t width, std::int32_t height);

// -6: bytes per pixel not 1..4; -4: a colour mask 0 or all ones, or the alpha
// mask all ones; -7: alignment not 1, 2 or 4. Computes the row padding.
std::int32_t SetEffectPixelFormat(EffectImage* image, std::int32_t bytesPerPixel, std::uint32_t redMask,
    std::uint32_t greenMask, std::uint32_t blueMask, std::uint32_t alphaMask, std::int32_t rowAlignment);

// shift: trailing zero bits of the mask; depth: the one bits that follow.
// -3 for a mask of 0 or all ones.
std::int32_t GetMaskShift(std::uint32_t mask, std::int32_t* shift, std::int32_t* depth);

// Bytes from one row to the next.
std::int32_t EffectImageStride(const EffectImage& image);

// Converts 0..255 values to the image's channel depths (value ÷ 2^(8 − depth)).
// -1: a value outside 0..255; -3: a bad mask.
std::int32_t ScaleColourToDepth(const EffectImage* image, std::int32_t* r, std::int32_t* g, std::int32_t* b);

std::int32_t ApplyGray(EffectImage* image);
std::int32_t MirrorHorizontal(EffectImage* image);
std::int32_t FlipVertical(EffectImage* image);
std::int32_t ApplyNegative(EffectImage* image);
// r, g, b: 0..255 (-3 otherwise).
std::int32_t ApplyTint(EffectImage* image, std::int32_t r, std::int32_t g, std::int32_t b);
// level: -100..100 (-1 otherwise).
std::int32_t ApplyBrightness(EffectImage* image, std::int32_t level);
// level: -100..100 (-3 otherwise).
std::int32_t ApplyContrast(EffectImage* image, std::int32_t level);
std::int32_t EqualizeHistogram(EffectImage* image);
// blockSize: 2..11 (-4 otherwise).
std::int32_t ApplyMosaic(EffectImage* image, std::int32_t blockSize);
// amount: 0..255 (-1 otherwise). colourMode 0 adds the same value to the
// three channels; any other mode draws one value per channel. One rand() per
// call seeds the pixels' random bytes (uniform over 0..255).
std::int32_t ApplyNoise(EffectImage* image, std::int32_t amount, std::int32_t colourMode);

// Effect numbers of the effect list, in list order.
enum EffectId : std::int32_t {
    kEffectNone = 0,
    kEffectGray,
    kEffectHorizontal,
    kEffectVertical,
    kEffectNegative,
    kEffectSepia,
    kEffectContrast,
    kEffectBrightness,
    kEffectEqualizeHistogram,
    kEffectMosaic,
    kEffectNoise,
    kEffectGreen,
    kEffectAqua,
    kEffectOrange,
    kEffectGold,
    kEffectBlue,
    kEffectViolet,
    kEffectPink,
    kEffectStrawberry,
};
inline constexpr std::int32_t kEffectCount = 19;

// The effect list's entry texts, indexed by effect number.
inline constexpr const char* kEffectEntryTexts[kEffectCount] = {
    "None",
    "Gray",
    "Horizontal",
    "Vertical",
    "Negative",
    "Sepia",
    "Contrast",
    "Brightness",
    "EqualizeHistogram",
    "Mosaic",
    "Noise",
    "Green",
    "Aqua",
    "Orange",
    "Gold",
    "Blue",
    "Violet",
    "Pink",
    "Strawberry",
};

// Runs the kernel of effectId with its fixed arguments and returns its code;
// 0 and numbers outside 1..18 do nothing and return 0.
std::int32_t ApplyEffect(EffectImage* image, std::int32_t effectId);

// On by default; off, every frame goes through the mask-based path.
void SetEffectFastPaths(bool enabled);

// The one colour effect of the movie: written by the user interface, read by
// the streaming threads for every frame (relaxed: a change shows from the
// next frame on).
extern std::atomic<std::int32_t> CurrentEffectId;

// Stores a list index as the current effect; indexes outside 1..18 store 0.
void SetCurrentEffectFromList(std::int32_t listIndex);
