// The state file of the script mode ("state FILE"): one JSON object whose
// sections say what the editor shows. The script runner writes its own
// sections (the dialogs and their results, uiStallMaxMs); a pane adds its
// section by registering a provider here, from a static initialiser of its
// host-side file.
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <functional>

class QWidget;

// What a section provider may look at.
struct ScriptStateContext {
    QWidget* editor = nullptr; // the editor's window (null before Create)
    QWidget* host = nullptr; // the host's main window
};

using ScriptStateSection = std::function<QJsonValue(const ScriptStateContext&)>;

// Adds a section named name to every state file; a second provider of the
// same name replaces the first.
void RegisterScriptStateSection(const QString& name, ScriptStateSection provider);
// The registered sections, each under its name, added to state.
void AddRegisteredStateSections(const ScriptStateContext& context, QJsonObject& state);
// Registers the media list's and the media browser's sections.
void RegisterMediaStateSections();
// Writes state indented to path (through a temporary file).
bool WriteStateFile(const QString& path, const QJsonObject& state, QString* error);
