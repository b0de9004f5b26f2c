#include "engine/timeline_model.h"

#include <QFileInfo>
#include <algorithm>

bool ParseVideoFormat(const CMediaType& mt, VideoGroupFormat& out)
{
    const VIDEOINFOHEADER* vih = mt.VideoInfo();
    if (!(mt.majortype == MEDIATYPE_Video) || !vih)
        return false;
    const BITMAPINFOHEADER& bmi = vih->bmiHeader;
    if (bmi.biCompression != BI_RGB || (bmi.biBitCount != 24 && bmi.biBitCount != 32) || bmi.biWidth <= 0
        || bmi.biHeight == 0)
        return false;
    out.width = bmi.biWidth;
    out.height = bmi.biHeight;
    out.bitCount = bmi.biBitCount;
    out.avgTimePerFrame = vih->AvgTimePerFrame;
    return true;
}

bool ParseAudioFormat(const CMediaType& mt, AudioGroupFormat& out)
{
    const WAVEFORMATEX* wf = mt.WaveFormat();
    if (!(mt.majortype == MEDIATYPE_Audio) || !wf)
        return false;
    if (wf->wFormatTag != WAVE_FORMAT_PCM || wf->wBitsPerSample != 16 || wf->nChannels == 0 || wf->nChannels > 8
        || wf->nSamplesPerSec == 0)
        return false;
    out.channels = wf->nChannels;
    out.sampleRate = int(wf->nSamplesPerSec);
    out.bitsPerSample = wf->wBitsPerSample;
    out.blockAlign = wf->nBlockAlign;
    return true;
}

HRESULT CTimelineSource::SetStartStop(REFTIME100NS start, REFTIME100NS stop)
{
    if (start < 0 || stop < start)
        return E_INVALIDARG;
    start_ = start;
    stop_ = stop;
    return S_OK;
}

HRESULT CTimelineSource::SetMediaTimes(REFTIME100NS start, REFTIME100NS stop)
{
    if (start < 0 || stop < start)
        return E_INVALIDARG;
    mediaStart_ = start;
    mediaStop_ = stop;
    return S_OK;
}

HRESULT CTimelineSource::SetMediaName(const QString& name)
{
    mediaName_ = name;
    return S_OK;
}

HRESULT CTimelineSource::SetStretchMode(int mode)
{
    if (mode < kStretchResize || mode > kStretchPreserveAspect)
        return E_INVALIDARG;
    stretchMode_ = mode;
    return S_OK;
}

REFTIME100NS CTimelineSource::mediaTimeAt(REFTIME100NS t) const
{
    const REFTIME100NS length = stop_ - start_;
    const REFTIME100NS mediaLength = mediaStop_ - mediaStart_;
    if (length <= 0 || mediaLength == length)
        return mediaStart_ + (t - start_);
    return mediaStart_ + REFTIME100NS(double(t - start_) * double(mediaLength) / double(length));
}

HRESULT CTimelineTrack::SrcAdd(std::shared_ptr<CTimelineSource> source)
{
    if (!source)
        return E_POINTER;
    sources_.push_back(std::move(source));
    return S_OK;
}

HRESULT CTimelineGroup::SetMediaType(const CMediaType& mt)
{
    VideoGroupFormat v;
    AudioGroupFormat a;
    if (!ParseVideoFormat(mt, v) && !ParseAudioFormat(mt, a))
        return E_INVALIDARG;
    mediaType_ = mt;
    hasMediaType_ = true;
    return S_OK;
}

HRESULT CTimelineGroup::SetOutputFPS(double fps)
{
    if (!(fps > 0.0) || fps > 1000.0)
        return E_INVALIDARG;
    fps_ = fps;
    return S_OK;
}

HRESULT CTimelineGroup::VTrackInsBefore(std::shared_ptr<CTimelineTrack> track, int priority)
{
    if (!track)
        return E_POINTER;
    if (priority < 0 || priority >= int(tracks_.size()))
        tracks_.push_back(std::move(track));
    else
        tracks_.insert(tracks_.begin() + priority, std::move(track));
    return S_OK;
}

REFTIME100NS CTimelineGroup::duration() const
{
    REFTIME100NS end = 0;
    for (const auto& track : tracks_)
        for (const auto& src : track->sources())
            end = std::max(end, src->stop());
    return end;
}

HRESULT CTimeline::AddGroup(std::shared_ptr<CTimelineGroup> group)
{
    if (!group)
        return E_POINTER;
    if (!group->hasMediaType())
        return E_INVALIDARG;
    groups_.push_back(std::move(group));
    return S_OK;
}

std::shared_ptr<CTimelineGroup> CTimeline::GetGroup(int index) const
{
    if (index < 0 || index >= int(groups_.size()))
        return nullptr;
    return groups_[std::size_t(index)];
}

HRESULT CTimeline::ValidateSourceNames(int flags) const
{
    if (!(flags & kCheck))
        return S_OK;
    for (const auto& group : groups_)
        for (const auto& track : group->tracks())
            for (const auto& src : track->sources())
                if (!QFileInfo(src->mediaName()).isFile())
                    return S_FALSE;
    return S_OK;
}

REFTIME100NS CTimeline::duration() const
{
    REFTIME100NS end = 0;
    for (const auto& g : groups_)
        end = std::max(end, g->duration());
    return end;
}
