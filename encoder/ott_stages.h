// The two pull stages of an encode. Each asks its callback for units in index
// order until the callback answers 0 (no more) or -1 (abort), codes them and
// stores the packets in the stream's scratch files.
#pragma once

#include "ott_av.h"
#include "ott_job.h"

#include <cstdint>
#include <string>

namespace ott {

enum class StageResult {
    Done, // every unit coded; stream has packets
    Empty, // the callback had nothing to give
    Aborted, // the callback answered -1
    Failed, // coding or writing failed; see error
};

// What the muxer needs to know of a coded stream.
struct CodedStream {
    CodecParametersPtr parameters;
    AVRational timeBase { 1, 1 };
    AVRational frameRate { 0, 1 };
    // Where the stream ends in movie time (microseconds): the picture lasts
    // as long as the sound, the last frame standing until then.
    std::int64_t lengthUs = 0;
    // Sound only: the samples per channel the callback delivered.
    std::int64_t samples = 0;
};

// Asks for frames 0 .. frameCount (the last request only to let the caller
// finish; a frame given there is not coded), places each at the movie time it
// was sampled from (spread over the coded sound, when there is one) and codes
// the picture at the job's frame rate.
StageResult EncodeVideo(
    const EncodeJob& job, VideoRequestFn request, const CodedStream* sound, CodedStream& out, std::string& error);

// Asks for chunks 0, 1, ... until the callback ends the sound.
StageResult EncodeAudio(const EncodeJob& job, AudioRequestFn request, CodedStream& out, std::string& error);

// Writes the container from the scratch files of the coded streams (either
// may be null) under a temporary name beside the output, puts an ISO file's
// movie box before its media data, and renames the finished file to the
// output path. On failure the output path is left as it was.
bool MuxStreams(const EncodeJob& job, const CodedStream* video, const CodedStream* audio, std::string& error);

// The whole encode behind both exports: 1 written, 0 failed or aborted.
int RunEncode(void* settings, Library library, VideoRequestFn video, AudioRequestFn audio);

} // namespace ott
