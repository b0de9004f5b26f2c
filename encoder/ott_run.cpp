// The encode shared by both exports: read the block, pull and code the sound,
// then the video, into scratch files beside the output, then write the
// container. The sound comes first because its length is the movie's: it
// places the sampled frames in movie time. An abort or failure leaves no
// output file behind.
#include "ott_scratch.h"
#include "ott_stages.h"

#include <cstdio>
#include <new>

namespace ott {
namespace {

void Report(Library library, const std::string& what)
{
    std::fprintf(stderr, "%s: %s\n", library == Library::Avi ? kAviEncoderExport : kEncoderExport, what.c_str());
}

int Encode(const EncoderSettings& settings, Library library, VideoRequestFn videoRequest, AudioRequestFn audioRequest)
{
    EncodeJob job;
    std::string error;
    if (!ReadJob(settings, library, job, error)) {
        Report(library, error);
        return 0;
    }
    if ((job.video && !videoRequest) || (job.sound && !audioRequest)) {
        Report(library, "a callback is missing");
        return 0;
    }

    CodedStream video;
    CodedStream audio;
    StageResult videoResult = StageResult::Empty;
    StageResult audioResult = StageResult::Empty;
    if (job.sound)
        audioResult = EncodeAudio(job, audioRequest, audio, error);
    const bool haveAudio = audioResult == StageResult::Done;
    if (job.video && (haveAudio || audioResult == StageResult::Empty))
        videoResult = EncodeVideo(job, videoRequest, haveAudio ? &audio : nullptr, video, error);

    const bool aborted = videoResult == StageResult::Aborted || audioResult == StageResult::Aborted;
    const bool failed = videoResult == StageResult::Failed || audioResult == StageResult::Failed;
    const bool haveVideo = videoResult == StageResult::Done;
    bool written = false;
    if (failed) {
        Report(library, error);
    } else if (!aborted && !haveVideo && !haveAudio) {
        Report(library, "the callbacks delivered nothing");
    } else if (!aborted) {
        written = MuxStreams(job, haveVideo ? &video : nullptr, haveAudio ? &audio : nullptr, error);
        if (!written)
            Report(library, error);
    }
    RemoveScratch(job.videoScratch);
    RemoveScratch(job.audioScratch);
    return written ? 1 : 0;
}

} // namespace

int RunEncode(void* settings, Library library, VideoRequestFn video, AudioRequestFn audio)
{
    if (!settings)
        return 0;
    try {
        return Encode(*static_cast<const EncoderSettings*>(settings), library, video, audio);
    } catch (const std::bad_alloc&) {
        Report(library, "out of memory");
        return 0;
    }
}

} // namespace ott
