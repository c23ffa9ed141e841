#include "board/KivCfg.h"

#include "platform/Files.h"
#include "platform/KivError.h"

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

// Reads every record of the open file in turn, so the last one counts.
bool ReadRecords(int fd, TKivCfgRecord &record)
{
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return false;
    for (off_t position = 0; position != st.st_size; position += off_t(kRecordSize)) {
        unsigned char bytes[kRecordSize];
        // A length that is not a multiple of 33 ends in a short read.
        if (ReadAllAt(fd, bytes, kRecordSize, position) != kRecordSize)
            return false;
        std::memcpy(&record, bytes, kRecordSize);
    }
    return true;
}

// One attempt at reading.
bool TryRead(const std::string &path, TKivCfgRecord &record)
{
    const int fd = OpenExclusive(path);
    if (fd < 0)
        return false;
    const bool ok = ReadRecords(fd, record);
    close(fd);
    return ok;
}

// Writes record over the first record of the open file and closes it.
bool WriteAndClose(int fd, const TKivCfgRecord &record)
{
    unsigned char bytes[kRecordSize];
    std::memcpy(bytes, &record, kRecordSize);
    bool ok = WriteAllAt(fd, bytes, kRecordSize, 0) == kRecordSize;
    // The board's other workstations read it from the share next.
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    return ok;
}

bool TryWrite(const std::string &path, const TKivCfgRecord &record)
{
    const int fd = OpenExclusive(path);
    return fd >= 0 && WriteAndClose(fd, record);
}

// One attempt at a change: read, changed and written back under one lock, so
// that no other workstation's write falls between the read and the write.
bool TryChange(const std::string &path, const std::function<void(TKivCfgRecord &)> &change, TKivCfgRecord &record)
{
    const int fd = OpenExclusive(path);
    if (fd < 0)
        return false;
    record = TKivCfgRecord();
    if (!ReadRecords(fd, record)) {
        close(fd);
        return false;
    }
    change(record);
    return WriteAndClose(fd, record);
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
    const bool blank =
        std::all_of(folder.begin(), folder.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; });
    if (blank)
        throw EKivError("Unkown Kiv database location");
    std::string path = folder;
    if (path.back() != '/')
        path += '/';
    return path + KivCfg::FileName;
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

void ChangeKivCfg(const std::string &folder, const std::function<void(TKivCfgRecord &)> &change, TKivCfgRecord &record)
{
    const std::string path = KivCfgPath(folder);
    if (!WithAttempts([&] { return TryChange(path, change, record); }))
        FailOpen();
}
