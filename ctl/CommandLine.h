// The command line of kivctl: which command, on which board, with what.
//
// Everything a command is given is checked here, before any board is
// touched, so that a usage error never leaves anything half done.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

enum class TCtlCommand {
    Board,
    Status,
    Comment,
    Statuses,
    Departments,
    Send,
    InBox,
    Read,
    Delete,
    Watch,
    Page,
    Log,
    Shutdown,
    ServerInit,
    ServerImport,
};

/// One run of kivctl as its command line asks for it.
struct TCtlRequest {
    /// The board location given by --board (a folder, or a board server's
    /// URI); empty when none was given.
    std::string BoardFolder;
    TCtlCommand Command = TCtlCommand::Board;
    /// board: only the users of this department.
    std::optional<std::string> Department;
    /// board: users who are "Offline" are listed too.
    bool Offline = false;
    /// board, inbox: a header line and RFC 4180 rows; log: the CSV log.
    bool Csv = false;
    /// board, statuses, inbox: one JSON document, as man kivctl describes it.
    bool Json = false;
    /// status: the login of the user to show or set (upper-cased).
    std::optional<std::string> User;
    /// status: the new status; comment: the comment; statuses and departments:
    /// the text to add; send: the subject.
    std::optional<std::string> Text;
    /// status: the hour and minute at which the new status ends.
    std::optional<std::pair<int, int>> Until;
    /// send: the recipient's login (upper-cased).
    std::string Login;
    /// send: the message text.
    std::string Body;
    /// read, delete: the message's record key, ten digits.
    std::string Key;
    /// watch: seconds between two looks at the board.
    int Interval = 10;
    /// page: the file to write; empty: HTMLLocation of the settings.
    std::string Out;
    /// page: seconds between two writes; 0: write once.
    int Every = 0;
    /// shutdown: true for on, false for off.
    bool ShutdownOn = false;
    /// server init, server import: the board server's URI.
    std::string ServerUri;
    /// server import: the board folder to copy.
    std::string ImportFolder;
};

/// What the command line came to.
struct TCtlParse {
    enum TOutcome { Run, Help, Version, UsageError };
    TOutcome Outcome = UsageError;
    TCtlRequest Request;
    /// Help: the text to print; UsageError: what is wrong.
    std::string Text;
};

/// Reads the arguments that follow the program's name.
TCtlParse ParseCommandLine(const std::vector<std::string> &args);

/// The help text of kivctl as a whole.
std::string GeneralHelp();

/// The longest interval watch accepts, in seconds: one day.
inline constexpr int kMaxWatchInterval = 86400;
