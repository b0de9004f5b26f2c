// The state file's "medialist" and "browser" sections, read from the
// properties the media list pane and the media browser publish.
#include "script_state.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QWidget>

namespace {

QJsonValue MediaListSection(const ScriptStateContext& context)
{
    const QObject* pane = context.editor ? context.editor->findChild<QObject*>("CCW_ThumbnailWnd") : nullptr;
    if (!pane)
        return QJsonValue();
    return QJsonObject { { "rows", pane->property("rows").toInt() },
        { "thumbnailsReady", pane->property("thumbnailsReady").toInt() },
        { "viewMode", pane->property("viewMode").toInt() } };
}

QJsonValue BrowserSection(const ScriptStateContext& context)
{
    // The browser is a dialog of the host's window while OpenFile runs it.
    const QObject* browser = context.host ? context.host->findChild<QObject*>("CMS_Browser") : nullptr;
    if (!browser)
        return QJsonValue();
    return QJsonObject { { "folder", browser->property("folder").toString() },
        { "selection", QJsonArray::fromStringList(browser->property("selection").toStringList()) },
        { "bookmarks", QJsonArray::fromStringList(browser->property("bookmarks").toStringList()) } };
}

} // namespace

void RegisterMediaStateSections()
{
    RegisterScriptStateSection("medialist", MediaListSection);
    RegisterScriptStateSection("browser", BrowserSection);
}
