// orvanta-host: the reference host application of the movie editor component.
// It publishes the suite values, answers the editor's text and image lookups
// from its tables, simulates a connected phone, and shows the editor in its
// main window. Exit status: 0 done, 1 bad command line or script, 2 the
// component or the suite data is missing, 3 the component refused to start.
#include "comm/comm_library.h"
#include "component.h"
#include "config/suite_settings.h"
#include "host_options.h"
#include "host_window.h"
#include "phone_link.h"
#include "platform/c_handles.h"
#include "resource_tables.h"
#include "script.h"
#include "skin/qt_dialog_service.h"
#include "skin/scripted_dialog_service.h"
#include "skin/skin_base_dialog.h"
#include "suite_setup.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>
#include <cstdio>
#include <dlfcn.h>
#include <memory>

namespace {

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

int fail(int status, const QString& text)
{
    std::fprintf(stderr, "orvanta-host: %s\n", qPrintable(text));
    return status;
}

void warn(const QString& text)
{
    std::fprintf(stderr, "orvanta-host: warning: %s\n", qPrintable(text));
}

QString firstExisting(const QStringList& paths)
{
    for (const QString& p : paths) {
        if (QFileInfo::exists(p))
            return p;
    }
    return QString();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("orvanta-host");

    QString error;
    const auto options = ParseHostOptions(app.arguments().mid(1), &error);
    if (!options)
        return fail(1, error + "\n" + HostUsage());
    if (options->help) {
        out() << HostUsage();
        return 0;
    }
    const QString appDir = QCoreApplication::applicationDirPath();

    // Suite data and folders.
    SuiteLayout layout;
    layout.dataDir = FindDataDir(appDir, options->dataDir);
    if (layout.dataDir.isEmpty()) {
        return fail(2,
            QStringLiteral("the suite data (tables/text_EN.ini) is not in any of: %1")
                .arg(DataDirCandidates(appDir, options->dataDir).join(", ")));
    }
    layout.userDir = UserSuiteDir();
    if (!QDir().mkpath(layout.userDir))
        return fail(2, QStringLiteral("cannot create the suite folder %1").arg(layout.userDir));
    QString moviesDir = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (moviesDir.isEmpty())
        moviesDir = QDir::homePath();
    if (!InstallIniFiles(layout.dataDir + "/ini", layout.iniDir(), moviesDir, &error))
        warn(error);
    LinkDataIntoSuiteFolder(layout.dataDir, layout.userDir);

    // Registry values: defaults on first run, then what the command line asks.
    QStringList written;
    if (!WriteMissingValues(SuiteDefaults(layout, SystemLanguage()), &written, &error))
        warn(error);
    else if (!written.isEmpty())
        out() << "registry defaults written: " << written.join(", ") << Qt::endl;
    QList<RegistryDefault> overrides;
    if (!options->language.isEmpty())
        overrides.append({ "ORVT_LANG", options->language });
    if (!options->model.isEmpty()) {
        overrides.append({ "ORVT_DEFAULT_MODELNAME", options->model });
        overrides.append({ "ORVT_DISPLAY_MODELNAME", options->model });
    }
    if (!overrides.isEmpty() && !WriteValues(overrides, &error))
        warn(error);

    // Lookup tables, read once.
    static HostResources resources;
    if (!resources.load(layout.tablesDir(), GetLanguage()))
        warn(resources.error());
    SetHostResources(&resources);

    // The simulated phone and the comm library.
    const QString phoneDir = options->phoneDir.isEmpty() ? layout.defaultPhoneDir() : options->phoneDir;
    if (!options->noPhone && !QDir().mkpath(phoneDir))
        return fail(2, QStringLiteral("cannot create the phone folder %1").arg(phoneDir));
    PhoneLink phone(phoneDir, !options->noPhone);
    // The comm library stays loaded for the whole run (the component loads the
    // same module and shares its phone registration).
    DlHandle comm;
    const QString commPath = firstExisting(Component::candidatePaths(appDir, "libcw_comm.so"));
    if (!commPath.isEmpty())
        comm.reset(dlopen(QFile::encodeName(commPath).constData(), RTLD_NOW | RTLD_LOCAL));
    if (comm) {
        if (auto connect = reinterpret_cast<CwCommConnectFn>(dlsym(comm.get(), "CwCommConnect")))
            connect(phone.handle(), phone.isConnected() ? phone.folder() : QString());
    } else {
        warn("the comm library libcw_comm.so is missing; sending through the host will fail");
    }

    // Script mode answers every dialog from the script.
    std::optional<QList<ScriptCommand>> script;
    ScriptedDialogService* scripted = nullptr;
    if (!options->script.isEmpty()) {
        QFile file(options->script);
        if (!file.open(QIODevice::ReadOnly))
            return fail(1, QStringLiteral("cannot read the script %1: %2").arg(options->script, file.errorString()));
        script = ParseScript(QString::fromUtf8(file.readAll()), &error);
        if (!script)
            return fail(1, QStringLiteral("%1: %2").arg(options->script, error));
        auto service = std::make_unique<ScriptedDialogService>();
        scripted = service.get();
        SetDialogService(std::move(service));
        // The component keeps its own copy of the dialog layer; it finds the
        // host's service here.
        app.setProperty("cwDialogService", QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(scripted)));
    } else {
        InstallSkinnedMessages();
        InstallQtDialogServiceIfNone();
    }

    // The component.
    Component component;
    QString componentPath = options->component;
    if (componentPath.isEmpty())
        componentPath = qEnvironmentVariable("ORVANTA_COMPONENT");
    if (componentPath.isEmpty()) {
        const QStringList candidates = Component::candidatePaths(appDir, "libcw_load.so");
        componentPath = firstExisting(candidates);
        if (componentPath.isEmpty())
            return fail(2,
                QStringLiteral("the editor component libcw_load.so is not in any of: %1").arg(candidates.join(", ")));
    }
    if (!component.load(componentPath, &error))
        return fail(2, error);

    HostWindow window(&phone, commPath);
    window.setWindowTitle(GetAppTitle());
    window.resize(1100, 760);
    QObject::connect(
        &window, &HostWindow::statusChanged, [](const QString& text) { out() << "status: " << text << Qt::endl; });
    QObject::connect(&phone, &PhoneLink::fileSent, [](const QString& local, const QString& target) {
        out() << "phone: " << local << " -> " << target << Qt::endl;
    });
    window.show();

    QWidget* editor = component.create(HostTextLookup, HostImageLookup, window.editorParent());
    if (!editor)
        return fail(3, QStringLiteral("the editor component %1 could not create its window").arg(componentPath));
    window.setEditor(editor);
    for (const QString& f : options->files)
        component.addMovieList(QFileInfo(f).absoluteFilePath());

    int status = 0;
    std::unique_ptr<ScriptRunner> runner;
    QTimer::singleShot(0, [&] {
        ScriptRunner::wait(300);
        if (!options->screenshot.isEmpty()) {
            if (ScriptRunner::saveScreenshot(window, options->screenshot, &error))
                out() << "screenshot: " << QFileInfo(options->screenshot).absoluteFilePath() << Qt::endl;
            else
                status = fail(1, error);
        }
        if (script) {
            runner = std::make_unique<ScriptRunner>(component, window, *scripted, out());
            runner->start(*script, [&](int r) { QApplication::exit(status ? status : r); });
        } else if (!options->screenshot.isEmpty() && QGuiApplication::platformName() == "offscreen") {
            QApplication::exit(status);
        }
    });
    const int r = QApplication::exec();
    runner.reset();
    component.destroy();
    return r;
}
