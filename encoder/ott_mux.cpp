// Mux stage: reads the coded streams back from their scratch files and
// interleaves them by time into the container, written under a temporary
// name and renamed to the output path only when it is complete.
#include "ott_layout.h"
#include "ott_scratch.h"
#include "ott_stages.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace ott {
namespace {

// One input of the merge: a stream's reader with its next packet.
struct Lane {
    const CodedStream* coded = nullptr;
    AVStream* stream = nullptr;
    const ScratchFiles* files = nullptr;
    ScratchReader reader;
    PacketPtr packet { av_packet_alloc() };
    bool pending = false;

    bool advance()
    {
        pending = reader.next(packet.get());
        return pending || !reader.failed();
    }
    bool last() const { return pending && reader.remaining() == 0; }
    std::int64_t time() const { return packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts; }
};

bool AddStream(AVFormatContext* oc, Lane& lane)
{
    lane.stream = avformat_new_stream(oc, nullptr);
    if (!lane.stream || avcodec_parameters_copy(lane.stream->codecpar, lane.coded->parameters.get()) < 0)
        return false;
    lane.stream->codecpar->codec_tag = 0;
    lane.stream->time_base = lane.coded->timeBase;
    if (lane.coded->frameRate.num > 0) {
        lane.stream->avg_frame_rate = lane.coded->frameRate;
        lane.stream->r_frame_rate = lane.coded->frameRate;
    }
    return true;
}

bool WriteAll(AVFormatContext* oc, Lane* lanes[], int laneCount)
{
    for (int i = 0; i < laneCount; ++i) {
        if (!lanes[i]->reader.open(*lanes[i]->files) || !lanes[i]->advance())
            return false;
    }
    for (;;) {
        Lane* next = nullptr;
        for (int i = 0; i < laneCount; ++i) {
            Lane* lane = lanes[i];
            if (lane->pending
                && (!next
                    || av_compare_ts(lane->time(), lane->coded->timeBase, next->time(), next->coded->timeBase) < 0))
                next = lane;
        }
        if (!next)
            return true;
        AVPacket* packet = next->packet.get();
        packet->stream_index = next->stream->index;
        av_packet_rescale_ts(packet, next->coded->timeBase, next->stream->time_base);
        if (next->last() && next->coded->lengthUs > 0 && packet->pts != AV_NOPTS_VALUE) {
            // The last picture stands until the movie ends.
            const std::int64_t end
                = av_rescale_q(next->coded->lengthUs, AVRational { 1, 1000000 }, next->stream->time_base);
            packet->duration = std::max<std::int64_t>(end - packet->pts, 1);
        }
        if (av_interleaved_write_frame(oc, packet) < 0 || !next->advance())
            return false;
    }
}

// Creates an empty file beside path under a name no other file has, so no
// one else's file is ever written over.
bool CreateSibling(const std::string& path, const char* tag, std::string& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = path + "." + tag + std::to_string(getpid()) + "-" + std::to_string(attempt);
        if (const Fd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666)); fd)
            return true;
        if (errno != EEXIST)
            break;
    }
    name.clear();
    return false;
}

bool WriteContainer(const EncodeJob& job, const std::string& path, const CodedStream* video, const CodedStream* audio,
    std::string& error)
{
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, job.muxer.c_str(), nullptr) < 0 || !raw) {
        error = "container not available";
        return false;
    }
    OutputContextPtr oc(raw);

    Lane videoLane;
    Lane audioLane;
    Lane* lanes[2];
    int laneCount = 0;
    if (video) {
        videoLane.coded = video;
        videoLane.files = &job.videoScratch;
        lanes[laneCount++] = &videoLane;
    }
    if (audio) {
        audioLane.coded = audio;
        audioLane.files = &job.audioScratch;
        lanes[laneCount++] = &audioLane;
    }
    for (int i = 0; i < laneCount; ++i) {
        if (!lanes[i]->packet || !AddStream(oc.get(), *lanes[i])) {
            error = "out of memory";
            return false;
        }
    }

    // "file:" keeps a name with a colon from being taken for a protocol.
    const std::string url = "file:" + path;
    if (avio_open(&oc->pb, url.c_str(), AVIO_FLAG_WRITE) < 0) {
        error = "cannot create " + job.outputPath;
        return false;
    }
    bool ok = avformat_write_header(oc.get(), nullptr) >= 0;
    if (!ok)
        error = "the container does not take these streams";
    if (ok && !WriteAll(oc.get(), lanes, laneCount)) {
        error = "muxing failed or the disk is full";
        ok = false;
    }
    if (ok && av_write_trailer(oc.get()) < 0) {
        error = "cannot finish the file";
        ok = false;
    }
    if (ok && oc->pb->error < 0) {
        error = "writing the file failed";
        ok = false;
    }
    oc.reset();
    return ok;
}

} // namespace

bool MuxStreams(const EncodeJob& job, const CodedStream* video, const CodedStream* audio, std::string& error)
{
    std::string written;
    if (!CreateSibling(job.outputPath, "part", written)) {
        error = "cannot create " + job.outputPath;
        return false;
    }
    bool ok = WriteContainer(job, written, video, audio, error);
    std::string finished = written;
    if (ok && job.muxer != "avi") {
        // A second pass puts the movie box first, with the container's brands.
        ok = CreateSibling(job.outputPath, "fast", finished)
            && WriteMovieFirst(written, finished, FileBrands { job.brand, job.compatibleBrands }, error);
        if (!ok && error.empty())
            error = "cannot create " + job.outputPath;
        std::remove(written.c_str());
    }
    if (ok && std::rename(finished.c_str(), job.outputPath.c_str()) != 0) {
        error = "cannot rename the finished file to " + job.outputPath;
        ok = false;
    }
    if (!ok && !finished.empty())
        std::remove(finished.c_str());
    return ok;
}

} // namespace ott
