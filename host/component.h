// The editor component, loaded at run time with dlopen. The library handle is
// owned here and closed when the object goes (after DestroyBtn).
#pragma once

#include "cw_load.h"
#include "platform/c_handles.h"

#include <QString>
#include <QStringList>
#include <memory>

class QWidget;

class Component {
public:
    Component() = default;
    ~Component();
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    // Loads the library and looks up its three entry points. On failure the
    // message names the library or the missing export.
    bool load(const QString& path, QString* error);
    bool isLoaded() const { return handle_ != nullptr; }
    QString path() const { return path_; }

    // The editor's window, or null when the component refused.
    QWidget* create(HostTextCallback text, HostImageCallback image, QWidget* parent);
    void addMovieList(const QString& path);
    void destroy();
    QWidget* editor() const { return editor_; }

    // Where the library is looked for, beside the executable in appDir: the
    // build layout (bin/ and lib/) and the install layout (lib/orvanta/).
    static QStringList candidatePaths(const QString& appDir, const QString& fileName);

private:
    DlHandle handle_;
    QString path_;
    CwCreateFn create_ = nullptr;
    CwAddMovieListFn addMovieList_ = nullptr;
    CwDestroyBtnFn destroyBtn_ = nullptr;
    QWidget* editor_ = nullptr;
};
