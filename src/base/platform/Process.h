#pragma once
// Starting other programs from a command line, and waiting for them.

#include <string>
#include <vector>

namespace platform {

// Splits a command line into words as a shell splits unquoted words: at runs
// of blanks, tabs and line feeds. Quotes and backslashes have no meaning.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

// Starts the command line's first word as a program, found through PATH when
// it holds no "/", with the remaining words as its arguments, in the current
// working folder and environment. Returns the process id, or -1 when the
// program could not be started (also for an empty command line).
int startProcess(const std::string& commandLine);

// Waits at most timeoutMs for the process to end. True when it ended (it is
// then reaped); false when it still runs or is not a child of this process.
bool waitForProcess(int processId, unsigned timeoutMs);

}  // namespace platform
