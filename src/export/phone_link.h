// What the editor asks of the host about the phone: the phone's movie folder
// (from the suite's INI files), the copy of a saved movie through the host's
// phone-link object, the hand-over of a rendered movie to the host's comm
// library, and the names under which the connected phone shows up in the
// file system (so the media browser can keep it out of its folder tree).
//
// The host publishes its phone facts as properties of its main window
// (include/host_api.h); shell/host_phone_facts.h reads them.
#pragma once

#include "host_api.h"

#include <QString>
#include <optional>

class QObject;
class ResourceLookup;

// The phone's movie folder for the default model: "CAMCORDER0" of the model
// INI file's "ORVT_DEVICE_FOLDER_INFO", or, without a model INI file, of the
// string INI file's "ORVT_DEVICE_FOLDER_INFO_<MODEL>"; nothing without a
// string INI file. A prefix ending in a comma is cut and the folder ends in
// a separator. Empty when there is no usable entry.
QString PhoneMovieFolder();

// The name a file gets on the phone: the last path component of name (after
// "/" or "\\"), without control characters; empty when nothing usable is
// left ("", ".", "..").
QString PhoneFileName(const QString& name);

// Copies localPath into the phone's movie folder as PhoneFileName(fileName)
// through the host's phone-link object (its SendFile(local, remote) must
// report > 0). When the object also offers RenameFile(from, to), the copy
// goes to a temporary name in the movie folder and is renamed over the
// phone's file only once complete, so a failed copy keeps the phone's old
// file. False without a folder, a usable name or a phone-link object, or
// when the copy or the rename fails.
bool SendToPhone(QObject* phoneLink, const QString& localPath, const QString& fileName);

// Calls the comm library's "PCEditMovieToVexlo" with the connection handle,
// the two lookups and the AVI path. Empty optional when the library or the
// export cannot be found; otherwise the export's result (0 means failure).
std::optional<int> CallCommLibrary(const QString& libraryPath, qulonglong handle, HostTextCallback text,
    HostImageCallback image, const QString& aviPath);

// The upper-case, ";"-separated names of the connected handheld device:
// the resource text ("MEDIAEXPLORER", "MOBILE_DEVICE"), "Windows Mobile
// Device", the default model, the first partner device of the mobile-device
// services and the friendly name of the portable device with the connected
// hardware id (both from the registry).
QString CollectDeviceNames(const ResourceLookup& lookup);

// True when name (without regard to case) is one of the items of deviceNames.
bool IsConnectedDeviceName(const QString& deviceNames, const QString& name);
