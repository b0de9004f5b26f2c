// What the shell hands down to every pane: the host's lookups, the dialog
// service, the registry, the media-probe service (answers about files off
// the UI thread) and the main frame as the target of the panes' messages.
// Panes use these instead of process-wide locators, so a test can give a
// pane its own.
#pragma once

#include "config/resources.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

class CMediaProbe;
class DialogService;
class FrameCache;
class QObject;
class RegistryStore;
struct SaveResults;

struct PaneContext {
    ResourceLookup resources;
    DialogService* dialogs = nullptr;
    RegistryStore* registry = nullptr;
    CMediaProbe* probe = nullptr;
    QObject* mainFrame = nullptr;
    // The main frame's parts that the save of the edited movie uses: the
    // frame cache, the save results, the still frame shown while the
    // preview is suspended, the suite folder and the editor's work folder
    // (imports and voice recordings go there too).
    FrameCache* frameCache = nullptr;
    SaveResults* saveResults = nullptr;
    std::vector<std::uint8_t>* stillFrame = nullptr;
    QString suiteFolder;
    QString workFolder;
    // False without a FOLDER setting: imports then make no folder in the
    // stand-in work folder.
    bool importFolders = true;
    // The host's phone connection: false when no phone is connected,
    // otherwise true with its handle and the comm library's path.
    std::function<bool(qulonglong* handle, QString* commLibrary)> hostConnection;
    // True for a folder name that is a connected handheld device.
    std::function<bool(const QString&)> isDeviceName;
};
