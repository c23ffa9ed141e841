#include "ctl/CommandLine.h"

#include "board/BoardLocation.h"
#include "board/KivDepartment.h"
#include "board/KivStatus.h"
#include "board/MessageRecord.h"
#include "board/Presence.h"
#include "board/UserRecord.h"
#include "platform/LoginName.h"
#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

namespace {

struct TOptionSpec {
    std::string_view Name;
    bool TakesValue;
};

struct TCommandEntry {
    std::string_view Name;
    TCtlCommand Command;
    std::string_view Synopsis;
    std::string_view Help;
    std::vector<TOptionSpec> Options;
    std::size_t MinArguments;
    std::size_t MaxArguments;
};

// What the records hold: a text longer than its field could not be stored
// whole, so it is refused rather than cut.
constexpr std::size_t kStatusMax = UserRecord::Status.Width - 1;
constexpr std::size_t kCommentMax = UserRecord::Comments.Width - 1;
constexpr std::size_t kCatalogueStatusMax = StatusRecord::StatusText.Width - 1;
constexpr std::size_t kDepartmentMax = DepartmentRecord::DepartmentName.Width - 1;
constexpr std::size_t kSubjectMax = MessageRecord::Subject.Width - 1;
constexpr std::size_t kBodyMax = MessageRecord::Body.Width - 1;

const std::vector<TCommandEntry> &Commands()
{
    static const std::vector<TCommandEntry> commands{
        {"board",
         TCtlCommand::Board,
         "board [--department NAME] [--offline] [--csv | --json]",
         "List the board: User, Status, Until, Updated, Ext, Department, Comments,\n"
         "Not running since.\n"
         "  --department NAME  only the users whose department is exactly NAME\n"
         "  --offline          list the users who are \"Offline\" too\n"
         "  --csv              a header line and CSV rows, with the Login column\n"
         "  --json             one JSON document, with the Login column\n",
         {{"--department", true}, {"--offline", false}, {"--csv", false}, {"--json", false}},
         0,
         0},
        {"status",
         TCtlCommand::Status,
         "status [TEXT] [--until HH:MM] [--user LOGIN]",
         "Without TEXT, show your status; with TEXT, set it.\n"
         "  --until HH:MM  with TEXT, your status ends at that time (the next one to\n"
         "                 come: an earlier time than now is tomorrow's); then your\n"
         "                 running Kiv sets \"Available\" and clears the comment\n"
         "  --user LOGIN   show LOGIN's status; with TEXT, set it (administrators only)\n",
         {{"--user", true}, {"--until", true}},
         0,
         1},
        {"comment",
         TCtlCommand::Comment,
         "comment TEXT",
         "Set your comment; an empty TEXT (\"\") clears it.\n",
         {},
         1,
         1},
        {"statuses",
         TCtlCommand::Statuses,
         "statuses [add TEXT] [--json]",
         "List the status catalogue; an administrator adds TEXT to it with add.\n"
         "  --json  the list as one JSON document\n",
         {{"--json", false}},
         0,
         2},
        {"departments",
         TCtlCommand::Departments,
         "departments [add NAME]",
         "List the departments; an administrator adds NAME with add.\n",
         {},
         0,
         2},
        {"send", TCtlCommand::Send, "send LOGIN SUBJECT BODY", "Send a message to the user LOGIN.\n", {}, 3, 3},
        {"inbox",
         TCtlCommand::InBox,
         "inbox [--csv | --json]",
         "Your messages, newest first: From, Subject, Type, Key, Received.\n"
         "  --csv   a header line and CSV rows\n"
         "  --json  one JSON document\n",
         {{"--csv", false}, {"--json", false}},
         0,
         0},
        {"read", TCtlCommand::Read, "read KEY", "Show your message KEY and mark it old.\n", {}, 1, 1},
        {"delete", TCtlCommand::Delete, "delete KEY", "Delete your message KEY.\n", {}, 1, 1},
        {"watch",
         TCtlCommand::Watch,
         "watch [--interval SECONDS]",
         "Follow the board: one line for every status change seen, until Ctrl+C.\n"
         "  --interval SECONDS  seconds between two looks at the board (default 10)\n",
         {{"--interval", true}},
         0,
         0},
        {"page",
         TCtlCommand::Page,
         "page [--out FILE] [--every SECONDS]",
         "Write the board as a web page, as the settings' page group describes it.\n"
         "  --out FILE        the file to write (default: HTMLLocation of the settings)\n"
         "  --every SECONDS   write again every SECONDS, when the board or the minute\n"
         "                    changed, until stopped (default: once)\n",
         {{"--out", true}, {"--every", true}},
         0,
         0},
        {"log",
         TCtlCommand::Log,
         "log [--csv]",
         "Print the board's activity log, the text log as it reads.\n"
         "  --csv  the CSV log\n",
         {{"--csv", false}},
         0,
         0},
        {"shutdown",
         TCtlCommand::Shutdown,
         "shutdown on|off",
         "Set (on) or clear (off) the board's shutdown marker (administrators only):\n"
         "while it is set, every running Kiv closes and none starts.\n",
         {},
         1,
         1},
        {"server",
         TCtlCommand::ServerInit,
         "server init URI | server import FOLDER URI",
         "init: make the board schema in the PostgreSQL database URI\n"
         "(postgresql://[user@]host[:port]/dbname, or postgresql:///dbname?host=SOCKETFOLDER).\n"
         "Run again it changes nothing; a board of a newer Kiv is left alone.\n"
         "import: copy the folder board in FOLDER (users, statuses, departments, messages,\n"
         "Kiv.cfg and the activity logs) to the board made by init at URI, which must be empty.\n",
         {},
         2,
         3},
    };
    return commands;
}

const TCommandEntry *FindCommand(std::string_view name)
{
    for (const TCommandEntry &entry : Commands())
        if (entry.Name == name)
            return &entry;
    return nullptr;
}

std::string CommandHelp(const TCommandEntry &entry)
{
    return "Usage: kivctl [--board LOCATION] " + std::string(entry.Synopsis) + "\n" + std::string(entry.Help);
}

bool HasControl(std::string_view text, std::string_view allowed)
{
    return std::any_of(text.begin(), text.end(),
                       [&](char c) { return IsControl(c) && allowed.find(c) == std::string_view::npos; });
}

/// Checks one text argument; an empty answer means it is fine.
std::string CheckText(const std::string &what, const std::string &text, std::size_t maxBytes,
                      std::string_view allowedControls = {})
{
    if (text.size() > maxBytes)
        return what + " holds at most " + std::to_string(maxBytes) + " bytes";
    if (HasControl(text, allowedControls))
        return what + " must not hold control characters";
    return std::string();
}

/// Fills the request from the command's arguments; an empty answer means
/// they are fine.
std::string TakeArguments(const TCommandEntry &entry, const std::vector<std::string> &args, TCtlRequest &request)
{
    switch (entry.Command) {
    case TCtlCommand::Board:
    case TCtlCommand::InBox:
    case TCtlCommand::Watch:
    case TCtlCommand::Page:
    case TCtlCommand::Log:
        return std::string();
    case TCtlCommand::Shutdown:
        if (args[0] != "on" && args[0] != "off")
            return "expected on or off";
        request.ShutdownOn = args[0] == "on";
        return std::string();
    case TCtlCommand::ServerInit:
    case TCtlCommand::ServerImport: {
        const bool import = args[0] == "import";
        if (args[0] != "init" && !import)
            return "unknown server command '" + args[0] + "'; expected init or import";
        if (args.size() != (import ? 3U : 2U))
            return import ? "usage: kivctl server import FOLDER URI" : "usage: kivctl server init URI";
        if (import && IsServerLocation(args[1]))
            return "the board to import is a folder, not a URI";
        if (!IsServerLocation(args.back()))
            return "a board server is named by a URI that starts with postgresql:// or postgres://";
        request.Command = import ? TCtlCommand::ServerImport : TCtlCommand::ServerInit;
        request.ImportFolder = import ? args[1] : std::string();
        request.ServerUri = args.back();
        return std::string();
    }
    case TCtlCommand::Status:
        if (args.empty())
            return std::string();
        // Blanks around the text go, as they do from the status picker.
        request.Text = Trimmed(args[0]);
        if (request.Text->empty())
            return "a status cannot be empty";
        return CheckText("a status", *request.Text, kStatusMax);
    case TCtlCommand::Comment:
        request.Text = args[0];
        return CheckText("a comment", *request.Text, kCommentMax);
    case TCtlCommand::Statuses:
    case TCtlCommand::Departments: {
        if (args.empty())
            return std::string();
        if (args[0] != "add" || args.size() != 2)
            return "expected nothing, or add and one text";
        const bool status = entry.Command == TCtlCommand::Statuses;
        // Stored as typed; a text of blanks only is no entry.
        request.Text = args[1];
        if (IsBlankText(args[1]))
            return status ? "a status cannot be empty" : "a department cannot be empty";
        return status ? CheckText("a status", args[1], kCatalogueStatusMax)
                      : CheckText("a department", args[1], kDepartmentMax);
    }
    case TCtlCommand::Send: {
        if (args[0].empty())
            return "the recipient's login cannot be empty";
        request.Login = UpperCaseLogin(args[0]);
        request.Text = args[1];
        request.Body = args[2];
        std::string problem = CheckText("a subject", args[1], kSubjectMax);
        if (problem.empty())
            problem = CheckText("a message", args[2], kBodyMax, "\t\r\n");
        return problem;
    }
    case TCtlCommand::Read:
    case TCtlCommand::Delete: {
        const std::string &key = args[0];
        const std::size_t width = std::size_t(MessageRecord::KeyLength);
        if (key.empty() || key.size() > width
            || !std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return "a message key is a number of at most " + std::to_string(width) + " digits";
        // The in-box shows keys as they are filed, ten digits; a shorter
        // number stands for the same key.
        request.Key = std::string(width - key.size(), '0') + key;
        return std::string();
    }
    }
    return std::string();
}

/// Takes an option's value; an empty answer means it is fine.
std::string TakeOption(TCtlCommand command, std::string_view name, const std::string &value, TCtlRequest &request)
{
    if (name == "--offline")
        request.Offline = true;
    else if (name == "--csv")
        request.Csv = true;
    else if (name == "--json")
        request.Json = true;
    else if (name == "--out") {
        if (value.empty())
            return "--out needs a file";
        request.Out = value;
    } else if (name == "--every") {
        int seconds = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (error != std::errc() || end != value.data() + value.size() || seconds < 1 || seconds > kMaxWatchInterval)
            return "--every takes whole seconds from 1 to " + std::to_string(kMaxWatchInterval);
        request.Every = seconds;
    } else if (name == "--department")
        request.Department = value;
    else if (name == "--until") {
        const std::optional<std::pair<int, int>> at = ParseClockTime(value);
        if (!at)
            return "--until takes a time of day as HH:MM, from 00:00 to 23:59";
        request.Until = *at;
    } else if (name == "--user") {
        if (value.empty())
            return "--user needs a login";
        request.User = UpperCaseLogin(value);
    } else if (name == "--interval" && command == TCtlCommand::Watch) {
        int seconds = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (error != std::errc() || end != value.data() + value.size() || seconds < 1 || seconds > kMaxWatchInterval)
            return "--interval takes whole seconds from 1 to " + std::to_string(kMaxWatchInterval);
        request.Interval = seconds;
    }
    return std::string();
}

TCtlParse Failure(std::string text)
{
    TCtlParse parse;
    parse.Outcome = TCtlParse::UsageError;
    parse.Text = std::move(text);
    return parse;
}

TCtlParse Outcome(TCtlParse::TOutcome outcome, std::string text = std::string())
{
    TCtlParse parse;
    parse.Outcome = outcome;
    parse.Text = std::move(text);
    return parse;
}

/// Splits "--name=value" into its name and value.
bool SplitOption(const std::string &arg, std::string_view &name, std::string &value)
{
    const std::size_t equals = arg.find('=');
    if (equals == std::string::npos) {
        name = arg;
        return false;
    }
    name = std::string_view(arg).substr(0, equals);
    value = arg.substr(equals + 1);
    return true;
}

bool IsOption(const std::string &arg)
{
    return arg.size() > 1 && arg[0] == '-';
}

bool IsHelp(const std::string &arg)
{
    return arg == "--help" || arg == "-h";
}

} // namespace

std::string GeneralHelp()
{
    std::string text = "Usage: kivctl [--board LOCATION] COMMAND [ARGUMENTS]\n"
                       "The Kiv board from the command line.\n\n"
                       "  --board LOCATION  the board database folder, or a board server's URI\n"
                       "                    (postgresql://...); else KivDBasePath of the settings\n\n"
                       "Commands:\n";
    for (const TCommandEntry &entry : Commands())
        text += "  " + std::string(entry.Synopsis) + "\n";
    text += "\n'kivctl COMMAND --help' tells more of a command.\n"
            "Exit status: 0 success, 1 a board operation failed, 2 a usage error.\n";
    return text;
}

TCtlParse ParseCommandLine(const std::vector<std::string> &args)
{
    TCtlParse parse;
    TCtlRequest &request = parse.Request;
    std::size_t at = 0;
    bool boardGiven = false;

    for (; at < args.size() && IsOption(args[at]); ++at) {
        const std::string &arg = args[at];
        if (IsHelp(arg))
            return Outcome(TCtlParse::Help, GeneralHelp());
        if (arg == "--version")
            return Outcome(TCtlParse::Version);
        std::string_view name;
        std::string value;
        const bool inlineValue = SplitOption(arg, name, value);
        if (name != "--board")
            return Failure("unknown option '" + std::string(name) + "'");
        if (boardGiven)
            return Failure("--board is given twice");
        if (!inlineValue) {
            if (++at == args.size())
                return Failure("--board needs a folder or a URI");
            value = args[at];
        }
        if (value.empty())
            return Failure("--board needs a folder or a URI");
        request.BoardFolder = value;
        boardGiven = true;
    }
    if (at == args.size())
        return Failure("no command given");

    const TCommandEntry *entry = FindCommand(args[at]);
    if (entry == nullptr)
        return Failure("unknown command '" + args[at] + "'");
    request.Command = entry->Command;
    const std::string prefix = std::string(entry->Name) + ": ";
    ++at;

    // Help wins over everything else the command's options say.
    for (std::size_t i = at; i < args.size() && args[i] != "--"; ++i)
        if (IsHelp(args[i]))
            return Outcome(TCtlParse::Help, CommandHelp(*entry));

    std::vector<std::string> positional;
    std::vector<std::string_view> seen;
    bool optionsEnded = false;
    for (; at < args.size(); ++at) {
        const std::string &arg = args[at];
        if (optionsEnded || !IsOption(arg)) {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string_view name;
        std::string value;
        const bool inlineValue = SplitOption(arg, name, value);
        const auto option = std::find_if(entry->Options.begin(), entry->Options.end(),
                                         [&](const TOptionSpec &o) { return o.Name == name; });
        if (option == entry->Options.end())
            return Failure(prefix + "unknown option '" + std::string(name) + "'");
        if (std::find(seen.begin(), seen.end(), option->Name) != seen.end())
            return Failure(prefix + std::string(option->Name) + " is given twice");
        seen.push_back(option->Name);
        if (option->TakesValue && !inlineValue) {
            if (++at == args.size())
                return Failure(prefix + std::string(option->Name) + " needs a value");
            value = args[at];
        } else if (!option->TakesValue && inlineValue) {
            return Failure(prefix + std::string(option->Name) + " takes no value");
        }
        std::string problem = TakeOption(entry->Command, option->Name, value, request);
        if (!problem.empty())
            return Failure(prefix + problem);
    }

    if (request.Csv && request.Json)
        return Failure(prefix + "--csv and --json cannot be given together");
    if (positional.size() < entry->MinArguments)
        return Failure(prefix + "missing arguments; usage: kivctl " + std::string(entry->Synopsis));
    if (positional.size() > entry->MaxArguments)
        return Failure(prefix + "too many arguments; usage: kivctl " + std::string(entry->Synopsis));
    std::string problem = TakeArguments(*entry, positional, request);
    if (!problem.empty())
        return Failure(prefix + problem);
    if (request.Json && request.Text)
        return Failure(prefix + "--json is for the listing only");
    if (request.Until && (!request.Text || request.User))
        return Failure(prefix + "--until is given with the TEXT of your own status only");
    parse.Outcome = TCtlParse::Run;
    return parse;
}
