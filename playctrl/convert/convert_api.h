// The conversion calls of the player's C interface, as plain C++ functions:
// ZYNVS_PlAY_ConvertFile, ZYNVS_PlAY_StopConvert and ZYNVS_PlAY_UnInit forward
// their arguments unchanged and return these results. They never throw.
//
// The process has at most one engine (CFileConverter). The first
// PlayConvertFile creates it and its worker thread; PlayUnInit destroys it; the
// next PlayConvertFile creates a fresh one. Any thread may call these
// functions; they are serialised by one engine lock (not the player's port
// table lock, which they never take). PlayStopConvert and PlayUnInit block
// while they wait for the worker (see below).
#pragma once

#include "playctrl/convert/ZynConvertProgress.h"

namespace playctrl::convert {

// Queues a job and returns 9999, the engine's handle, whether or not the job
// can be done. Mode 1 AVI, 4 MPEG-2/MP2, 5 clip from first_value to
// second_value percent of the source; other modes read the source and write
// nothing. A null, empty or longer-than-128-character path queues nothing
// (still 9999). Returns 0 only when the engine could not be created (no
// memory or no thread). The paths are copied; the caller keeps ownership.
int PlayConvertFile(const char* source_path, const char* target_path, int mode, int first_value,
                    int second_value);

// With handle 9999 and an existing engine: ends the running job's frame loop
// and the worker, empties the queue and waits up to 3000 ms for the worker;
// returns 1. Jobs queued after this stay unprocessed until PlayUnInit. Any
// other handle, or no engine: 0, nothing changes.
int PlayStopConvert(int handle);

// Stops the engine as PlayStopConvert does and destroys it (after its worker
// has ended; a clip copy in progress is waited for). Ports are not touched.
// Always 0.
int PlayUnInit();

// Extension (not one of the specified exports): progress of the running or
// last job. With handle 9999, an existing engine and a non-null record: fills
// it and returns 1; otherwise 0 and the record is left alone.
int PlayGetConvertProgress(int handle, ZynConvertProgress* progress);

}  // namespace playctrl::convert
