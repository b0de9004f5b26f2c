// Test entry point: a QApplication exists for the whole run, so tests can use
// widgets, timers and queued messages under the offscreen platform, and the
// process has a registry database and config, data and cache folders of its
// own: ctest -j runs the tests of one program as parallel processes, which
// must not share settings, and no test may touch the user's.
#include "skin/scripted_dialog_service.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    const QTemporaryDir home(QDir::tempPath() + "/cw-test-XXXXXX");
    qputenv("ORVANTA_REGISTRY", QFile::encodeName(home.filePath("registry.db")));
    for (const char* name : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME" })
        qputenv(name, QFile::encodeName(home.filePath(QString::fromLatin1(name))));
    QApplication app(argc, argv);
    // No test may block on a modal window: unless a test installs its own,
    // dialogs are answered with their defaults.
    SetDialogService(std::make_unique<ScriptedDialogService>());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
