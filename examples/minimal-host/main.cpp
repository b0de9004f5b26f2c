// A minimal host of the movie editor component, built against the installed
// files: shows the editor in a window and hands it the files named on the
// command line. With --check it quits once the editor is up (exit status 0),
// or exits with 1 when the editor could not be created.
#include <cw_load.h>

#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <QSettings>
#include <QTimer>

// The editor asks for its texts and image file names by section and key; this
// host answers from the suite data installed with the component (SUITE_DIR).
static QString lookup(const char* table, const QString& section, const QString& key)
{
    return QSettings(QStringLiteral(SUITE_DIR "/tables/") + table, QSettings::IniFormat)
        .value(section + '/' + key)
        .toString();
}
static QString text(QString section, QString key)
{
    return lookup("text_EN.ini", section, key);
}
static QString image(QString section, QString key)
{
    return lookup("image.ini", section, key);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList files = app.arguments().mid(1);
    const bool check = files.removeAll("--check") > 0;
    QMainWindow window;
    window.resize(1100, 760);
    window.show();
    auto* editor = static_cast<QWidget*>(
        Create(reinterpret_cast<std::uintptr_t>(&text), reinterpret_cast<std::uintptr_t>(&image), &window));
    if (!editor)
        return 1;
    window.setCentralWidget(editor);
    for (const QString& file : files)
        AddMovieList(QFileInfo(file).absoluteFilePath());
    if (check)
        QTimer::singleShot(0, &app, &QApplication::quit);
    const int status = app.exec();
    DestroyBtn();
    return status;
}
