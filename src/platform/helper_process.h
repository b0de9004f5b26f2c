// Helper programs: small programs of ours that do a risky job (a library
// that may crash or hang on untrusted input) in a process of their own and
// write their answer to standard output.
//
// A helper is started with posix_spawn, never by forking the caller (which
// may be the user interface with its threads and its locks): its standard
// input and error are /dev/null, its standard output a pipe, and no other
// descriptor of the caller reaches it. It is killed when its time is up.
// RunHelper waits for it, so it belongs on a worker thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct HelperRun {
    enum class End {
        NotStarted, // the program could not be started
        Exited, // it ended by itself; exitCode says how
        Crashed, // a signal ended it
        TimedOut, // killed when its time was up
        TooLong, // killed when its output passed the limit
    };
    End end = End::NotStarted;
    int exitCode = -1; // when Exited
    std::string output; // what it wrote to standard output
    // Exited with status 0.
    bool Succeeded() const { return end == End::Exited && exitCode == 0; }
};

// Runs program (a path) with arguments (argv[1] on), in the caller's
// environment, for at most timeoutMs, keeping at most maxOutput bytes of its
// output.
HelperRun RunHelper(
    const std::string& program, const std::vector<std::string>& arguments, int timeoutMs, std::size_t maxOutput);

// The path of the helper program name shipped with the code that calls this:
// found from the folder of the library or program holding this code, so an
// installed tree can be moved as a whole. Looked for beside it (build tree
// programs and tests), in its private library folder ("orvanta/" beside an
// installed library, "../lib/orvanta/" beside an installed program), and in
// "../bin/" (a library in a build tree). Empty when none is there.
std::string FindHelperProgram(const std::string& name);
