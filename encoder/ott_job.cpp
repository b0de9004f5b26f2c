#include "ott_job.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace ott {
namespace {

// Longest sound chunk a callback may deliver, per channel. Every codec's
// chunk (at most 1024) fits with room to spare.
constexpr int kMaxChunkSamples = 4096;

// opencore-amrnb modes (enum Mode of interf_enc.h).
constexpr int kAmrMode515 = 1;
constexpr int kAmrMode74 = 4;
constexpr int kAmrMode102 = 6;
constexpr int kAmrMode122 = 7;

std::string BoundedText(const char* text, std::size_t capacity)
{
    return std::string(text, strnlen(text, capacity));
}

std::string LowerExtension(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

// A scratch file from the block: an absolute path as it is (the caller's
// private folder), a plain file name beside the output, else the default
// name beside the output.
std::string ScratchPath(const char* field, const char* fallback, const std::string& outputFolder)
{
    std::string name = BoundedText(field, kScratchNameBytes);
    if (name.size() < kScratchNameBytes && name.size() > 1 && name[0] == '/' && name.back() != '/')
        return name;
    if (name.size() >= kScratchNameBytes || name.empty() || name.find('/') != std::string::npos || name == "."
        || name == "..")
        name = fallback;
    return outputFolder + name;
}

bool ReadVideo(const EncoderSettings& s, Library library, EncodeJob& job, std::string& error)
{
    job.width = s.width;
    job.height = s.height;
    job.frameCount = s.frameCount;
    if (job.width < 16 || job.height < 16 || job.width > 4096 || job.height > 4096 || job.width % 2 || job.height % 2) {
        error = "unsupported frame size " + std::to_string(job.width) + "x" + std::to_string(job.height);
        return false;
    }
    // No frames at all (a movie shorter than one sampling step) still makes
    // a file: one black picture as long as the sound.
    if (job.frameCount < 0) {
        error = "negative frame count";
        return false;
    }
    if (library == Library::Avi || s.videoMode == 2) {
        job.videoCodec = VideoCodec::Mpeg4;
    } else if (s.videoMode == 1) {
        job.videoCodec = VideoCodec::H263;
    } else {
        error = "unknown video mode " + std::to_string(s.videoMode);
        return false;
    }
    const double fps = s.frameRate;
    if (!std::isfinite(fps) || fps < 1.0 || fps > 60.0) {
        error = "unsupported frame rate";
        return false;
    }
    job.frameRate = av_d2q(fps, 1001);
    return true;
}

bool ReadSound(const EncoderSettings& s, Library library, EncodeJob& job, std::string& error)
{
    const int codec = s.audioCodec;
    if (codec < 0 || codec >= kAudioCodecCount) {
        error = "unknown audio codec " + std::to_string(codec);
        return false;
    }
    job.channels = s.channels;
    if (job.channels < 1 || job.channels > 2) {
        error = "unsupported channel count " + std::to_string(job.channels);
        return false;
    }
    const bool aacFamily = kChunkSamples[codec] == 1024;
    const int rateField = codec == 0 ? s.audioValue1 : s.audioValue2;
    job.sampleRate = rateField > 0 ? rateField : 8000;
    if (library == Library::Avi) {
        job.audioCodec = AudioCodec::Pcm;
    } else if (aacFamily) {
        job.audioCodec = AudioCodec::Aac;
    } else {
        job.audioCodec = AudioCodec::AmrNb;
        job.sampleRate = 8000; // AMR-NB codes 8 kHz speech only
        switch (codec) {
        case 1:
            job.amrMode = kAmrMode74;
            break;
        case 2:
            job.amrMode = kAmrMode102;
            break;
        case 3:
        case 4:
            job.amrMode = kAmrMode515;
            break;
        default:
            job.amrMode = kAmrMode122;
            break;
        }
    }
    if (job.sampleRate < 8000 || job.sampleRate > 48000) {
        error = "unsupported sample rate " + std::to_string(job.sampleRate);
        return false;
    }
    job.chunkCapacity = kMaxChunkSamples * job.channels;
    return true;
}

void ChooseContainer(Library library, EncodeJob& job)
{
    if (library == Library::Avi) {
        job.muxer = "avi";
        return;
    }
    const std::string ext = LowerExtension(job.outputPath);
    // H.263 and AMR-NB exist only in the 3GPP sample tables, so MP4-family
    // names carrying them are written by the 3GP muxer under their brand.
    // Every file lists its own brand, then what it also conforms to: 3GPP
    // release 4 and 5 (MPEG-4 part 2 or H.263 with AMR-NB or AAC) and the
    // ISO base format, which any ISO reader takes.
    if (ext == ".3g2") {
        job.muxer = "3g2";
        job.brand = "3g2a";
        job.compatibleBrands = { "3g2a", "3gp4", "isom" };
    } else if (ext == ".k3g") {
        job.muxer = "3gp";
        job.brand = "k3g1";
        job.compatibleBrands = { "k3g1", "3gp4", "isom" };
    } else if (ext == ".skm") {
        job.muxer = Mp4CanCarry(job) ? "mp4" : "3gp";
        job.brand = "skm2";
        if (Mp4CanCarry(job))
            job.compatibleBrands = { "skm2", "isom", "mp41" };
        else
            job.compatibleBrands = { "skm2", "3gp4", "isom" };
    } else if (ext == ".mp4") {
        job.muxer = Mp4CanCarry(job) ? "mp4" : "3gp";
        if (Mp4CanCarry(job)) {
            job.brand = "isom";
            job.compatibleBrands = { "isom", "iso2", "mp41" };
        } else {
            job.brand = "mp42";
            job.compatibleBrands = { "mp42", "3gp4", "isom" };
        }
    } else {
        job.muxer = "3gp";
        job.brand = "3gp4";
        job.compatibleBrands = { "3gp4", "3gp5", "isom" };
    }
}

} // namespace

bool Mp4CanCarry(const EncodeJob& job)
{
    return (!job.video || job.videoCodec == VideoCodec::Mpeg4) && (!job.sound || job.audioCodec == AudioCodec::Aac);
}

bool ReadJob(const EncoderSettings& s, Library library, EncodeJob& job, std::string& error)
{
    job = EncodeJob {};
    job.outputPath = BoundedText(s.outputPath, kPathBytes);
    if (job.outputPath.empty() || job.outputPath.size() >= kPathBytes) {
        error = "no output path";
        return false;
    }
    job.video = s.hasVideo != 0;
    job.sound = s.hasSound != 0;
    if (!job.video && !job.sound) {
        error = "neither video nor sound requested";
        return false;
    }
    if (job.video && !ReadVideo(s, library, job, error))
        return false;
    if (job.sound && !ReadSound(s, library, job, error))
        return false;
    ChooseContainer(library, job);

    const auto slash = job.outputPath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : job.outputPath.substr(0, slash == 0 ? 1 : slash);
    const std::string prefix = folder == "/" ? folder : folder + "/";
    job.videoScratch.data = ScratchPath(s.videoScratch, "video.tmp", prefix);
    job.videoScratch.info = ScratchPath(s.videoInfoScratch, "video_info.tmp", prefix);
    job.audioScratch.data = ScratchPath(s.audioScratch, "audio.tmp", prefix);
    job.audioScratch.info = ScratchPath(s.audioInfoScratch, "audio_info.tmp", prefix);
    return true;
}

} // namespace ott
