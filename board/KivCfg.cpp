#include "board/KivCfg.h"

#include "platform/Files.h"
#include "platform/KivError.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
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

// The file opened and locked for one read (shared: readers never hold each
// other up) or one write (exclusive); -1 while another workstation holds it
// against that, or it cannot be opened, with held telling which. A link or a
// FIFO in its place is never followed or waited on.
int OpenLocked(const std::string &path, bool write, bool &held)
{
    held = false;
    const int fd = OpenRegularFile(path, write ? O_RDWR : O_RDONLY);
    if (fd < 0)
        return -1;
    if (flock(fd, (write ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        held = errno == EWOULDBLOCK;
        close(fd);
        return -1;
    }
    return fd;
}

// The values this process last read from or wrote to each Kiv.cfg: what a
// read goes on with while another workstation holds the file.
std::mutex gKnownLock;
std::map<std::string, TKivCfgRecord> gKnown;

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

void Remember(const std::string &path, const TKivCfgRecord &record)
{
    std::lock_guard<std::mutex> guard(gKnownLock);
    gKnown[path] = record;
}

// One attempt at reading: every record in turn, so the last one counts.
bool TryRead(const std::string &path, TKivCfgRecord &record, bool &held)
{
    const int fd = OpenLocked(path, false, held);
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
    bool held = false;
    const int fd = OpenLocked(path, true, held);
    return fd >= 0 && WriteAndClose(fd, record);
}

// One attempt at a change: read, changed and written back under one lock, so
// that no other workstation's write falls between the read and the write.
bool TryChange(const std::string &path, const std::function<void(TKivCfgRecord &)> &change, TKivCfgRecord &record)
{
    bool held = false;
    const int fd = OpenLocked(path, true, held);
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
    if (IsBlankText(folder))
        throw EKivError("Unkown Kiv database location");
    return JoinPath(folder, KivCfg::FileName);
}

TKivCfgRead ReadKivCfg(const std::string &folder, TKivCfgRecord &record)
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
    bool held = false;
    if (WithAttempts([&] { return TryRead(path, record, held); })) {
        Remember(path, record);
        return TKivCfgRead::FromFile;
    }
    if (!held)
        FailOpen();
    // Held against reading for longer than any write takes: the board goes
    // on with what it knew, and says so.
    std::lock_guard<std::mutex> guard(gKnownLock);
    const auto known = gKnown.find(path);
    record = known == gKnown.end() ? TKivCfgRecord() : known->second;
    return known == gKnown.end() ? TKivCfgRead::Defaults : TKivCfgRead::LastKnown;
}

std::string KivCfgNotice(TKivCfgRead read)
{
    switch (read) {
    case TKivCfgRead::FromFile:
        break;
    case TKivCfgRead::LastKnown:
        return "Kiv.CFG is held by another workstation: the board settings last read are used.";
    case TKivCfgRead::Defaults:
        return "Kiv.CFG is held by another workstation: the default board settings are used.";
    }
    return {};
}

void WriteKivCfg(const std::string &folder, const TKivCfgRecord &record)
{
    const std::string path = KivCfgPath(folder);
    if (!WithAttempts([&] { return TryWrite(path, record); }))
        FailOpen();
    Remember(path, record);
}

void ChangeKivCfg(const std::string &folder, const std::function<void(TKivCfgRecord &)> &change, TKivCfgRecord &record)
{
    const std::string path = KivCfgPath(folder);
    if (!WithAttempts([&] { return TryChange(path, change, record); }))
        FailOpen();
    Remember(path, record);
}
