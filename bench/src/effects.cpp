// Colour-effect kernels against the nearest libavfilter filter on the same
// 24-bit frames (blue byte first), one core. Prints Mpixel/s per kernel, the
// time ratio ours / libavfilter, and a last line "RATIO <worst ratio>".
//
// Our kernels work in place; the libavfilter filters read the frame and
// write a new one. Filters that only take planar YUV (hue, eq, noise,
// pixelize) get libavfilter's own conversions from and back to BGR24, which
// is what using them on these frames costs. libavfilter's vflip only turns
// the frame's line stride around; the row-reversed bytes our flip produces
// need a copy of that frame, so the comparison for "Vertical" is vflip plus
// that copy (the bare vflip is printed beside it).
#include "engine/effect_kernels.h"
#include "platform/c_handles.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

struct Size {
    int width, height;
};
const Size kSizes[] = { { 320, 240 }, { 1280, 720 } };

struct KernelCase {
    const char* name;
    int effect;
    const char* peer; // libavfilter graph description
    bool singlePass;
};

// Tint: each channel is the channel-average gray times the tint percentage
// (Sepia: 90 %, 70 %, 37 %), as a channel mixer matrix.
const KernelCase kKernels[] = {
    { "Gray", kEffectGray, "hue=s=0", true },
    { "Horizontal", kEffectHorizontal, "hflip", true },
    { "Vertical", kEffectVertical, "vflip", true },
    { "Negative", kEffectNegative, "negate", true },
    { "Tint(Sepia)", kEffectSepia,
        "colorchannelmixer=rr=0.3:rg=0.3:rb=0.3:gr=0.2333:gg=0.2333:gb=0.2333:br=0.1233:bg=0.1233:bb=0.1233", true },
    { "Contrast", kEffectContrast, "eq=contrast=1.2", true },
    { "Brightness", kEffectBrightness, "eq=brightness=0.1", true },
    { "EqualizeHistogram", kEffectEqualizeHistogram, "histeq", false },
    { "Mosaic", kEffectMosaic, "pixelize=width=5:height=5", true },
    { "Noise", kEffectNoise, "noise=alls=30:allf=u", true },
};

std::string SizeName(Size s)
{
    return std::to_string(s.width) + "x" + std::to_string(s.height);
}

std::vector<std::uint8_t> RandomFrame(Size s)
{
    const int stride = (s.width * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stride) * s.height);
    std::mt19937 rng(1);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

void BM_Ours(benchmark::State& state, const KernelCase* k, Size s, bool fastPaths)
{
    auto bytes = RandomFrame(s);
    EffectImage img;
    InitEffectImage(&img, bytes.data(), s.width, s.height);
    SetEffectPixelFormat(&img, 3, kRgb24RedMask, kRgb24GreenMask, kRgb24BlueMask, 0, 4);
    SetEffectFastPaths(fastPaths);
    for (auto _ : state) {
        ApplyEffect(&img, k->effect);
        benchmark::DoNotOptimize(bytes.data());
        benchmark::ClobberMemory();
    }
    SetEffectFastPaths(true);
}

void BM_Memcpy(benchmark::State& state, Size s)
{
    const auto src = RandomFrame(s);
    std::vector<std::uint8_t> dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}

// buffer → filters → format=bgr24 → buffersink, single-threaded.
struct PeerGraph {
    AVFilterGraph* graph = nullptr;
    AVFilterContext* src = nullptr;
    AVFilterContext* sink = nullptr;

    bool Build(const std::string& filters, Size s)
    {
        graph = avfilter_graph_alloc();
        graph->nb_threads = 1;
        char args[160];
        std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/25:pixel_aspect=1/1", s.width,
            s.height, AV_PIX_FMT_BGR24);
        if (avfilter_graph_create_filter(&src, avfilter_get_by_name("buffer"), "in", args, nullptr, graph) < 0)
            return false;
        if (avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph) < 0)
            return false;
        AVFilterInOut* outputs = avfilter_inout_alloc();
        AVFilterInOut* inputs = avfilter_inout_alloc();
        outputs->name = av_strdup("in");
        outputs->filter_ctx = src;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = sink;
        const std::string chain = filters + ",format=bgr24";
        const int rc = avfilter_graph_parse_ptr(graph, chain.c_str(), &inputs, &outputs, nullptr);
        avfilter_inout_free(&inputs);
        avfilter_inout_free(&outputs);
        return rc >= 0 && avfilter_graph_config(graph, nullptr) >= 0;
    }
    ~PeerGraph() { avfilter_graph_free(&graph); }
};

void BM_Peer(benchmark::State& state, const KernelCase* k, Size s, bool copyOut)
{
    PeerGraph peer;
    if (!peer.Build(k->peer, s)) {
        state.SkipWithError("filter graph not available");
        return;
    }
    const FfPtr<AVFrame> in(av_frame_alloc());
    in->format = AV_PIX_FMT_BGR24;
    in->width = s.width;
    in->height = s.height;
    av_frame_get_buffer(in.get(), 32);
    const auto bytes = RandomFrame(s);
    const int stride = (s.width * 3 + 3) / 4 * 4;
    for (int y = 0; y < s.height; ++y)
        std::memcpy(in->data[0] + y * in->linesize[0], bytes.data() + y * stride, s.width * 3);
    std::vector<std::uint8_t> plain(bytes.size());
    const FfPtr<AVFrame> out(av_frame_alloc());
    std::int64_t pts = 0;
    for (auto _ : state) {
        in->pts = pts++;
        if (av_buffersrc_add_frame_flags(peer.src, in.get(), AV_BUFFERSRC_FLAG_KEEP_REF) < 0
            || av_buffersink_get_frame(peer.sink, out.get()) < 0) {
            state.SkipWithError("filtering failed");
            break;
        }
        if (copyOut) {
            std::uint8_t* dst[4] = { plain.data() };
            int dstStride[4] = { stride };
            av_image_copy(dst, dstStride, const_cast<const std::uint8_t**>(out->data), out->linesize, AV_PIX_FMT_BGR24,
                s.width, s.height);
        }
        benchmark::DoNotOptimize(out->data[0]);
        av_frame_unref(out.get());
    }
}

// Keeps the console output and remembers CPU seconds per iteration by name
// (CPU time: the machine may be shared, wall time then counts the others).
class Collector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (!r.error_occurred && r.run_type == Run::RT_Iteration && r.iterations > 0)
                seconds[r.benchmark_name()] = r.cpu_accumulated_time / static_cast<double>(r.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    for (Size s : kSizes) {
        const std::string size = SizeName(s);
        benchmark::RegisterBenchmark(("memcpy/" + size).c_str(), BM_Memcpy, s);
        for (const KernelCase& k : kKernels) {
            benchmark::RegisterBenchmark(("ours/" + std::string(k.name) + "/" + size).c_str(), BM_Ours, &k, s, true);
            benchmark::RegisterBenchmark(("masks/" + std::string(k.name) + "/" + size).c_str(), BM_Ours, &k, s, false);
            const bool copyOut = k.effect == kEffectVertical;
            benchmark::RegisterBenchmark(("peer/" + std::string(k.name) + "/" + size).c_str(), BM_Peer, &k, s, copyOut);
            if (copyOut)
                benchmark::RegisterBenchmark(
                    ("peer-view/" + std::string(k.name) + "/" + size).c_str(), BM_Peer, &k, s, false);
        }
    }
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();

    auto mpix = [](Size s, double sec) { return sec > 0 ? s.width * double(s.height) / sec / 1e6 : 0.0; };
    auto get = [&](const std::string& name) {
        auto it = collector.seconds.find(name);
        return it == collector.seconds.end() ? 0.0 : it->second;
    };
    std::printf("\n%-18s %-9s %10s %10s %10s %10s  %-s\n", "kernel", "size", "ours", "masks", "peer", "ours/peer",
        "peer filter (Mpixel/s; ratio = time ours / time peer)");
    double worst = 0;
    std::string worstName;
    bool targetsMet = true;
    for (Size s : kSizes) {
        const std::string size = SizeName(s);
        if (get("memcpy/" + size) > 0)
            std::printf("%-18s %-9s %10.0f\n", "memcpy", size.c_str(), mpix(s, get("memcpy/" + size)));
        for (const KernelCase& k : kKernels) {
            const std::string tail = std::string(k.name) + "/" + size;
            const double ours = get("ours/" + tail), masks = get("masks/" + tail), peer = get("peer/" + tail);
            if (ours == 0 && peer == 0)
                continue; // filtered out
            const double ratio = peer > 0 ? ours / peer : 0;
            const bool slow = k.singlePass && mpix(s, ours) < 400;
            targetsMet = targetsMet && !slow && ratio < 1;
            std::printf("%-18s %-9s %10.0f %10.0f %10.0f %10.3f  %s%s%s\n", k.name, size.c_str(), mpix(s, ours),
                mpix(s, masks), mpix(s, peer), ratio, k.peer,
                k.effect == kEffectVertical ? " + copy of the flipped view" : "", slow ? "  [below 400 Mpixel/s]" : "");
            if (k.effect == kEffectVertical)
                std::printf("%-18s %-9s %10s %10s %10.0f %10s  vflip alone (stride turned, no bytes moved)\n", "",
                    size.c_str(), "", "", mpix(s, get("peer-view/" + tail)), "");
            if (ratio > worst) {
                worst = ratio;
                worstName = tail;
            }
        }
    }
    std::printf("worst: %s; targets (single-pass >= 400 Mpixel/s, faster than peer): %s\n", worstName.c_str(),
        targetsMet ? "met" : "not all met");
    std::printf("RATIO %.3f\n", worst);
    return 0;
}
