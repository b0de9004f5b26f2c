#include "export/save_pipeline.h"

#include "config/suite_settings.h"
#include "engine/frame_capture.h"
#include "engine/work_state.h"
#include "export/movie_render.h"
#include "export/ott_encoder.h"
#include "platform/dialog_service.h"
#include "platform/messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>

std::atomic<CMovieSave*> SavingPane { nullptr };

namespace {
constexpr std::int64_t k100nsPerMs = 10000;
constexpr int kSoundRate = 8000;
constexpr int kPhoneFramesPerSecond = 5;
// The WAV image is read whole; larger files are refused (an hour of 8 kHz
// mono sound is 57.6 MB).
constexpr qint64 kMaxWavBytes = 1LL << 31;
} // namespace

void CProjectLists::Layout()
{
    for (auto& track : tracks) {
        std::uint32_t start = 0;
        for (auto& clip : track) {
            clip.SetTimelineStart(start);
            start += clip.length();
        }
    }
}

const std::uint8_t* FindWavData(const std::uint8_t* image, std::uint32_t* length)
{
    const std::uint32_t size = *length;
    for (std::uint32_t i = 0; i + 8 <= size; ++i) {
        if (std::memcmp(image + i, "data", 4) == 0) {
            const std::uint8_t* p = image + i + 4;
            *length = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
                | std::uint32_t(p[3]) << 24;
            return image + i + 8;
        }
    }
    *length = 0;
    return image;
}

CMovieSave::CMovieSave(SaveEnvironment env)
    : env_(std::move(env))
{ }

CMovieSave::~CMovieSave()
{
    CMovieSave* self = this;
    SavingPane.compare_exchange_strong(self, nullptr);
}

QString CMovieSave::model() const
{
    return model_.isEmpty() ? GetDefaultModelName() : model_;
}

void CMovieSave::showMessage(const QString& key, bool selfClosing)
{
    SkinnedMessage m;
    m.text = env_.lookup.GetResourceText("CW_MESSAGE", key);
    m.title = GetAppTitle();
    m.type = 2;
    m.selfClosing = selfClosing;
    m.textCallback = env_.lookup.textCallback();
    m.imageCallback = env_.lookup.imageCallback();
    lastMessage_ = m.text;
    Dialogs().skinnedMessage(env_.dialogOwner, m);
}

void CMovieSave::beginStep(SaveStep step)
{
    CMovieWorkState::SetCurrent(0);
    CMovieWorkState::SetTotal(0);
    if (stepObserver_)
        stepObserver_(step);
}

bool CMovieSave::CheckSourceExists(const QString& path)
{
    if (QFileInfo(path).isFile())
        return true;
    showMessage("NO_FILE", true);
    if (env_.mainFrame) {
        QString gone = path;
        SendMessage(env_.mainFrame, msg::FileGone, 0, ToLParam(&gone));
    }
    return false;
}

bool CMovieSave::LoadProjectIntoPreview(const CTimelineProject& project)
{
    if (project.IsEmpty())
        return false;
    const CMediaFileList& video = project.track(kVideoTrack);
    if (video.empty()) {
        showMessage("NOT_SELCT_VIDEO", false);
        return false;
    }
    movieTimeline_.ResetMovieTimeline();
    std::uint32_t videoEnd = 0;
    for (const CMediaFile& clip : video) {
        if (!CheckSourceExists(clip.path()))
            return false;
        movieTimeline_.AddClip(clip, 1);
        videoEnd += clip.length();
    }
    for (int t : { int(kAudioTrack), int(kVoiceTrack) }) {
        for (const CMediaFile& clip : project.track(t)) {
            if (!CheckSourceExists(clip.path()))
                return false;
            if (clip.timelineStart() > videoEnd)
                continue;
            CMediaFile cut = clip;
            if (clip.timelineStart() + clip.length() > videoEnd)
                cut.SetLength(videoEnd - clip.timelineStart());
            movieTimeline_.AddClip(cut, 2);
        }
    }
    movieTimeline_.ValidateSources();
    const auto timeline = movieTimeline_.GetTimeline();
    durationMs_ = timeline ? timeline->duration() / k100nsPerMs : 0;
    return true;
}

std::int64_t CMovieSave::DurationMs() const
{
    return durationMs_;
}

void CMovieSave::BeginSave()
{
    if (env_.results)
        env_.results->saveAttempted = true;
    lastMessage_.clear();
    CMovieWorkState::SetCancel(0);
    CMovieWorkState::Reset();
    ReleaseSaveBuffers();
}

void CMovieSave::EndSave()
{
    CMovieWorkState::Reset();
    videoAviPath_.clear();
    audioWavPath_.clear();
}

void CMovieSave::PrepareRun(const QString& chosenPath)
{
    CMovieWorkState::SetCancel(0);
    CMovieWorkState::Reset();
    tempFolder_ = env_.suiteFolder + "/Temp";
    if (!QFileInfo::exists(tempFolder_))
        QDir().mkpath(tempFolder_);
    outputPath_ = tempFolder_ + '/' + kVideoAviName;
    chosenPath_ = chosenPath;
    const QString fileName = QFileInfo(chosenPath).fileName();
    chosenFolder_ = chosenPath.left(std::max<qsizetype>(0, chosenPath.size() - fileName.size() - 1));
    workerResult_.store(0, std::memory_order_relaxed);
}

void CMovieSave::removeFile(const QString& path) const
{
    if (!path.isEmpty())
        QFile::remove(path);
}

void CMovieSave::postProgressEnd()
{
    if (progressTarget_)
        PostMessage(progressTarget_, msg::CloseProgress);
}

bool CMovieSave::readWav(const QString& path)
{
    audioBytes_ = 0;
    pcm_.clear();
    QFile f(path);
    if (f.size() > kMaxWavBytes || !f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray image = f.readAll();
    auto length = static_cast<std::uint32_t>(image.size());
    const auto* base = reinterpret_cast<const std::uint8_t*>(image.constData());
    const std::uint8_t* data = FindWavData(base, &length);
    // A length beyond the end of the file counts only the bytes that are there.
    const auto available = static_cast<std::uint32_t>(base + image.size() - data);
    length = std::min(length, available) & ~1u;
    pcm_.resize(length / 2);
    std::memcpy(pcm_.data(), data, length);
    audioBytes_ = length;
    return true;
}

int CMovieSave::SaveWorker()
{
    SavingPane.store(this);
    enum class End { Done, Failed, FailedWithMessage };
    const auto steps = [this]() -> End {
        durationMs_ = DurationMs();
        const REFERENCE_TIME duration = durationMs_ * k100nsPerMs;
        videoAviPath_ = tempFolder_ + '/' + kVideoAviName;
        const QString yuvName = chosenPath_.left(chosenPath_.size() - 4) + ".yuv";
        const QString pcmName = chosenPath_.left(chosenPath_.size() - 4) + ".pcm";

        beginStep(SaveStep::Render);
        if (CompressVideo(&movieTimeline_, videoAviPath_, 0, duration) == 1) {
            ReleaseSaveBuffers();
            removeFile(videoAviPath_);
            return End::Failed;
        }
        audioWavPath_ = tempFolder_ + '/' + kAudioWavName;
        beginStep(SaveStep::Sound);
        if (CompressSound(soundTimeline_, audioWavPath_, 0, duration, videoAviPath_) == 1) {
            ReleaseSaveBuffers();
            removeFile(audioWavPath_);
            removeFile(videoAviPath_);
            return End::Failed;
        }

        std::int32_t frames = 0;
        HRESULT hr = E_FAIL;
        beginStep(SaveStep::Sampling);
        if (env_.frameCache) {
            CMovieGraphCapture capture;
            capture.SetExtractionParams(outputPath_, 0.1, kFrameWidth, kFrameHeight, 0.0, 0.0);
            hr = capture.ExtractFrames(&frames, ExtractI420Frames, *env_.frameCache);
        }
        if (hr == 1) {
            ReleaseSaveBuffers();
            removeFile(audioWavPath_);
            removeFile(videoAviPath_);
            return End::Failed;
        }
        if (hr < 0) {
            ReleaseSaveBuffers();
            return End::FailedWithMessage;
        }
        beginStep(SaveStep::Encoding);
        CMovieWorkState::SetTotal(frames);

        readWav(env_.suiteFolder + "/Temp/" + kAudioWavName);
        outputPath_ = chosenPath_;
        const EncoderParams params = EncoderParamsForModel(model());
        const int r = EncodeForPhone(
            yuvName, pcmName, outputPath_, kFrameWidth, kFrameHeight, durationMs_, CMovieWorkState::GetTotal(), params);
        removeFile(yuvName);
        removeFile(pcmName);
        if (r == 0 && CMovieWorkState::IsCancelled()) {
            ReleaseSaveBuffers(); // cancelled before the encoder took them
            return End::Failed;
        }
        return r == 0 ? End::FailedWithMessage : End::Done;
    };

    const End end = steps();
    const int result = end == End::Done ? 1 : 0;
    workerResult_.store(result, std::memory_order_relaxed);
    postProgressEnd();
    if (end == End::FailedWithMessage)
        showMessage("SAVE_FAIL", true);
    return result;
}

CMovieSave::Outcome CMovieSave::FinishRun()
{
    Outcome outcome;
    if (CMovieWorkState::IsCancelled()) {
        CMovieWorkState::Reset();
        outcome = Outcome::Cancelled;
    } else if (workerResult() == 1) {
        outcome = Outcome::Saved;
    } else {
        outcome = Outcome::Failed;
    }
    if (env_.results) {
        env_.results->lastSaveSucceeded = outcome == Outcome::Saved;
        env_.results->lastSavedPath = outputPath_;
    }
    return outcome;
}

CMovieSave::Outcome CMovieSave::Save(const QString& chosenPath)
{
    PrepareRun(chosenPath);
    SaveWorker();
    return FinishRun();
}

void CMovieSave::SetPhoneFrameFormat(int width, int height, int samplesPerChunk, int framesPerSecond)
{
    frameWidth_ = width;
    frameHeight_ = height;
    bytesPerFrame_ = width * height * 3 / 2;
    samplesPerChunk_ = samplesPerChunk;
    msPerFrame_ = framesPerSecond > 0 ? 1000 / framesPerSecond : 200;
}

int CMovieSave::AudioChunkCount(std::int64_t durationMs, int samplesPerChunk)
{
    const std::int64_t seconds = durationMs / 1000;
    return static_cast<int>(seconds * kSoundRate / samplesPerChunk + 1);
}

int CMovieSave::EncodeForPhone(const QString& yuvName, const QString& pcmName, const QString& outputPath, int width,
    int height, std::int64_t durationMs, int frameCount, const EncoderParams& params)
{
    Q_UNUSED(yuvName);
    Q_UNUSED(pcmName);
    Q_UNUSED(frameCount); // the frame count the sampling stored is used
    if (CMovieWorkState::IsCancelled())
        return 0;
    const int samplesPerChunk = AudioChunkSamples(params.audioCodec, 1);
    SetPhoneFrameFormat(kFrameWidth, kFrameHeight, samplesPerChunk, kPhoneFramesPerSecond);
    frameCount_ = CMovieWorkState::GetTotal();
    lastFrame_.store(0, std::memory_order_relaxed);
    const int chunks = AudioChunkCount(durationMs, samplesPerChunk);
    SavingPane.store(this);
    {
        COTTEncoder encoder;
        const QByteArray output = outputPath.toUtf8();
        lastEncoderResult_ = encoder.Encode(output.isEmpty() ? nullptr : output.constData(), params.selector, 1, width,
            height, params.videoMode, frameCount_, 1, kSoundRate, params.audioCodec, chunks, &ProvideVideoFrame,
            &ProvidePcmChunk, &OnEncoderStatus);
    }
    for (const char* scratch : { "video.tmp", "video_info.tmp", "audio.tmp", "audio_info.tmp" }) {
        const QString path = QStringLiteral("%1/%2").arg(chosenFolder_, QLatin1String(scratch));
        if (QFileInfo::exists(path))
            QFile::remove(path);
    }
    return 1;
}

void CMovieSave::ReleaseSaveBuffers()
{
    pcm_.clear();
    pcm_.shrink_to_fit();
    if (env_.frameCache)
        env_.frameCache->FreeAll();
}

int CMovieSave::ProvideVideoFrame(unsigned char* buffer, int index, int* timeMs)
{
    CMovieSave* s = SavingPane.load();
    if (!s)
        return -1;
    FrameCache* cache = s->env_.frameCache;
    if (index == s->frameCount_) {
        if (cache)
            cache->FreeAll();
        return 0;
    }
    if (cache && !cache->IsEmpty() && index >= 0) {
        const VideoBuf* e = cache->At(static_cast<std::size_t>(index));
        if (e && e->frameNumber == index && buffer)
            std::memcpy(buffer, e->data.get(), std::min<std::size_t>(e->size, std::size_t(s->bytesPerFrame_)));
    }
    if (timeMs)
        *timeMs = index * s->msPerFrame_;
    if (s->lastFrame_.load(std::memory_order_relaxed) == 0 && index == s->frameCount_ - 1)
        s->lastFrame_.store(1, std::memory_order_relaxed);
    if (CMovieWorkState::IsCancelled()) {
        s->ReleaseSaveBuffers();
        return -1;
    }
    return 1;
}

int CMovieSave::ProvidePcmChunk(short* buffer, int index, int* sampleCount, int* startSample)
{
    CMovieSave* s = SavingPane.load();
    if (!s)
        return -1;
    const std::int64_t offset = std::int64_t(s->samplesPerChunk_) * index;
    const std::int64_t remaining = s->audioBytes_ / 2 - offset;
    if (remaining <= 0)
        return 0;
    const std::int64_t n = std::min<std::int64_t>(remaining, s->samplesPerChunk_);
    if (!s->pcm_.empty() && buffer && offset + n <= std::int64_t(s->pcm_.size()))
        std::memcpy(buffer, s->pcm_.data() + offset, std::size_t(n) * 2);
    if (startSample)
        *startSample = index * s->samplesPerChunk_;
    if (sampleCount)
        *sampleCount = static_cast<int>(n);
    if (CMovieWorkState::IsCancelled()) {
        s->ReleaseSaveBuffers();
        return -1;
    }
    return 1;
}

int CMovieSave::OnEncoderStatus(int kind, int value)
{
    CMovieSave* s = SavingPane.load();
    if (!s)
        return 1;
    switch (kind) {
    case 2:
        CMovieWorkState::SetPhase(CMovieWorkState::Saving);
        CMovieWorkState::SetTotal(value);
        s->statusTotal_ = value;
        s->statusSteps_ = 0;
        break;
    case 4:
        CMovieWorkState::SetCurrent(++s->statusSteps_);
        break;
    case 0:
        s->statusSteps_ = s->statusTotal_;
        CMovieWorkState::SetCurrent(s->statusSteps_);
        s->ReleaseSaveBuffers();
        break;
    default:
        break;
    }
    return 1;
}
