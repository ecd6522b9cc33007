// Start-up, the top-level loop and the orderly shutdown.
#pragma once

namespace Main {

// Process entry: creates the Qt application and the program's collections, runs Start and
// returns its exit code.
int Run(int argc, char** argv);

} // namespace Main
