// Entry points of the movie editor component (libcw_load.so). A host loads
// the library with dlopen, looks these up with dlsym, and calls them on its
// UI thread. What the host must provide is described in host_api.h.
#pragma once

#include "host_api.h"

#include <cstdint>

extern "C" {
// Builds the editor as a child of parent (a QWidget*). textCallback and
// imageCallback are the host's HostTextCallback and HostImageCallback passed
// as pointer-sized values. Returns the editor's main window (a QWidget*), or
// null when it could not be created.
void* Create(std::uintptr_t textCallback, std::uintptr_t imageCallback, void* parent);
// Hands the editor one media file; valid after Create succeeded.
void AddMovieList(QString path);
// Tears the editor down (its work folder is left empty).
void DestroyBtn();
}

// Types for dlsym results.
using CwCreateFn = void* (*)(std::uintptr_t, std::uintptr_t, void*);
using CwAddMovieListFn = void (*)(QString);
using CwDestroyBtnFn = void (*)();
