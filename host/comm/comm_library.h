// The host's comm library (libcw_comm.so). The editor component hands a
// rendered movie to the connected phone through its export
// "PCEditMovieToVexlo"; the host registers the simulated phone's folder under
// its connection handle first. The host and the component load the same
// module file, so they share its one registration table.
#pragma once

#include "host_api.h"

#include <QtGlobal>

extern "C" {
// Copies the AVI file at aviPath into the folder of the phone connected under
// handle (keeping its file name). The two lookups are the host's callbacks
// (unused here). Returns 1 on success, 0 when the handle is not connected or
// the copy fails.
int PCEditMovieToVexlo(qulonglong handle, HostTextCallback text, HostImageCallback image, QString aviPath);
// Registers (or, with an empty folder, removes) the phone folder of handle.
void CwCommConnect(qulonglong handle, QString phoneFolder);
}

using CwCommConnectFn = void (*)(qulonglong, QString);
