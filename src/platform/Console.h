// The terminal of the command-line program.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Makes the console show UTF-8 output (Windows: the console's output code
// page; elsewhere nothing to do).
void PrepareConsoleOutput();

// The program's arguments as UTF-8, argv[0] included (Windows: from the
// wide command line, as the ANSI argv cannot hold every character).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Reads standard input to its end as bytes, untranslated. false on a read error.
bool ReadStandardInput(std::string* contents);

// From this call on, a request to stop (Ctrl+C, SIGINT, SIGTERM; on Windows
// also Ctrl+Break and closing the console) no longer ends the process at
// once: it only makes StopRequested() true, so that the program can finish
// the work in progress and return from main with its own status.
void CatchStopRequests();
bool StopRequested();

}  // namespace platform
