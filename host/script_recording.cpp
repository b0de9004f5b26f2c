#include "script_recording.h"

#include "script_state.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QWidget>

void RegisterRecordingStateSection()
{
    // The dialog publishes its state as properties of its window.
    RegisterScriptStateSection(QStringLiteral("recording"), [](const ScriptStateContext&) -> QJsonValue {
        const auto windows = QApplication::topLevelWidgets();
        for (const QWidget* w : windows) {
            if (w->objectName() != QLatin1String("CCW_RecordingDlg") || !w->isVisible())
                continue;
            QJsonObject section;
            for (const char* flag : { "recording", "paused", "hasRecording", "playing" })
                section[QLatin1String(flag)] = w->property(flag).toBool();
            section["timeText"] = w->property("timeText").toString();
            section["slider"] = w->property("slider").toInt();
            section["path"] = w->property("recordedPath").toString();
            section["devices"] = QJsonArray::fromStringList(w->property("devices").toStringList());
            return section;
        }
        return QJsonValue();
    });
}
