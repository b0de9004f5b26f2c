// What a host application provides to the movie editor component.
//
// 1. Two lookup callbacks, passed to Create():
//      text:  (section, key) -> the text stored in the suite's string table;
//      image: (section, key) -> an image file name relative to the suite's
//             image folder ("IMAGEDIR" in the registry).
//    Both return an empty text for anything they do not hold. They are called
//    on the UI thread only.
//
// 2. Properties on the host's main window (a top-level QWidget of the
//    application), read by the component whenever it needs them:
//      "cwPhoneLink"      QObject* of the phone-link object. It offers the
//                         invokable method  int SendFile(QString local,
//                         QString remote)  returning > 0 on success, and
//                         may offer  int RenameFile(QString from, QString
//                         to)  (phone paths, > 0 on success, replacing
//                         "to"): the editor then copies to a temporary
//                         name and renames, so a failed copy keeps the
//                         phone's old file.
//      "cwPhoneConnected" bool, true while a phone is connected.
//      "cwPhoneHandle"    qulonglong, the connection handle (non-zero when
//                         connected).
//      "cwCommLibrary"    QString, path of the host's comm library module; the
//                         component loads it with dlopen and looks up the
//                         export "PCEditMovieToVexlo".
//    The main window also receives message 0x3063 (see platform/messages.h)
//    with the status text of the previewed file.
#pragma once

#include <QString>

using HostLookupCallback = QString (*)(QString section, QString key);
using HostTextCallback = HostLookupCallback;
using HostImageCallback = HostLookupCallback;

// Names of the main-window properties above.
inline constexpr const char* kHostPhoneLinkProperty = "cwPhoneLink";
inline constexpr const char* kHostPhoneConnectedProperty = "cwPhoneConnected";
inline constexpr const char* kHostPhoneHandleProperty = "cwPhoneHandle";
inline constexpr const char* kHostCommLibraryProperty = "cwCommLibrary";

// The comm library's export "PCEditMovieToVexlo" (C linkage): the connection
// handle, the two lookups the host passed to Create, and the path of the
// rendered AVI file. Returns 0 on failure, non-zero when the hand-over worked.
using PCEditMovieToVexloFn
    = int (*)(qulonglong handle, HostTextCallback text, HostImageCallback image, QString aviPath);
inline constexpr const char* kCommLibraryExport = "PCEditMovieToVexlo";
