// cw-save: saves a movie project (three tracks of clips, a phone model and a
// colour effect, described in JSON) as a phone-format file through the same
// save pipeline the editor uses.
//
//   cw-save PROJECT.json -o OUT [--model NAME] [--effect N] [--folder DIR]
//
// Exit status: 0 saved, 1 cancelled (Ctrl-C), 2 failed (reason on stderr).
#include "config/registry.h"
#include "config/suite_settings.h"
#include "engine/effect_kernels.h"
#include "engine/media_detector.h"
#include "engine/work_state.h"
#include "export/ott_encoder.h"
#include "export/save_pipeline.h"
#include "platform/ini_file.h"
#include "skin/scripted_dialog_service.h"
#include "work_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kExitSaved = 0;
constexpr int kExitCancelled = 1;
constexpr int kExitFailed = 2;

QString g_textTable; // the suite's English string table

QString tableText(QString section, QString key)
{
    QString text = ini::ReadValue(g_textTable, section, key).value_or(QString());
    return text.replace(QLatin1String("\\n"), QLatin1String("\n"));
}

// Messages of the pipeline go to stderr; every question gets its default.
class ConsoleDialogs : public ScriptedDialogService {
public:
    int messageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type) override
    {
        print(text);
        return ScriptedDialogService::messageBox(owner, text, caption, type);
    }
    int skinnedMessage(QWidget* owner, const SkinnedMessage& m) override
    {
        print(m.text);
        return ScriptedDialogService::skinnedMessage(owner, m);
    }
    QStringList shown;

private:
    void print(const QString& text)
    {
        const QString line = QString(text).replace('\n', ' ').trimmed();
        if (line.isEmpty())
            return;
        shown << line;
        std::fprintf(stderr, "\r\033[K%s\n", qPrintable(line));
    }
};

[[noreturn]] void fail(const QString& reason)
{
    std::fprintf(stderr, "cw-save: %s\n", qPrintable(reason));
    std::exit(kExitFailed);
}

void onInterrupt(int)
{
    CMovieWorkState::SetCancel(1);
}

// Length of the file's longest stream in seconds; 0 when it cannot be read.
double longestStreamSeconds(const QString& path)
{
    CMediaDet det;
    std::int32_t streams = 0;
    if (FAILED(det.put_Filename(path)) || FAILED(det.get_OutputStreams(&streams)))
        return 0;
    double longest = 0.0;
    for (std::int32_t i = 0; i < streams; ++i) {
        double seconds = 0;
        if (SUCCEEDED(det.put_CurrentStream(i)) && SUCCEEDED(det.get_StreamLength(&seconds)))
            longest = std::max(longest, seconds);
    }
    return longest;
}

// The same in ms, rounded down to whole seconds.
std::uint32_t wholeSecondsMs(const QString& path)
{
    return static_cast<std::uint32_t>(std::floor(longestStreamSeconds(path))) * 1000;
}

CMediaFile clipFromJson(const QJsonValue& v, std::int32_t kind, const QString& baseDir, const QString& where)
{
    if (!v.isObject() || !v.toObject().value("path").isString())
        fail(QStringLiteral("%1: each clip needs a \"path\"").arg(where));
    const QJsonObject o = v.toObject();
    QString path = o.value("path").toString();
    if (QFileInfo(path).isRelative())
        path = QDir(baseDir).absoluteFilePath(path);
    for (const char* field : { "start", "length" })
        if (o.contains(field) && (!o.value(field).isDouble() || o.value(field).toDouble() < 0))
            fail(QStringLiteral("%1: \"%2\" must be a number of milliseconds").arg(where, field));
    const std::uint32_t source = QFileInfo(path).isFile() ? wholeSecondsMs(path) : 0;
    const auto start = static_cast<std::uint32_t>(o.value("start").toDouble(0));
    std::uint32_t length = o.contains("length") ? static_cast<std::uint32_t>(o.value("length").toDouble())
                                                : (source > start ? source - start : 0);
    if (QFileInfo(path).isFile() && source > 0 && start + length > source + 999)
        fail(QStringLiteral("%1: %2 is %3 s long, shorter than its trim (%4 ms from %5 ms)")
                 .arg(where, path)
                 .arg(source / 1000)
                 .arg(length)
                 .arg(start));
    CMediaFile clip(path, source, 0, 0, kind);
    clip.SetTimes(start, length, source);
    return clip;
}

QString phaseName(std::int32_t phase)
{
    switch (phase) {
    case CMovieWorkState::Analysing:
        return "rendering";
    case CMovieWorkState::Extracting:
        return "sampling";
    case CMovieWorkState::Saving:
        return "encoding";
    default:
        return "working";
    }
}

QString bundledSuiteFolder()
{
    return BundledSuiteFolder(QCoreApplication::applicationDirPath());
}

// Lives until exit, so that fail() removes it too.
std::optional<PrivateSuiteFolder> g_privateFolder;

constexpr const char* kUsage
    = "usage: cw-save PROJECT.json -o OUT [--model NAME] [--effect N] [--folder DIR] [--times]\n";

int usage()
{
    std::fputs(kUsage, stderr);
    return kExitFailed;
}

int help()
{
    std::fputs(kUsage, stdout);
    std::fputs("Saves the movie project PROJECT.json as the phone file OUT through the editor's save pipeline.\n"
               "  -o, --output OUT  the phone file to write; its extension must be the model's\n"
               "  --model NAME      the phone model (default: the project's, else ORVT_DEFAULT_MODELNAME)\n"
               "  --effect N        the colour effect, 0 to 18 (default: the project's, else 0)\n"
               "  --folder DIR      the suite folder with the encoder libraries (default: the registry's\n"
               "                    FOLDER, else the suite data installed with cw-save)\n"
               "  --times           print how long each step took\n"
               "  -h, --help        show this text\n"
               "Exit status: 0 saved, 1 cancelled (Ctrl-C), 2 failed (the reason on stderr).\n",
        stdout);
    return kExitSaved;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString projectPath, outPath, model, folder;
    bool times = false;
    std::optional<int> effect;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "-h" || a == "--help")
            return help();
        if ((a == "-o" || a == "--output") && hasValue)
            outPath = args[++i];
        else if (a == "--model" && hasValue)
            model = args[++i];
        else if (a == "--times")
            times = true;
        else if (a == "--folder" && hasValue)
            folder = args[++i];
        else if (a == "--effect" && hasValue) {
            bool ok = false;
            effect = args[++i].toInt(&ok);
            if (!ok)
                fail("--effect needs a number from 0 to 18");
        } else if (!a.startsWith('-') && projectPath.isEmpty())
            projectPath = a;
        else
            return usage();
    }
    if (projectPath.isEmpty() || outPath.isEmpty())
        return usage();

    // The project file.
    QFile pf(projectPath);
    if (!pf.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1").arg(projectPath));
    QJsonParseError err {};
    const QJsonDocument doc = QJsonDocument::fromJson(pf.readAll(), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        fail(QStringLiteral("%1 is not a JSON object: %2").arg(projectPath, err.errorString()));
    const QJsonObject project = doc.object();
    const QString baseDir = QFileInfo(projectPath).absolutePath();
    for (const char* list : { "video", "audio", "voice" })
        if (project.contains(list) && !project.value(list).isArray())
            fail(QStringLiteral("\"%1\" must be a list of clips").arg(list));
    if (!effect && project.contains("effect"))
        effect = project.value("effect").toInt(-1);
    if (model.isEmpty())
        model = project.value("model").toString();
    if (model.isEmpty())
        model = GetDefaultModelName();
    if (model.isEmpty())
        fail("no phone model: give --model NAME, \"model\" in the project, or set ORVT_DEFAULT_MODELNAME");
    const int effectId = effect.value_or(0);
    if (effectId < 0 || effectId > 18)
        fail("the effect must be a number from 0 to 18");

    // The suite folder: the encoder libraries and the work folder.
    if (folder.isEmpty())
        folder = GetSuiteFolder();
    if (folder.isEmpty()) {
        // The bundled data may be read-only (installed): the run works in a
        // private folder that links to it.
        const QString bundled = bundledSuiteFolder();
        if (bundled.isEmpty())
            fail("no suite folder: give --folder DIR or set FOLDER in the registry (the bundled suite data is "
                 "missing)");
        g_privateFolder.emplace(bundled);
        folder = g_privateFolder->path();
        if (folder.isEmpty())
            fail(QStringLiteral("cannot make a work folder under %1").arg(QDir::tempPath()));
    }
    folder = QDir(folder).absolutePath();
    if (!QFileInfo::exists(folder + "/libOTTEnc.so"))
        fail(QStringLiteral("the suite folder %1 holds no encoder library (libOTTEnc.so)").arg(folder));
    g_textTable = QFileInfo::exists(folder + "/tables/text_EN.ini") ? folder + "/tables/text_EN.ini"
                                                                    : bundledSuiteFolder() + "/tables/text_EN.ini";

    // The model's file type decides the extension.
    QString iniDir = ReadSuiteString("INIDIR", kFolderValueChars).value_or(QString());
    if (iniDir.isEmpty())
        iniDir = folder + "/ini";
    const QString modelIni = AddTrailingBackslash(iniDir) + model.toUpper() + ".ini";
    const SaveFileType type = SaveFileTypeForModel(model, modelIni);
    if (EncoderParamsForModel(model) == EncoderParams { 1, 2, 2, 0 } && !QFileInfo::exists(modelIni)
        && SaveFileTypeForModel(model, QString()).extension() == "3g2" && !model.toUpper().contains("TX-"))
        fail(QStringLiteral("unknown phone model %1 (no model file %2)").arg(model, modelIni));
    const QFileInfo out(outPath);
    if (out.suffix().compare(type.extension(), Qt::CaseInsensitive) != 0)
        fail(
            QStringLiteral("model %1 saves .%2 files; %3 has another extension").arg(model, type.extension(), outPath));
    if (!out.absoluteDir().exists())
        fail(QStringLiteral("the output folder %1 does not exist").arg(out.absolutePath()));
    if (access(QFile::encodeName(out.absolutePath()).constData(), W_OK) != 0)
        fail(QStringLiteral("the output folder %1 is not writable").arg(out.absolutePath()));

    // The three tracks.
    CProjectLists lists;
    const QJsonArray videos = project.value("video").toArray();
    for (int i = 0; i < videos.size(); ++i) {
        const CMediaFile clip
            = clipFromJson(videos[i], ClipKind::VideoWithSound, baseDir, QStringLiteral("video clip %1").arg(i + 1));
        lists.tracks[kVideoTrack].push_back(clip);
        // As in the editor, a video's own sound goes on the audio track too.
        if (videos[i].toObject().value("sound").toBool(true))
            lists.tracks[kAudioTrack].push_back(clip);
    }
    const QJsonArray audios = project.value("audio").toArray();
    for (int i = 0; i < audios.size(); ++i)
        lists.tracks[kAudioTrack].push_back(
            clipFromJson(audios[i], ClipKind::Sound, baseDir, QStringLiteral("audio clip %1").arg(i + 1)));
    const QJsonArray voices = project.value("voice").toArray();
    for (int i = 0; i < voices.size(); ++i)
        lists.tracks[kVoiceTrack].push_back(
            clipFromJson(voices[i], ClipKind::Voice, baseDir, QStringLiteral("voice clip %1").arg(i + 1)));
    lists.Layout();
    if (lists.track(kVideoTrack).empty())
        fail("the project has no video clip");

    auto dialogs = std::make_unique<ConsoleDialogs>();
    ConsoleDialogs* console = dialogs.get();
    SetDialogService(std::move(dialogs));

    CurrentEffectId.store(effectId, std::memory_order_relaxed);
    FrameCache cache;
    SaveResults results;
    SaveEnvironment env;
    env.suiteFolder = folder;
    env.frameCache = &cache;
    env.results = &results;
    env.lookup = ResourceLookup(&tableText, nullptr);
    CMovieSave save(env);
    save.setModel(model);
    SetEncoderFolderOverride(folder);

    save.BeginSave();
    if (!save.LoadProjectIntoPreview(lists))
        fail(console->shown.isEmpty() ? "the project could not be loaded" : console->shown.last());

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    save.PrepareRun(out.absoluteFilePath());
    std::atomic<bool> done { false };
    std::thread worker([&] {
        save.SaveWorker();
        done = true;
    });
    QElapsedTimer clock;
    clock.start();
    const bool tty = isatty(fileno(stderr));
    // Each SetPhase marks the work state as started: a new step begins (the
    // movie render, the sound render, sampling, encoding).
    QStringList steps;
    std::vector<qint64> stepStarts;
    QElapsedTimer phaseClock;
    phaseClock.start();
    const auto poll = [&] {
        if (CMovieWorkState::IsStarted()) {
            CMovieWorkState::SetStarted(0);
            steps << phaseName(CMovieWorkState::GetPhase());
            stepStarts.push_back(clock.elapsed());
            phaseClock.start();
        }
    };
    while (!done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        poll();
        const std::int32_t phase = CMovieWorkState::GetPhase();
        const double total = CMovieWorkState::GetTotal();
        const double current = CMovieWorkState::GetCurrent();
        const double share = total > 0 ? std::clamp(current / total, 0.0, 1.0) : 0.0;
        QString eta = "--";
        if (share > 0.02)
            eta = QString::number(phaseClock.elapsed() * (1 - share) / share / 1000.0, 'f', 0) + " s";
        if (tty)
            std::fprintf(stderr, "\r\033[K%-9s %3.0f%%  %s left in this phase", qPrintable(phaseName(phase)),
                share * 100, qPrintable(eta));
    }
    worker.join();
    poll();
    stepStarts.push_back(clock.elapsed());
    if (tty)
        std::fprintf(stderr, "\r\033[K");
    const CMovieSave::Outcome outcome = save.FinishRun();
    save.EndSave();
    // The work folder's intermediates are the editor's until it closes; here
    // the command is done with them.
    QFile::remove(folder + "/Temp/" + CMovieSave::kVideoAviName);
    QFile::remove(folder + "/Temp/" + CMovieSave::kAudioWavName);

    if (outcome == CMovieSave::Outcome::Cancelled) {
        QFile::remove(out.absoluteFilePath());
        std::fprintf(stderr, "cw-save: cancelled\n");
        return kExitCancelled;
    }
    const QFileInfo written(out.absoluteFilePath());
    if (outcome != CMovieSave::Outcome::Saved || save.lastEncoderResult() == 0 || !written.exists()
        || written.size() == 0) {
        QFile::remove(out.absoluteFilePath());
        fail(console->shown.isEmpty() ? QStringLiteral("the movie could not be saved") : console->shown.join("; "));
    }
    std::printf("%s: %lld bytes, %.1f s long (movie %.1f s), saved in %.1f s\n", qPrintable(written.absoluteFilePath()),
        static_cast<long long>(written.size()), longestStreamSeconds(written.absoluteFilePath()),
        save.DurationMs() / 1000.0, clock.elapsed() / 1000.0);
    if (times) {
        for (int i = 0; i < steps.size(); ++i)
            std::printf("%s %.3f s\n", qPrintable(steps[i]), (stepStarts[i + 1] - stepStarts[i]) / 1000.0);
    }
    return kExitSaved;
}
