// Kiv.cfg, the board configuration file: the settings every workstation of one
// board shares. It is a file of 33-byte records without header; the last
// record counts on reading and writing replaces the first. A reader locks it
// shared, a writer exclusively, each for one read or one write; a reader kept
// out for longer than a write takes goes on with the values last known. Any member
// of the board can put something in its place: a link is never followed (nor
// created through) and a FIFO never waited on; only a regular file is read.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

/// One record of Kiv.cfg, byte for byte as the file holds it.
struct TKivCfgRecord {
    /// Which activity log receives status changes: 0 none, 1 text, 2 CSV.
    uint8_t LoggingType = 0;
    /// Carried through unchanged.
    std::array<uint8_t, 31> Reserved{};
    /// 1 when users of the board may send and receive messages.
    uint8_t AllowMessages = 1;
};
static_assert(sizeof(TKivCfgRecord) == 33, "a Kiv.cfg record is 33 bytes");

namespace KivCfg {
/// The file's name in the board database folder.
inline constexpr const char *FileName = "Kiv.cfg";
/// Attempts at the locked opening before giving up.
inline constexpr int Attempts = 21;
/// The pause between two attempts, in milliseconds: about half a second in
/// all, so that two workstations starting together do not fail each other.
inline constexpr int PauseMs = 25;
} // namespace KivCfg

/// The path of Kiv.cfg in folder; raises "Unkown Kiv database location" when
/// the folder is blank.
std::string KivCfgPath(const std::string &folder);

/// Where the values a read gives came from.
enum class TKivCfgRead {
    FromFile,  ///< the file
    LastKnown, ///< the file was held throughout: what this process last read or wrote
    Defaults,  ///< the file was held throughout and nothing was known yet
};

/// Reads Kiv.cfg of folder into record, which starts from the defaults; an
/// empty file reads as the defaults, a missing one is created empty first.
/// Raises EKivError when the file cannot be created or read.
TKivCfgRead ReadKivCfg(const std::string &folder, TKivCfgRecord &record);

/// What to tell the user about a read's values ("" when they are the file's).
std::string KivCfgNotice(TKivCfgRead read);

/// Writes record over the first record of the existing Kiv.cfg of folder; the
/// file is neither created nor shortened. Raises EKivError on failure.
void WriteKivCfg(const std::string &folder, const TKivCfgRecord &record);

/// Changes Kiv.cfg of folder as it is at this moment: under one exclusive
/// opening its record (the defaults for an empty file) is read, change is
/// applied to it and it is written over the first record, so a switch that
/// change leaves alone keeps what another workstation wrote last. record
/// receives what was written. The file is neither created nor shortened.
/// Raises EKivError on failure.
void ChangeKivCfg(const std::string &folder, const std::function<void(TKivCfgRecord &)> &change, TKivCfgRecord &record);
