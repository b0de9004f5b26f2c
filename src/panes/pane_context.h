// What the shell hands down to every pane: the host's lookups, the dialog
// service, the registry, the media-probe service (answers about files off
// the UI thread) and the main frame as the target of the panes' messages.
// Panes use these instead of process-wide locators, so a test can give a
// pane its own.
#pragma once

#include "config/resources.h"

#include <QString>

class CMediaProbe;
class DialogService;
class QObject;
class RegistryStore;

struct PaneContext {
    ResourceLookup resources;
    DialogService* dialogs = nullptr;
    RegistryStore* registry = nullptr;
    CMediaProbe* probe = nullptr;
    QObject* mainFrame = nullptr;
    // The editor's private work folder (recordings go there).
    QString workFolder;
};
