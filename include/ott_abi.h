// The binary interface between the editor and the phone-format encoder
// libraries (libOTTEnc.so, libOTTAVIEncoder.so): the settings block, the pull
// callbacks and the exported functions. Plain C++ without Qt or FFmpeg, so the
// editor, the libraries and standalone drivers share one definition.
//
// The block is a fixed 16416-byte layout. Fields named "fixed..." carry the
// constant values the editor always writes; the libraries do not read them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ott {

// Pull callbacks; all use the platform's C calling convention.
// Video: fill the I420 frame of the given index, report its time in ms.
// Sound: fill 16-bit samples of the given chunk, report count and start sample.
// Results: 1 continue, 0 no more data, -1 abort.
extern "C" {
using VideoRequestFn = int (*)(unsigned char* buffer, int index, int* timeMs);
using AudioRequestFn = int (*)(short* buffer, int index, int* sampleCount, int* startSample);
using StatusFn = int (*)(int kind, int value);

// Exports of libOTTEnc.so ("OTTEnc") and libOTTAVIEncoder.so ("OTTAVIEncode").
// Both return 1 when the output file was written, 0 otherwise.
using OTTEncFn
    = int (*)(void* settings, int reserved, VideoRequestFn video, AudioRequestFn audio, StatusFn status, int reserved2);
using OTTAVIEncodeFn = int (*)(void* settings, int reserved, VideoRequestFn video, AudioRequestFn audio);
}

inline constexpr const char* kEncoderLibrary = "libOTTEnc.so";
inline constexpr const char* kEncoderExport = "OTTEnc";
inline constexpr const char* kAviEncoderLibrary = "libOTTAVIEncoder.so";
inline constexpr const char* kAviEncoderExport = "OTTAVIEncode";

// Status kinds sent to the save flow.
inline constexpr int kStatusFinished = 0;
inline constexpr int kStatusStart = 2;
inline constexpr int kStatusUnitDone = 4;

inline constexpr int kAudioCodecCount = 9; // codecs 0..8

// Samples per sound chunk of each audio codec (one channel).
inline constexpr int kChunkSamples[kAudioCodecCount] = { 1024, 160, 160, 240, 240, 160, 1024, 160, 1024 };

inline constexpr std::size_t kPathBytes = 520;
inline constexpr std::size_t kScratchNameBytes = 260;

struct EncoderSettings {
    std::uint16_t fixedVersion; // 3
    std::uint8_t pad2[2];
    std::int32_t fixedBitRate; // 128000
    double frameRate; // frames per second of the video
    std::uint8_t reserved16[260];
    char outputPath[kPathBytes]; // UTF-8, zero-terminated
    std::uint8_t fixedFlag796; // 0
    std::uint8_t fixedFlag797; // 1
    std::uint8_t reserved798[10];
    std::uint8_t hasSound;
    std::uint8_t hasVideo;
    std::uint8_t fixedMask[8]; // 0xFF each
    std::uint8_t reserved818[10];
    std::int32_t fixedValue828; // 2
    std::uint8_t reserved832[1040];
    std::int32_t fixedZero1872[3];
    std::uint8_t reserved1884[1044];
    double fixedRate2928; // 10.0
    double fixedRate2936; // 10.0
    std::int32_t fixedValue2944; // 110000
    std::int32_t fixedValue2948; // 110000
    std::uint8_t reserved2952[4];
    std::int32_t frameCount;
    std::int32_t fixedValue2960; // 500
    std::int32_t fixedValue2964; // 30
    std::uint16_t width;
    std::uint16_t height;
    std::uint16_t fixedValue2972; // 10
    std::uint16_t fixedValue2974; // 1024
    std::uint8_t fixedByte2976; // 3
    std::uint8_t fixedZero2977[3];
    std::uint8_t fixedByte2980; // 1
    std::uint8_t fixedZero2981[2];
    std::uint8_t pad2983;
    std::int32_t videoMode; // 2 MPEG-4 part 2, 1 H.263
    // Scratch files: a plain name lies beside the output, an absolute path
    // is used as it is.
    char videoScratch[kScratchNameBytes]; // "video.tmp"
    char videoInfoScratch[kScratchNameBytes]; // "video_info.tmp"
    std::uint8_t reserved3508[10140];
    std::int32_t audioValue1; // AAC: sample rate; AMR: nominal bit rate
    std::int32_t audioValue2; // sample rate of the coded sound
    std::uint16_t audioValue3; // samples per coded frame
    std::uint8_t channels;
    std::uint8_t pad13659;
    std::int32_t audioCodec;
    char audioScratch[kScratchNameBytes]; // "audio.tmp"
    char audioInfoScratch[kScratchNameBytes]; // "audio_info.tmp"
    std::int32_t fixedZero14184;
    std::uint8_t reserved14188[2228];
};

static_assert(sizeof(EncoderSettings) == 16416);
static_assert(offsetof(EncoderSettings, fixedBitRate) == 4);
static_assert(offsetof(EncoderSettings, frameRate) == 8);
static_assert(offsetof(EncoderSettings, outputPath) == 276);
static_assert(offsetof(EncoderSettings, fixedFlag796) == 796);
static_assert(offsetof(EncoderSettings, hasSound) == 808);
static_assert(offsetof(EncoderSettings, hasVideo) == 809);
static_assert(offsetof(EncoderSettings, fixedMask) == 810);
static_assert(offsetof(EncoderSettings, fixedValue828) == 828);
static_assert(offsetof(EncoderSettings, fixedZero1872) == 1872);
static_assert(offsetof(EncoderSettings, fixedRate2928) == 2928);
static_assert(offsetof(EncoderSettings, fixedRate2936) == 2936);
static_assert(offsetof(EncoderSettings, fixedValue2944) == 2944);
static_assert(offsetof(EncoderSettings, fixedValue2948) == 2948);
static_assert(offsetof(EncoderSettings, frameCount) == 2956);
static_assert(offsetof(EncoderSettings, fixedValue2960) == 2960);
static_assert(offsetof(EncoderSettings, fixedValue2964) == 2964);
static_assert(offsetof(EncoderSettings, width) == 2968);
static_assert(offsetof(EncoderSettings, height) == 2970);
static_assert(offsetof(EncoderSettings, fixedValue2972) == 2972);
static_assert(offsetof(EncoderSettings, fixedValue2974) == 2974);
static_assert(offsetof(EncoderSettings, fixedByte2976) == 2976);
static_assert(offsetof(EncoderSettings, fixedByte2980) == 2980);
static_assert(offsetof(EncoderSettings, videoMode) == 2984);
static_assert(offsetof(EncoderSettings, videoScratch) == 2988);
static_assert(offsetof(EncoderSettings, videoInfoScratch) == 3248);
static_assert(offsetof(EncoderSettings, audioValue1) == 13648);
static_assert(offsetof(EncoderSettings, audioValue2) == 13652);
static_assert(offsetof(EncoderSettings, audioValue3) == 13656);
static_assert(offsetof(EncoderSettings, channels) == 13658);
static_assert(offsetof(EncoderSettings, audioCodec) == 13660);
static_assert(offsetof(EncoderSettings, audioScratch) == 13664);
static_assert(offsetof(EncoderSettings, audioInfoScratch) == 13924);
static_assert(offsetof(EncoderSettings, fixedZero14184) == 14184);

} // namespace ott
