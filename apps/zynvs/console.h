// What every zynvs command shares about its console: the libraries' own
// chatter (FFmpeg, SDL) is off unless --verbose is given, and Ctrl-C or
// SIGTERM ask the running job to finish instead of killing the process.
#pragma once

namespace zynvs_app {

// Takes "--verbose" into account; call once before any library is used.
void SetVerbose(bool verbose);
bool Verbose();

// From now on SIGINT and SIGTERM set the stop request; a second signal of
// either kind ends the process at once.
void CatchStopSignals();
bool StopRequested();
// The signal that asked for the stop (0 when none).
int StopSignal();

}  // namespace zynvs_app
