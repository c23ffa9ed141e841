// Runs the engine's worker program (a second workstation) and reads what it
// reports, line by line.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vbistest {

/// The records the worker writes: an indexed owner text (21 bytes) and a counter.
constexpr const char *kWorkerFormat = "X$*21,%";
constexpr std::size_t kWorkerRecordLength = 23;

class TWorker {
public:
    /// Starts vbis_worker from the program's folder with these arguments.
    explicit TWorker(const std::vector<std::string> &args);
    ~TWorker();
    TWorker(const TWorker &) = delete;
    TWorker &operator=(const TWorker &) = delete;

    /// The next whole line of its output, false at its end.
    bool ReadLine(std::string &line);
    /// Every line still to come, up to the end of its output.
    std::vector<std::string> ReadAll();
    /// Kills it outright (SIGKILL).
    void Kill();
    /// Waits for it to end; its exit code, or 128 + the signal that ended it.
    int Wait();

private:
    pid_t FPid = -1;
    int FOut = -1;
    std::string FPending;
    bool FEnded = false;
};

} // namespace vbistest
