// Test entry point: a QApplication exists for the whole run, so tests can use
// widgets, timers and queued messages under the offscreen platform, and the
// process has a registry database of its own: ctest -j runs the tests of one
// program as parallel processes, which must not share settings.
#include "skin/scripted_dialog_service.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    const QTemporaryDir registryDir(QDir::tempPath() + "/cw-test-registry-XXXXXX");
    qputenv("ORVANTA_REGISTRY", QFile::encodeName(registryDir.filePath("registry.db")));
    QApplication app(argc, argv);
    // No test may block on a modal window: unless a test installs its own,
    // dialogs are answered with their defaults.
    SetDialogService(std::make_unique<ScriptedDialogService>());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
