// Mux stage: reads the coded streams back from their scratch files and
// interleaves them by time into the container at the output path.
#include "ott_scratch.h"
#include "ott_stages.h"

#include <cstdio>

extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
}

namespace ott {
namespace {

struct FormatContextFree {
    void operator()(AVFormatContext* oc) const
    {
        if (oc->pb)
            avio_closep(&oc->pb);
        avformat_free_context(oc);
    }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextFree>;

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
        if (av_interleaved_write_frame(oc, packet) < 0 || !next->advance())
            return false;
    }
}

} // namespace

bool MuxStreams(const EncodeJob& job, const CodedStream* video, const CodedStream* audio, std::string& error)
{
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, job.muxer.c_str(), job.outputPath.c_str()) < 0 || !raw) {
        error = "container not available";
        return false;
    }
    FormatContextPtr oc(raw);
    if (!job.brand.empty())
        av_opt_set(oc->priv_data, "brand", job.brand.c_str(), 0);

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
    const std::string url = "file:" + job.outputPath;
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
    if (!ok)
        std::remove(job.outputPath.c_str());
    return ok;
}

} // namespace ott
