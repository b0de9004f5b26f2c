// The reliability matrix: every way a file reaches the editor, fed each kind
// of bad file in one orvanta-host run per group of entry points, and
// cw-save; tests/e2e/README.md tables each cell's outcome.
// test-links: cw_host cw_config cw_platform
#include "config/registry.h"
#include "config/suite_settings.h"
#include "media_files.h"
#include "resource_tables.h"
#include "test_util.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const QString kBuild = QStringLiteral(CW_BUILD_DIR);
// A step (the time between two lines of the host's log) longer than this
// is a hang.
constexpr int kStepLimitMs = 60000;

struct HostRun {
    int status = -1; // -1: crashed or hung
    QString log;
    QString err;
    QString hung; // the step that hung, with the host's stacks
};

// What the host showed between two of its "state" lines, by cell name.
struct Cell {
    QStringList seen; // SECTION/KEY of each message, or its text
    QJsonObject state;
};

class Reliability : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QFileInfo::exists(kBuild + "/lib/libcw_load.so"))
            GTEST_SKIP() << "libcw_load.so is not built";
        if (RunTool("pactl", { "info" }).exitCode != 0)
            GTEST_SKIP() << "no sound server (scripts/sound-server starts one)";
        ASSERT_TRUE(texts_.load(QStringLiteral(CW_SUITE_DIR) + "/tables/text_EN.ini"));
        good_ = path("home/good.avi");
        ASSERT_TRUE(QDir().mkpath(path("home")));
        ASSERT_TRUE(QFile::copy(ColourMovie(), good_));
        for (const char* folder : { "bad", "dropped", "browsed" })
            makeBadFiles(path("home/") + folder + "/");
        before_ = fingerprint(path("home"));
    }

    // The bad inputs, one of a kind, in folder b.
    void makeBadFiles(const QString& b)
    {
        ASSERT_TRUE(QDir().mkpath(b));
        ASSERT_TRUE(WriteFile(b + "zero.avi"));
        ASSERT_TRUE(WriteFile(b + "truncated.avi", ReadFile(good_).left(3000)));
        QByteArray noise;
        for (int i = 0; i < 8192; ++i)
            noise += char((i * 7919 + 13) % 251);
        ASSERT_TRUE(WriteFile(b + "random.mpg", noise));
        ASSERT_TRUE(QDir().mkpath(b + "folder.avi"));
        ASSERT_EQ(mkfifo(QFile::encodeName(b + "fifo.mp3").constData(), 0600), 0);
        ASSERT_TRUE(WriteFile(b + "playlist.avi", "#EXTM3U\n" + good_.toUtf8() + "\n"));
        // An ID3v2 tag of 2048 bytes of noise before the sound.
        const QByteArray tag("ID3\x03\x00\x00\x00\x00\x10\x00", 10);
        ASSERT_TRUE(WriteFile(b + "garbage-tag.mp3", tag + noise.left(2048) + ReadFile(ToneMp3())));
        // The movie's video tagged with a codec nobody knows.
        ASSERT_TRUE(WriteFile(b + "unknown-codec.avi", ReadFile(good_).replace("FMP4", "QQ9Z")));
        // RIFF, WAVE and a PCM fmt chunk: 22.05 kHz mono 16-bit, no data chunk.
        ASSERT_TRUE(WriteFile(b + "no-data.wav",
            QByteArray::fromHex("524946461c00000057415645666d742010000000010001002256000044ac000002001000")));
        const QString half = MediaCache::Make("half-second.avi",
            { "-f", "lavfi", "-i", "color=c=red:s=64x48:r=15:d=0.5", "-f", "lavfi", "-i",
                "sine=frequency=440:duration=0.5", "-c:v", "mpeg4", "-c:a", "pcm_s16le" });
        ASSERT_TRUE(QFile::copy(half, b + "half-second.avi"));
        bad_ = QDir(b).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        bad_ << "missing.avi";
    }
    QString badPath(const QString& name, const QString& folder = "bad") const
    {
        return path("home/" + folder + "/" + name);
    }
    static bool sound(const QString& name) { return name.endsWith(".mp3") || name.endsWith(".wav"); }

    QString path(const QString& rel) const { return root_.filePath(rel); }

    // Every file under folder with its type and content digest.
    static QMap<QString, QByteArray> fingerprint(const QString& folder)
    {
        QMap<QString, QByteArray> files;
        QDirIterator it(folder, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo f(it.next());
            files.insert(QDir(folder).relativeFilePath(f.filePath()),
                f.isFile() ? QCryptographicHash::hash(ReadFile(f.filePath()), QCryptographicHash::Sha1)
                           : QByteArray(f.isDir() ? "folder" : "special"));
        }
        return files;
    }

    // Runs the host on the script. Each watch runs every 50 ms until it
    // returns true; modify changes the host process before it starts.
    using Watch = std::function<bool(QProcess&)>;
    HostRun host(const QString& script, QList<Watch> watches = {}, std::function<void(QProcess&)> modify = {})
    {
        EXPECT_TRUE(WriteFile(path("script.txt"), script.toUtf8() + "quit\n"));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& e : QStringList { "QT_QPA_PLATFORM=offscreen", "ORVANTA_COMPONENT=",
                 "ORVANTA_REGISTRY=" + registry_.path(), "HOME=" + path("home"), "XDG_DATA_HOME=" + path("data"),
                 "XDG_CONFIG_HOME=" + path("config"), "XDG_CACHE_HOME=" + path("cache") })
            env.insert(e.section('=', 0, 0), e.section('=', 1));
        p.setProcessEnvironment(env);
        if (modify)
            modify(p);
        p.start(kBuild + "/bin/orvanta-host", { "--phone", path("phone"), "--script", path("script.txt") });
        HostRun r;
        QElapsedTimer step;
        step.start();
        while (!p.waitForFinished(50)) {
            const QString more = QString::fromUtf8(p.readAllStandardOutput());
            if (!more.isEmpty())
                step.restart();
            r.log += more;
            watches.removeIf([&p](const Watch& w) { return w(p); });
            if (step.elapsed() > kStepLimitMs) {
                const QString last = r.log.trimmed().section('\n', -1);
                const ToolRun gdb = RunTool(
                    "gdb", { "-p", QString::number(p.processId()), "-batch", "-ex", "thread apply all bt" }, {}, 60000);
                r.hung = "after \"" + last + "\":\n" + QString::fromUtf8(gdb.out).right(20000);
                p.kill();
                p.waitForFinished(5000);
                return r;
            }
        }
        r.log += QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        if (p.exitStatus() == QProcess::NormalExit)
            r.status = p.exitCode();
        return r;
    }

    // Checks the run ended normally and splits its log into cells at its
    // "state" lines (files named cells/NAME.json).
    QMap<QString, Cell> cells(const HostRun& r)
    {
        EXPECT_TRUE(r.hung.isEmpty()) << "hang " << qPrintable(r.hung);
        EXPECT_EQ(r.status, 0) << qPrintable(r.log.right(3000)) << qPrintable(r.err.right(3000));
        EXPECT_FALSE(r.log.contains("unanswered dialog")) << qPrintable(r.log);
        QMap<QString, Cell> out;
        QStringList seen;
        for (const QString& line : r.log.split('\n')) {
            const QString kind = line.section(' ', 1, 1);
            if (line.startsWith("dialog: ") && (kind == "skinned-message" || kind == "message-box")) {
                seen << keyOf(line.section('"', 3, -2).replace("\\n", "\n"));
            } else if (line.startsWith("> state ")) {
                const QString file = line.mid(8);
                out.insert(QFileInfo(file).completeBaseName(),
                    Cell { seen, QJsonDocument::fromJson(ReadFile(file)).object() });
                seen.clear();
            }
        }
        return out;
    }

    // SECTION/KEY of a text of the string table; the text itself otherwise.
    QString keyOf(const QString& text) const
    {
        for (const QString& section : texts_.sections()) {
            for (const QString& key : texts_.keys(section)) {
                if (texts_.value(section, key) == text)
                    return section + "/" + key;
            }
        }
        return text;
    }

    static QJsonArray clips(const Cell& c, int track)
    {
        return c.state["timeline"].toObject()["tracks"].toArray()[track].toObject()["clips"].toArray();
    }

    // Checks the outcome of a cell against the table in tests/e2e/README.md
    // (paths under the test's folder written from "~").
    void table(const QString& entry, const QString& input, QString outcome) const
    {
        static const QStringList readme
            = QString::fromUtf8(ReadFile(QStringLiteral(CW_SOURCE_DIR "/tests/e2e/README.md"))).split('\n');
        const QString row = "| " + entry + " | " + input + " | ";
        outcome = outcome.replace(root_.path(), "~").replace('\n', ' ').replace('|', '/').trimmed();
        const QStringList documented = readme.filter(row);
        std::cout << qPrintable(row + outcome) << " |\n";
        EXPECT_EQ(documented.value(0).toStdString(), (row + outcome + " |").toStdString());
    }

    QTemporaryDir root_;
    TempRegistry registry_;
    ResourceTable texts_;
    QString good_;
    QStringList bad_;
    QMap<QString, QByteArray> before_;
};

} // namespace

// AddMovieList, drops on the list and the timeline, the source preview,
// AudioOpen and VoiceOpen, each fed every bad file; then the toolbar's
// browser picks them all at once. The clips laid out first stay.
TEST_F(Reliability, ImportEntryPoints)
{
    const struct {
        const char* name;
        const char* script;
    } entries[] = {
        { "AddMovieList", "add \"%1\"" },
        { "list drop", "drop CMS_ListCtrl \"%3\"" },
        { "timeline drop", "drop CCW_TimeLineWnd \"%1\"\nwait 300" },
        { "source preview",
            "message frame 0x5011 %2 \"%1\"\nwait-for idle 20000\nclick CCW_PreviewMedia/6303\nwait 300\n"
            "message frame 0x5020 0 0" },
        { "AudioOpen", "answer-path \"%1\"\nclick AudioOpen" },
        { "VoiceOpen", "answer-path \"%1\"\nclick VoiceOpen" },
    };
    const QString tone = path("home/good.mp3");
    ASSERT_TRUE(QFile::copy(ToneMp3(), tone));
    before_ = fingerprint(path("home"));
    QString script
        = QString("wait-for idle 30000\nclip \"%1\" 0 1000\nclip \"%2\" 0 1000\nwait-for idle\n").arg(good_, tone);
    QStringList order;
    for (const auto& e : entries) {
        for (const QString& b : bad_) {
            order << QString("%1:%2").arg(e.name, b);
            script += QString(e.script)
                          .replace("%1", badPath(b))
                          .replace("%2", sound(b) ? "1" : "0")
                          .replace("%3", badPath(b, "dropped"))
                + QString("\nwait 200\nwait-for idle 20000\nstate \"%1\"\n")
                      .arg(path("cells/" + order.back() + ".json"));
        }
    }
    order << "browser:all";
    script += QString("click OpenFile\nwait-for dialog 10000\nwait 1000\nselect tree browsed\nwait 1000\n"
                      "wait-for idle 20000\nclick CMS_Browser/selectall\nclick CMS_Browser/Gain\n"
                      "wait-for closed CMS_Browser 20000\nwait-for idle 20000\nstate \"%1\"\n")
                  .arg(path("cells/browser:all.json"));
    const QMap<QString, Cell> seen = cells(host(script));

    int rows = 0;
    for (const QString& name : order) {
        SCOPED_TRACE(qPrintable(name));
        const Cell& c = seen[name];
        const QString entry = name.section(':', 0, 0), input = name.section(':', 1);
        // Nothing lost: the list keeps its rows, the tracks their clips.
        const int nowRows = c.state["medialist"].toObject()["rows"].toInt();
        EXPECT_GE(nowRows, rows);
        EXPECT_EQ(clips(c, 0).first()["path"].toString().toStdString(), good_.toStdString());
        EXPECT_TRUE(QJsonDocument(clips(c, 1)).toJson().contains(tone.toUtf8()));
        const QJsonObject preview = c.state["preview"].toObject();
        const QJsonObject sound = clips(c, entry == "VoiceOpen" ? 2 : 1).last().toObject();
        QString taken;
        if (nowRows > rows)
            taken = QString("listed %1").arg(nowRows - rows);
        else if (entry.endsWith("Open") && sound["path"].toString() == badPath(input))
            taken = QString("clip of %1 ms").arg(sound["length"].toInt());
        else if (preview["loaded"].toBool() && preview["path"].toString() == badPath(input))
            taken = "previewed";
        rows = nowRows;
        table(entry, input, (c.seen + QStringList { taken }).join(" ").trimmed());
    }
    EXPECT_EQ(fingerprint(path("home")), before_);
}

// Each bad file laid out before a good clip: the movie preview plays, the
// movie is saved on the PC and for the phone; a save that says it saved left
// its file, one that failed left nothing. Then a file goes while it plays,
// in either preview.
TEST_F(Reliability, PreviewAndSaveEntryPoints)
{
    const QString out = path("out/");
    ASSERT_TRUE(QDir().mkpath(out));
    QString script = "wait-for idle 30000\n";
    const auto state
        = [&](const QString& cell) { return QString("state \"%1\"\n").arg(path("cells/" + cell + ".json")); };
    for (int i = 0; i < bad_.size(); ++i) {
        const QString b = bad_[i];
        script += QString("clip \"%1\" 0 1000\nclip \"%2\" 0 1000\nwait-for idle 20000\nclick CCW_EditMenuWnd/preview\n"
                          "wait 800\nmessage frame 0x5020 3 0\nwait-for idle 20000\n")
                      .arg(badPath(b), good_)
            + state("movie preview:" + b);
        for (const char* button : { "save", "send" }) {
            script += QString("answer-path \"%1%2-%3.3gp\"\nclick CCW_EditMenuWnd/%3\nwait 500\n"
                              "wait-for closed CGlobalWorkDlg 45000\nwait-for idle 20000\n")
                          .arg(out)
                          .arg(i)
                          .arg(button)
                + state(QString(button) == "save" ? "PC save:" + b : "phone save:" + b);
        }
        script += "message CCW_TimeLineWnd 0x5341 3 0\nwait 300\nwait-for idle\n";
    }
    const QString doomed = path("doomed.avi"), doomed2 = path("doomed2.avi");
    ASSERT_TRUE(QFile::copy(good_, doomed) && QFile::copy(good_, doomed2));
    script += QString("clip \"%1\" 0 3000\nwait-for idle\nclick CCW_EditMenuWnd/preview\nwait 300\n%2wait 2000\n"
                      "message frame 0x5020 3 0\nwait-for idle 20000\n")
                  .arg(doomed, state("playing-edited"))
        + state("movie preview:deleted while playing");
    script += QString("message frame 0x5011 0 \"%1\"\nwait-for idle 20000\nclick CCW_PreviewMedia/6303\nwait 300\n%2"
                      "wait 2000\nmessage frame 0x5020 0 0\nwait-for idle 20000\n")
                  .arg(doomed2, state("playing-source"))
        + state("source preview:deleted while playing");
    const auto remove = [this](const QString& when, const QString& file) {
        return
            [this, when, file](QProcess&) { return QFileInfo::exists(path("cells/" + when)) && QFile::remove(file); };
    };
    const QMap<QString, Cell> seen
        = cells(host(script, { remove("playing-edited.json", doomed), remove("playing-source.json", doomed2) }));

    QStringList saved;
    for (int i = 0; i < bad_.size(); ++i) {
        for (const char* entry : { "movie preview", "PC save", "phone save" }) {
            const QString name = QString("%1:%2").arg(entry, bad_[i]);
            SCOPED_TRACE(qPrintable(name));
            const QStringList shown = seen[name].seen;
            table(entry, bad_[i], shown.isEmpty() ? "played" : shown.join(", "));
            if (QString(entry) == "movie preview")
                continue;
            // Saved exactly when it says so; for the phone, also on the phone.
            const QString file = QString("%1-%2.3gp").arg(i).arg(entry[0] == 'P' ? "save" : "send");
            const bool ok = shown.contains(entry[0] == 'P' ? "CW_MESSAGE/SAVE_OK" : "THEMEMANAGER/TM_SENDING_OK");
            EXPECT_EQ(QFileInfo::exists(out + file), ok);
            if (entry[0] == 'p') {
                EXPECT_EQ(QFileInfo::exists(path("phone/Movies/" + file)), ok);
            }
            if (ok) {
                EXPECT_TRUE(Probe(out + file, "format_tags=major_brand").startsWith("3gp"));
                saved << file;
            }
        }
    }
    // Nothing else in the output folder: no temporary or partial files.
    saved.sort();
    EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name), saved);
    for (const char* cell : { "movie preview:deleted while playing", "source preview:deleted while playing" }) {
        table(QString(cell).section(':', 0, 0), "deleted while playing", seen[cell].seen.join(", "));
    }
    EXPECT_EQ(fingerprint(path("home")), before_);
}

// cw-save fed each bad file as a video or sound clip beside a good one: an
// exit status and a message naming the clip, or a movie; never a partial one.
TEST_F(Reliability, CwSaveEntryPoint)
{
    QTemporaryDir suite;
    for (const char* lib : { "libOTTEnc.so", "libOTTAVIEncoder.so" })
        QFile::link(QStringLiteral(CW_SUITE_DIR "/") + lib, suite.filePath(lib));
    SetSuiteValue("INIDIR", QStringLiteral(CW_SUITE_DIR "/ini"));
    const QString out = path("out/");
    ASSERT_TRUE(QDir().mkpath(out));
    for (const QString& b : bad_) {
        SCOPED_TRACE(qPrintable(b));
        const QString clip = QString("{\"path\": \"%1\", \"length\": 1000}").arg(badPath(b));
        const QByteArray project = QString("{\"model\": \"TX-07\", \"video\": [{\"path\": \"%1\", \"length\": 1000, "
                                           "\"sound\": false}%2], \"audio\": [%3]}")
                                       .arg(good_, sound(b) ? "" : ", " + clip, sound(b) ? clip : "")
                                       .toUtf8();
        ASSERT_TRUE(WriteFile(path("project.json"), project));
        const ToolRun r = RunTool(kBuild + "/bin/cw-save",
            { path("project.json"), "-o", out + "movie.3gp", "--folder", suite.path() }, {}, kStepLimitMs);
        // The last line, without the time it took.
        const QString said = QString::fromUtf8(r.err + r.out).trimmed().section('\n', -1).section(", saved in", 0, 0);
        table("cw-save", b, QString("exit %1: %2").arg(r.exitCode).arg(said));
        EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden),
            r.exitCode == 0 ? QStringList { "movie.3gp" } : QStringList {});
        QFile::remove(out + "movie.3gp");
    }
    EXPECT_EQ(QDir(suite.filePath("Temp")).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList {});
    EXPECT_EQ(fingerprint(path("home")), before_);
}

// A save killed while it renders: the next start removes that run's work
// folder only, and the registry keeps its values. That start saves onto an
// existing movie with the disk full (no file may grow past 100 kB): SAVE_FAIL,
// nothing reported saved, the movie unchanged byte for byte. The next save
// succeeds.
TEST_F(Reliability, SaveKilledAndOnAFullDisk)
{
    const QString temp = path("data/orvanta/Temp/");
    const QString movie = path("out/movie.3gp");
    ASSERT_TRUE(WriteFile(movie, "yesterday's movie"));
    ASSERT_TRUE(WriteFile(temp + "cw-user/notes.txt", "no marker: not the editor's"));
    const QString save = QString("wait-for idle 30000\nclip \"%1\" 0 3000\nclip \"%1\" 0 3000\nwait-for idle\n"
                                 "answer-path \"%2\"\nclick CCW_EditMenuWnd/save\nwait 500\n"
                                 "wait-for closed CGlobalWorkDlg 45000\nwait-for idle 20000\n")
                             .arg(good_, movie);
    QString killed;
    const HostRun k = host(save + "wait 30000\n", { [&](QProcess& p) {
        for (const QString& run : QDir(temp).entryList({ "cw-*" }, QDir::Dirs)) {
            if (QFileInfo::exists(temp + run + "/MS_AVI_VIDEO.avi")) {
                killed = run;
                return ::kill(pid_t(p.processId()), SIGKILL) == 0;
            }
        }
        return false;
    } });
    ASSERT_FALSE(killed.isEmpty()) << qPrintable(k.log);
    EXPECT_EQ(k.status, -1);
    EXPECT_EQ(ReadFile(movie), "yesterday's movie");
    EXPECT_EQ(ReadSuiteString("FOLDER", 1024).value_or(""), path("data/orvanta"));
    EXPECT_EQ(ReadSuiteString("ORVT_DEFAULT_MODELNAME", 64).value_or(""), "TX-07");

    const auto fullDisk = [](QProcess& p) {
        p.setChildProcessModifier([] {
            const rlimit limit { 100000, 100000 };
            setrlimit(RLIMIT_FSIZE, &limit);
            signal(SIGXFSZ, SIG_IGN);
        });
    };
    const QString full = path("cells/disk full.json");
    QMap<QString, Cell> seen = cells(host(save + QString("state \"%1\"\n").arg(full), {}, fullDisk));
    table("PC save", "disk full", seen["disk full"].seen.join(", "));
    EXPECT_EQ(ReadFile(movie), "yesterday's movie");
    EXPECT_EQ(QDir(path("out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList { "movie.3gp" });
    table(
        "PC save", "SIGKILL", QFileInfo::exists(temp + killed) ? "work folder left" : "work folder removed next start");
    EXPECT_EQ(ReadFile(temp + "cw-user/notes.txt"), "no marker: not the editor's");

    seen = cells(host(save + QString("state \"%1\"\n").arg(path("cells/after.json"))));
    table("PC save", "after disk full", seen["after"].seen.join(", "));
    EXPECT_TRUE(Probe(movie, "format_tags=major_brand").startsWith("3gp"));
    EXPECT_EQ(QDir(temp).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList { "cw-user" });
}

// The editor starts and warns without its skin folder or string table, and
// with a registry database that is not one (which it leaves as it is).
TEST_F(Reliability, StartsAndWarnsWithoutSkinStringsOrRegistry)
{
    const QString ini = path("ini/");
    for (const QString& f : QDir(QStringLiteral(CW_SUITE_DIR "/ini")).entryList({ "*.ini" }, QDir::Files))
        ASSERT_TRUE(WriteFile(ini + f, ReadFile(QStringLiteral(CW_SUITE_DIR "/ini/") + f)));
    ASSERT_TRUE(QFile::remove(ini + "string.ini"));
    SetSuiteValue("IMAGEDIR", path("no-skin"));
    SetSuiteValue("INIDIR", ini);
    const QString script = QString("wait-for idle 30000\nclip \"%1\" 0 1000\nwait-for idle\nstate \"%2\"\n")
                               .arg(good_, path("cells/started.json"));
    for (const char* setting : { "no skin or string table", "corrupt registry" }) {
        SCOPED_TRACE(setting);
        if (setting[0] == 'c') {
            ASSERT_TRUE(WriteFile(registry_.path(), QByteArray(8192, 'G')));
        }
        const QByteArray registry = ReadFile(registry_.path());
        const HostRun r = host(script);
        EXPECT_EQ(clips(cells(r)["started"], 0).size(), 1);
        const QString warnings = r.err.split('\n')
                                     .filter(QRegularExpression("missing|cannot|folder"))
                                     .join(" / ")
                                     .replace(registry_.path(), "<registry>");
        table("editor start", setting, warnings);
        if (setting[0] == 'c') {
            EXPECT_EQ(ReadFile(registry_.path()), registry);
        }
    }
}
