// One encode as the libraries see it: the settings block read into typed
// choices (container, codecs, sizes, scratch files), validated once before any
// callback runs.
#pragma once

#include "ott_abi.h"

#include <string>
#include <vector>

extern "C" {
#include <libavutil/rational.h>
}

namespace ott {

enum class Library { Phone, Avi };
enum class VideoCodec { Mpeg4, H263 };
enum class AudioCodec { Aac, AmrNb, Pcm };

struct ScratchFiles {
    std::string data; // packet bytes, one after the other
    std::string info; // one fixed-size record per packet
};

struct EncodeJob {
    std::string outputPath;
    std::string muxer; // libavformat muxer name
    // Brands of ISO files: the major one (empty = the muxer's own) and the
    // compatible ones the file type box lists.
    std::string brand;
    std::vector<std::string> compatibleBrands;

    bool video = false;
    VideoCodec videoCodec = VideoCodec::Mpeg4;
    int width = 0;
    int height = 0;
    int frameCount = 0; // sampled frames the callback holds; 0 = sound only

    AVRational frameRate { 5, 1 };

    bool sound = false;
    AudioCodec audioCodec = AudioCodec::Aac;
    int amrMode = 0; // opencore-amrnb mode for AudioCodec::AmrNb
    int sampleRate = 8000;
    int channels = 1;
    int chunkCapacity = 0; // 16-bit samples the sound buffer holds

    ScratchFiles videoScratch;
    ScratchFiles audioScratch;
};

// Reads and checks the block. On failure returns false with a reason in error.
bool ReadJob(const EncoderSettings& settings, Library library, EncodeJob& job, std::string& error);

// True when the MP4 muxer can carry the job's codecs (MPEG-4 video, AAC).
bool Mp4CanCarry(const EncodeJob& job);

} // namespace ott
