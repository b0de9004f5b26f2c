// Runs a piece of work in a child process so that a crash or a hang in it
// cannot take the component down. Used to try id3lib on a file before the
// component reads it: id3lib's tag parser has memory faults that malformed
// tags reach.
#pragma once

#include <functional>

// Runs work in a forked child. True when the child finished it within
// timeoutMs; false when the child crashed, hung (it is then killed) or
// could not be started. Nothing work does in the child reaches this process.
bool RunIsolated(const std::function<void()>& work, int timeoutMs);
