#include "script_state.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMap>
#include <QSaveFile>

namespace {

QMap<QString, ScriptStateSection>& Sections()
{
    static QMap<QString, ScriptStateSection> sections;
    return sections;
}

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
