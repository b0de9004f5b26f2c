// What the shell hands down to every pane: the host's lookups, the dialog
// service, the registry and the main frame as the target of the panes'
// messages. Panes use these instead of process-wide locators, so a test can
// give a pane its own.
#pragma once

#include "config/resources.h"

class DialogService;
class QObject;
class RegistryStore;

struct PaneContext {
    ResourceLookup resources;
    DialogService* dialogs = nullptr;
    RegistryStore* registry = nullptr;
    QObject* mainFrame = nullptr;
};
