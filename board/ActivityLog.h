// The activity logs of a board: KivLog.txt and KivLog.csv in the board
// database folder, one line per status change, appended to by every
// workstation of the board.
//
// Every line goes to the file in one write to a descriptor opened for
// appending, so lines of several workstations never interleave or overwrite
// each other. A file that is not there yet is created exclusively, with its
// banner (or header) and its first line in that one write; a workstation that
// loses the race to create it appends to the winner's file instead. A refused
// attempt is tried again, nine attempts in all, a pause apart.
//
// Any member of the board can put something else in a log's place: a link
// (to a colleague's own files) or a FIFO is refused like a log that cannot be
// opened, and only a regular file is written. A file that does not end in a
// line break (a line cut short when some workstation's disk was full) gets one
// before the next line, so that no line runs into another; in the CSV log a
// value cut inside its quotes is closed before that break, so that every row
// after it still reads as its five values.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

class IClock;

namespace ActivityLog {
/// The text log's name in the board database folder.
inline constexpr const char *TextLogName = "KivLog.txt";
/// The CSV log's name in the board database folder.
inline constexpr const char *CsvLogName = "KivLog.csv";
/// Attempts at one line before the failure is raised.
inline constexpr int Attempts = 9;
/// The pause after each failed attempt.
inline constexpr std::chrono::milliseconds Pause{100};
/// The width of every banner line of the text log.
inline constexpr std::size_t BannerWidth = 60;
} // namespace ActivityLog

/// Waits after a failed attempt; tests put in one that does not sleep.
using TLogPause = std::function<void(std::chrono::milliseconds)>;

/// The pause that really waits.
void SleepPause(std::chrono::milliseconds pause);

/// The entry text of a status change: name (login) status changed from
/// "old" to "new".
std::string StatusChangeEntry(const std::string &name, const std::string &login, const std::string &oldStatus,
                              const std::string &newStatus);

/// The six lines a new text log starts with, without their line ends.
std::vector<std::string> TextLogBanner();
/// The header line a new CSV log starts with, without its line end.
std::string CsvLogHeader();
/// A text log's line, without its line end: dateTime, a blank, the entry,
/// each kept on one line.
std::string TextLogLine(const std::string &dateTime, const std::string &entry);
/// A CSV log's line, without its line end: the five values quoted.
std::string CsvLogLine(const std::string &dateTime, const std::string &name, const std::string &login,
                       const std::string &oldStatus, const std::string &newStatus);

/// Appends one line, the date-time text of the clock's moment and entry, to
/// the text log at path; a new file starts with the six banner lines.
/// Raises EKivError after the last failed attempt.
void AppendTextLog(const std::string &path, const std::string &entry, const IClock &clock,
                   const TLogPause &pause = SleepPause);

/// Appends one CSV line (date-time, name, login, old status, new status) to
/// the CSV log at path; a new file starts with the header line. Raises
/// EKivError after the last failed attempt.
void AppendCsvLog(const std::string &path, const std::string &name, const std::string &login,
                  const std::string &oldStatus, const std::string &newStatus, const IClock &clock,
                  const TLogPause &pause = SleepPause);
