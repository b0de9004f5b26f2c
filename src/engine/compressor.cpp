#include "engine/compressor.h"

#include "engine/compressor_filters.h"
#include "engine/effect_filter.h"
#include "engine/file_filters.h"
#include "engine/work_state.h"
#include "platform/dialog_service.h"

#include <QCoreApplication>
#include <QFile>
#include <mutex>

namespace {
std::mutex gNamesMutex;
QStringList gVideoNames { QStringLiteral("DV Video Encoder") };
QString gAudioName = QStringLiteral("PCM");

constexpr REFERENCE_TIME kOneSecond = 10000000;
constexpr int kPollMs = 100;
constexpr int kProgressUnit = 1000; // progress is kept in 100 us units

// Stands in for the capture graph builder: the AVI multiplexer and the file
// writer ("File Writer") that it adds to a graph for an output file.
class CCaptureGraphBuilder {
public:
    HRESULT SetFiltergraph(const std::shared_ptr<CRenderGraph>& graph)
    {
        if (!graph)
            return E_POINTER;
        graph_ = graph;
        return S_OK;
    }

    HRESULT SetOutputFileName(const GUID& type, const QString& path, std::shared_ptr<CAviMuxFilter>* mux,
        std::shared_ptr<CFileWriterFilter>* sink)
    {
        if (!graph_)
            return E_UNEXPECTED;
        if (!(type == MEDIASUBTYPE_Avi) || path.isEmpty())
            return E_INVALIDARG;
        auto m = std::make_shared<CAviMuxFilter>();
        auto w = std::make_shared<CFileWriterFilter>();
        HRESULT hr = w->SetFileName(path);
        if (SUCCEEDED(hr))
            hr = graph_->AddFilter(m, "AVI Mux");
        if (SUCCEEDED(hr))
            hr = graph_->AddFilter(w, "File Writer");
        if (SUCCEEDED(hr))
            hr = graph_->Connect(m->GetPin(m->GetPinCount() - 1), w->GetPin(0));
        if (FAILED(hr))
            return hr;
        *mux = std::move(m);
        *sink = std::move(w);
        return S_OK;
    }

private:
    std::shared_ptr<CRenderGraph> graph_;
};

void PumpMessages()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}
} // namespace

QStringList CMovieGraphCompressor::VideoCompressorNames()
{
    std::lock_guard lock(gNamesMutex);
    return gVideoNames;
}

void CMovieGraphCompressor::SetVideoCompressorNames(const QStringList& names)
{
    std::lock_guard lock(gNamesMutex);
    gVideoNames = names;
}

QString CMovieGraphCompressor::AudioCompressorName()
{
    std::lock_guard lock(gNamesMutex);
    return gAudioName;
}

void CMovieGraphCompressor::SetAudioCompressorName(const QString& name)
{
    std::lock_guard lock(gNamesMutex);
    gAudioName = name;
}

CMovieGraphCompressor::~CMovieGraphCompressor()
{
    release();
}

HRESULT CMovieGraphCompressor::SetOutputFile(const QString& path)
{
    outputPath_ = path;
    return S_OK;
}

HRESULT CMovieGraphCompressor::GetCompressor(bool video)
{
    m_pCompressor.reset();
    const QStringList wanted = video ? VideoCompressorNames() : QStringList { AudioCompressorName() };
    // Walk the category in registry order; the first entry whose friendly
    // name is one of the wanted names is created.
    for (const QString& name : CompressorFriendlyNames(video)) {
        if (!wanted.contains(name))
            continue;
        HRESULT hr = CreateCompressor(name, video, &m_pCompressor);
        return hr;
    }
    return E_FAIL;
}

HRESULT CMovieGraphCompressor::fail(const char* text, HRESULT hr)
{
    Dialogs().messageBox(nullptr, QString::fromUtf8(text), QString(), MB_OK);
    release();
    return hr;
}

void CMovieGraphCompressor::release()
{
    if (m_pGB)
        m_pGB->Stop();
    if (m_pGB && m_pWavDest)
        m_pGB->RemoveFilter(m_pWavDest.get());
    m_pWavDest.reset();
    m_pCompressor.reset();
    if (engine_)
        engine_->ScrapIt();
    m_pGB.reset();
    engine_.reset();
}

HRESULT CMovieGraphCompressor::buildVideoChain(CBaseOutputPin* groupPin, CBaseInputPin* muxIn)
{
    HRESULT hr = GetCompressor(true);
    if (FAILED(hr))
        return fail("Failed GetCompressor(TRUE)", hr);
    FilterPtr compressor = m_pCompressor;
    hr = m_pGB->AddFilter(compressor, "Compressor");
    if (FAILED(hr))
        return fail("Failed m_pGB->AddFilter", hr);
    auto grabber = std::make_shared<CSampleGrabberFilter>();
    hr = grabber->SetMediaType(CMediaType(MEDIATYPE_Video, MEDIASUBTYPE_RGB24));
    if (FAILED(hr))
        return fail("Failed pVideoGrab->SetMediaType", hr);
    hr = m_pGB->AddFilter(grabber, "VideoGrabber");
    if (FAILED(hr))
        return fail("Failed m_pGB->AddFilter", hr);
    HRESULT created = S_OK;
    auto effect = CCopyTransformFilter::Create(&created);
    hr = effect ? m_pGB->AddFilter(effect, "Dynamic Filter") : (FAILED(created) ? created : E_OUTOFMEMORY);
    if (FAILED(hr)) {
        release();
        return hr;
    }
    hr = m_pGB->Connect(groupPin, effect->InputPin());
    if (FAILED(hr))
        return fail("Failed m_pGB->Connect", hr);
    hr = m_pGB->Connect(effect->OutputPin(), grabber->InputPin());
    if (FAILED(hr))
        return fail("Failed m_pGB->Connect(pEffectOut, pVideoIn)", hr);
    hr = m_pGB->Connect(grabber->OutputPin(), compressor->GetPin(0));
    if (FAILED(hr))
        return fail("Failed m_pGB->Connect(pVideoOut, pCompressorVideoIn)", hr);
    hr = m_pGB->Connect(compressor->GetPin(1), muxIn);
    if (FAILED(hr))
        return fail("Failed m_pGB->Connect(pCompressorVideoOut, pMuxVideoIn)", hr);
    return S_OK;
}

HRESULT CMovieGraphCompressor::buildAudioChain(CBaseOutputPin* groupPin, CBaseInputPin* muxIn)
{
    HRESULT hr = GetCompressor(false);
    if (FAILED(hr))
        return fail("Failed GetCompressor(FALSE)", hr);
    FilterPtr compressor = m_pCompressor;
    hr = m_pGB->AddFilter(compressor, "Compressor");
    if (FAILED(hr))
        return fail("Failed m_pGB->AddFilter(m_pCompressor, L\"Compressor\")", hr);
    auto grabber = std::make_shared<CSampleGrabberFilter>();
    hr = grabber->SetMediaType(CMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM));
    if (FAILED(hr))
        return fail("Failed pAudioGrab->SetMediaType(&mtAudio)", hr);
    hr = m_pGB->AddFilter(grabber, "AudioGrabber");
    if (FAILED(hr))
        return fail("Failed m_pGB->AddFilter(pAudioFilter, L\"AudioGrabber\")", hr);
    HRESULT h1 = m_pGB->Connect(groupPin, grabber->InputPin());
    HRESULT h2 = SUCCEEDED(h1) ? m_pGB->Connect(grabber->OutputPin(), compressor->GetPin(0)) : h1;
    HRESULT h3 = SUCCEEDED(h2) ? m_pGB->Connect(compressor->GetPin(1), muxIn) : h2;
    if (FAILED(h1) || FAILED(h2) || FAILED(h3))
        return fail("Failed m_pGB->Connect(pCompressorAudioOut, pMuxAudioIn)", FAILED(h3) ? h3 : E_FAIL);
    return S_OK;
}

HRESULT CMovieGraphCompressor::buildWavChain(CBaseOutputPin* groupPin)
{
    m_pWavDest = std::make_shared<CWavDestFilter>();
    HRESULT hr = m_pGB->AddFilter(m_pWavDest, "WAV Dest");
    if (FAILED(hr))
        return fail("Failed m_pGB->AddFilter(m_pWavDest, L\"WAV Dest\")", hr);
    auto writer = std::make_shared<CFileWriterFilter>();
    // The writer the AVI output added is replaced by one for the WAV file.
    FilterPtr old;
    if (SUCCEEDED(m_pGB->FindFilterByName("File Writer", &old)) && old)
        m_pGB->RemoveFilter(old.get());
    hr = m_pGB->AddFilter(writer, "File Writer");
    if (FAILED(hr))
        return fail("Failed m_pGB->AddFilter(pFileWriter, L\"File Writer\")", hr);
    writer->SetMode(true);
    hr = writer->SetFileName(outputPath_);
    if (FAILED(hr))
        return fail("Failed pFileSink->SetFileName", hr);
    HRESULT h1 = m_pGB->Connect(groupPin, m_pWavDest->GetPin(0));
    HRESULT h2 = m_pGB->Connect(m_pWavDest->GetPin(1), writer->GetPin(0));
    if (FAILED(h1) || FAILED(h2))
        return fail("Failed m_pGB->Connect(pWavOut, pWriterIn)", FAILED(h2) ? h2 : h1);
    return S_OK;
}

HRESULT CMovieGraphCompressor::RenderTimeline(const std::shared_ptr<CTimeline>& timeline, int mode)
{
    release();
    engine_ = std::make_unique<CRenderEngine>();
    HRESULT hr = engine_->SetTimelineObject(timeline);
    if (FAILED(hr))
        return fail("Failed pRE->SetTimelineObject", hr);
    hr = engine_->ConnectFrontEnd();
    if (FAILED(hr))
        return fail("Failed pRE->ConnectFrontEnd", hr);
    hr = engine_->GetFilterGraph(&m_pGB);
    if (FAILED(hr))
        return fail("Failed pRE->GetFilterGraph", hr);
    CCaptureGraphBuilder builder;
    hr = builder.SetFiltergraph(m_pGB);
    if (FAILED(hr))
        return fail("Failed pCGB->SetFiltergraph", hr);
    std::shared_ptr<CAviMuxFilter> mux;
    std::shared_ptr<CFileWriterFilter> sink;
    hr = builder.SetOutputFileName(MEDIASUBTYPE_Avi, outputPath_, &mux, &sink);
    if (FAILED(hr))
        return fail("Failed pCGB->SetOutputFileName", hr);

    int k = 0;
    for (int group = 0; group < timeline->GetGroupCount(); ++group) {
        if (CMovieWorkState::IsCancelled()) {
            release();
            return 1;
        }
        CBaseOutputPin* pin = nullptr;
        if (engine_->GetGroupOutputPin(group, &pin) != S_OK || !pin)
            continue;
        if (mode == RenderMovie && k == 0)
            hr = buildVideoChain(pin, mux->inputPin(0));
        else if (mode == RenderMovie && k == 1)
            hr = buildAudioChain(pin, mux->inputPin(1));
        else if (mode == RenderSoundOnly && k == 1)
            hr = buildWavChain(pin);
        // mode 0, k = 0: the video group's output stays unconnected.
        if (FAILED(hr))
            return hr;
        ++k;
    }

    hr = m_pGB->SetSyncSource(nullptr);
    if (FAILED(hr))
        return fail("Failed pMF->SetSyncSource!", hr);
    hr = mux->put_Mode(CAviMuxFilter::INTERLEAVE_FULL);
    if (FAILED(hr))
        return fail("Failed pConfig->put_Mode!", hr);
    const REFERENCE_TIME interval = kOneSecond, preroll = kOneSecond;
    hr = mux->put_Interleaving(&interval, &preroll);
    if (FAILED(hr))
        return fail("Failed pConfig->put_Interleaving!", hr);
    mux.reset();
    sink.reset();

    hr = m_pGB->Run();
    if (FAILED(hr)) {
        m_pGB->Stop();
        QFile::remove(outputPath_);
        return fail("Could not run compression graph!!", hr);
    }
    CMovieWorkState::SetPhase(CMovieWorkState::Analysing);
    REFERENCE_TIME duration = 0;
    m_pGB->GetDuration(&duration);
    CMovieWorkState::SetTotal(std::int32_t(duration / kProgressUnit));

    long event = 0;
    do {
        if (CMovieWorkState::IsCancelled()) {
            release();
            QFile::remove(outputPath_);
            return 1;
        }
        REFERENCE_TIME position = 0;
        m_pGB->GetCurrentPosition(&position);
        CMovieWorkState::SetCurrent(std::int32_t(position / kProgressUnit));
        m_pGB->WaitForCompletion(kPollMs, &event);
        PumpMessages();
    } while (event == 0);

    const HRESULT runError = m_pGB->ErrorResult();
    hr = m_pGB->Stop();
    if (FAILED(hr) && SUCCEEDED(runError)) {
        QFile::remove(outputPath_);
        return fail("Failed pMC->Stop", hr);
    }
    release();
    if (FAILED(runError)) {
        // A file that could not be written completely is not kept.
        QFile::remove(outputPath_);
        return runError;
    }
    return S_OK;
}
