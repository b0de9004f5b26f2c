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
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <sys/statvfs.h>

std::atomic<CMovieSave*> SavingPane { nullptr };

namespace {
constexpr std::int64_t k100nsPerMs = 10000;
constexpr int kSoundRate = 8000;
constexpr int kPhoneFramesPerSecond = 5;
// The WAV image is read whole; larger files are refused (an hour of 8 kHz
// mono sound is 57.6 MB).
constexpr qint64 kMaxWavBytes = 1LL << 31;

// The encoder's scratch files, in the work folder.
constexpr const char* kScratchNames[] = { "video.tmp", "video_info.tmp", "audio.tmp", "audio_info.tmp" };

// Upper bounds of the intermediates per second of movie: the rendered AVI
// (DV frames of at most 144000 bytes at the timeline's 15 frames per second,
// with 16-bit stereo sound at 48 kHz), the 8 kHz mono WAV, ten sampled I420
// frames, and the encoder's coded scratch streams.
constexpr std::int64_t kAviBytesPerSecond = 15 * 144000 + 48000 * 4;
constexpr std::int64_t kWavBytesPerSecond = kSoundRate * 2;
constexpr std::int64_t kSampledBytesPerSecond = 10 * CMovieSave::kFrameWidth * CMovieSave::kFrameHeight * 3 / 2;
constexpr std::int64_t kScratchBytesPerSecond = 64 * 1024;
// Headers, indexes and a movie shorter than a second.
constexpr std::int64_t kWorkBytesReserve = 4 << 20;

struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
};

std::optional<FileId> IdOf(const QString& path)
{
    struct stat st { };
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileId { st.st_dev, st.st_ino };
}

bool SameFile(const std::optional<FileId>& a, const std::optional<FileId>& b)
{
    return a && b && a->dev == b->dev && a->ino == b->ino;
}

} // namespace

QString OutputRefusal(const QString& outputPath, const QStringList& inputs, const QString& workFolder)
{
    if (workFolder.isEmpty())
        return QStringLiteral("no private work folder could be made for the save");
    if (std::size_t(outputPath.toUtf8().size()) >= ott::kPathBytes)
        return QStringLiteral("the output path is longer than the encoder takes (%1 bytes at most): %2")
            .arg(ott::kPathBytes - 1)
            .arg(outputPath);
    if (std::size_t(QFile::encodeName(workFolder + "/video_info.tmp").size()) >= ott::kScratchNameBytes)
        return QStringLiteral("the work folder path is longer than the encoder takes: %1").arg(workFolder);
    const auto output = IdOf(outputPath);
    for (const QString& input : inputs) {
        if (SameFile(output, IdOf(input)))
            return QStringLiteral("the output %1 is one of the project's clips (%2); choose another file")
                .arg(outputPath, input);
    }
    return QString();
}

std::int64_t WorkBytesNeeded(std::int64_t durationMs)
{
    const std::int64_t perSecond
        = kAviBytesPerSecond + kWavBytesPerSecond + kSampledBytesPerSecond + kScratchBytesPerSecond;
    return std::max<std::int64_t>(durationMs, 0) * perSecond / 1000 + kWorkBytesReserve;
}

QString FreeSpaceRefusal(const QString& folder, std::int64_t bytesNeeded)
{
    struct statvfs fs { };
    if (::statvfs(QFile::encodeName(folder).constData(), &fs) != 0)
        return QString();
    const auto available = static_cast<long double>(fs.f_bavail) * fs.f_frsize;
    if (available >= static_cast<long double>(bytesNeeded))
        return QString();
    constexpr double kMB = 1024.0 * 1024.0;
    return QStringLiteral("Not enough free disk space in %1: the save needs about %2 MB there, %3 MB are free.")
        .arg(folder)
        .arg(std::ceil(bytesNeeded / kMB), 0, 'f', 0)
        .arg(std::floor(double(available) / kMB), 0, 'f', 0);
}

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
    showText(env_.lookup.GetResourceText("CW_MESSAGE", key), selfClosing);
}

void CMovieSave::showText(const QString& text, bool selfClosing)
{
    SkinnedMessage m;
    m.text = text;
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

bool CMovieSave::addClip(const CMediaFile& clip, int trackKind)
{
    if (SUCCEEDED(movie().AddClip(clip, trackKind)))
        return true;
    showText(QStringLiteral("The clip %1 cannot be added to the movie.").arg(clip.path()), false);
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
    movie().ResetMovieTimeline();
    inputs_.clear();
    std::uint32_t videoEnd = 0;
    for (const CMediaFile& clip : video) {
        inputs_ << clip.path();
        if (!CheckSourceExists(clip.path()) || !addClip(clip, 1))
            return false;
        videoEnd += clip.length();
    }
    for (int t : { int(kAudioTrack), int(kVoiceTrack) }) {
        for (const CMediaFile& clip : project.track(t)) {
            inputs_ << clip.path();
            if (!CheckSourceExists(clip.path()))
                return false;
            if (clip.timelineStart() > videoEnd)
                continue;
            CMediaFile cut = clip;
            if (clip.timelineStart() + clip.length() > videoEnd)
                cut.SetLength(videoEnd - clip.timelineStart());
            if (!addClip(cut, 2))
                return false;
        }
    }
    movie().ValidateSources();
    const auto timeline = movie().GetTimeline();
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
    tempFolder_ = env_.workFolder;
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
    // Messages of the steps (the engine's, the encoder's, the save's own)
    // wait for FinishRun.
    DeferMessages defer(deferred_);
    enum class End { Done, Failed, FailedWithMessage };
    const auto steps = [this]() -> End {
        durationMs_ = DurationMs();
        const REFERENCE_TIME duration = durationMs_ * k100nsPerMs;
        videoAviPath_ = tempFolder_ + '/' + kVideoAviName;
        audioWavPath_ = tempFolder_ + '/' + kAudioWavName;
        const QString base = tempFolder_ + '/' + QFileInfo(chosenPath_).completeBaseName();
        const QString yuvName = base + ".yuv";
        const QString pcmName = base + ".pcm";
        // A render step that fails ends the save: the render has shown why,
        // and "SAVE_FAIL" follows, as after any failed step, so a full disk
        // never ends a save without saying that nothing was saved.
        const auto failStep = [this](const char* text) {
            ReleaseSaveBuffers();
            removeFile(audioWavPath_);
            removeFile(videoAviPath_);
            if (CMovieWorkState::IsCancelled())
                return End::Failed;
            lastMessage_ = QString::fromLatin1(text);
            return End::FailedWithMessage;
        };

        if (const QString why = FreeSpaceRefusal(tempFolder_, WorkBytesNeeded(durationMs_)); !why.isEmpty()) {
            showText(why, false);
            return End::Failed;
        }
        // Whatever an earlier save of this work folder left is never encoded:
        // each step writes its file anew and must succeed.
        removeFile(videoAviPath_);
        removeFile(audioWavPath_);

        beginStep(SaveStep::Render);
        HRESULT hr = CompressVideo(&movie(), videoAviPath_, 0, duration);
        if (hr != S_OK || QFileInfo(videoAviPath_).size() <= 0)
            return failStep("Video Compressing was failed! - 1");
        beginStep(SaveStep::Sound);
        hr = CompressSound(sound(), audioWavPath_, 0, duration, videoAviPath_);
        if (hr != S_OK || QFileInfo(audioWavPath_).size() <= 0)
            return failStep("Sound Compressing was failed! - 1");

        std::int32_t frames = 0;
        hr = E_FAIL;
        beginStep(SaveStep::Sampling);
        if (env_.frameCache) {
            // Frames beyond the cache's memory limit spill into this run's
            // own folder. The view's playback pauses meanwhile.
            suspendView(true);
            CMovieGraphCapture capture(tempFolder_);
            capture.SetExtractionParams(outputPath_, 0.1, kFrameWidth, kFrameHeight, 0.0, 0.0);
            hr = capture.ExtractFrames(&frames, ExtractI420Frames, *env_.frameCache);
            suspendView(false);
        }
        if (hr == 1) {
            if (env_.stopView)
                env_.stopView();
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

        if (!readWav(audioWavPath_)) {
            ReleaseSaveBuffers();
            return End::FailedWithMessage;
        }
        outputPath_ = chosenPath_;
        const EncoderParams params = EncoderParamsForModel(model());
        const int r = EncodeForPhone(
            yuvName, pcmName, outputPath_, kFrameWidth, kFrameHeight, durationMs_, CMovieWorkState::GetTotal(), params);
        removeFile(yuvName);
        removeFile(pcmName);
        if (r == 0 && CMovieWorkState::IsCancelled()) {
            if (env_.stopView)
                env_.stopView();
            ReleaseSaveBuffers(); // cancelled before the encoder took them
            return End::Failed;
        }
        if (r == 0)
            ReleaseSaveBuffers();
        return r == 0 ? End::FailedWithMessage : End::Done;
    };

    End end = End::Failed;
    try {
        end = steps();
    } catch (const std::bad_alloc&) {
        // Running out of memory ends this save, not the host.
        ReleaseSaveBuffers();
        removeFile(audioWavPath_);
        removeFile(videoAviPath_);
        lastMessage_ = QStringLiteral("There is not enough memory to save this movie.");
        showText(lastMessage_, false);
    }
    const int result = end == End::Done ? 1 : 0;
    workerResult_.store(result, std::memory_order_relaxed);
    postProgressEnd();
    if (end == End::FailedWithMessage)
        showMessage("SAVE_FAIL", true);
    return result;
}

CMovieSave::Outcome CMovieSave::FinishRun()
{
    deferred_.Replay();
    // A cancel that comes after the file was written does not unsay it.
    Outcome outcome = Outcome::Failed;
    if (workerResult() == 1)
        outcome = Outcome::Saved;
    else if (CMovieWorkState::IsCancelled())
        outcome = Outcome::Cancelled;
    if (CMovieWorkState::IsCancelled())
        CMovieWorkState::Reset();
    if (env_.results) {
        env_.results->lastSaveSucceeded = outcome == Outcome::Saved;
        env_.results->lastSavedPath = outputPath_;
    }
    return outcome;
}

QString CMovieSave::CheckOutput(const QString& chosenPath) const
{
    return OutputRefusal(chosenPath, inputs_, env_.workFolder);
}

CMovieSave::Outcome CMovieSave::Save(const QString& chosenPath)
{
    if (const QString why = CheckOutput(chosenPath); !why.isEmpty()) {
        showText(why, false);
        if (env_.results)
            env_.results->lastSaveSucceeded = false;
        return Outcome::Failed;
    }
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
    lastEncoderResult_ = 0;
    if (CMovieWorkState::IsCancelled())
        return 0;
    const int samplesPerChunk = AudioChunkSamples(params.audioCodec, 1);
    SetPhoneFrameFormat(kFrameWidth, kFrameHeight, samplesPerChunk, kPhoneFramesPerSecond);
    frameCount_ = CMovieWorkState::GetTotal();
    lastFrame_.store(0, std::memory_order_relaxed);
    const int chunks = AudioChunkCount(durationMs, samplesPerChunk);
    const auto before = IdOf(outputPath);
    SavingPane.store(this);
    {
        COTTEncoder encoder;
        encoder.setScratchFolder(tempFolder_);
        const QByteArray output = outputPath.toUtf8();
        lastEncoderResult_ = encoder.Encode(output.isEmpty() ? nullptr : output.constData(), params.selector, 1, width,
            height, params.videoMode, frameCount_, 1, kSoundRate, params.audioCodec, chunks, &ProvideVideoFrame,
            &ProvidePcmChunk, &OnEncoderStatus);
    }
    for (const char* scratch : kScratchNames) {
        if (!tempFolder_.isEmpty())
            removeFile(tempFolder_ + '/' + QLatin1String(scratch));
    }
    // The library writes a new file and renames it over the output: success
    // is its word and a new, non-empty file there.
    const auto after = IdOf(outputPath);
    const bool written = after && !SameFile(before, after) && QFileInfo(outputPath).size() > 0;
    return lastEncoderResult_ != 0 && written ? 1 : 0;
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
