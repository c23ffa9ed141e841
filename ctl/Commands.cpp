#include "ctl/Commands.h"

#include "board/BoardLocation.h"
#include "board/BoardSession.h"
#include "board/Catalogue.h"
#include "board/EngineCheck.h"
#include "board/MessageRecord.h"
#include "board/Presence.h"
#include "board/ServerBoard.h"
#include "board/ServerImport.h"
#include "board/UserRecord.h"
#include "config/KivCB.h"
#include "config/PageLook.h"
#include "ctl/DatasetCheck.h"
#include "ctl/Json.h"
#include "ctl/Page.h"
#include "ctl/Table.h"
#include "ctl/Terminal.h"
#include "ctl/Watch.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/KivError.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

/// The board folder: --board, else KivDBasePath of the settings block;
/// nothing when neither names one.
std::optional<std::string> BoardFolderOf(const TCtlRequest &request)
{
    if (!request.BoardFolder.empty())
        return request.BoardFolder;
    TKivCB settingsBlock;
    TKivSettings settings;
    settingsBlock.ReadSettings(settings);
    std::string location = TBoardSession::LocationOf(settings.KivDBasePath);
    if (location.empty())
        return std::nullopt;
    return location;
}

void Print(const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

/// Prints one CSV line. Into a pipe or a file every byte goes as stored, for
/// the program that reads it; on a terminal each value is shown as
/// TerminalLine shows it, so that a stored text cannot drive the terminal.
void PrintCsv(TTableRow values)
{
    static const bool terminal = isatty(STDOUT_FILENO) == 1;
    if (terminal)
        for (std::string &value : values)
            value = TerminalLine(value);
    Print(CsvLine(values));
}

/// Prints a stored text on a line of its own, as TerminalLine shows it.
void PrintLine(const std::string &text)
{
    Print(TerminalLine(text) + "\n");
}

/// A folder board's folder is there; a board server tells at the first call.
void RequireFolder(const std::string &location)
{
    if (!IsServerLocation(location) && !DirectoryExists(location))
        throw EKivError("Unable to access the Kiv database location \"" + location + "\"");
}

/// Prints the log as it reads: every line as stored into a pipe or a file,
/// as TerminalLine shows it on a terminal.
void PrintLog(const std::string &location, TActivityLog log)
{
    RequireFolder(location);
    const bool terminal = isatty(STDOUT_FILENO) == 1;
    MakeBoardLocation(location)->ReadLog(
        log, [&](const std::string &line) { Print((terminal ? TerminalLine(line) : line) + "\n"); });
}

void ServerInit(const std::string &uri)
{
    const bool created = InitServerBoard(uri);
    Print(created ? "The board server is ready: its board schema was made.\n"
                  : "The board server already held a board; its schema is complete.\n");
}

/// One front end's worth of seams over one board, with the effective user
/// signed in.
class TCtlBoard {
public:
    TTerminalPrompter Prompter;
    TTerminalApp App;
    TTerminalHost Host;
    TSession Session;
    TBoardContext Ctx{Session, Prompter, App, Host, TSystemClock::Instance()};
    std::string Folder;
    std::unique_ptr<TBoardSession> Board;
    /// The board's users dataset object, once the board is open.
    TKivFile *Kiv = nullptr;

    /// Signs the effective user in on the board in folder, as the program
    /// starts: the user is added when new, and no status is changed.
    void Open(const std::string &folder)
    {
        OpenUnsigned(folder);
        Kiv->SignIn();
        Board->FollowUserRecord();
        // The refresh tells of a record it could not find in the status panel.
        if (!Host.StatusText().empty())
            throw EKivError(Host.StatusText());
    }

    /// Opens the board in folder without signing anybody in: for what only
    /// reads the board for others to see.
    void OpenUnsigned(const std::string &folder)
    {
        Folder = folder;
        RequireFolder(folder);
        // The department catalogue works on the folder kivctl was pointed at:
        // --board, else the settings' one as it stood when the command began.
        Board = std::make_unique<TBoardSession>(folder, Ctx, [this] { return Folder; });
        Kiv = &Board->KivFile();
        if (!Kiv->ConfigNotice.empty())
            PrintError(Kiv->ConfigNotice);
    }

    void RequireAdministrator(const std::string &what) const
    {
        if (!Session.Administrator)
            throw EKivError("Only an administrator of the board can " + what);
    }

    void RequireMessaging() const
    {
        if (Kiv->AllowMessages == 0)
            throw EKivError("Messages are not allowed on this board");
    }

    /// Every user, "Offline" ones too.
    TCollectedBoard WholeBoard()
    {
        Session.ShowOffline = true;
        TCollectedBoard board;
        Kiv->FillBoard(board);
        return board;
    }
};

void ListBoard(TCtlBoard &ctl, const TCtlRequest &request)
{
    ctl.Session.ShowOffline = request.Offline;
    // Presence is kept in a file beside a folder board's datasets; a board
    // on a server keeps none yet.
    const TPresenceSnapshot presence = IsServerLocation(ctl.Folder) ? TPresenceSnapshot{} : ReadPresence(ctl.Folder);
    if (!presence.Fault.empty())
        PrintError(presence.Fault);
    ctl.Kiv->Presence = &presence;
    TCollectedBoard board;
    if (request.Department)
        ctl.Kiv->FillBoardForDepartment(board, *request.Department);
    else
        ctl.Kiv->FillBoard(board);

    // By the User column, as the board window sorts it.
    std::vector<TBoardRow> rows = board.Rows();
    std::stable_sort(rows.begin(), rows.end(),
                     [](const TBoardRow &a, const TBoardRow &b) { return a.Caption < b.Caption; });
    if (request.Json) {
        Print(BoardJson(rows));
        return;
    }
    if (request.Csv) {
        PrintCsv({"User", "Status", "Updated", "Ext", "Department", "Login", "Comments", "Until", "Not running since"});
        for (const TBoardRow &row : rows)
            PrintCsv({row.Caption, row.SubItems[TBoardRow::Status], row.SubItems[TBoardRow::Updated],
                      row.SubItems[TBoardRow::Ext], row.SubItems[TBoardRow::Department], row.SubItems[TBoardRow::Login],
                      row.SubItems[TBoardRow::Comments], row.Until, row.NotRunningSince});
        return;
    }
    std::vector<TTableRow> table;
    for (const TBoardRow &row : rows)
        table.push_back({row.Caption, row.SubItems[TBoardRow::Status], row.SubItems[TBoardRow::Updated],
                         row.SubItems[TBoardRow::Ext], row.SubItems[TBoardRow::Department],
                         row.SubItems[TBoardRow::Comments], row.Until, row.NotRunningSince});
    Print(AlignedTable({"User", "Status", "Updated", "Ext", "Department", "Comments", "Until", "Not running since"},
                       table));
}

/// Sets the own status with the time it ends: the status is stored over
/// the record as just read, and the time given to exactly what was stored.
void SetStatusUntil(TCtlBoard &ctl, const std::string &status, std::pair<int, int> at)
{
    if (IsServerLocation(ctl.Folder))
        throw EKivError("A board on a server keeps no back-at times yet; nothing was set");
    TKivFile &kiv = *ctl.Kiv;
    const std::time_t until = NextLocalTime(at.first, at.second, ctl.Ctx.Clock.Now());
    const TOwnStatus before = kiv.ReadOwnStatus();
    const std::optional<TOwnStatus> stored = kiv.ReplaceOwnStatus(before, status, before.Comments);
    if (!stored)
        throw EKivError("Your status was changed elsewhere while it was being set; nothing was set");
    TPresenceWriter writer(ctl.Folder, kiv.LoginUser.LogInName);
    writer.Claim(false, Presence::DefaultPeriod);
    if (!writer.SetBackAt(until, *stored))
        throw EKivError("The status is set, but the time it ends could not be stored");
}

void Status(TCtlBoard &ctl, const TCtlRequest &request)
{
    if (!request.Text) {
        if (!request.User) {
            PrintLine(ctl.Session.User.Status);
            return;
        }
        const TCollectedBoard board = ctl.WholeBoard();
        const TBoardRow *row = board.Find(UserRecord::LoginKey(*request.User));
        if (row == nullptr)
            throw EKivError("Unable to find the user " + *request.User);
        PrintLine(row->SubItems[TBoardRow::Status]);
        return;
    }
    if (!request.User && request.Until) {
        SetStatusUntil(ctl, *request.Text, *request.Until);
        return;
    }
    if (!request.User) {
        ctl.Session.User.Status = *request.Text;
        ctl.Kiv->SetStatus();
        return;
    }
    ctl.RequireAdministrator("set the status of another user");
    // The status goes through the user's board row, as an administrator's
    // command with that row selected sends it. A user not on the board is
    // handed over by login alone, and the look-up says the user is unknown.
    TCollectedBoard board = ctl.WholeBoard();
    const std::string login = UserRecord::LoginKey(*request.User);
    if (!board.Select(login)) {
        TBoardRow row;
        row.Caption = *request.User;
        row.SubItems[TBoardRow::Login] = login;
        board.SelectRow(row);
    }
    ctl.Kiv->SetStatusOfSelected(board, *request.Text);
}

void Comment(TCtlBoard &ctl, const TCtlRequest &request)
{
    // Over the record as it is now: a status stored since the sign-in stays.
    ctl.Kiv->UpdateComment(*request.Text);
}

void PrintLines(const std::vector<std::string> &lines)
{
    for (const std::string &line : lines)
        PrintLine(line);
}

void Statuses(TCtlBoard &ctl, const TCtlRequest &request)
{
    if (request.Text)
        ctl.RequireAdministrator("add to the status catalogue");
    TKivStatus &statuses = ctl.Board->Board().Status();
    statuses.EnsureStatusDataset();
    if (request.Text) {
        statuses.AddStatus(*request.Text);
        return;
    }
    // The listing ends without a word at a record it cannot read.
    CheckWholeDataset(statuses.DatasetPath(), StatusRecord::Format, "Unable to open Status dataset - ",
                      "Unable to read Status dataset - ");
    TCollectedItems items;
    statuses.FillStatusCombo(items);
    if (request.Json)
        Print(StatusesJson(items.Captions()));
    else
        PrintLines(items.Captions());
}

void Departments(TCtlBoard &ctl, const TCtlRequest &request)
{
    if (request.Text)
        ctl.RequireAdministrator("add a department");
    TKivDepartment &departments = ctl.Board->Board().Departments();
    // The catalogue says nothing when it cannot be created, opened or read.
    const std::string path = departments.DatasetPath();
    if (request.Text) {
        departments.EnsureDepartmentDataset();
        CheckCreated(path, Catalogue::KeyLength, DepartmentRecord::Format, "Unable to create Department dataset - ");
        CheckOpens(path, DepartmentRecord::Format, "Unable to Add the department " + *request.Text + " - ");
        departments.AddDepartment(*request.Text);
        return;
    }
    // Until the catalogue is created, the list is empty.
    if (FileExists(path + ".ism") || FileExists(path + ".isd"))
        CheckWholeDataset(path, DepartmentRecord::Format, "Unable to open Department dataset - ",
                          "Unable to read Department dataset - ");
    TCollectedItems items;
    departments.FillDepartmentCombo(items);
    PrintLines(items.Captions());
}

std::vector<std::string> InBoxValues(const TInBoxRow &row)
{
    return {row.Caption, row.SubItems[TInBoxRow::Subject], row.SubItems[TInBoxRow::Type],
            row.SubItems[TInBoxRow::PrimaryKey], row.SubItems[TInBoxRow::Received]};
}

void InBox(TKivMessage &messages, const std::string &login, const TCtlRequest &request)
{
    // The in-box comes out empty, without a word, when the dataset cannot be
    // opened or one of the user's messages read; before the first message of
    // the board there is none, and the in-box is empty.
    if (FileExists(messages.DatasetPath() + ".isd"))
        CheckOwnMessages(messages.DatasetPath(), login, "Unable to open Kiv message database - ",
                         "Unable to read Kiv message database - ");
    TCollectedInBox inBox;
    messages.FillInBox(inBox);
    if (request.Json) {
        Print(InBoxJson(inBox.Rows()));
        return;
    }
    const TTableRow header{"From", "Subject", "Type", "Key", "Received"};
    if (request.Csv) {
        PrintCsv(header);
        for (const TInBoxRow &row : inBox.Rows())
            PrintCsv(InBoxValues(row));
        return;
    }
    std::vector<TTableRow> table;
    for (const TInBoxRow &row : inBox.Rows())
        table.push_back(InBoxValues(row));
    Print(AlignedTable(header, table));
    const std::vector<std::string> &panels = inBox.Panels();
    Print(panels[0] + "  " + panels[1] + "  " + panels[2] + "\n");
}

void Read(TKivMessage &messages, const std::string &key)
{
    // As a click on the message's in-box row: its body is shown, and a new
    // message becomes old. A dataset that cannot be opened is told as the
    // engine tells it, not as a message that is not there.
    CheckOpens(messages.DatasetPath(), MessageRecord::Format, "Unable to locate Kiv Message\r\r");
    TCollectedInBox inBox;
    messages.ShowMessageBody(key, inBox);
    messages.FillInBox(inBox);
    const TInBoxRow *row = inBox.Find(key);
    if (row == nullptr) {
        // Erased between the two reads: reading its body again says so.
        messages.ShowMessageBody(key, inBox);
        throw EKivError("Unable to locate Kiv Message");
    }

    PrintLine("From: " + row->Caption);
    PrintLine("Subject: " + row->SubItems[TInBoxRow::Subject]);
    PrintLine("Received: " + row->SubItems[TInBoxRow::Received]);
    Print("\n");
    std::string body = TerminalText(inBox.MessageText());
    if (!body.empty() && body.back() != '\n')
        body += '\n';
    Print(body);
    // A message becomes old only once its text has been written out.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw EKivError("Unable to write to standard output");
    if (row->SubItems[TInBoxRow::Type] == MessageRecord::New)
        messages.MarkMessageOld(key);
}

void Messaging(TCtlBoard &ctl, const TCtlRequest &request)
{
    ctl.RequireMessaging();
    TKivMessage &messages = ctl.Board->Board().Messages();
    switch (request.Command) {
    case TCtlCommand::Send:
        messages.SendUserMessage(request.Login, ctl.Kiv->LoginUser.LogInName, *request.Text, request.Body);
        break;
    case TCtlCommand::InBox:
        InBox(messages, ctl.Kiv->LoginUser.LogInName, request);
        break;
    case TCtlCommand::Read:
        Read(messages, request.Key);
        break;
    case TCtlCommand::Delete:
        CheckOpens(messages.DatasetPath(), MessageRecord::Format, "Unable to delete Kiv Messages\r\r");
        messages.DeleteMessage(request.Key);
        break;
    default:
        break;
    }
}

int Run(TCtlBoard &ctl, const TCtlRequest &request)
{
    switch (request.Command) {
    case TCtlCommand::Board:
        ListBoard(ctl, request);
        break;
    case TCtlCommand::Status:
        Status(ctl, request);
        break;
    case TCtlCommand::Comment:
        Comment(ctl, request);
        break;
    case TCtlCommand::Statuses:
        Statuses(ctl, request);
        break;
    case TCtlCommand::Departments:
        Departments(ctl, request);
        break;
    case TCtlCommand::Send:
    case TCtlCommand::InBox:
    case TCtlCommand::Read:
    case TCtlCommand::Delete:
        Messaging(ctl, request);
        break;
    case TCtlCommand::Watch:
        return RunWatch(*ctl.Board, request.Interval, ctl.Ctx.Clock);
    case TCtlCommand::Shutdown:
        ctl.RequireAdministrator(request.ShutdownOn ? "set the shutdown marker" : "clear the shutdown marker");
        ctl.Kiv->Location().SetShuttingDown(request.ShutdownOn);
        break;
    case TCtlCommand::Page:
    case TCtlCommand::Log:
    case TCtlCommand::ServerInit:
    case TCtlCommand::ServerImport:
        break;
    }
    return kExitSuccess;
}

} // namespace

int RunRequest(const TCtlRequest &request)
{
    TCtlBoard ctl;
    int code = kExitFailed;
    try {
        if (request.Command == TCtlCommand::ServerInit) {
            ServerInit(request.ServerUri);
            return kExitSuccess;
        }
        if (request.Command == TCtlCommand::ServerImport) {
            // Each part is told as it is copied, so that a failure after it
            // leaves the list of what the server holds on the screen.
            ImportFolderBoard(request.ImportFolder, request.ServerUri, [](const std::string &line) {
                PrintLine(line);
                std::fflush(stdout);
            });
            Print("The board in the folder is on the server now.\n");
            return kExitSuccess;
        }
        const std::optional<std::string> folder = BoardFolderOf(request);
        if (!folder) {
            PrintError("no board folder: give --board FOLDER, or set KivDBasePath in the Kiv settings");
            return kExitUsage;
        }
        if (request.Command == TCtlCommand::Log) {
            // The log is read from the location; nobody is signed in.
            PrintLog(*folder, request.Csv ? TActivityLog::Csv : TActivityLog::Text);
            code = kExitSuccess;
        } else if (request.Command == TCtlCommand::Page) {
            // The page is for whoever looks at it: nobody is signed in.
            TKivSettings settings;
            TKivCB().ReadSettings(settings);
            const std::string path = request.Out.empty() ? PageLocationOf(settings) : request.Out;
            if (path.empty()) {
                PrintError("page: no file: give --out FILE, or set HTMLLocation in the Kiv settings");
                return kExitUsage;
            }
            ctl.OpenUnsigned(*folder);
            ctl.Session.ShowOffline = settings.ShowOfflineUsers;
            code = RunPage(*ctl.Kiv, PageLookOf(settings), path, request.Every);
        } else {
            ctl.Open(*folder);
            code = Run(ctl, request);
        }
    } catch (const EKivEngineMissing &) {
        // The engine-missing box has been printed already.
        return kExitFailed;
    } catch (const EKivError &error) {
        PrintError(error.what());
        return kExitFailed;
    } catch (const std::exception &error) {
        PrintError(error.what());
        return kExitFailed;
    }
    std::fflush(stdout);
    if (std::ferror(stdout)) {
        PrintError("Unable to write to standard output");
        return kExitFailed;
    }
    if (ctl.Prompter.Failed() || ctl.App.Terminated())
        return kExitFailed;
    return code;
}
