#include "board/Presence.h"

#include "platform/Clock.h"
#include "platform/FileCalls.h"
#include "platform/Files.h"
#include "platform/KivError.h"
#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace Presence;

/// How long a claim waits for another copy's claim to end.
constexpr std::chrono::milliseconds kLockWait{2000};
constexpr std::chrono::milliseconds kLockRetry{10};
/// The latest back-at a slot may hold: far beyond any real one.
constexpr int64_t kLatestUntil = int64_t(1) << 40;
constexpr int64_t kNsPerSecond = 1000000000;

// The file holds its numbers little-endian, whatever the workstation.
void Put32(unsigned char *at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}
void Put64(unsigned char *at, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}
uint32_t Get32(const unsigned char *at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}
uint64_t Get64(const unsigned char *at)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

void PutField(unsigned char *at, std::size_t width, const std::string &text)
{
    std::memset(at, 0, width);
    const std::string cut = CutText(text, width - 1);
    std::memcpy(at, cut.data(), cut.size());
}

/// The text of a field that ends in a zero byte within width and holds only
/// well-formed UTF-8 without control characters; nothing for anything else.
std::optional<std::string> FieldText(const unsigned char *at, std::size_t width)
{
    const auto *end = static_cast<const unsigned char *>(std::memchr(at, 0, width));
    if (end == nullptr)
        return std::nullopt;
    const std::string text(reinterpret_cast<const char *>(at), std::size_t(end - at));
    if (HasControl(text))
        return std::nullopt;
    for (std::size_t i = 0; i < text.size();) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(text, i, code);
        if (length == 0)
            return std::nullopt;
        i += length;
    }
    return text;
}

int64_t NanosOf(const struct timespec &time)
{
    return int64_t(time.tv_sec) * kNsPerSecond + time.tv_nsec;
}

std::array<unsigned char, BeatSize> BeatBytes(uint32_t flags, uint32_t period, uint64_t beats, int64_t seenNs)
{
    std::array<unsigned char, BeatSize> beat{};
    Put32(beat.data(), flags);
    Put32(beat.data() + 4, period);
    Put64(beat.data() + 8, beats);
    Put64(beat.data() + 16, uint64_t(seenNs));
    return beat;
}

std::array<unsigned char, BackAtSize> BackAtBytes(int64_t until, const TOwnStatus &stamp)
{
    std::array<unsigned char, BackAtSize> backAt{};
    if (until == 0)
        return backAt;
    Put64(backAt.data(), uint64_t(until));
    PutField(backAt.data() + 8, StatusSize, stamp.Status);
    PutField(backAt.data() + 8 + StatusSize, CommentsSize, stamp.Comments);
    PutField(backAt.data() + 8 + StatusSize + CommentsSize, UpdatedSize, stamp.Updated);
    return backAt;
}

/// The slot at bytes, or nothing when any of it is not what a copy writes.
std::optional<TPresenceSlot> SlotOf(const unsigned char *bytes, off_t offset)
{
    TPresenceSlot slot;
    slot.Offset = offset;
    const std::optional<std::string> login = FieldText(bytes + LoginAt, LoginSize);
    if (!login || login->empty())
        return std::nullopt;
    slot.Login = *login;
    const unsigned char *beat = bytes + BeatAt;
    slot.Flags = Get32(beat);
    slot.PeriodSeconds = Get32(beat + 4);
    slot.Beats = Get64(beat + 8);
    slot.SeenNs = int64_t(Get64(beat + 16));
    if ((slot.Flags & ~(Running | SignedOff)) != 0 || slot.SeenNs < 0)
        return std::nullopt;
    if (slot.Flags != 0 && (slot.PeriodSeconds == 0 || slot.PeriodSeconds > 86400))
        return std::nullopt;
    const unsigned char *backAt = bytes + BackAtAt;
    slot.Until = int64_t(Get64(backAt));
    if (slot.Until < 0 || slot.Until > kLatestUntil)
        return std::nullopt;
    if (slot.Until != 0) {
        const auto status = FieldText(backAt + 8, StatusSize);
        const auto comments = FieldText(backAt + 8 + StatusSize, CommentsSize);
        const auto updated = FieldText(backAt + 8 + StatusSize + CommentsSize, UpdatedSize);
        if (!status || !comments || !updated)
            return std::nullopt;
        slot.Stamp = {*status, *comments, *updated};
    }
    return slot;
}

std::string Quoted(const std::string &path)
{
    return "\"" + path + "\"";
}

bool HeaderValid(const std::vector<unsigned char> &bytes, std::size_t got)
{
    return got >= HeaderSize && std::memcmp(bytes.data(), Magic, sizeof Magic) == 0 && Get32(&bytes[8]) == Version
           && Get32(&bytes[12]) == SlotSize;
}

/// Fills snapshot's slots from the got bytes read of a file of size bytes.
void ParseSlots(TPresenceSnapshot &snapshot, const std::vector<unsigned char> &bytes, std::size_t got, off_t size,
                const std::string &path)
{
    if (got == 0)
        return;
    if (!HeaderValid(bytes, got)) {
        snapshot.Fault = "The presence file " + Quoted(path) + " is not one this version of Kiv writes; it is ignored";
        return;
    }
    snapshot.SlotCount = (got - HeaderSize) / SlotSize;
    int damaged = 0;
    for (std::size_t i = 0; i < snapshot.SlotCount; ++i) {
        const off_t offset = off_t(HeaderSize + i * SlotSize);
        std::optional<TPresenceSlot> slot = SlotOf(&bytes[std::size_t(offset)], offset);
        if (!slot)
            ++damaged;
        else
            snapshot.Slots.emplace(slot->Login, std::move(*slot));
    }
    if (off_t(got) < size)
        snapshot.Fault = "The presence file " + Quoted(path) + " holds more than " + std::to_string(MaxSlots)
                         + " users; the rest is ignored";
    else if (damaged != 0)
        snapshot.Fault = "The presence file " + Quoted(path) + " holds " + std::to_string(damaged)
                         + " damaged entries; they are ignored";
}

std::size_t ReadCap()
{
    return HeaderSize + MaxSlots * SlotSize;
}

/// Reads up to the cap from fd, whose size is size.
std::vector<unsigned char> ReadCapped(int fd, off_t size, std::size_t &got)
{
    std::vector<unsigned char> bytes(std::min<std::size_t>(std::size_t(std::max<off_t>(size, 0)), ReadCap()));
    got = bytes.empty() ? 0 : ReadAllAt(fd, bytes.data(), bytes.size(), 0);
    return bytes;
}

void CloseCounted(int fd)
{
    CountKivCall(TKivCall::Close);
    close(fd);
}

bool SameDay(const std::tm &a, const std::tm &b)
{
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday;
}

} // namespace

// ---- reading ------------------------------------------------------------------

const TPresenceSlot *TPresenceSnapshot::Find(const std::string &login) const
{
    const auto found = Slots.find(login);
    return found == Slots.end() ? nullptr : &found->second;
}

std::optional<int64_t> TPresenceSnapshot::StoppedSince(const std::string &login) const
{
    const TPresenceSlot *slot = Find(login);
    if (slot == nullptr || (slot->Flags & Running) == 0 || (slot->Flags & SignedOff) != 0)
        return std::nullopt;
    const int64_t silence = int64_t(StoppedPeriods) * slot->PeriodSeconds * kNsPerSecond;
    if (ServerNowNs - slot->SeenNs <= silence)
        return std::nullopt;
    return slot->SeenNs;
}

TPresenceSnapshot ReadPresence(const std::string &folder)
{
    TPresenceSnapshot snapshot;
    const std::string path = JoinPath(folder, FileName);
    struct stat st {};
    const int fd = OpenRegularFile(path, O_RDONLY, 0, TLinks::Refuse, &st);
    if (fd < 0) {
        if (errno != ENOENT)
            snapshot.Fault = "The presence file " + Quoted(path) + " cannot be read - " + OpenErrorText(errno);
        return snapshot;
    }
    snapshot.Present = true;
    snapshot.Device = st.st_dev;
    snapshot.Inode = st.st_ino;
    snapshot.ServerNowNs = NanosOf(st.st_mtim);
    std::size_t got = 0;
    const std::vector<unsigned char> bytes = ReadCapped(fd, st.st_size, got);
    CloseCounted(fd);
    ParseSlots(snapshot, bytes, got, st.st_size, path);
    return snapshot;
}

std::string PresenceTimeText(std::time_t moment, std::time_t now)
{
    std::tm local{}, today{};
    if (localtime_r(&moment, &local) == nullptr || localtime_r(&now, &today) == nullptr)
        return std::string();
    char text[64];
    if (SameDay(local, today))
        std::snprintf(text, sizeof text, "%02d:%02d", local.tm_hour, local.tm_min);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                      local.tm_mday, local.tm_hour, local.tm_min);
    return text;
}

void AnnotateRow(TBoardRow &row, const TPresenceSnapshot &presence, std::time_t now)
{
    row.Until.clear();
    row.NotRunningSince.clear();
    const std::string &login = row.SubItems[TBoardRow::Login];
    const TPresenceSlot *slot = presence.Find(login);
    if (slot == nullptr)
        return;
    const std::optional<int64_t> stopped = presence.StoppedSince(login);
    if (stopped)
        row.NotRunningSince = PresenceTimeText(std::time_t(*stopped / kNsPerSecond), now);
    const TOwnStatus shown{row.SubItems[TBoardRow::Status], row.SubItems[TBoardRow::Comments], row.StoredUpdated};
    if (slot->Until == 0 || slot->Stamp != shown)
        return;
    row.Until = PresenceTimeText(std::time_t(slot->Until), now);
    // A running copy ends its status itself at that time.
    const bool running = (slot->Flags & Running) != 0 && (slot->Flags & SignedOff) == 0 && !stopped;
    if (slot->Until <= now && !running)
        row.Until += " (passed)";
}

std::time_t NextLocalTime(int hour, int minute, std::time_t now)
{
    std::tm local{};
    localtime_r(&now, &local);
    for (int day = 0; day < 2; ++day) {
        std::tm at = local;
        at.tm_mday += day;
        at.tm_hour = hour;
        at.tm_min = minute;
        at.tm_sec = 0;
        at.tm_isdst = -1;
        const std::time_t moment = std::mktime(&at);
        if (moment > now)
            return moment;
    }
    return now;
}

std::optional<std::pair<int, int>> ParseClockTime(const std::string &text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2 || text.size() != colon + 3)
        return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (i != colon && (text[i] < '0' || text[i] > '9'))
            return std::nullopt;
    const int hour = std::stoi(text.substr(0, colon));
    const int minute = std::stoi(text.substr(colon + 1));
    if (hour > 23 || minute > 59)
        return std::nullopt;
    return std::make_pair(hour, minute);
}

// ---- writing ------------------------------------------------------------------

TPresenceWriter::TPresenceWriter(std::string folder, std::string login)
    : FPath(JoinPath(folder, FileName)), FLogin(std::move(login))
{
}

TPresenceWriter::~TPresenceWriter()
{
    Release();
}

void TPresenceWriter::Release()
{
    if (FFd >= 0)
        CloseCounted(FFd);
    FFd = -1;
}

void TPresenceWriter::Claim(bool running, int periodSeconds)
{
    Release();
    const std::string cannot = "Unable to show in " + Quoted(FPath) + " that Kiv is running - ";
    if (FieldText(reinterpret_cast<const unsigned char *>(FLogin.c_str()), LoginSize) != FLogin || FLogin.empty())
        throw EKivError(cannot + "the login name does not fit the file");
    struct stat st {};
    const int fd = OpenRegularFile(FPath, O_RDWR | O_CREAT | O_DSYNC, 0666, TLinks::Refuse, &st);
    if (fd < 0)
        throw EKivError(cannot + OpenErrorText(errno));
    const auto fail = [&](const std::string &why) {
        CloseCounted(fd);
        throw EKivError(cannot + why);
    };

    // Copies signing in together must not add two slots at one place: the
    // first byte of the file is locked while a slot is found or added.
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    for (;;) {
        CountKivCall(TKivCall::Lock);
        if (fcntl(fd, F_OFD_SETLK, &lock) == 0)
            break;
        if ((errno != EAGAIN && errno != EACCES) || std::chrono::steady_clock::now() >= deadline)
            fail(errno == EAGAIN || errno == EACCES ? "another workstation holds the file" : std::strerror(errno));
        std::this_thread::sleep_for(kLockRetry);
    }
    CountKivCall(TKivCall::Stat);
    if (fstat(fd, &st) != 0)
        fail(std::strerror(errno));

    std::size_t got = 0;
    const std::vector<unsigned char> bytes = ReadCapped(fd, st.st_size, got);
    if (got != bytes.size())
        fail(std::strerror(errno));
    if (got == 0) {
        std::array<unsigned char, HeaderSize> header{};
        std::memcpy(header.data(), Magic, sizeof Magic);
        Put32(&header[8], Version);
        Put32(&header[12], SlotSize);
        if (WriteAllAt(fd, header.data(), header.size(), 0) != header.size())
            fail(std::strerror(errno));
    }
    // A file of another kind is never written over: somebody may want it.
    if (got != 0 && !HeaderValid(bytes, got))
        fail("it is not one this version of Kiv writes; remove it and Kiv makes it anew");
    TPresenceSnapshot found;
    ParseSlots(found, bytes, got, st.st_size, FPath);

    std::array<unsigned char, SlotSize> slot{};
    const TPresenceSlot *own = found.Find(FLogin);
    off_t offset = 0;
    if (own != nullptr) {
        offset = own->Offset;
        std::memcpy(slot.data(), &bytes[std::size_t(offset)], SlotSize);
    } else {
        // A cut slot at the end (a write that never finished) is written over.
        const std::size_t whole = std::size_t(std::max<off_t>(st.st_size - off_t(HeaderSize), 0)) / SlotSize;
        if (whole >= MaxSlots)
            fail("it already holds " + std::to_string(MaxSlots) + " users");
        offset = off_t(HeaderSize + whole * SlotSize);
        PutField(slot.data() + LoginAt, LoginSize, FLogin);
    }
    if (running) {
        FBeats = own != nullptr ? own->Beats : 0;
        const auto beat = BeatBytes(Running, uint32_t(periodSeconds), ++FBeats, NanosOf(st.st_mtim));
        std::memcpy(slot.data() + BeatAt, beat.data(), beat.size());
    }
    // A slot of its own is written whole; a found one only in its beat part,
    // so that a back-at given meanwhile on another workstation stays.
    if (own == nullptr && WriteAllAt(fd, slot.data(), slot.size(), offset) != slot.size())
        fail(std::strerror(errno));
    if (own != nullptr && running && WriteAllAt(fd, slot.data() + BeatAt, BeatSize, offset + off_t(BeatAt)) != BeatSize)
        fail(std::strerror(errno));
    lock.l_type = F_UNLCK;
    CountKivCall(TKivCall::Lock);
    fcntl(fd, F_OFD_SETLK, &lock);

    FFd = fd;
    FDevice = st.st_dev;
    FInode = st.st_ino;
    FOffset = offset;
    FRunning = running;
    FPeriod = periodSeconds;
}

bool TPresenceWriter::Beat(int64_t seenNs)
{
    if (FFd < 0)
        return false;
    const auto beat = BeatBytes(Running, uint32_t(FPeriod), ++FBeats, seenNs);
    if (WriteAllAt(FFd, beat.data(), beat.size(), FOffset + off_t(BeatAt)) == beat.size())
        return true;
    Release();
    return false;
}

void TPresenceWriter::SignOff()
{
    if (FFd < 0)
        return;
    const auto beat = BeatBytes(SignedOff, uint32_t(FPeriod), ++FBeats, 0);
    WriteAllAt(FFd, beat.data(), beat.size(), FOffset + off_t(BeatAt));
    Release();
}

bool TPresenceWriter::SetBackAt(int64_t until, const TOwnStatus &stamp)
{
    if (FFd < 0)
        return false;
    const auto backAt = BackAtBytes(until, stamp);
    if (WriteAllAt(FFd, backAt.data(), backAt.size(), FOffset + off_t(BackAtAt)) == backAt.size())
        return true;
    Release();
    return false;
}

bool TPresenceWriter::Holds(const TPresenceSnapshot &snapshot) const
{
    const TPresenceSlot *own = snapshot.Find(FLogin);
    return FFd >= 0 && snapshot.Present && snapshot.Device == FDevice && snapshot.Inode == FInode && own != nullptr
           && own->Offset == FOffset;
}

// ---- the running copy -----------------------------------------------------------

TPresenceKeeper::TPresenceKeeper(TKivFile &kiv, const IClock &clock, int periodSeconds)
    : FKiv(kiv), FClock(clock), FPeriod(std::max(periodSeconds, 1)),
      FWriter(kiv.DatabaseFolder, kiv.LoginUser.LogInName)
{
}

void TPresenceKeeper::SignIn()
{
    FWriter.Claim(true, FPeriod);
    FSnapshot = ReadPresence(FKiv.DatabaseFolder);
    FShown = Signature();
}

bool TPresenceKeeper::Period()
{
    FSnapshot = ReadPresence(FKiv.DatabaseFolder);
    FNotice = FSnapshot.Fault;
    if (FNotice.empty())
        FTold.clear();
    try {
        // The file was replaced, or the slot moved: claimed again.
        if (!FWriter.Holds(FSnapshot) || !FWriter.Beat(FSnapshot.ServerNowNs))
            FWriter.Claim(true, FPeriod);
    } catch (const EKivError &error) {
        FNotice = error.what();
    }
    // A back-at given on another workstation, or by kivctl, is the file's.
    if (const TPresenceSlot *own = FSnapshot.Find(FKiv.LoginUser.LogInName)) {
        FUntil = own->Until;
        FUntilStamp = own->Stamp;
    }
    ExpireBackAt();
    std::string shown = Signature();
    const bool changed = shown != FShown;
    FShown = std::move(shown);
    return changed;
}

bool TPresenceKeeper::ExpireBackAt()
{
    if (FUntil == 0 || FClock.Now() < FUntil)
        return false;
    std::optional<TOwnStatus> stored;
    try {
        stored = FKiv.ReplaceOwnStatus(FUntilStamp, "Available", "");
    } catch (const std::exception &error) {
        // Tried again at the next period.
        FNotice = error.what();
        return false;
    }
    // Ended, or changed meanwhile by a person: either way the time is done.
    FUntil = 0;
    FWriter.SetBackAt(0, {});
    if (auto found = FSnapshot.Slots.find(FKiv.LoginUser.LogInName); found != FSnapshot.Slots.end())
        found->second.Until = 0;
    return stored.has_value();
}

void TPresenceKeeper::SetBackAt(std::time_t until)
{
    const TOwnStatus stamp = FKiv.ReadOwnStatus();
    if (!FWriter.Claimed())
        FWriter.Claim(true, FPeriod);
    if (!FWriter.SetBackAt(until, stamp))
        throw EKivError("Unable to store the time the status ends - " + std::string(std::strerror(errno)));
    FUntil = until;
    FUntilStamp = stamp;
    TPresenceSlot &own = FSnapshot.Slots[FKiv.LoginUser.LogInName];
    own.Login = FKiv.LoginUser.LogInName;
    own.Until = until;
    own.Stamp = stamp;
}

void TPresenceKeeper::SignOff()
{
    FWriter.SignOff();
}

std::string TPresenceKeeper::TakeNotice()
{
    if (FNotice == FTold)
        return std::string();
    FTold = FNotice;
    return FNotice;
}

std::string TPresenceKeeper::Signature() const
{
    const std::time_t now = FClock.Now();
    std::string shown;
    for (const auto &[login, slot] : FSnapshot.Slots) {
        TBoardRow row;
        row.SubItems[TBoardRow::Login] = login;
        row.SubItems[TBoardRow::Status] = slot.Stamp.Status;
        row.SubItems[TBoardRow::Comments] = slot.Stamp.Comments;
        row.StoredUpdated = slot.Stamp.Updated;
        AnnotateRow(row, FSnapshot, now);
        shown += login + '\n' + row.NotRunningSince + '\n' + row.Until + '\n' + slot.Stamp.Status + '\n'
                 + slot.Stamp.Updated + '\n';
    }
    return shown;
}
