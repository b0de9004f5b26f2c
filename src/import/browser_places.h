// Where the media browser starts and the folders the user bookmarked, both
// kept in the suite key: "Mini Browser Path" (the folder last shown) and one
// string value per bookmark under "Orvanta3.0\Bookmark", rewritten whole.
#pragma once

#include <QString>
#include <QStringList>

// The folder of "Mini Browser Path", created on disk when missing and written
// back. A value that is empty, names a file or cannot be created gives the
// user's home folder (the desktop's counterpart of a drive root).
QString BrowserStartFolder();
// Keeps folder as the one last shown.
void SetBrowserFolder(const QString& folder);

// The bookmarks in their stored order (vanished folders included).
QStringList ReadBookmarks();
// Replaces every bookmark.
bool WriteBookmarks(const QStringList& folders);
