// The component's exported entry points; everything else stays hidden.
#pragma GCC visibility push(default)
#include "cw_load.h"
#pragma GCC visibility pop

#include "shell/main_frame.h"

#include <QWidget>

extern "C" {

void* Create(std::uintptr_t textCallback, std::uintptr_t imageCallback, void* parent)
{
    return CCW_MainFrame::instance().Create(reinterpret_cast<HostTextCallback>(textCallback),
        reinterpret_cast<HostImageCallback>(imageCallback), static_cast<QWidget*>(parent));
}

void AddMovieList(QString path)
{
    CCW_MainFrame::instance().AddMovieList(path);
}

void DestroyBtn()
{
    CCW_MainFrame::instance().Destroy();
}
}
