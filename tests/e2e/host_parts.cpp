// The reference host's parts in process, and the default suite data.
// test-links: cw_host cw_config cw_platform
#include "component.h"
#include "host_options.h"
#include "host_window.h"
#include "phone_link.h"
#include "platform/ini_file.h"
#include "resource_tables.h"
#include "script.h"
#include "script_state.h"
#include "skin/scripted_dialog_service.h"
#include "suite_setup.h"
#include "test_util.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTextStream>
#include <QThread>
#include <gtest/gtest.h>

namespace {

const QString kSuite = QStringLiteral(CW_SUITE_DIR);

} // namespace

TEST(HostTables, ParsesIniTextAndUtf16FilesAndFallsBackToEnglish)
{
    ResourceTable t;
    t.parse("; comment\n[Cw_Message]\nNO_FILE = \"Gone\\nfor good\" \r\nno_file=second\nkey without value\n[EMPTY]\n");
    EXPECT_EQ(t.value("cw_message", "No_File"), "Gone\nfor good"); // case, quotes, escape, first wins
    EXPECT_EQ(t.size(), 1);

    QTemporaryDir dir;
    QStringEncoder utf16(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    ASSERT_TRUE(WriteFile(dir.filePath("t.ini"), utf16(QStringLiteral("[COMMON]\nCOMMON_CONFIRM_TITLE=확인\n"))));
    ASSERT_TRUE(t.load(dir.filePath("t.ini")));
    EXPECT_EQ(t.value("COMMON", "COMMON_CONFIRM_TITLE"), QStringLiteral("확인"));
    EXPECT_FALSE(t.load(dir.filePath("none.ini")));
    EXPECT_TRUE(t.error().contains("none.ini"));

    // The language picks the Korean table, with the English one behind it.
    ASSERT_TRUE(WriteFile(dir.filePath("text_EN.ini"), "[A]\nX=english\nY=only english\n"));
    ASSERT_TRUE(WriteFile(dir.filePath("text_KR.ini"), "[A]\nX=korean\n"));
    ASSERT_TRUE(WriteFile(dir.filePath("image.ini"), "[A_BTN_B]\nIMAGE=b.png\n"));
    HostResources korean;
    ASSERT_TRUE(korean.load(dir.path(), " Kr "));
    EXPECT_EQ(korean.text("A", "X"), "korean");
    EXPECT_EQ(korean.text("A", "Y"), "only english");
    HostResources en;
    ASSERT_TRUE(en.load(dir.path(), "EN"));
    SetHostResources(&en);
    EXPECT_EQ(HostTextLookup("A", "X"), "english");
    EXPECT_EQ(HostImageLookup("a_btn_b", "image"), "b.png");
    SetHostResources(nullptr);
    EXPECT_EQ(HostTextLookup("A", "X"), QString());
}

TEST(HostSuiteData, EveryImageOfTheTableIsDrawnAndLoads)
{
    ResourceTable images;
    ASSERT_TRUE(images.load(kSuite + "/tables/image.ini"));
    int checked = 0;
    for (const QString& section : images.sections()) {
        for (const QString& key : images.keys(section)) {
            const QString file = kSuite + "/image/" + images.value(section, key);
            QImageReader reader(file);
            const QImage img = reader.read();
            ASSERT_FALSE(img.isNull()) << qPrintable(file) << ": " << qPrintable(reader.errorString());
            // The same artwork at twice the size, for high-density screens.
            const qsizetype dot = file.lastIndexOf('.');
            EXPECT_EQ(QImage(file.left(dot) + "@2x" + file.mid(dot)).size(), img.size() * 2) << qPrintable(file);
            const bool button = section.contains("_BTN_") || key.startsWith("BTN_") || key.contains("_BTN_")
                || key.endsWith("BTN") || key.contains("BTN_IMAGE");
            EXPECT_TRUE(!button || img.width() % 4 == 0) << qPrintable(file) << " is not a strip of four button states";
            EXPECT_TRUE(section != "ME_RIGHT_LISTIMAGE" || img.size() == QSize(96, 96)) << qPrintable(file);
            if (key.endsWith("_GIF_IMAGE")) {
                QImageReader anim(file);
                EXPECT_TRUE(anim.imageCount() > 1 && anim.supportsAnimation()) << qPrintable(file);
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);
}

// Lookups written with literal names in the editor's sources must find an
// entry: an empty text or a missing skin image is a bug in the default data.
// Every text entry is in both languages.
TEST(HostSuiteData, EveryLiteralLookupOfTheEditorIsAnsweredInEveryLanguage)
{
    HostResources r;
    ASSERT_TRUE(r.load(kSuite + "/tables", "EN"));
    const QRegularExpression call(
        R"re(\b(GetResourceText|GetResourceInt|GetResourceImagePath|MakeSkinFont)\s*\((?:[^,()"]+,)?\s*"([^"]+)"\s*,\s*"([^"]+)")re");
    QDirIterator it(
        QStringLiteral(CW_SOURCE_DIR) + "/src", { "*.cpp", "*.h" }, QDir::Files, QDirIterator::Subdirectories);
    int lookups = 0;
    while (it.hasNext()) {
        const QString file = it.next();
        const QString code = QString::fromUtf8(ReadFile(file));
        for (auto m = call.globalMatch(code); m.hasNext();) {
            const auto match = m.next();
            const QString section = match.captured(2), key = match.captured(3);
            const bool image = match.captured(1) == "GetResourceImagePath";
            const QString value = image ? r.image(section, key) : r.text(section, key);
            EXPECT_FALSE(value.isEmpty())
                << qPrintable(QFileInfo(file).fileName()) << " asks for " << qPrintable(section + "/" + key)
                << "; add it to data/suite/tables/" << (image ? "image.ini" : "text_EN.ini and text_KR.ini");
            ++lookups;
        }
    }
    EXPECT_GT(lookups, 0);
    // The two string tables name the same entries, and layout numbers agree.
    const ResourceTable* tables[] = { &r.english(), &r.koreanTable() };
    for (int i = 0; i < 2; ++i) {
        const ResourceTable &from = *tables[i], &other = *tables[1 - i];
        for (const QString& section : from.sections()) {
            for (const QString& key : from.keys(section)) {
                SCOPED_TRACE(qPrintable(section + "/" + key + (i ? " of the Korean table" : " of the English table")));
                EXPECT_TRUE(other.contains(section, key));
                bool isNumber = false;
                from.value(section, key).toInt(&isNumber);
                EXPECT_TRUE(!isNumber || from.value(section, key) == other.value(section, key));
            }
        }
    }

    // The model files carry the refusal text in every language.
    const QString ini = kSuite + "/ini/";
    for (const char* model : { "TX-07", "TX-35", "ZT-500" }) {
        // Their movie folders are where host_phone.cpp sends the movie.
        const QString path = ini + model + ".ini";
        for (const char* lang : { "EN", "KR", "KOR" }) {
            const auto text = ini::ReadValue(path, QString("STRING_COMMON_%1").arg(lang), "CANNOT_BE_SUPPORT_FORMAT");
            ASSERT_TRUE(text.has_value()) << model << " " << lang;
            EXPECT_TRUE(text->contains("{MODEL_NAME}")) << model << " " << lang;
        }
    }
}

TEST(HostPhone, SendFileCopiesIntoThePhoneFolderAndTheWindowPublishesIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(WriteFile(dir.filePath("movie.3gp"), "movie data"));
    PhoneLink phone(dir.filePath("phone"), true);
    EXPECT_NE(phone.handle(), 0u);
    EXPECT_EQ(phone.SendFile(dir.filePath("movie.3gp"), "/Movies/movie.3gp"), 1);
    EXPECT_EQ(ReadFile(dir.filePath("phone/Movies/movie.3gp")), "movie data");
    EXPECT_EQ(phone.SendFile(dir.filePath("movie.3gp"), "\\Storage Card\\Movies\\"), 1);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("phone/Storage Card/Movies/movie.3gp")));

    // Renaming inside the phone replaces the file in one step.
    ASSERT_TRUE(WriteFile(dir.filePath("movie.3gp"), "second"));
    EXPECT_EQ(phone.SendFile(dir.filePath("movie.3gp"), "/Movies/.movie.part"), 1);
    EXPECT_EQ(phone.RenameFile("/Movies/.movie.part", "/Movies/movie.3gp"), 1);
    EXPECT_EQ(ReadFile(dir.filePath("phone/Movies/movie.3gp")), "second");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("phone/Movies/.movie.part")));
    EXPECT_EQ(phone.RenameFile("/Movies/.movie.part", "/Movies/movie.3gp"), 0);
    EXPECT_EQ(phone.RenameFile("/Movies/movie.3gp", "/../outside.3gp"), 0);

    EXPECT_EQ(phone.SendFile(dir.filePath("absent.3gp"), "/Movies/absent.3gp"), 0);
    EXPECT_EQ(phone.SendFile(dir.filePath("movie.3gp"), "/../outside.3gp"), 0);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("outside.3gp")));

    PhoneLink unplugged(dir.filePath("phone"), false);
    EXPECT_EQ(unplugged.handle(), 0u);
    EXPECT_EQ(unplugged.SendFile(dir.filePath("movie.3gp"), "/Movies/other.3gp"), 0);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("phone/Movies/other.3gp")));

    // The host's main window publishes the phone and shows status messages.
    PhoneLink linked(dir.path(), true);
    HostWindow w(&linked, "/lib/libcw_comm.so"); // what it publishes: host_phone.cpp

    QString text = "clip.avi           1.00MB    00:00:02    320 * 240    avi";
    EXPECT_EQ(SendMessage(&w, msg::HostStatus, 0, ToLParam(&text)), 1);
    EXPECT_EQ(w.statusText(), text);
    EXPECT_EQ(SendMessage(&w, msg::HostStatus, 0, 0), 1);
    EXPECT_EQ(w.statusText(), QString());
    EXPECT_EQ(SendMessage(&w, msg::HostNoop, 0, 0), 0);
    // The editor tells its parent window, which passes the message on.
    QString fromEditor = "sent to the editor's parent";
    EXPECT_EQ(SendMessage(w.editorParent(), msg::HostStatus, 0, ToLParam(&fromEditor)), 1);
    EXPECT_EQ(w.statusText(), fromEditor);

    // The component's own copy of the message layer may number its events
    // differently; the window still takes them.
    struct ForeignEvent : MessageEvent {
        ForeignEvent(LPARAM l)
            : MessageEvent(msg::HostStatus, 0, l)
        {
            t = QEvent::Type(QEvent::MaxUser - 77);
        }
    };
    QString foreign = "from the component";
    ForeignEvent e(ToLParam(&foreign));
    QCoreApplication::sendEvent(&w, &e);
    EXPECT_EQ(e.result(), 1);
    EXPECT_EQ(w.statusText(), foreign);

    PhoneLink none(dir.path(), false);
    HostWindow noPhone(&none, QString());
    EXPECT_FALSE(noPhone.property(kHostPhoneConnectedProperty).toBool());
    EXPECT_EQ(noPhone.property(kHostPhoneHandleProperty).toULongLong(), 0u);
}

TEST(HostScript, ParsesCommandsAndTheCommandLineAndRejectsBadLines)
{
    // Good lines and their arguments (joined by "|"), after a comment and a blank line.
    const std::pair<const char*, const char*> good[] = { { "add \"/tmp/my clip.avi\"", "/tmp/my clip.avi" },
        { "message frame 0x5017 0 /tmp/a.avi", "frame|0x5017|0|/tmp/a.avi" },
        { "expect-status clip.avi  1.00MB", "clip.avi|1.00MB" }, { "key x Ctrl+A, Return", "x|Ctrl+A,|Return" },
        { "drag x 1 2 3 4 shift+ctrl", "x|1|2|3|4|shift+ctrl" }, { "select x \"two words\"", "x|two words" },
        { "registry set Orvanta3.0 X \"a b\"", "set|Orvanta3.0|X|a b" }, { "registry delete K X", "delete|K|X" },
        { "wait-for property Dlg slider 25 900", "property|Dlg|slider|25|900" },
        { "dblclick list \"my clip.avi\"", "list|my clip.avi" } };
    QString error;
    for (const auto& [line, args] : good) {
        const auto script = ParseScript(QString("# start\n\n%1\n").arg(line), &error);
        ASSERT_TRUE(script) << line << ": " << qPrintable(error);
        ASSERT_EQ(script->size(), 1) << line;
        EXPECT_EQ((*script)[0].line, 3) << line;
        EXPECT_EQ((*script)[0].args.join('|'), args) << line;
    }
    for (const char* bad : { "jump 3", "add", "add a b", "wait soon", "answer maybe", "message frame x 0 0",
             "message frame 0x5017 0", "click x 1", "key x NoSuchKey", "drag x 1 2 3 4 hyper", "drag x 1 2 3",
             "wait-for later", "wait-for closed", "wait-for idle soon", "state", "drop x", "clip a.avi 0",
             "clip a.avi in 1000", "registry set K X", "registry delete K X Y", "registry get K X",
             "wait-for property Dlg slider", "wait-for property Dlg slider 2 soon" }) {
        error.clear();
        EXPECT_FALSE(ParseScript(QString("wait 1\n%1\n").arg(bad), &error)) << bad;
        EXPECT_TRUE(error.startsWith("line 2:")) << qPrintable(error);
    }
    EXPECT_EQ(ParseScriptNumber("0x5017"), 0x5017);
    EXPECT_EQ(ParseScriptNumber("-1"), -1);
    EXPECT_FALSE(ParseScriptNumber("/tmp/a.avi"));
    EXPECT_EQ(ParseDialogResult("NO"), IDNO);
    EXPECT_EQ(ParseDialogResult("2"), IDCANCEL);

    // The command line: options and files.
    auto o = ParseHostOptions(
        { "--script", "s.txt", "--phone=/tmp/p", "a.avi", "--lang", "kr", "--model=ZT-500", "--", "--b.avi" }, &error);
    ASSERT_TRUE(o) << qPrintable(error);
    EXPECT_EQ(o->script, "s.txt");
    EXPECT_EQ(o->phoneDir, "/tmp/p");
    EXPECT_EQ(o->language, "KR");
    EXPECT_EQ(o->model, "ZT-500");
    EXPECT_EQ(o->files, (QStringList { "a.avi", "--b.avi" }));
    const std::pair<QStringList, const char*> bad[] = { { { "--phone", "/p", "--no-phone" }, "exclude" },
        { { "--colour" }, "--colour" }, { { "--script" }, "--script" }, { { "--lang=" }, "--lang" } };
    for (const auto& [args, named] : bad) {
        EXPECT_FALSE(ParseHostOptions(args, &error)) << qPrintable(args.join(' '));
        EXPECT_TRUE(error.contains(named)) << qPrintable(error);
    }
}

namespace {

// Answers its message after stalling the UI thread.
class Staller : public MessageWindow<QWidget> {
public:
    using MessageWindow<QWidget>::MessageWindow;

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM, LPARAM, bool& handled) override
    {
        handled = message == 0x7002;
        if (handled)
            QThread::msleep(150);
        return handled ? 7 : 0;
    }
};

} // namespace

// The runner's own results: the message's answer, the longest UI stall and
// the registered sections in the state file, and a failing line that ends
// the run (the scenario clicks through the editor's modal dialogs).
TEST(HostScript, WritesStateAndStopsAtAFailingLine)
{
    QTemporaryDir dir;
    ScriptedDialogService dialogs;
    PhoneLink phone(dir.path(), false);
    HostWindow window(&phone, QString());
    (new Staller(window.editorParent()))->setObjectName("Staller");
    window.show();
    RegisterScriptStateSection("probe", [](const ScriptStateContext& c) { return QJsonValue(c.host != nullptr); });

    Component component; // none loaded: the targets are the host's
    QString log;
    QTextStream logStream(&log);
    ScriptRunner runner(component, window, dialogs, logStream);
    const QString statePath = dir.filePath("out/state.json");
    QString error;
    const auto script
        = ParseScript(QString("message Staller 0x7002 0 0\nstate \"%1\"\nclick Staller/NoSuchButton\nstate \"%1.2\"\n")
                          .arg(statePath),
            &error);
    ASSERT_TRUE(script) << qPrintable(error);
    EXPECT_EQ(runner.run(*script), 1) << qPrintable(log);
    logStream.flush();
    EXPECT_TRUE(log.contains("script line 3: no target \"Staller/NoSuchButton\"")) << qPrintable(log);
    EXPECT_FALSE(QFileInfo::exists(statePath + ".2")); // nothing after the failing line

    const QJsonObject state = QJsonDocument::fromJson(ReadFile(statePath)).object();
    const QJsonArray results = state["results"].toArray();
    ASSERT_EQ(results.size(), 1) << qPrintable(log);
    EXPECT_EQ(results[0]["result"], 7);
    EXPECT_EQ(results[0]["line"], 1);
    EXPECT_GE(state["uiStallMaxMs"].toInt(), 140); // the stall of the message
    EXPECT_LT(state["uiStallMaxMs"].toInt(), 10000);
    EXPECT_EQ(state["probe"], true);
}

TEST(HostSuiteSetup, InstallsIniFilesAndLinksTheBundledData)
{
    QTemporaryDir dir;
    ASSERT_TRUE(WriteFile(dir.filePath("data/ini/orvt.ini"), "[DESKTOP PATH]\nCAMCORDER0=1,{MOVIES}\n"));
    ASSERT_TRUE(WriteFile(dir.filePath("data/ini/TX-07.ini"), "[CW_SUPPORT_INFO]\nVIDEO_SAVE_FORMAT=3gp\n"));
    ASSERT_TRUE(WriteFile(dir.filePath("data/libOTTEnc.so"), "encoder"));
    const QString iniDir = dir.filePath("user/ini");
    QString error;
    ASSERT_TRUE(InstallIniFiles(dir.filePath("data/ini"), iniDir, "/home/u/Videos", &error)) << qPrintable(error);
    EXPECT_EQ(ini::ReadValue(iniDir + "/orvt.ini", "DESKTOP PATH", "CAMCORDER0").value_or(""), "1,/home/u/Videos");
    EXPECT_TRUE(QFileInfo::exists(iniDir + "/TX-07.ini"));
    ASSERT_TRUE(WriteFile(dir.filePath("data/ini/TX-07.ini"), "[CW_SUPPORT_INFO]\nVIDEO_SAVE_FORMAT=k3g\n"));
    ASSERT_TRUE(InstallIniFiles(dir.filePath("data/ini"), iniDir, "/home/u/Videos", &error));
    EXPECT_EQ(ini::ReadValue(iniDir + "/TX-07.ini", "CW_SUPPORT_INFO", "VIDEO_SAVE_FORMAT").value_or(""), "k3g");

    const QString user = dir.filePath("user");
    QFile::link("/nowhere/libOTTEnc.so", user + "/libOTTEnc.so"); // stale link of another build
    ASSERT_TRUE(WriteFile(user + "/libOTTAVIEncoder.so", "user's own copy"));
    ASSERT_TRUE(WriteFile(dir.filePath("data/libOTTAVIEncoder.so"), "bundled"));
    ASSERT_TRUE(WriteFile(dir.filePath("data/image/a.png"), "png"));
    LinkDataIntoSuiteFolder(dir.filePath("data"), user);
    EXPECT_EQ(QFileInfo(user + "/libOTTEnc.so").symLinkTarget(),
        QFileInfo(dir.filePath("data/libOTTEnc.so")).absoluteFilePath());
    EXPECT_EQ(ReadFile(user + "/libOTTEnc.so"), "encoder");
    EXPECT_EQ(ReadFile(user + "/libOTTAVIEncoder.so"), "user's own copy");
    EXPECT_EQ(ReadFile(user + "/image/a.png"), "png");
}
