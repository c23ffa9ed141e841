// What the tests see of the counting stand-in for the engine: every call it
// answers is counted, and it can play another workstation that files records
// under the very numbers the wrapper computes.
#pragma once

#include <cstdint>

/// The format string of the pretend datasets, unless a test says otherwise.
inline constexpr const char *kFakeFormat = "%";

struct TFakeEngineState {
    /// Calls of any entry point.
    int Calls = 0;
    /// Adds (VmxPut mode 1) seen.
    int Adds = 0;
    /// The highest record number in the pretend dataset; 0 when empty.
    int64_t Highest = 0;
    /// How many of the next adds another workstation beats: it files its own
    /// record under the number first, and the add is refused with code 2.
    int Races = 0;
    /// What every read but the key-only one answers.
    int16_t ReadAnswer = 1;
    /// What positioning before the first record (VmxBOF) answers.
    int16_t BofAnswer = 0;
    /// What a replace (VmxPut mode 2) answers.
    int16_t ReplaceAnswer = 0;
    /// VmxCreate plays a workstation that created the dataset a moment
    /// earlier: it makes the definition file itself and answers 9.
    bool LoseCreateRace = false;
    /// The first 16-bit field of the last record added.
    int16_t AddedFirstField = -1;
    /// The key of the last add that succeeded.
    char AddedKey[32] = {};
    /// The format string every pretend dataset reports.
    const char *Format = kFakeFormat;
};

/// The name of the state's accessor, exported by the stand-in.
inline constexpr const char *kFakeEngineStateSymbol = "FakeEngineState";
using TFakeEngineStateFn = TFakeEngineState *(*)();
