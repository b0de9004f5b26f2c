#include "component.h"

#include <QDir>
#include <QWidget>
#include <dlfcn.h>

Component::~Component()
{
    destroy();
}

bool Component::load(const QString& path, QString* error)
{
    handle_.reset();
    create_ = nullptr;
    addMovieList_ = nullptr;
    destroyBtn_ = nullptr;
    void* h = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        if (error)
            *error = QStringLiteral("cannot load the editor component %1: %2")
                         .arg(path, QString::fromLocal8Bit(dlerror()));
        return false;
    }
    DlHandle holder(h);
    auto sym = [&](const char* name) -> void* {
        void* p = dlsym(h, name);
        if (!p && error && error->isEmpty())
            *error = QStringLiteral("the editor component %1 lacks the export \"%2\"").arg(path, QLatin1String(name));
        return p;
    };
    if (error)
        error->clear();
    auto* create = reinterpret_cast<CwCreateFn>(sym("Create"));
    auto* add = reinterpret_cast<CwAddMovieListFn>(sym("AddMovieList"));
    auto* destroy = reinterpret_cast<CwDestroyBtnFn>(sym("DestroyBtn"));
    if (!create || !add || !destroy)
        return false;
    handle_ = std::move(holder);
    path_ = path;
    create_ = create;
    addMovieList_ = add;
    destroyBtn_ = destroy;
    return true;
}

QWidget* Component::create(HostTextCallback text, HostImageCallback image, QWidget* parent)
{
    if (!create_ || editor_)
        return editor_;
    editor_ = static_cast<QWidget*>(
        create_(reinterpret_cast<std::uintptr_t>(text), reinterpret_cast<std::uintptr_t>(image), parent));
    return editor_;
}

void Component::addMovieList(const QString& path)
{
    if (addMovieList_ && editor_)
        addMovieList_(path);
}

void Component::destroy()
{
    if (destroyBtn_ && editor_) {
        editor_ = nullptr;
        destroyBtn_();
    }
}

QStringList Component::candidatePaths(const QString& appDir, const QString& fileName)
{
    const QDir dir(appDir);
    return { QDir::cleanPath(dir.filePath("../lib/" + fileName)),
        QDir::cleanPath(dir.filePath("../lib/orvanta/" + fileName)) };
}
