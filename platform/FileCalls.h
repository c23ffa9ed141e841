// Kiv's own file-system calls on the board folder, counted for the
// benchmarks; the engine counts its calls and SQLite's (vbis/FileCalls.h).
//
// On a network share every call is a round trip to the file server. The few
// helpers that touch files of the board folder (the existence checks, a file's
// age, the folder flush and the whole-buffer reads and writes of platform/
// Files.h) count here. Counting is off until a benchmark switches it on, and
// costs one relaxed load per call while off.
#pragma once

#include "vbis/FileCalls.h"

/// The process's count of Kiv's own calls.
vbis::TFileCalls &KivFileCalls();

/// Counts one of Kiv's own calls.
inline void CountKivCall(vbis::TFileCall call)
{
    KivFileCalls().Count(call);
}
