// The editor's work folder ("<FOLDER>/Temp"): emptied when the editor is
// created and again when it is destroyed, so intermediate files never pile up.
#pragma once

#include <QString>

// "<suiteFolder>/Temp" ("/Temp" when the suite folder is unknown).
QString WorkFolderPath(const QString& suiteFolder);

// Deletes everything inside folder (sub-folders too, read-only files
// included; links are removed, never followed) and the folder itself, then
// creates it again. True when the folder exists and is empty afterwards.
bool ResetWorkFolder(const QString& folder);
