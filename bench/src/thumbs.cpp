// Thumbnails of the media list: the files given on the command line are
// added to a media list pane at once (offscreen), and the time until every
// row shows its cell is measured, with the UI thread's longest stall while
// the list fills. A second list (a fresh cache) takes the same files and has
// half of its rows deleted while the cells are being made; the longest stall
// of that phase is printed too.
//
// Usage: bench_thumbs CACHE_FOLDER FILE...
// Prints "THUMBS_SECONDS <s>", "UI_STALL_MAX_MS_FILL <ms>" and
// "UI_STALL_MAX_MS_DELETE <ms>"; bench/thumbs compares the first with the
// ffmpeg command.
#include "panes/media_list/thumbnail_wnd.h"
#include "platform/messages.h"
#include "skin/scripted_dialog_service.h"
#include "ui_watchdog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QItemSelection>

#include <cstdio>

namespace {

QString NoText(QString, QString)
{
    return {};
}

// Turns the event loop until every row of the list has its cell.
void WaitForCells(CCW_ThumbnailWnd& list)
{
    while (list.list()->readyCount() < list.list()->count())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fputs("usage: bench_thumbs CACHE_FOLDER FILE...\n", stderr);
        return 2;
    }
    const QString cache = QString::fromLocal8Bit(argv[1]);
    QStringList files;
    for (int i = 2; i < argc; ++i)
        files << QString::fromLocal8Bit(argv[i]);

    ScriptedDialogService dialogs;
    PaneContext context;
    context.resources = ResourceLookup(&NoText, &NoText);
    context.dialogs = &dialogs;
    context.workFolder = QDir(cache).filePath("work");
    context.importFolders = false;

    CCW_ThumbnailWnd list(context, nullptr, QDir(cache).filePath("first"));
    list.show();
    UiWatchdog fill;
    QElapsedTimer timer;
    timer.start();
    for (const QString& file : files)
        list.AddHostFile(file, QString());
    WaitForCells(list);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const long long fillStall = fill.LongestStallMs();

    CCW_ThumbnailWnd second(context, nullptr, QDir(cache).filePath("second"));
    second.show();
    UiWatchdog deletion;
    for (const QString& file : files)
        second.AddHostFile(file, QString());
    // Half the rows go while their cells are being made.
    // One selection change, as a user's gesture makes: selecting row by row
    // would merge each row into thousands of ranges, a cost of the driver.
    QCoreApplication::processEvents();
    QItemSelection half;
    for (int row = 0; row < second.list()->count(); row += 2) {
        const QModelIndex index = second.list()->model()->index(row, 0);
        half.select(index, index);
    }
    second.list()->selectionModel()->select(half, QItemSelectionModel::Select);
    SendMessage(&second, msg::ListDeleteSelected, 0, 0);
    WaitForCells(second);

    std::printf("FILES %d\n", int(files.size()));
    std::printf("THUMBS_SECONDS %.3f\n", seconds);
    std::printf("UI_STALL_MAX_MS_FILL %lld\n", fillStall);
    std::printf("UI_STALL_MAX_MS_DELETE %lld\n", deletion.LongestStallMs());
    return list.list()->readyCount() == int(files.size()) ? 0 : 1;
}
