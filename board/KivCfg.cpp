#include "board/KivCfg.h"

#include "platform/Files.h"
#include "platform/KivError.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::size_t kRecordSize = sizeof(TKivCfgRecord);

[[noreturn]] void FailOpen()
{
    throw EKivError("Unable to open Kiv.CFG file");
}

// The file opened for reading and writing and locked against every other
// process; -1 while another workstation holds it or it cannot be opened. A
// link or a FIFO in its place is never followed or waited on.
int OpenExclusive(const std::string &path)
{
    const int fd = OpenRegularFile(path, O_RDWR);
    if (fd < 0)
        return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// One attempt at reading: every record in turn, so the last one counts.
bool TryRead(const std::string &path, TKivCfgRecord &record)
{
    const int fd = OpenExclusive(path);
    if (fd < 0)
        return false;
    bool ok = true;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        ok = false;
    } else {
        for (off_t position = 0; position != st.st_size; position += off_t(kRecordSize)) {
            unsigned char bytes[kRecordSize];
            // A length that is not a multiple of 33 ends in a short read.
            if (ReadAllAt(fd, bytes, kRecordSize, position) != kRecordSize) {
                ok = false;
                break;
            }
            std::memcpy(&record, bytes, kRecordSize);
        }
    }
    close(fd);
    return ok;
}

bool TryWrite(const std::string &path, const TKivCfgRecord &record)
{
    const int fd = OpenExclusive(path);
    if (fd < 0)
        return false;
    unsigned char bytes[kRecordSize];
    std::memcpy(bytes, &record, kRecordSize);
    bool ok = WriteAllAt(fd, bytes, kRecordSize, 0) == kRecordSize;
    // The board's other workstations read it from the share next.
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    return ok;
}

template <typename Attempt>
bool WithAttempts(Attempt attempt)
{
    for (int n = 0; n < KivCfg::Attempts; ++n) {
        if (n > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(KivCfg::PauseMs));
        if (attempt())
            return true;
    }
    return false;
}

} // namespace

std::string KivCfgPath(const std::string &folder)
{
    // Blank means nothing but spaces and control characters.
    if (IsBlankText(folder))
        throw EKivError("Unkown Kiv database location");
    return JoinPath(folder, KivCfg::FileName);
}

void ReadKivCfg(const std::string &folder, TKivCfgRecord &record)
{
    const std::string path = KivCfgPath(folder);
    record = TKivCfgRecord();
    if (!FileExists(path)) {
        // Created without truncation: a workstation creating it at the same
        // moment loses nothing.
        const int fd = OpenRegularFile(path, O_WRONLY | O_CREAT, 0666);
        if (fd < 0)
            throw EKivError("Cannot create file \"" + path + "\". " + OpenErrorText(errno));
        close(fd);
    }
    if (!WithAttempts([&] { return TryRead(path, record); }))
        FailOpen();
}

void WriteKivCfg(const std::string &folder, const TKivCfgRecord &record)
{
    const std::string path = KivCfgPath(folder);
    if (!WithAttempts([&] { return TryWrite(path, record); }))
        FailOpen();
}
