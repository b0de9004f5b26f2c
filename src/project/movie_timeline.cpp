#include "project/movie_timeline.h"

namespace {
constexpr std::uint64_t kUnitsPerMs = 10000;

REFTIME100NS ToUnits(std::uint32_t ms)
{
    return REFTIME100NS(std::uint64_t(ms) * kUnitsPerMs);
}
} // namespace

CMovieTimeline::~CMovieTimeline()
{
    ReleaseTimeline();
}

HRESULT CMovieTimeline::ReleaseTimeline()
{
    videoComp.reset();
    soundComp.reset();
    videoGroupObj.reset();
    soundGroupObj.reset();
    timeline.reset();
    return S_OK;
}

HRESULT CMovieTimeline::CreateTimeline(bool highQualitySound)
{
    ReleaseTimeline();
    timeline = std::make_shared<CTimeline>();

    videoGroupObj = std::make_shared<CTimelineGroup>();
    HRESULT hr = videoGroupObj->SetMediaType(MakeRgbVideoType(kFrameWidth, kFrameHeight, kFrameBits));
    if (FAILED(hr))
        return hr;
    hr = timeline->AddGroup(videoGroupObj);
    if (FAILED(hr))
        return hr;

    soundGroupObj = std::make_shared<CTimelineGroup>();
    hr = soundGroupObj->SetMediaType(highQualitySound ? MakePcmAudioType(2, 44100, 16) : MakePcmAudioType(1, 8000, 16));
    if (FAILED(hr))
        return hr;
    hr = timeline->AddGroup(soundGroupObj);
    if (FAILED(hr))
        return hr;

    videoComp = videoGroupObj;
    soundComp = soundGroupObj;
    return S_OK;
}

HRESULT CMovieTimeline::addSource(const CMediaFile& clip, const std::shared_ptr<CTimelineGroup>& comp, bool video)
{
    if (!comp)
        return E_UNEXPECTED;
    // The sums are taken in 32 bits, as the clip record holds them.
    const REFTIME100NS timelineStart = ToUnits(clip.timelineStart());
    const REFTIME100NS timelineStop = ToUnits(std::uint32_t(clip.timelineStart() + clip.length()));
    const REFTIME100NS mediaStart = ToUnits(clip.mediaStart());
    const REFTIME100NS mediaStop = ToUnits(std::uint32_t(clip.mediaStart() + clip.length()));

    auto track = std::make_shared<CTimelineTrack>();
    HRESULT hr = comp->VTrackInsBefore(track, -1);
    if (FAILED(hr))
        return hr;
    auto source = std::make_shared<CTimelineSource>();
    if (FAILED(source->SetStartStop(timelineStart, timelineStop))
        || FAILED(source->SetMediaTimes(mediaStart, mediaStop)) || FAILED(source->SetMediaName(clip.path()))
        || (video && FAILED(source->SetStretchMode(kStretchPreserveAspect))))
        return E_FAIL;
    hr = track->SrcAdd(source);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CMovieTimeline::AddVideoSource(const CMediaFile& clip)
{
    return addSource(clip, videoComp, true);
}

HRESULT CMovieTimeline::AddSoundSource(const CMediaFile& clip)
{
    return addSource(clip, soundComp, false);
}

HRESULT CMovieTimeline::ValidateSources()
{
    if (timeline)
        timeline->ValidateSourceNames(CTimeline::kCheck | CTimeline::kPopup | CTimeline::kReplace);
    return S_OK;
}

HRESULT CMovieTimeline::ResetMovieTimeline()
{
    ReleaseTimeline();
    return CreateTimeline(true);
}

HRESULT CMovieTimeline::AddClip(const CMediaFile& clip, int trackKind)
{
    switch (trackKind) {
    case 1:
        return AddVideoSource(clip);
    case 2:
    case 3:
        return AddSoundSource(clip);
    default:
        return S_OK;
    }
}

HRESULT CMovieTimeline::PrepareSoundTimeline(const QString& path, std::uint32_t lengthMs)
{
    CMediaFile clip;
    clip.SetFile(path);
    clip.SetMediaStart(0);
    clip.SetTimelineStart(0);
    clip.SetLength(lengthMs);
    ReleaseTimeline();
    HRESULT hr = CreateTimeline(false);
    if (FAILED(hr))
        return hr;
    hr = AddClip(clip, 1);
    if (FAILED(hr))
        return hr;
    return AddClip(clip, 2);
}
