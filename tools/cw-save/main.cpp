// cw-save: saves a movie project (three tracks of clips, a phone model and a
// colour effect, described in JSON) as a phone-format file through the save
// job the editor uses (export/save_job.h). This file reads the arguments and
// the project, and prints.
//
//   cw-save PROJECT.json -o OUT [--model NAME] [--effect N] [--folder DIR] [--times]
//
// Exit status: 0 saved, 1 cancelled (Ctrl-C), 2 failed (reason on stderr).
#include "config/suite_settings.h"
#include "export/save_job.h"
#include "platform/private_folder.h"
#include "skin/scripted_dialog_service.h"
#include "work_folder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace {

enum ExitStatus { kExitSaved = 0, kExitCancelled = 1, kExitFailed = 2 };

// Messages of the save go to stderr, one line each; every question gets its
// default.
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
    void print(const QString& text)
    {
        const QString line = QString(text).replace('\n', ' ').trimmed();
        if (!line.isEmpty()) {
            shown << line;
            std::fprintf(stderr, "\r\033[K%s\n", qPrintable(line));
        }
    }
    QStringList shown;
};

[[noreturn]] void fail(const QString& reason)
{
    std::fprintf(stderr, "cw-save: %s\n", qPrintable(reason));
    std::exit(kExitFailed);
}

// A time of the project file in ms: a whole number from 0 to 2^31 - 1.
std::optional<std::uint32_t> timeField(const QJsonObject& o, const char* field, const QString& where)
{
    if (!o.contains(field))
        return std::nullopt;
    constexpr double kMaxMs = 2147483647.0;
    const QJsonValue v = o.value(field);
    const double ms = v.toDouble(-1);
    if (!v.isDouble() || !(ms >= 0 && ms <= kMaxMs) || ms != std::floor(ms))
        fail(QStringLiteral("%1: \"%2\" must be a whole number of milliseconds from 0 to %3")
                 .arg(where, field)
                 .arg(qint64(kMaxMs)));
    return static_cast<std::uint32_t>(ms);
}

CMediaFile clipFromJson(const QJsonValue& v, std::int32_t kind, const QString& baseDir, const QString& where)
{
    if (!v.isObject() || !v.toObject().value("path").isString())
        fail(QStringLiteral("%1: each clip needs a \"path\"").arg(where));
    const QJsonObject o = v.toObject();
    QString path = o.value("path").toString();
    if (QFileInfo(path).isRelative())
        path = QDir(baseDir).absoluteFilePath(path);
    if (!QFileInfo(path).isFile())
        fail(QStringLiteral("%1: %2 is not a file").arg(where, path));
    const std::uint32_t start = timeField(o, "start", where).value_or(0);
    const std::optional<std::uint32_t> length = timeField(o, "length", where);
    QString why;
    const auto clip = FileClip(path, kind, start, length, &why);
    if (!clip)
        fail(where + ": " + why);
    if (clip->length() == 0)
        fail(QStringLiteral("%1: nothing of %2 is left from %3 ms on").arg(where, path).arg(start));
    return *clip;
}

// Both renders show as "rendering".
const char* const kStepNames[kSaveStepCount] = { "rendering", "rendering", "sampling", "encoding" };

// Live until exit, so that fail() removes them too.
std::optional<PrivateSuiteFolder> g_privateFolder;
std::optional<CPrivateFolder> g_workFolder;

constexpr const char* kUsage
    = "usage: cw-save PROJECT.json -o OUT [--model NAME] [--effect N] [--folder DIR] [--times]\n";

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

// The suite folder: --folder, else the registry's FOLDER, else the data
// bundled with cw-save, which may be read-only (installed): the run then
// works in a private folder that links to it.
QString suiteFolderFor(const QString& given)
{
    QString folder = given.isEmpty() ? GetSuiteFolder() : given;
    if (folder.isEmpty()) {
        const QString bundled = BundledSuiteFolder(QCoreApplication::applicationDirPath());
        if (bundled.isEmpty())
            fail("no suite folder: give --folder DIR or set FOLDER in the registry (the bundled suite data is "
                 "missing)");
        g_privateFolder.emplace(bundled);
        folder = g_privateFolder->path();
        if (folder.isEmpty())
            fail(QStringLiteral("cannot make a work folder under %1").arg(QDir::tempPath()));
    }
    return QDir(folder).absolutePath();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser cli;
    cli.addOptions({ { { "o", "output" }, "", "OUT" }, { "model", "", "NAME" }, { "effect", "", "N" },
        { "folder", "", "DIR" }, { "times", "" }, { { "h", "help" }, "" } });
    const bool parsed = cli.parse(app.arguments());
    if (parsed && cli.isSet("help"))
        return help();
    if (!parsed || cli.positionalArguments().size() != 1 || cli.value("output").isEmpty()) {
        std::fputs(kUsage, stderr);
        return kExitFailed;
    }
    const QString projectPath = cli.positionalArguments().first();
    SaveRequest request;
    request.outputPath = cli.value("output");
    request.model = cli.value("model");
    if (cli.isSet("effect")) {
        bool ok = false;
        request.effect = cli.value("effect").toInt(&ok);
        if (!ok)
            fail("--effect needs a number from 0 to 18");
    }

    // The project file.
    QFile pf(projectPath);
    if (!pf.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1").arg(projectPath));
    QJsonParseError err {};
    const QJsonDocument doc = QJsonDocument::fromJson(pf.readAll(), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        fail(QStringLiteral("%1 is not a JSON object: %2").arg(projectPath, err.errorString()));
    const QJsonObject project = doc.object();
    for (const char* list : { "video", "audio", "voice" })
        if (project.contains(list) && !project.value(list).isArray())
            fail(QStringLiteral("\"%1\" must be a list of clips").arg(list));
    if (!request.effect)
        request.effect = project.contains("effect") ? project.value("effect").toInt(-1) : 0;
    if (request.model.isEmpty())
        request.model = project.value("model").toString();
    if (request.model.isEmpty() && GetDefaultModelName().isEmpty()) // the job takes the default
        fail("no phone model: give --model NAME, \"model\" in the project, or set ORVT_DEFAULT_MODELNAME");

    // The run's private work folder under the suite's work folder base; the
    // folders of runs that are gone are removed first.
    const QString folder = suiteFolderFor(cli.value("folder"));
    QString refusal;
    const QString workBase = WorkFolderBase(folder, &refusal);
    if (!refusal.isEmpty())
        std::fprintf(stderr, "cw-save: %s; working in %s\n", qPrintable(refusal), qPrintable(workBase));
    CPrivateFolder::RemoveAbandoned(workBase);
    g_workFolder.emplace(workBase);
    SaveEnvironment env;
    env.suiteFolder = folder;
    env.workFolder = g_workFolder->path();

    // The job's target: model, effect, output file, encoder and work folder.
    if (const QString why = CSaveJob::CheckTarget(request, env); !why.isEmpty())
        fail(why);

    // The three tracks.
    const QString baseDir = QFileInfo(projectPath).absolutePath();
    CProjectLists& lists = request.project;
    int soundsOfVideo = 0;
    for (const auto& [name, kind, track] : { std::tuple("video", ClipKind::VideoWithSound, kVideoTrack),
             std::tuple("audio", ClipKind::Sound, kAudioTrack), std::tuple("voice", ClipKind::Voice, kVoiceTrack) }) {
        const QJsonArray clips = project.value(name).toArray();
        for (int i = 0; i < clips.size(); ++i) {
            const CMediaFile clip
                = clipFromJson(clips[i], kind, baseDir, QStringLiteral("%1 clip %2").arg(name).arg(i + 1));
            lists.tracks[track].push_back(clip);
            // As in the editor, a video's own sound goes on the audio track too.
            if (track == kVideoTrack && clips[i].toObject().value("sound").toBool(true)) {
                lists.tracks[kAudioTrack].push_back(clip);
                ++soundsOfVideo;
            }
        }
    }
    lists.Layout();
    if (lists.track(kVideoTrack).empty())
        fail("the project has no video clip");
    // Sound is cut at the video's end; a clip that would start there or later
    // would be dropped, so it is an error.
    std::uint32_t videoEnd = 0;
    for (const CMediaFile& clip : lists.track(kVideoTrack))
        videoEnd += clip.length();
    for (const auto& [name, track] : { std::pair("audio", kAudioTrack), std::pair("voice", kVoiceTrack) }) {
        const int own = track == kAudioTrack ? soundsOfVideo : 0; // the videos' own sound comes first
        const CMediaFileList& clips = lists.track(track);
        for (std::size_t i = std::size_t(own); i < clips.size(); ++i) {
            if (clips[i].timelineStart() >= videoEnd)
                fail(QStringLiteral("%1 clip %2 (%3) starts at %4 ms, where the video (%5 ms) has ended")
                         .arg(name)
                         .arg(i - std::size_t(own) + 1)
                         .arg(clips[i].path())
                         .arg(clips[i].timelineStart())
                         .arg(videoEnd));
        }
    }

    // The save, its progress on one line of a terminal.
    auto* console = new ConsoleDialogs;
    SetDialogService(std::unique_ptr<DialogService>(console));
    env.lookup = SuiteTextLookup(folder);
    CSaveJob job(env, std::move(request));
    const auto interrupt = [](int) { CSaveJob::Cancel(); };
    std::signal(SIGINT, interrupt);
    std::signal(SIGTERM, interrupt);
    const bool tty = isatty(fileno(stderr));
    const SaveJobResult r = job.RunWithProgress([tty](const SaveJobProgress& p) {
        const QString left = p.secondsLeft ? QString::number(*p.secondsLeft, 'f', 0) + " s" : QString("--");
        if (tty)
            std::fprintf(stderr, "\r\033[K%-9s %3.0f%%  %s left in this phase", kStepNames[int(p.step)], p.share * 100,
                qPrintable(left));
    });
    if (tty)
        std::fprintf(stderr, "\r\033[K");

    using Status = SaveJobResult::Status;
    if (r.status == Status::Cancelled) {
        std::fprintf(stderr, "cw-save: cancelled\n");
        return kExitCancelled;
    }
    if (r.status != Status::Saved) // refused: the project could not be loaded, its last message says why
        fail(console->shown.isEmpty()         ? r.message
                : r.status == Status::Refused ? console->shown.last()
                                              : console->shown.join("; "));
    std::printf("%s: %lld bytes, %.1f s long (movie %.1f s), saved in %.1f s\n", qPrintable(r.outputPath),
        static_cast<long long>(r.bytes), r.fileSeconds, r.movieMs / 1000.0, r.elapsedMs / 1000.0);
    for (std::size_t i = 0; cli.isSet("times") && i < r.steps.size(); ++i)
        std::printf("%s %.3f s\n", kStepNames[int(r.steps[i].step)], r.steps[i].ms / 1000.0);
    return kExitSaved;
}
