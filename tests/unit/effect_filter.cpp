// test-links: cw_engine cw_media cw_platform
#include "engine/effect_filter.h"
#include "engine/effect_kernels.h"
#include "platform/media/filter_graph.h"
#include "platform/media/simple_filters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// Source → effect filter (→ sink when asked), in one graph.
struct EffectChain {
    explicit EffectChain(const CMediaType& mt, std::int32_t upstreamBuffers = 2, std::int32_t upstreamSize = 0)
        : source(std::make_shared<CPushSourceFilter>(mt, upstreamBuffers, upstreamSize))
        , filter(CCopyTransformFilter::Create())
    {
        graph.AddFilter(source, "Source");
        graph.AddFilter(filter, "Dynamic Filter");
    }
    HRESULT ConnectInput() { return graph.Connect(source->OutputPin(), filter->FindPin("In")); }
    HRESULT ConnectSink(const CMediaType& accepted = CMediaType())
    {
        sink = std::make_shared<CSampleSinkFilter>(accepted, [this](const SamplePtr& s) {
            received.push_back(s);
            return S_OK;
        });
        graph.AddFilter(sink, "Sink");
        return graph.Connect(filter->FindPin("Out"), sink->InputPin());
    }

    std::shared_ptr<CPushSourceFilter> source;
    std::shared_ptr<CCopyTransformFilter> filter;
    std::shared_ptr<CSampleSinkFilter> sink;
    std::vector<SamplePtr> received;
    CFilterGraph graph;
};

struct EffectScope {
    explicit EffectScope(int id) { CurrentEffectId.store(id); }
    ~EffectScope() { CurrentEffectId.store(0); }
};

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<std::uint8_t>(rng());
    return v;
}

TEST(EffectFilter, AcceptsOnlyUncompressedRgbVideoWithVideoInfo)
{
    CMediaType yuv = MakeRgbVideoType(8, 4, 24);
    yuv.subtype = MEDIASUBTYPE_YUY2;
    CMediaType otherFormat = MakeRgbVideoType(8, 4, 24);
    otherFormat.formattype = FORMAT_WaveFormatEx;
    const std::pair<CMediaType, HRESULT> rows[] = {
        { MakeRgbVideoType(8, 4, 8), S_OK }, { MakeRgbVideoType(8, 4, 16), S_OK },
        { MakeRgbVideoType(8, 4, 16, 0, true), S_OK }, { MakeRgbVideoType(8, 4, 24), S_OK },
        { MakeRgbVideoType(8, 4, 32), S_OK }, { yuv, E_FAIL }, { MakePcmAudioType(2, 44100, 16), E_FAIL },
        { otherFormat, E_INVALIDARG },
        { CMediaType(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo), E_INVALIDARG }, // block too short
    };
    auto filter = CCopyTransformFilter::Create();
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(filter->CheckInputType(&rows[i].first), rows[i].second) << "row " << i;

    // The codes come back from the connection attempt.
    EffectChain yuvChain(yuv);
    EXPECT_EQ(yuvChain.ConnectInput(), E_FAIL);
    EXPECT_FALSE(yuvChain.filter->GetPin(0)->IsConnected());
    EffectChain formatChain(otherFormat);
    EXPECT_EQ(formatChain.ConnectInput(), E_INVALIDARG);
}

TEST(EffectFilter, OutputOffersExactlyTheInputType)
{
    const CMediaType mt = MakeRgbVideoType(6, 4, 24);
    EffectChain chain(mt);
    CMediaType offered;
    EXPECT_EQ(chain.filter->GetMediaType(0, &offered), E_UNEXPECTED);
    EXPECT_EQ(chain.ConnectSink(), E_UNEXPECTED); // output before input
    ASSERT_EQ(chain.ConnectInput(), S_OK);
    EXPECT_EQ((std::vector<HRESULT> { chain.filter->GetMediaType(-1, &offered), chain.filter->GetMediaType(1, &offered),
                  chain.filter->GetMediaType(0, &offered) }),
        (std::vector<HRESULT> { E_INVALIDARG, VFW_S_NO_MORE_ITEMS, S_OK }));
    EXPECT_TRUE(offered == mt);

    CMediaType changed = mt;
    changed.Format()[sizeof(VIDEOINFOHEADER) - 1] ^= 0x01;
    EXPECT_EQ(chain.filter->CheckTransform(&mt, &mt), S_OK);
    EXPECT_EQ(chain.filter->CheckTransform(&mt, &changed), E_FAIL); // (type equality: media_graph.cpp)

    // A downstream pin that insists on another type is refused.
    auto sink = std::make_shared<CSampleSinkFilter>(CMediaType(), nullptr);
    chain.graph.AddFilter(sink, "Sink");
    EXPECT_EQ(chain.graph.ConnectDirect(chain.filter->FindPin("Out"), sink->InputPin(), &changed), E_FAIL);
    ASSERT_EQ(chain.graph.ConnectDirect(chain.filter->FindPin("Out"), sink->InputPin(), nullptr), S_OK);
    EXPECT_TRUE(sink->InputPin()->CurrentMediaType() == mt);
}

TEST(EffectFilter, NoEffectGivesAnExactCopyWithEveryProperty)
{
    const CMediaType mt = MakeRgbVideoType(5, 3, 24);
    EffectChain chain(mt);
    ASSERT_EQ(chain.ConnectInput(), S_OK);
    ASSERT_EQ(chain.ConnectSink(), S_OK);
    ASSERT_EQ(chain.graph.Run(), S_OK);

    const auto frame = RandomBytes(48, 5); // padding bytes random as well
    SamplePtr in;
    ASSERT_EQ(chain.source->OutputPin()->GetDeliveryBuffer(&in), S_OK);
    std::uint8_t* p;
    in->GetPointer(&p);
    std::memcpy(p, frame.data(), 48);
    const REFERENCE_TIME start = 4000000, stop = 4400000;
    const std::int64_t mediaStart = 10, mediaStop = 11;
    in->SetTime(&start, &stop);
    in->SetMediaTime(&mediaStart, &mediaStop);
    in->SetSyncPoint(false);
    in->SetPreroll(true);
    in->SetDiscontinuity(true);
    in->SetMediaType(&mt);
    in->SetActualDataLength(45);
    ASSERT_EQ(chain.source->Deliver(in), S_OK);

    ASSERT_EQ(chain.received.size(), 1u);
    CMediaSample& out = *chain.received[0];
    std::uint8_t* q;
    out.GetPointer(&q);
    EXPECT_EQ(std::memcmp(q, frame.data(), 48), 0);
    REFERENCE_TIME t0 = 0, t1 = 0;
    std::int64_t m0 = 0, m1 = 0;
    std::unique_ptr<CMediaType> attached;
    EXPECT_EQ((std::vector<HRESULT> { out.GetTime(&t0, &t1), out.GetMediaTime(&m0, &m1), out.IsSyncPoint(),
                  out.IsPreroll(), out.IsDiscontinuity(), out.GetMediaType(&attached) }),
        (std::vector<HRESULT> { S_OK, S_OK, S_FALSE, S_OK, S_OK, S_OK }));
    EXPECT_EQ(std::tuple(t0, t1, m1, out.GetActualDataLength()), std::tuple(start, stop, mediaStop, 45));
    ASSERT_TRUE(attached);
    EXPECT_TRUE(*attached == mt);

    // Without times on the input none appear on the output.
    chain.received.clear();
    ASSERT_EQ(chain.source->DeliverFrame(frame.data(), 48), S_OK);
    ASSERT_EQ(chain.received.size(), 1u);
    EXPECT_EQ((std::vector<HRESULT> { chain.received[0]->GetTime(&t0, &t1), chain.received[0]->IsSyncPoint(),
                  chain.received[0]->GetMediaType(&attached) }),
        (std::vector<HRESULT> { VFW_E_SAMPLE_TIME_NOT_SET, S_OK, S_FALSE }));
    chain.received.clear();
    chain.graph.Stop();
}

TEST(EffectFilter, ShortOutputBuffersFail)
{
    EffectChain chain(MakeRgbVideoType(4, 2, 24));
    ASSERT_EQ(chain.ConnectInput(), S_OK);
    std::vector<std::uint8_t> a(24, 1), b(24, 0);
    CMediaSample in(a.data(), 24);
    in.SetActualDataLength(24);
    CMediaSample small(b.data(), 23);
    EXPECT_EQ(chain.filter->Transform(&in, &small), E_INVALIDARG); // actual length 24 does not fit
    in.SetActualDataLength(0);
    EXPECT_EQ(chain.filter->Transform(&in, &small), E_FAIL); // the frame does not fit
    EXPECT_EQ(b, std::vector<std::uint8_t>(24, 0));
}

// Runs Transform on one frame of type mt with the given effect; returns the output.
std::vector<std::uint8_t> TransformFrame(const CMediaType& mt, const std::vector<std::uint8_t>& frame, int effect)
{
    EffectChain chain(mt);
    EXPECT_EQ(chain.ConnectInput(), S_OK);
    std::vector<std::uint8_t> input = frame, output(frame.size(), 0xCC);
    CMediaSample in(input.data(), static_cast<std::int32_t>(input.size()));
    CMediaSample out(output.data(), static_cast<std::int32_t>(output.size()));
    EffectScope scope(effect);
    EXPECT_EQ(chain.filter->Transform(&in, &out), S_OK);
    EXPECT_EQ(input, frame); // the input is never modified
    return output;
}

TEST(EffectFilter, EffectIsAppliedToTheCopyOnly)
{
    // 24-bit, width 5: one padding byte per row is copied, never changed.
    const auto frame = RandomBytes(16 * 3, 9);
    const auto out = TransformFrame(MakeRgbVideoType(5, 3, 24), frame, kEffectNegative);
    for (int y = 0; y < 3; ++y) {
        for (int i = 0; i < 15; ++i)
            EXPECT_EQ(out[y * 16 + i], 255 - frame[y * 16 + i]);
        EXPECT_EQ(out[y * 16 + 15], frame[y * 16 + 15]);
    }

    // 16-bit RGB565: black becomes white.
    const std::vector<std::uint8_t> black(4 * 2 * 2, 0);
    const auto white = TransformFrame(MakeRgbVideoType(4, 2, 16, 0, true), black, kEffectNegative);
    EXPECT_EQ(white, std::vector<std::uint8_t>(16, 0xFF));
    // RGB555: the top bit is no colour bit and stays 0.
    const auto white555 = TransformFrame(MakeRgbVideoType(4, 2, 16), black, kEffectNegative);
    EXPECT_EQ(white555[0], 0xFF);
    EXPECT_EQ(white555[1], 0x7F);

    // 8-bit palettised frames pass unchanged.
    const auto indexed = RandomBytes(8 * 2, 11);
    EXPECT_EQ(TransformFrame(MakeRgbVideoType(8, 2, 8), indexed, kEffectNegative), indexed);

    // Effects outside the list give a plain copy.
    for (int effect : { 0, -3, 19 })
        EXPECT_EQ(TransformFrame(MakeRgbVideoType(5, 3, 24), frame, effect), frame);
}

TEST(EffectFilter, TopDownFramesAreProcessedInMemoryOrder)
{
    // Mosaic on a 7 × 7 top-down frame: the grid starts at the first row in
    // memory, exactly as the kernel on the buffer itself.
    const auto frame = RandomBytes(24 * 7, 12);
    const auto out = TransformFrame(MakeRgbVideoType(7, -7, 24), frame, kEffectMosaic);
    auto expected = frame;
    EffectImage img;
    InitEffectImage(&img, expected.data(), 7, 7);
    SetEffectPixelFormat(&img, 3, kRgb24RedMask, kRgb24GreenMask, kRgb24BlueMask, 0, 4);
    ApplyMosaic(&img, 5);
    EXPECT_EQ(out, expected);
}

} // namespace
