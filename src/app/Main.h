// Start-up, the top-level loop and the orderly shutdown.
#pragma once

namespace Main {

// Process entry: creates the Qt application and the program's collections, runs Start and
// returns its exit code.
int Run(int argc, char** argv);

// Transport defaults per eInterface (1 USBTMC, 2 VXI-11, 3 raw TCP, 4 serial, 5 USB without
// transport, 6 LAN without transport): the response time-out in ms and the progress step in
// bytes. Read once at start-up; 0 for an interface outside 1..6.
int DefaultTimeout(int iInterface);
int DefaultProgressStep(int iInterface);

} // namespace Main
