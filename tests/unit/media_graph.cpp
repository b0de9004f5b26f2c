// test-links: cw_media cw_platform
#include "platform/media/filter_graph.h"
#include "platform/media/simple_filters.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Codes = std::vector<HRESULT>; // results of several calls, in order

CMediaType PartialVideo(const GUID& subtype)
{
    return CMediaType(MEDIATYPE_Video, subtype);
}

TEST(MediaTypes, VideoTypeDescribesPaddedBottomUpFrame)
{
    const CMediaType mt = MakeRgbVideoType(5, 3, 24, 400000);
    ASSERT_NE(mt.VideoInfo(), nullptr);
    EXPECT_EQ(mt.VideoInfo()->bmiHeader.biSizeImage, 16u * 3u); // 15 bytes per row padded to 16
    EXPECT_EQ(mt.GetSampleSize(), 48u);
    EXPECT_EQ(std::pair(DibRowBytes(1, 24), DibRowBytes(3, 16)), std::pair(4, 8));
    EXPECT_EQ(mt.WaveFormat(), nullptr);

    const CMediaType rgb565 = MakeRgbVideoType(4, -2, 16, 0, true);
    EXPECT_EQ(rgb565.VideoInfo()->bmiHeader.biCompression, BI_BITFIELDS);
    EXPECT_EQ(rgb565.GetSampleSize(), 16u); // top-down: absolute height
    EXPECT_EQ(MakePcmAudioType(2, 44100, 16).VideoInfo(), nullptr);
}

TEST(MediaTypes, EqualityAndPartialMatchLookAtEveryFormatByte)
{
    const CMediaType a = MakeRgbVideoType(8, 8, 24);
    CMediaType b = a;
    EXPECT_TRUE(a == b);
    b.Format()[sizeof(VIDEOINFOHEADER) - 1] ^= 1;
    EXPECT_FALSE(a == b);
    // A full type (a) matches only the same bytes.
    EXPECT_EQ((std::vector<bool> { b.MatchesPartial(PartialVideo(MEDIASUBTYPE_RGB24)), b.MatchesPartial(CMediaType()),
                  b.MatchesPartial(a), b.MatchesPartial(PartialVideo(MEDIASUBTYPE_RGB32)),
                  b.MatchesPartial(CMediaType(MEDIATYPE_Audio, GUID_NULL)) }),
        (std::vector<bool> { true, true, false, false, false }));
    EXPECT_FALSE(PartialVideo(MEDIASUBTYPE_RGB24).IsFullySpecified());
    EXPECT_TRUE(a.IsFullySpecified());
}

TEST(MediaSample, UnsetTimesAreReportedAndResetClearsEveryProperty)
{
    std::uint8_t buffer[16];
    CMediaSample s(buffer, sizeof buffer);
    REFERENCE_TIME t0 = 0, t1 = 0;
    std::int64_t m0, m1;
    EXPECT_EQ((Codes { s.GetTime(&t0, &t1), s.GetMediaTime(&m0, &m1) }),
        (Codes { VFW_E_SAMPLE_TIME_NOT_SET, VFW_E_MEDIA_TIME_NOT_SET }));
    const REFERENCE_TIME start = 400000, stop = 800000;
    s.SetTime(&start, &stop);
    s.SetTime(nullptr, nullptr);
    EXPECT_EQ(s.GetTime(&t0, &t1), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ((Codes { s.SetActualDataLength(17), s.SetActualDataLength(-1), s.SetActualDataLength(16) }),
        (Codes { E_INVALIDARG, E_INVALIDARG, S_OK }));
    s.SetSyncPoint(true);
    s.SetPreroll(true);
    s.SetDiscontinuity(true);
    const CMediaType mt = MakeRgbVideoType(2, 2, 32);
    s.SetMediaType(&mt);

    s.ResetProperties();
    std::unique_ptr<CMediaType> type;
    EXPECT_EQ(
        (Codes { s.IsSyncPoint(), s.IsPreroll(), s.IsDiscontinuity(), s.GetMediaType(&type) }), Codes(4, S_FALSE));
    EXPECT_EQ(s.GetActualDataLength(), 0);
    EXPECT_EQ(type, nullptr);
}

TEST(MemAllocator, RefusesBadPropertiesAndUncommittedUse)
{
    auto alloc = CMemAllocator::Create();
    ALLOCATOR_PROPERTIES actual;
    SamplePtr s;
    EXPECT_EQ((Codes { alloc->Commit(), alloc->GetBuffer(&s), alloc->SetProperties({ 2, 100, 3, 0 }, &actual),
                  alloc->SetProperties({ -1, 100, 1, 0 }, &actual) }),
        (Codes { VFW_E_SIZENOTSET, VFW_E_NOT_COMMITTED, VFW_E_BADALIGN, E_INVALIDARG }));
    ASSERT_EQ(alloc->SetProperties({ 0, 100, 1, 0 }, &actual), S_OK);
    EXPECT_EQ(alloc->Commit(), VFW_E_SIZENOTSET); // nothing to hand out
    ASSERT_EQ(alloc->SetProperties({ 2, 100, 0, 0 }, &actual), S_OK);
    EXPECT_EQ(actual.cbAlign, 1); // 0 means no alignment
    ASSERT_EQ(alloc->Commit(), S_OK);
    EXPECT_EQ(alloc->SetProperties({ 2, 100, 1, 0 }, &actual), VFW_E_ALREADY_COMMITTED);
}

TEST(MemAllocator, PoolHandsOutAlignedBuffersAndTakesThemBack)
{
    auto alloc = CMemAllocator::Create();
    ALLOCATOR_PROPERTIES actual;
    ASSERT_EQ(alloc->SetProperties({ 2, 1001, 64, 8 }, &actual), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    SamplePtr a, b, c;
    ASSERT_EQ(alloc->GetBuffer(&a), S_OK);
    ASSERT_EQ(alloc->GetBuffer(&b), S_OK);
    EXPECT_EQ(alloc->GetBuffer(&c, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
    std::uint8_t *pa, *pb;
    a->GetPointer(&pa);
    b->GetPointer(&pb);
    EXPECT_NE(pa, pb);
    EXPECT_EQ((reinterpret_cast<std::uintptr_t>(pa) | reinterpret_cast<std::uintptr_t>(pb)) % 64, 0u);
    EXPECT_EQ(a->GetSize(), 1001);
    std::memset(pa, 1, 1001); // the whole buffer is usable
    a->SetSyncPoint(true);
    a.reset(); // back to the pool, properties cleared on the next GetBuffer
    ASSERT_EQ(alloc->GetBuffer(&c, AM_GBF_NOWAIT), S_OK);
    EXPECT_EQ(c->IsSyncPoint(), S_FALSE);
}

TEST(MemAllocator, DecommitWakesAWaiterAndOutlivesOutstandingSamples)
{
    auto alloc = CMemAllocator::Create();
    ALLOCATOR_PROPERTIES actual;
    ASSERT_EQ(alloc->SetProperties({ 1, 64, 1, 0 }, &actual), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    SamplePtr held;
    ASSERT_EQ(alloc->GetBuffer(&held), S_OK);
    auto waiter = std::async(std::launch::async, [alloc] {
        SamplePtr s;
        return alloc->GetBuffer(&s);
    });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    alloc->Decommit();
    EXPECT_EQ(waiter.get(), VFW_E_NOT_COMMITTED);
    std::uint8_t* p;
    held->GetPointer(&p);
    std::memset(p, 7, 64); // still valid after decommit
    held.reset();
    ASSERT_EQ(alloc->Commit(), S_OK);
    EXPECT_EQ(alloc->GetBuffer(&held, AM_GBF_NOWAIT), S_OK);
}

struct Chain {
    explicit Chain(const CMediaType& mt, const CMediaType& accepted, std::int32_t buffers = 2)
        : source(std::make_shared<CPushSourceFilter>(mt, buffers))
        , sink(std::make_shared<CSampleSinkFilter>(accepted, [this](const SamplePtr& s) {
            received.push_back(s);
            return S_OK;
        }))
    {
        graph.AddFilter(source, "Source");
        graph.AddFilter(sink, "Sink");
    }
    std::vector<SamplePtr> received;
    std::shared_ptr<CPushSourceFilter> source;
    std::shared_ptr<CSampleSinkFilter> sink;
    CFilterGraph graph;
};

TEST(PinConnection, NegotiatesTheSourceTypeThroughAPartialType)
{
    const CMediaType mt = MakeRgbVideoType(4, 2, 24);
    Chain chain(mt, PartialVideo(MEDIASUBTYPE_RGB24));
    ASSERT_EQ(chain.graph.Connect(chain.source->OutputPin(), chain.sink->InputPin()), S_OK);
    CMediaType connected;
    ASSERT_EQ(chain.sink->InputPin()->ConnectionMediaType(&connected), S_OK);
    EXPECT_TRUE(connected == mt);
    EXPECT_EQ(chain.source->OutputPin()->GetConnected(), chain.sink->InputPin());
    // Both sides use one allocator with the source's request.
    AllocatorPtr inputAllocator;
    chain.sink->InputPin()->GetAllocator(&inputAllocator);
    EXPECT_EQ(inputAllocator, chain.source->OutputPin()->Allocator());
    ALLOCATOR_PROPERTIES props;
    inputAllocator->GetProperties(&props);
    EXPECT_EQ(std::pair(props.cBuffers, props.cbBuffer), std::pair(2, 24));

    EXPECT_EQ(chain.graph.Connect(chain.source->OutputPin(), chain.sink->InputPin()), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(chain.graph.Disconnect(chain.sink->InputPin()), S_OK);
    EXPECT_FALSE(chain.source->OutputPin()->IsConnected() || chain.sink->InputPin()->IsConnected());
    EXPECT_EQ(chain.sink->InputPin()->ConnectionMediaType(&connected), VFW_E_NOT_CONNECTED);
}

TEST(PinConnection, RefusalsLeaveBothPinsUnconnected)
{
    Chain wrongType(MakeRgbVideoType(4, 2, 24), PartialVideo(MEDIASUBTYPE_RGB32));
    EXPECT_EQ(
        wrongType.graph.Connect(wrongType.source->OutputPin(), wrongType.sink->InputPin()), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_FALSE(wrongType.source->OutputPin()->IsConnected() || wrongType.sink->InputPin()->IsConnected());

    // A requested type the source does not offer.
    Chain chain(MakeRgbVideoType(4, 2, 24), CMediaType());
    const CMediaType other = MakeRgbVideoType(4, 2, 32);
    EXPECT_EQ(
        chain.graph.ConnectDirect(chain.source->OutputPin(), chain.sink->InputPin(), &other), VFW_E_TYPE_NOT_ACCEPTED);
    const CMediaType audio(MEDIATYPE_Audio, GUID_NULL);
    EXPECT_EQ(chain.graph.ConnectDirect(chain.source->OutputPin(), chain.sink->InputPin(), &audio),
        VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_EQ(chain.graph.Connect(chain.sink->InputPin(), chain.source->OutputPin()), VFW_E_INVALID_DIRECTION);
    EXPECT_FALSE(chain.sink->InputPin()->IsConnected());
}

TEST(PinConnection, DestroyingAFilterClearsItsPeer)
{
    auto source = std::make_shared<CPushSourceFilter>(MakeRgbVideoType(2, 2, 24));
    {
        CSampleSinkFilter sink(CMediaType(), nullptr);
        ASSERT_EQ(source->OutputPin()->Connect(sink.InputPin(), nullptr), S_OK);
    }
    EXPECT_FALSE(source->OutputPin()->IsConnected());
    EXPECT_EQ(source->OutputPin()->Deliver(nullptr), VFW_E_NOT_CONNECTED);
}

TEST(Streaming, SamplesReachTheSinkOnlyWhileTheGraphIsActive)
{
    const CMediaType mt = MakeRgbVideoType(4, 2, 24);
    Chain chain(mt, CMediaType(MEDIATYPE_Video, GUID_NULL));
    ASSERT_EQ(chain.graph.Connect(chain.source->OutputPin(), chain.sink->InputPin()), S_OK);
    std::vector<std::uint8_t> frame(24);
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<std::uint8_t>(i * 3);

    EXPECT_EQ(chain.source->DeliverFrame(frame.data(), 24), VFW_E_NOT_COMMITTED);
    ASSERT_EQ(chain.graph.Pause(), S_OK);
    EXPECT_EQ(chain.source->DeliverFrame(frame.data(), 25), E_INVALIDARG);
    const REFERENCE_TIME start = 10, stop = 20;
    ASSERT_EQ(chain.graph.Run(), S_OK);
    ASSERT_EQ(chain.source->DeliverFrame(frame.data(), 24, &start, &stop, false), S_OK);
    ASSERT_EQ(chain.received.size(), 1u);
    const SamplePtr& s = chain.received[0];
    std::uint8_t* p;
    s->GetPointer(&p);
    EXPECT_EQ(std::memcmp(p, frame.data(), 24), 0);
    REFERENCE_TIME t0 = 0, t1 = 0;
    EXPECT_EQ((Codes { s->IsSyncPoint(), s->GetTime(&t0, &t1) }), (Codes { S_FALSE, S_OK }));
    EXPECT_EQ(std::pair(s->GetActualDataLength(), t1), std::pair(24, REFERENCE_TIME(20)));

    bool ended = false;
    chain.sink->SetEndOfStreamCallback([&] { ended = true; });
    chain.source->DeliverEndOfStream();
    EXPECT_TRUE(ended);

    chain.received.clear(); // return the buffers before stopping
    ASSERT_EQ(chain.graph.Stop(), S_OK);
    SamplePtr late;
    EXPECT_EQ(chain.source->OutputPin()->GetDeliveryBuffer(&late), VFW_E_NOT_COMMITTED);
    // A sample delivered to a stopped sink is refused.
    CMediaSample loose(frame.data(), 24);
    EXPECT_EQ(chain.sink->InputPin()->Receive(std::shared_ptr<CMediaSample>(&loose, [](CMediaSample*) {})),
        VFW_E_WRONG_STATE);
}

TEST(FilterGraph, NamesFindsAndRemovesFilters)
{
    CFilterGraph graph;
    auto a = std::make_shared<CSampleSinkFilter>(CMediaType(), nullptr);
    auto b = std::make_shared<CSampleSinkFilter>(CMediaType(), nullptr);
    auto source = std::make_shared<CPushSourceFilter>(MakePcmAudioType(1, 8000, 16), 4);
    EXPECT_EQ(graph.AddFilter(a, "Compressor"), S_OK);
    EXPECT_EQ(graph.AddFilter(b, "Compressor"), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(b->FilterName(), "Compressor 0001");
    EXPECT_EQ(graph.AddFilter(a, "Again"), VFW_E_WRONG_STATE);
    EXPECT_EQ(graph.AddFilter(nullptr, "Null"), E_POINTER);
    ASSERT_EQ(graph.AddFilter(source, "Source"), S_OK);

    FilterPtr found;
    ASSERT_EQ(graph.FindFilterByName("Compressor 0001", &found), S_OK);
    EXPECT_EQ(found, b);
    EXPECT_EQ(graph.FindFilterByName("Missing", &found), VFW_E_NOT_FOUND);
    EXPECT_EQ(found, nullptr);

    ASSERT_EQ(graph.Connect(source->OutputPin(), a->GetPin(0)), S_OK);
    ASSERT_EQ(graph.RemoveFilter(a.get()), S_OK);
    EXPECT_FALSE(source->OutputPin()->IsConnected());
    EXPECT_EQ(a->Graph(), nullptr);
    EXPECT_EQ(graph.RemoveFilter(a.get()), VFW_E_NOT_FOUND);
    EXPECT_EQ(graph.Filters().size(), 2u);
    EXPECT_EQ(source->FindPin("In"), nullptr);
}

} // namespace
