#include "script_state.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMap>
#include <QSaveFile>
#include <QVariant>
#include <QWidget>

namespace {

// The timeline window answers by name: it lives in the component's own copy
// of the code, so the host asks through its meta-object.
QJsonValue TimelineState(const ScriptStateContext& context)
{
    QObject* timeline = context.editor ? context.editor->findChild<QObject*>("CCW_TimeLineWnd") : nullptr;
    QJsonObject state;
    if (timeline)
        QMetaObject::invokeMethod(timeline, "ScriptState", Qt::DirectConnection, Q_RETURN_ARG(QJsonObject, state));
    return state;
}

QMap<QString, ScriptStateSection>& Sections()
{
    static QMap<QString, ScriptStateSection> sections { { "timeline", &TimelineState } };
    return sections;
}

// The sections the two previews publish: a pane's property holds the
// address of a function of the component (QJsonObject (*)(const QObject*,
// const QString&)) that describes it.
QJsonValue PaneSection(const ScriptStateContext& context, const char* paneName, const QString& section)
{
    QObject* pane = context.editor ? context.editor->findChild<QObject*>(paneName) : nullptr;
    const auto address = pane ? pane->property("cwStateSection").value<quintptr>() : 0;
    if (!address)
        return QJsonValue();
    using StateFunction = QJsonObject (*)(const QObject*, const QString&);
    return reinterpret_cast<StateFunction>(address)(pane, section);
}

[[maybe_unused]] const bool kPaneSections = [] {
    for (const char* section : { "edited", "save" })
        Sections().insert(
            section, [section](const ScriptStateContext& c) { return PaneSection(c, "CCW_PreviewEdited", section); });
    Sections().insert(
        "preview", [](const ScriptStateContext& c) { return PaneSection(c, "CCW_PreviewMedia", "preview"); });
    return true;
}();

} // namespace

void RegisterScriptStateSection(const QString& name, ScriptStateSection provider)
{
    Sections().insert(name, std::move(provider));
}

void AddRegisteredStateSections(const ScriptStateContext& context, QJsonObject& state)
{
    for (auto it = Sections().cbegin(); it != Sections().cend(); ++it)
        state.insert(it.key(), it.value()(context));
}

bool WriteStateFile(const QString& path, const QJsonObject& state, QString* error)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QDir().mkpath(QFileInfo(absolute).absolutePath());
    QSaveFile file(absolute);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(state).toJson()) < 0 || !file.commit()) {
        *error = QStringLiteral("cannot write the state file %1: %2").arg(absolute, file.errorString());
        return false;
    }
    return true;
}
