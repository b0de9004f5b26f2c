// ott-drive: runs an encoder library on its own with synthetic input (moving
// colour bars and a sine tone), without the editor.
//
//   ott-drive [--lib PATH] [--avi] [--mode 1|2] [--codec 0..8] [--frames N]
//             [--seconds S] [--tone HZ] [--size WxH] OUTPUT
//
// Prints the number of frames and chunks delivered and exits 0 when the
// library reported success.
#include "ott_abi.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <string>

namespace {

struct Input {
    int width = 176;
    int height = 144;
    int frames = 50;
    int chunkSamples = 160;
    long totalSamples = 80000;
    double toneHz = 1000.0;
    int videoCalls = 0;
    int audioCalls = 0;
};
Input g_input;

// Eight vertical bars that shift one bar per second of 5 frames.
int ProvideFrame(unsigned char* buffer, int index, int* timeMs)
{
    ++g_input.videoCalls;
    if (index >= g_input.frames)
        return 0;
    static const unsigned char kBars[8][3] = { { 235, 128, 128 }, { 210, 16, 146 }, { 170, 166, 16 }, { 145, 54, 34 },
        { 106, 202, 222 }, { 81, 90, 240 }, { 41, 240, 110 }, { 16, 128, 128 } };
    const int w = g_input.width;
    const int h = g_input.height;
    unsigned char* y = buffer;
    unsigned char* u = buffer + w * h;
    unsigned char* v = u + (w / 2) * (h / 2);
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            const auto& bar = kBars[(col * 8 / w + index / 5) % 8];
            y[row * w + col] = bar[0];
            if (row % 2 == 0 && col % 2 == 0) {
                u[(row / 2) * (w / 2) + col / 2] = bar[1];
                v[(row / 2) * (w / 2) + col / 2] = bar[2];
            }
        }
    }
    *timeMs = index * 200;
    return 1;
}

int ProvideChunk(short* buffer, int index, int* count, int* start)
{
    ++g_input.audioCalls;
    const long first = static_cast<long>(index) * g_input.chunkSamples;
    if (first >= g_input.totalSamples)
        return 0;
    const long n = std::min<long>(g_input.chunkSamples, g_input.totalSamples - first);
    for (long i = 0; i < n; ++i)
        buffer[i] = static_cast<short>(12000.0 * std::sin(2.0 * M_PI * g_input.toneHz * (first + i) / 8000.0));
    *count = static_cast<int>(n);
    *start = static_cast<int>(first);
    return 1;
}

int Usage()
{
    std::fprintf(stderr,
        "usage: ott-drive [--lib PATH] [--avi] [--mode 1|2] [--codec 0..8] [--frames N] [--seconds S]\n"
        "                 [--tone HZ] [--size WxH] OUTPUT\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string lib;
    std::string output;
    bool avi = false;
    int mode = 2;
    int codec = 5;
    double seconds = 10.0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--avi") {
            avi = true;
        } else if (arg == "--lib" && hasValue) {
            lib = argv[++i];
        } else if (arg == "--mode" && hasValue) {
            mode = std::atoi(argv[++i]);
        } else if (arg == "--codec" && hasValue) {
            codec = std::atoi(argv[++i]);
        } else if (arg == "--frames" && hasValue) {
            g_input.frames = std::atoi(argv[++i]);
        } else if (arg == "--seconds" && hasValue) {
            seconds = std::atof(argv[++i]);
        } else if (arg == "--tone" && hasValue) {
            g_input.toneHz = std::atof(argv[++i]);
        } else if (arg == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &g_input.width, &g_input.height) != 2)
                return Usage();
        } else if (!arg.empty() && arg[0] != '-' && output.empty()) {
            output = arg;
        } else {
            return Usage();
        }
    }
    if (output.empty() || output.size() >= ott::kPathBytes || codec < 0 || codec >= ott::kAudioCodecCount)
        return Usage();
    if (lib.empty())
        lib = avi ? ott::kAviEncoderLibrary : ott::kEncoderLibrary;

    void* handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "ott-drive: %s\n", dlerror());
        return 1;
    }
    // The library stays loaded until the process ends: unloading it here would
    // also unload FFmpeg, whose global caches leak checkers then report.

    g_input.chunkSamples = ott::kChunkSamples[codec];
    g_input.totalSamples = static_cast<long>(seconds * 8000.0);

    auto settings = std::make_unique<ott::EncoderSettings>();
    std::memset(settings.get(), 0, sizeof(ott::EncoderSettings));
    settings->frameRate = 5.0;
    std::memcpy(settings->outputPath, output.c_str(), output.size() + 1);
    settings->hasSound = 1;
    settings->hasVideo = 1;
    settings->frameCount = g_input.frames;
    settings->width = static_cast<std::uint16_t>(g_input.width);
    settings->height = static_cast<std::uint16_t>(g_input.height);
    settings->videoMode = mode;
    std::strcpy(settings->videoScratch, "video.tmp");
    std::strcpy(settings->videoInfoScratch, "video_info.tmp");
    std::strcpy(settings->audioScratch, "audio.tmp");
    std::strcpy(settings->audioInfoScratch, "audio_info.tmp");
    settings->audioValue1 = codec == 0 ? 8000 : 0;
    settings->audioValue2 = 8000;
    settings->channels = 1;
    settings->audioCodec = codec;

    int result = 0;
    if (avi) {
        auto encode = reinterpret_cast<ott::OTTAVIEncodeFn>(dlsym(handle, ott::kAviEncoderExport));
        if (!encode) {
            std::fprintf(stderr, "ott-drive: no %s in %s\n", ott::kAviEncoderExport, lib.c_str());
            return 1;
        }
        result = encode(settings.get(), 0, ProvideFrame, ProvideChunk);
    } else {
        auto encode = reinterpret_cast<ott::OTTEncFn>(dlsym(handle, ott::kEncoderExport));
        if (!encode) {
            std::fprintf(stderr, "ott-drive: no %s in %s\n", ott::kEncoderExport, lib.c_str());
            return 1;
        }
        result = encode(settings.get(), 0, ProvideFrame, ProvideChunk, nullptr, 0);
    }
    std::printf("result %d, video requests %d, sound requests %d\n", result, g_input.videoCalls, g_input.audioCalls);
    return result == 1 ? 0 : 1;
}
