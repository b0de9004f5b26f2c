// The process-wide list of named graphs: a playback graph registers itself
// under "FilterGraph %08x pid %08x" so that diagnostics can see which graphs
// are alive. Entries are identified by a nonzero registration word.
#pragma once

#include "platform/hresult.h"

#include <QString>
#include <QStringList>
#include <cstdint>

// The name a graph is registered under: its address (low 32 bits) and the
// process id, each as eight lower-case hex digits.
QString RunningObjectName(const void* graph);

// Registers graph; *registration receives the nonzero registration word.
// E_POINTER for a null graph or registration.
HRESULT AddGraphToRot(const void* graph, std::uint32_t* registration);
// Revokes a registration; E_INVALIDARG when it is not registered.
HRESULT RemoveGraphFromRot(std::uint32_t registration);

// The names registered now, in registration order.
QStringList RunningObjectNames();
