// Feeds arbitrary bytes to cw-save as its project file. The reader is
// cw-save's own main(), compiled in here under another name; its way out
// with a refusal (std::exit from its fail()) becomes an exception that ends
// one input instead of the fuzzer. The suite folder is the build's, the
// model one it knows, and the clips name files that do not exist, so a
// project that reads well is refused when the save loads it.
#include "config/suite_settings.h"
#include "export/save_job.h"
#include "skin/scripted_dialog_service.h"

#include <QByteArray>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <tuple>
#include <unistd.h>

namespace {
struct ProjectRefused {
    int status;
};
} // namespace

namespace std {
[[noreturn]] void FuzzExit(int status)
{
    throw ProjectRefused { status };
}
} // namespace std

#define exit FuzzExit
#define main CwSaveMain
#include "../../tools/cw-save/main.cpp"
#undef main
#undef exit

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static QTemporaryDir home;
    qputenv("ORVANTA_REGISTRY", home.filePath("registry.db").toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath("project.json");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    QByteArray args[]
        = { "cw-save", path.toLocal8Bit(), "-o", dir.filePath("out.3gp").toLocal8Bit(), "--folder", CW_FUZZ_SUITE_DIR };
    char* argv[std::size(args) + 1] = {};
    for (std::size_t i = 0; i < std::size(args); ++i)
        argv[i] = args[i].data();
    int argc = static_cast<int>(std::size(args));
    try {
        CwSaveMain(argc, argv);
    } catch (const ProjectRefused& refused) {
        if (refused.status != kExitFailed)
            __builtin_trap();
    }
    QFile::remove(dir.filePath("out.3gp"));
    return 0;
}
