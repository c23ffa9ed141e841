// Which copies of Kiv are running, and the times at which a status ends.
//
// Beside the datasets (whose records keep their layout, so copies of an
// earlier version keep working) the board folder holds one small file,
// KivPresence.dat: a 16-byte header ("KIVPRSNC", the version, the slot size)
// and one 256-byte slot per login. A running copy writes the beat part of its
// own slot once a period, in one write; the back-at part is written when a
// status is given the time it ends. Nobody rewrites the whole file.
//
// Workstation clocks disagree, so a copy is judged by the file server's clock
// alone: the file's modification time, which the server sets at every write,
// is the server's "now". Each copy reads the file once a period and writes in
// its next beat the time it saw there. A copy whose seen time lags the file's
// by more than kStoppedPeriods of its own periods has stopped without signing
// off. No workstation's clock enters that judgement.
//
// The file can be written by any member of the office: it is opened without
// following a link, never waiting, and only as a regular file; what is read
// is capped, every slot is checked, and a damaged file is reported, never
// trusted.
#pragma once

#include "board/KivFile.h"

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>

class IClock;

namespace Presence {
/// The file's name in the board folder.
inline constexpr const char *FileName = "KivPresence.dat";
inline constexpr char Magic[8] = {'K', 'I', 'V', 'P', 'R', 'S', 'N', 'C'};
inline constexpr uint32_t Version = 1;
inline constexpr std::size_t HeaderSize = 16;
inline constexpr std::size_t SlotSize = 256;
/// Slots read at most: a larger file is read up to here and reported.
inline constexpr std::size_t MaxSlots = 4096;
/// Where the parts of a slot lie: the login, the beat (flags, the copy's
/// period in seconds, the beat count, the server time seen in nanoseconds)
/// and the back-at (the end as UTC seconds, and the status, comments and
/// Updated it applies to).
inline constexpr std::size_t LoginAt = 0, LoginSize = 32;
inline constexpr std::size_t BeatAt = 32, BeatSize = 32;
inline constexpr std::size_t BackAtAt = 64, BackAtSize = 124;
inline constexpr std::size_t StatusSize = 32, CommentsSize = 52, UpdatedSize = 32;
/// Slot flags.
inline constexpr uint32_t Running = 1u << 0;
inline constexpr uint32_t SignedOff = 1u << 1;
/// A copy's beat period by default, in seconds.
inline constexpr int DefaultPeriod = 60;
/// Periods of silence, by the server's clock, before a copy counts as stopped.
inline constexpr int StoppedPeriods = 5;
} // namespace Presence

/// One login's slot as read.
struct TPresenceSlot {
    std::string Login;
    uint32_t Flags = 0;
    uint32_t PeriodSeconds = 0;
    uint64_t Beats = 0;
    /// The server time the copy last saw, in nanoseconds since the epoch.
    int64_t SeenNs = 0;
    /// The end of the status below, UTC seconds; 0 for none.
    int64_t Until = 0;
    TOwnStatus Stamp;
    /// Where the slot lies in the file.
    off_t Offset = 0;
};

/// The presence file as one read found it.
struct TPresenceSnapshot {
    /// The file was there and read.
    bool Present = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    /// The file's modification time: the server's "now", in nanoseconds.
    int64_t ServerNowNs = 0;
    /// The file's whole slots (those of a damaged file up to where it is).
    std::size_t SlotCount = 0;
    /// The valid slots by login; the first slot of a login wins.
    std::map<std::string, TPresenceSlot> Slots;
    /// What is wrong with the file, in words for the user; empty when nothing.
    std::string Fault;

    const TPresenceSlot *Find(const std::string &login) const;
    /// The server time login's copy was last seen running, when it stopped
    /// without signing off; nothing for a running, signed-off or unknown copy.
    std::optional<int64_t> StoppedSince(const std::string &login) const;
};

/// Reads the presence file of folder: one open, one fstat, one read, one close.
TPresenceSnapshot ReadPresence(const std::string &folder);

/// Writes what the board shows of presence into row: the time its user's copy
/// stopped, and the back-at time while the row still holds the status it
/// applies to, marked as passed when its copy is not running; now is the
/// reading workstation's clock.
void AnnotateRow(TBoardRow &row, const TPresenceSnapshot &presence, std::time_t now);

/// "HH:MM" of moment in local time, with the date in front when it is not
/// today's by now.
std::string PresenceTimeText(std::time_t moment, std::time_t now);

/// The next moment, from now, at which the local clock shows hour:minute.
std::time_t NextLocalTime(int hour, int minute, std::time_t now);

/// Reads "HH:MM" (hours 0-23, minutes 0-59); nothing for anything else.
std::optional<std::pair<int, int>> ParseClockTime(const std::string &text);

/// The own slot of one login in the presence file, held open for writing.
class TPresenceWriter {
public:
    TPresenceWriter(std::string folder, std::string login);
    ~TPresenceWriter();
    TPresenceWriter(const TPresenceWriter &) = delete;
    TPresenceWriter &operator=(const TPresenceWriter &) = delete;

    /// Finds or adds the login's slot under a short lock of the file (a
    /// bounded wait). With running, the slot says this copy runs with
    /// periodSeconds and has seen the file as it is now; without, its beat
    /// part is left as it is. Raises EKivError saying why it cannot.
    void Claim(bool running, int periodSeconds);
    /// Writes the beat part, in one write: running, seen the server time
    /// seenNs. False when the write failed (claimed again at the next beat).
    bool Beat(int64_t seenNs);
    /// Marks the slot signed off; the file is let go.
    void SignOff();
    /// Writes the back-at part: until (0: none) applies to stamp.
    bool SetBackAt(int64_t until, const TOwnStatus &stamp);
    /// The slot still lies where this writer writes it in the file snapshot
    /// shows: the same file, and the login's first slot at its place.
    bool Holds(const TPresenceSnapshot &snapshot) const;
    bool Claimed() const { return FFd >= 0; }

private:
    void Release();

    std::string FPath;
    std::string FLogin;
    int FFd = -1;
    dev_t FDevice = 0;
    ino_t FInode = 0;
    off_t FOffset = 0;
    bool FRunning = false;
    int FPeriod = Presence::DefaultPeriod;
    uint64_t FBeats = 0;
};

/// What a running copy does about presence: it beats once a period, reads
/// the file for its board, and ends a status whose time has come, only while
/// the record still holds what the time was given for.
class TPresenceKeeper {
public:
    TPresenceKeeper(TKivFile &kiv, const IClock &clock, int periodSeconds = Presence::DefaultPeriod);

    /// Claims the signed-in login's slot as running; raises as Claim does.
    void SignIn();
    /// One period: reads the file (four calls), beats (one write), and ends
    /// a back-at whose time has come. Answers whether what the board shows of
    /// presence changed since the last period. Never raises: a failure is
    /// kept as a notice.
    bool Period();
    /// Stores "Available" without the comment when the own back-at time has
    /// come, only over the status it was given for; no file call before that.
    /// Answers whether it stored it.
    bool ExpireBackAt();
    /// Gives the own current status the time it ends (0: none).
    void SetBackAt(std::time_t until);
    /// Marks the slot signed off.
    void SignOff();
    /// A fault of the file not told yet, once; empty when there is none.
    std::string TakeNotice();

    const TPresenceSnapshot &Snapshot() const { return FSnapshot; }
    int PeriodSeconds() const { return FPeriod; }

private:
    std::string Signature() const;

    TKivFile &FKiv;
    const IClock &FClock;
    int FPeriod;
    TPresenceWriter FWriter;
    TPresenceSnapshot FSnapshot;
    std::string FShown;
    std::string FNotice, FTold;
    /// The own back-at as last set or read.
    int64_t FUntil = 0;
    TOwnStatus FUntilStamp;
};
