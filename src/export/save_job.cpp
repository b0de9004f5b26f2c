#include "export/save_job.h"

#include "config/suite_settings.h"
#include "engine/effect_kernels.h"
#include "engine/media_detector.h"
#include "engine/work_state.h"
#include "export/ott_encoder.h"
#include "export/save_formats.h"
#include "platform/ini_file.h"
#include "project/clip_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <mutex>
#include <unistd.h>

namespace {

// Below this share of a step done, its time left is not estimated.
constexpr double kEstimateFromShare = 0.02;

SaveEnvironment withOwnParts(SaveEnvironment env, FrameCache* cache, std::unique_ptr<CPrivateFolder>& folder)
{
    if (!env.frameCache)
        env.frameCache = cache;
    if (env.workFolder.isEmpty()) {
        folder = std::make_unique<CPrivateFolder>(WorkFolderBase(env.suiteFolder));
        env.workFolder = folder->path();
    }
    return env;
}

SaveJobResult ended(SaveJobResult::Status status, const QString& message)
{
    SaveJobResult r;
    r.status = status;
    r.message = message;
    return r;
}

std::mutex g_textTableMutex;
QString g_textTable;

QString suiteText(QString section, QString key)
{
    QString table;
    {
        std::lock_guard lock(g_textTableMutex);
        table = g_textTable;
    }
    QString text = ini::ReadValue(table, section, key).value_or(QString());
    return text.replace(QLatin1String("\\n"), QLatin1String("\n"));
}

QString bundledSuiteFolder()
{
    return BundledSuiteFolder(QCoreApplication::applicationDirPath());
}

// The length of the longest stream of the detector's file.
double LongestStreamSeconds(CMediaDet& det)
{
    std::int32_t streams = 0;
    if (FAILED(det.get_OutputStreams(&streams)))
        return 0;
    double longest = 0.0;
    for (std::int32_t i = 0; i < streams; ++i) {
        double seconds = 0;
        if (SUCCEEDED(det.put_CurrentStream(i)) && SUCCEEDED(det.get_StreamLength(&seconds)))
            longest = std::max(longest, seconds);
    }
    return longest;
}
} // namespace

std::optional<CMediaFile> FileClip(
    const QString& path, std::int32_t kind, std::uint32_t startMs, std::optional<std::uint32_t> lengthMs, QString* why)
{
    const bool file = QFileInfo(path).isFile();
    std::uint32_t source = 0;
    if (file) {
        // A file no reader opens would be saved as a black, silent gap.
        CMediaDet det;
        if (det.put_Filename(path) != S_OK) {
            if (why)
                *why = QStringLiteral("%1 cannot be read as a movie, picture or sound file").arg(path);
            return std::nullopt;
        }
        source = WholeSecondsMs(LongestStreamSeconds(det));
    }
    const std::uint32_t length = lengthMs.value_or(source > startMs ? source - startMs : 0);
    if (file && source > 0 && startMs + length > source + 999) {
        if (why)
            *why = QStringLiteral("%1 is %2 s long, shorter than its trim (%3 ms from %4 ms)")
                       .arg(path, QString::number(source / 1000), QString::number(length), QString::number(startMs));
        return std::nullopt;
    }
    CMediaFile clip(path, source, 0, 0, kind);
    clip.SetTimes(startMs, length, source);
    return clip;
}

ResourceLookup SuiteTextLookup(const QString& suiteFolder)
{
    const QString own = suiteFolder + "/tables/text_EN.ini";
    std::lock_guard lock(g_textTableMutex);
    g_textTable = QFileInfo::exists(own) ? own : bundledSuiteFolder() + "/tables/text_EN.ini";
    return ResourceLookup(&suiteText, nullptr);
}

double MediaFileSeconds(const QString& path)
{
    CMediaDet det;
    return SUCCEEDED(det.put_Filename(path)) ? LongestStreamSeconds(det) : 0.0;
}

CSaveJob::CSaveJob(SaveEnvironment env, SaveRequest request)
    : request_(std::move(request))
    , save_(withOwnParts(std::move(env), &ownCache_, ownFolder_))
{
    save_.setModel(request_.model);
    save_.setStepObserver([this](SaveStep step) {
        stepStartMs_[std::size_t(step)].store(sinceStartMs(), std::memory_order_relaxed);
        step_.store(int(step), std::memory_order_release);
        if (stepObserver_)
            stepObserver_(step);
    });
}

CSaveJob::~CSaveJob()
{
    if (worker_.joinable()) {
        Cancel();
        Finish();
    }
}

QString CSaveJob::CheckTarget(const SaveRequest& request, const SaveEnvironment& env)
{
    const QString& suiteFolder = env.suiteFolder;
    if (request.effect && (*request.effect < 0 || *request.effect >= kEffectCount))
        return QStringLiteral("the effect must be a number from 0 to %1").arg(kEffectCount - 1);
    const QString model = request.model.isEmpty() ? GetDefaultModelName() : request.model;
    if (model.isEmpty())
        return QStringLiteral("no phone model");
    if (const QString why = EncoderLibraryProblem(suiteFolder, EncoderParamsForModel(model).selector); !why.isEmpty())
        return QStringLiteral("%1: %2").arg(QLatin1String(kInvalidSettingText), why);

    // The model's file type decides the extension.
    QString iniDir = ReadSuiteString("INIDIR", kFolderValueChars).value_or(QString());
    if (iniDir.isEmpty())
        iniDir = suiteFolder + "/ini";
    const QString modelIni = AddTrailingBackslash(iniDir) + model.toUpper() + ".ini";
    const SaveFileType type = SaveFileTypeForModel(model, modelIni);
    // A name that is neither in a model file nor one of the built-in models
    // gets the fallback numbers and type.
    if (EncoderParamsForModel(model) == EncoderParams { 1, 2, 2, 0 } && !QFileInfo::exists(modelIni)
        && SaveFileTypeForModel(model, QString()).extension() == "3g2" && !model.toUpper().contains("TX-"))
        return QStringLiteral("unknown phone model %1 (no model file %2)").arg(model, modelIni);
    const QFileInfo out(request.outputPath);
    if (out.suffix().compare(type.extension(), Qt::CaseInsensitive) != 0)
        return QStringLiteral("model %1 saves .%2 files; %3 has another extension")
            .arg(model, type.extension(), request.outputPath);
    if (!out.absoluteDir().exists())
        return QStringLiteral("the output folder %1 does not exist").arg(out.absolutePath());
    if (access(QFile::encodeName(out.absolutePath()).constData(), W_OK) != 0)
        return QStringLiteral("the output folder %1 is not writable").arg(out.absolutePath());
    QStringList inputs;
    for (int t = 0; t < kTrackCount; ++t) {
        for (const CMediaFile& clip : request.project.track(t))
            inputs << clip.path();
    }
    return OutputRefusal(out.absoluteFilePath(), inputs, env.workFolder);
}

std::optional<double> CSaveJob::EstimateSecondsLeft(double share, std::int64_t elapsedMs)
{
    if (!(share > kEstimateFromShare))
        return std::nullopt;
    share = std::min(share, 1.0);
    return double(std::max<std::int64_t>(elapsedMs, 0)) * (1 - share) / share / 1000.0;
}

void CSaveJob::Cancel()
{
    CMovieWorkState::SetCancel(1);
}

std::int64_t CSaveJob::sinceStartMs() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
}

bool CSaveJob::prepare()
{
    used_ = true;
    const QString folder = save_.environment().suiteFolder;
    if (const QString why = CheckTarget(request_, save_.environment()); !why.isEmpty()) {
        early_ = ended(SaveJobResult::Status::Refused, why);
        return false;
    }
    request_.outputPath = QFileInfo(request_.outputPath).absoluteFilePath();
    const QFileInfo existing(request_.outputPath);
    outputExisted_ = existing.exists() || existing.isSymLink();
    if (request_.effect)
        CurrentEffectId.store(*request_.effect, std::memory_order_relaxed);

    save_.BeginSave();
    if (!save_.LoadProjectIntoPreview(request_.project)) {
        const QString shown = save_.lastMessage();
        save_.EndSave();
        early_ = ended(SaveJobResult::Status::Refused,
            shown.isEmpty() ? QStringLiteral("the project could not be loaded") : shown);
        return false;
    }
    // A cancel asked for while loading stands (PrepareRun clears the flag).
    const bool cancelled = CMovieWorkState::IsCancelled();
    save_.PrepareRun(request_.outputPath);
    if (cancelled) {
        save_.EndSave();
        early_ = ended(SaveJobResult::Status::Cancelled, QString());
        return false;
    }
    SetEncoderFolderOverride(folder);
    start_ = std::chrono::steady_clock::now();
    ran_ = true;
    return true;
}

void CSaveJob::runSteps()
{
    save_.SaveWorker();
    endMs_.store(sinceStartMs(), std::memory_order_relaxed);
    done_.store(true, std::memory_order_release);
}

bool CSaveJob::Start()
{
    if (used_ || !prepare())
        return false;
    done_.store(false, std::memory_order_relaxed);
    worker_ = std::thread([this] { runSteps(); });
    return true;
}

bool CSaveJob::Prepare()
{
    if (used_ || !prepare())
        return false;
    done_.store(false, std::memory_order_relaxed);
    return true;
}

void CSaveJob::RunPrepared()
{
    if (ran_ && !done_.load(std::memory_order_acquire))
        runSteps();
}

bool CSaveJob::IsDone() const
{
    return done_.load(std::memory_order_acquire);
}

SaveJobProgress CSaveJob::Progress() const
{
    SaveJobProgress p;
    const int step = step_.load(std::memory_order_acquire);
    if (step < 0)
        return p;
    p.step = SaveStep(step);
    const double total = CMovieWorkState::GetTotal();
    const double current = CMovieWorkState::GetCurrent();
    p.share = total > 0 ? std::clamp(current / total, 0.0, 1.0) : 0.0;
    p.elapsedMs = IsDone() ? endMs_.load(std::memory_order_relaxed) : sinceStartMs();
    p.stepElapsedMs = p.elapsedMs - stepStartMs_[std::size_t(step)].load(std::memory_order_relaxed);
    p.secondsLeft = EstimateSecondsLeft(p.share, p.stepElapsedMs);
    return p;
}

SaveJobResult CSaveJob::Finish()
{
    if (worker_.joinable())
        worker_.join();
    if (!ran_ && !early_)
        return ended(SaveJobResult::Status::Failed, QStringLiteral("the save was not started"));
    if (finished_)
        return ended(SaveJobResult::Status::Failed, QStringLiteral("the save's result was taken already"));
    finished_ = true;
    SaveJobResult r = early_.value_or(SaveJobResult {});
    r.outputPath = QFileInfo(request_.outputPath).absoluteFilePath();
    if (early_)
        return r;

    const CMovieSave::Outcome outcome = save_.FinishRun();
    const int encoderResult = save_.lastEncoderResult();
    r.movieMs = save_.DurationMs();
    r.elapsedMs = endMs_.load(std::memory_order_relaxed);
    const int last = step_.load(std::memory_order_acquire);
    for (int s = 0; s <= last; ++s) {
        const std::int64_t begin = stepStartMs_[std::size_t(s)].load(std::memory_order_relaxed);
        const std::int64_t end
            = s < last ? stepStartMs_[std::size_t(s + 1)].load(std::memory_order_relaxed) : r.elapsedMs;
        r.steps.push_back({ SaveStep(s), std::max<std::int64_t>(end - begin, 0) });
    }
    save_.EndSave();
    SetEncoderFolderOverride(std::nullopt);
    if (!request_.keepWorkFiles) {
        const QString work = save_.environment().workFolder + '/';
        QFile::remove(work + CMovieSave::kVideoAviName);
        QFile::remove(work + CMovieSave::kAudioWavName);
    }

    const QFileInfo written(r.outputPath);
    if (outcome == CMovieSave::Outcome::Cancelled) {
        r.status = SaveJobResult::Status::Cancelled;
    } else if (outcome != CMovieSave::Outcome::Saved || encoderResult == 0 || !written.exists()
        || written.size() == 0) {
        r.status = SaveJobResult::Status::Failed;
        r.message
            = save_.lastMessage().isEmpty() ? QStringLiteral("the movie could not be saved") : save_.lastMessage();
    } else {
        r.status = SaveJobResult::Status::Saved;
        r.bytes = written.size();
        if (request_.probeOutput)
            r.fileSeconds = MediaFileSeconds(r.outputPath);
        return r;
    }
    // The encoder replaces the output only with a finished file, so a file
    // that was there before a failed or cancelled save is the user's own.
    if (!outputExisted_)
        QFile::remove(r.outputPath);
    return r;
}

SaveJobResult CSaveJob::RunWithProgress(const std::function<void(const SaveJobProgress&)>& onProgress, int intervalMs)
{
    if (Start()) {
        while (!IsDone()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::max(intervalMs, 1)));
            if (onProgress)
                onProgress(Progress());
        }
    }
    return Finish();
}

SaveJobResult CSaveJob::Run()
{
    if (used_)
        return ended(SaveJobResult::Status::Failed, QStringLiteral("the job was run already"));
    if (prepare()) {
        done_.store(false, std::memory_order_relaxed);
        runSteps();
    }
    return Finish();
}
