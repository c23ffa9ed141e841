// kivctl on a board that other members, a crash or a full disk have been at:
// texts that would drive the terminal, damaged and unreachable datasets, a
// full standard output, FIFOs where the board's files belong, and a second
// login run under another user id.
#include "board/Catalogue.h"
#include "board/KivDepartment.h"
#include "board/KivMessage.h"
#include "board/KivStatus.h"
#include "board/UserRecord.h"
#include "tests/ctl/CtlTesting.h"

#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sqlite3.h>
#include <sys/resource.h>

namespace {

// Texts another member may store: an OSC 52 clipboard write, a colour
// change, a C1 control as UTF-8 and as a lone byte, a bell and a delete.
const std::string kClipboard = "\x1b]52;c;ZWNobyBvd25lZA==\x07";
const std::string kHostile = "Ann" + kClipboard + "\x1b[31m\xC2\x9B" + "2J\x9B\x7F\x08!";

/// True when text holds a byte that a terminal takes as a control (C0, DEL,
/// C1 as UTF-8 or as a lone byte), other than the line breaks (and tabs, when
/// allowed) that kivctl writes itself.
bool HoldsControl(const std::string &text, bool tabs = false)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n' || (tabs && byte == '\t'))
            continue;
        if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte <= 0x9F))
            return true;
        if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F)
            return true;
        // The continuation bytes of a character are no controls.
        if (byte >= 0xC0)
            while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80)
                ++i;
    }
    return false;
}

class HostileBoardTest : public TCtlTest {
protected:
    /// Runs kivctl on the test's board, its output and errors through pipes
    /// (which neither a file size limit nor another user id stands in the way
    /// of), in a child that first does prepare; false from it ends the child.
    TCtlResult RunPrepared(std::vector<std::string> args, const std::function<bool()> &prepare)
    {
        args.insert(args.begin(), {"--board", Board});
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0)
            return {};
        const pid_t pid = fork();
        if (pid == 0) {
            if (dup2(out[1], 1) < 0 || dup2(err[1], 2) < 0 || !prepare())
                _exit(120);
            Exec(args);
        }
        close(out[1]);
        close(err[1]);
        TCtlResult result;
        result.Out = Drain(out[0], err[0], result.Err);
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            result.Code = WEXITSTATUS(status);
        return result;
    }

    /// What kivctl on the test's board writes to a pseudo-terminal.
    std::string OnTerminal(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--board", Board});
        int terminal = -1;
        const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
        if (pid < 0)
            return {};
        if (pid == 0)
            Exec(args);
        std::string shown;
        pollfd fd{terminal, POLLIN, 0};
        char bytes[4096];
        // The read fails (EIO) once the program has ended.
        for (ssize_t got = 1; got > 0 && poll(&fd, 1, 20000) > 0;) {
            got = read(terminal, bytes, sizeof bytes);
            if (got > 0)
                shown.append(bytes, std::size_t(got));
        }
        close(terminal);
        waitpid(pid, nullptr, 0);
        return shown;
    }

    /// Runs kivctl with files of at most limit bytes: a full disk.
    TCtlResult OnFullDisk(const std::vector<std::string> &args, rlim_t limit = 0)
    {
        return RunPrepared(args, [limit] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit bounds{limit, limit};
            return setrlimit(RLIMIT_FSIZE, &bounds) == 0;
        });
    }

    /// Runs kivctl as the user nobody: another member of the board.
    TCtlResult AsAnotherUser(const std::vector<std::string> &args)
    {
        return RunPrepared(args, [] { return setgid(kUnprivilegedId) == 0 && setuid(kUnprivilegedId) == 0; });
    }

    /// Lets every user reach and write the board, as an office's shared
    /// folder does.
    void ShareBoard()
    {
        chmod(Home.Root().c_str(), 0755);
        chmod(Board.c_str(), 0777);
        for (const std::string &name : FolderNames(Board))
            chmod((Board + "/" + name).c_str(), 0666);
    }

    /// Runs sql on the data file of a dataset, behind the engine's back.
    void Damage(const std::string &dataset, const std::string &sql)
    {
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open((Board + "/" + dataset + ".isd").c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }

    /// The key of the first message in the in-box of this process's user.
    std::string FirstKey()
    {
        const std::vector<std::string> rows = CsvRows({"inbox"});
        return rows.empty() ? std::string() : Split(rows[0]).at(3);
    }

private:
    static std::string Drain(int out, int err, std::string &errText)
    {
        std::string outText;
        pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
        for (int open = 2; open > 0;) {
            if (poll(fds, 2, 20000) <= 0)
                break;
            for (pollfd &fd : fds) {
                if (fd.fd < 0 || fd.revents == 0)
                    continue;
                char bytes[4096];
                const ssize_t got = read(fd.fd, bytes, sizeof bytes);
                if (got <= 0) {
                    close(fd.fd);
                    fd.fd = -1;
                    --open;
                    continue;
                }
                (fd.fd == out ? outText : errText).append(bytes, std::size_t(got));
            }
        }
        return outText;
    }
};

} // namespace

// kivctl printed statuses, comments, names, subjects and bodies raw, so
// another member's text could write the reader's clipboard (OSC 52).
TEST_F(HostileBoardTest, StoredTextsNeverDriveTheTerminalAndCsvStaysByteExact)
{
    ASSERT_EQ(OnBoard({"board"}).Code, 0);
    ASSERT_EQ(OnBoard({"departments", "add", "Sales"}).Code, 0);
    ASSERT_EQ(OnBoard({"statuses"}).Code, 0);
    AddUser("EVE", [](char *record) {
        PutText(record, UserRecord::Name, kHostile);
        PutText(record, UserRecord::Status,
                "\x1b]0;t\x07"
                "Away");
        PutText(record, UserRecord::Comments, kClipboard);
        PutText(record, UserRecord::Department, "\x1b[2J");
    });
    ASSERT_TRUE(ChangeStoredUser(Board, Me, [](char *record) { PutText(record, UserRecord::Status, "\x1b[5mIn"); }));
    TFakeBoard fakes;
    TKivFile eve(Board, fakes.Ctx, "EVE");
    TKivMessage(eve).SendUserMessage(Me, "EVE", kClipboard + "Hi", "Line one\r\n\tLine two" + kClipboard + "\x9B");
    TKivStatus(eve).AddStatus("\x1b]52;c;eA==\x07"
                              "Busy");
    TKivDepartment(fakes.Ctx, [&] { return Board; })
        .AddDepartment("\x1b[8m"
                       "Legal");

    for (const std::vector<std::string> &args :
         std::vector<std::vector<std::string>>{{"board"},
                                               {"board", "--offline"},
                                               {"status"},
                                               {"status", "--user", "eve"},
                                               {"statuses"},
                                               {"departments"},
                                               {"inbox"},
                                               {"status", "--user", "no\x1b]52;c;eA==\x07one"}}) {
        const TCtlResult result = OnBoard(args);
        EXPECT_FALSE(HoldsControl(result.Out)) << args[0] << ": " << result.Out;
        EXPECT_FALSE(HoldsControl(result.Err)) << args[0] << ": " << result.Err;
    }
    EXPECT_EQ(OnBoard({"status"}).Out, " [5mIn\n");
    EXPECT_NE(OnBoard({"board"}).Out.find("Ann ]52;c;ZWNobyBvd25lZA==  [31m 2J   !"), std::string::npos);

    const TCtlResult read = OnBoard({"read", FirstKey()});
    ASSERT_EQ(read.Code, 0) << read.Err;
    EXPECT_FALSE(HoldsControl(read.Out, true)) << read.Out;
    // The body keeps its line breaks and tabs.
    EXPECT_NE(read.Out.find("\n\nLine one\n\tLine two ]52;c;ZWNobyBvd25lZA==  \n"), std::string::npos) << read.Out;

    // The CSV listings are for programs: every byte as stored.
    const std::string csv = OnBoard({"board", "--csv"}).Out;
    EXPECT_NE(csv.find("\r\n" + kHostile
                       + ",\x1b]0;t\x07"
                         "Away,"),
              std::string::npos)
        << csv;
    // The sender's name, as the message keeps it: cut to its 31 bytes.
    EXPECT_NE(OnBoard({"inbox", "--csv"}).Out.find("\r\n" + kHostile.substr(0, 31) + "," + kClipboard + "Hi,Old,"),
              std::string::npos);
}

// kivctl read marked a message read even when its text could not be shown.
// CSV listings on a terminal lose escapes and close overrides; into a pipe
// they stay as stored.
TEST_F(HostileBoardTest, CsvOnATerminalIsMadeHarmlessAndIntoAPipeStaysByteExact)
{
    const std::string rlo = "\xE2\x80\xAE", pdf = "\xE2\x80\xAC";
    const std::string status = "\x1b]0;t\x07"
                               "Away"
                               + rlo + "cod.exe";
    ASSERT_EQ(OnBoard({"board"}).Code, 0);
    AddUser("EVE", [&](char *record) {
        PutText(record, UserRecord::Name, kHostile);
        PutText(record, UserRecord::Status, status);
    });
    TFakeBoard fakes;
    TKivFile eve(Board, fakes.Ctx, "EVE");
    TKivMessage(eve).SendUserMessage(Me, "EVE", kClipboard + "Hi" + rlo, "Body");

    const struct {
        const char *Command;
        std::string Stored;   // as a pipe must get it
        std::string OnScreen; // harmless, the override closed within its value
    } listings[] = {
        {"board", kHostile + "," + status + ",", " ]0;t Away" + rlo + "cod.exe" + pdf + ","},
        {"inbox", kClipboard + "Hi" + rlo + ",", " ]52;c;ZWNobyBvd25lZA== Hi" + rlo + pdf + ","},
    };
    for (const auto &listing : listings) {
        std::string shown = OnTerminal({listing.Command, "--csv"});
        // The terminal's own line ends (CR LF) are no stored text.
        std::erase(shown, '\r');
        EXPECT_FALSE(HoldsControl(shown)) << listing.Command << ": " << shown;
        EXPECT_NE(shown.find(listing.OnScreen), std::string::npos) << listing.Command << ": " << shown;
        const TCtlResult piped = RunPrepared({listing.Command, "--csv"}, [] { return true; });
        EXPECT_NE(piped.Out.find(listing.Stored), std::string::npos) << listing.Command << ": " << piped.Out;
    }
}

TEST_F(HostileBoardTest, AMessageBecomesOldOnlyOnceItsTextIsWrittenOut)
{
    ASSERT_EQ(OnBoard({"board"}).Code, 0);
    ASSERT_EQ(OnBoard({"send", Me, "Subject", "Body"}).Code, 0);
    const std::string key = FirstKey();
    const TCtlResult full = RunPrepared({"read", key}, [] {
        const int fd = open("/dev/full", O_WRONLY);
        return fd >= 0 && dup2(fd, 1) >= 0;
    });
    // The pipe is not standard output here: /dev/full is.
    EXPECT_EQ(full.Code, 1);
    EXPECT_EQ(full.Err, "kivctl: Unable to write to standard output\n");
    EXPECT_EQ(Split(CsvRows({"inbox"}).at(0))[2], "New");
}

// A damaged catalogue listed nothing with exit status 0, damaged messages an
// empty in-box, and a full disk blamed an "Invalid dataset reference".
TEST_F(HostileBoardTest, DamagedAndUnreachableDatasetsFailWithTheEnginesOwnText)
{
    ASSERT_EQ(OnBoard({"board"}).Code, 0);
    const TCtlResult noMessages = OnBoard({"read", "1"});
    EXPECT_EQ(noMessages.Code, 1);
    EXPECT_EQ(noMessages.Err, "kivctl: Unable to locate Kiv Message\n\nObject not found\n");
    EXPECT_EQ(OnBoard({"inbox"}).Code, 0) << "before the first message the in-box is empty";
    EXPECT_EQ(OnBoard({"departments"}).Code, 0) << "before the catalogue is made the list is empty";

    const TCtlResult fullDisk = OnFullDisk({"departments", "add", "Sales"});
    EXPECT_EQ(fullDisk.Code, 1);
    EXPECT_EQ(fullDisk.Err, "kivctl: Unable to create Department dataset - Disk read / write error\n");

    ASSERT_EQ(OnBoard({"departments", "add", "Sales"}).Code, 0);
    ASSERT_EQ(OnBoard({"departments", "add", "Support"}).Code, 0);
    ASSERT_EQ(OnBoard({"send", Me, "One", "1"}).Code, 0);
    ASSERT_EQ(OnBoard({"send", Me, "Two", "2"}).Code, 0);
    ASSERT_EQ(OnBoard({"statuses"}).Code, 0);
    Damage("KivMesg", "UPDATE vbis_record SET rec = substr(rec, 1, 600) WHERE k = CAST('0000000002' AS BLOB)");
    Damage("KivStats", "UPDATE vbis_record SET rec = x'00' WHERE k = CAST('0000000004' AS BLOB)");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"inbox"}, "kivctl: Unable to read Kiv message database - Corrupted dataset\n"},
        {{"statuses"}, "kivctl: Unable to read Status dataset - Corrupted dataset\n"},
    };
    for (const auto &[args, err] : cases) {
        const TCtlResult result = OnBoard(args);
        EXPECT_EQ(result.Code, 1) << args[0];
        EXPECT_EQ(result.Err, err);
        EXPECT_EQ(result.Out, "") << args[0];
    }
    WriteWholeFile(Board + "/KivDeps.isd", "not a dataset at all, but some member's bytes");
    const TCtlResult departments = OnBoard({"departments"});
    EXPECT_EQ(departments.Code, 1);
    EXPECT_EQ(departments.Err, "kivctl: Unable to open Department dataset - Corrupted dataset\n");
    const TCtlResult add = OnBoard({"departments", "add", "Legal"});
    EXPECT_EQ(add.Code, 1);
    EXPECT_EQ(add.Err, "kivctl: Unable to Add the department Legal - Corrupted dataset\n");
}

// A long login and the login it shares its first 20 bytes with are two users
// for kivctl's --user as well.
TEST_F(HostileBoardTest, LongLoginsThatBeginAlikeAreTwoUsers)
{
    ASSERT_EQ(OnBoard({"board"}).Code, 0);
    AddUser("longuser_accounting_a");
    AddUser("longuser_accounting_b");
    ASSERT_TRUE(ChangeStoredUser(Board, UserRecord::LoginKey("LONGUSER_ACCOUNTING_B"),
                                 [](char *record) { PutText(record, UserRecord::Status, "Gone home"); }));
    EXPECT_EQ(OnBoard({"status", "--user", "longuser_accounting_a"}).Out, "Available\n");
    EXPECT_EQ(OnBoard({"status", "--user", "longuser_accounting_b"}).Out, "Gone home\n");
    ASSERT_EQ(OnBoard({"status", "In meeting", "--user", "longuser_accounting_a"}).Code, 0);
    EXPECT_EQ(OnBoard({"status", "--user", "longuser_accounting_a"}).Out, "In meeting\n");
    EXPECT_EQ(OnBoard({"status", "--user", "longuser_accounting_b"}).Out, "Gone home\n");
    EXPECT_EQ(StoredUsers(Board).size(), 3u);
}

// Another member of the board, under a user id of their own, is refused what
// is not theirs, and what they put in place of the board's files (links to
// the first user's files, FIFOs) costs the first user an error, never a
// file of theirs or a hang.
TEST_F(HostileBoardTest, AnotherMemberUnderAnotherUidIsRefusedAndCannotHurtTheFirst)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can run a second process under another user id";
    ASSERT_EQ(OnBoard({"board"}).Code, 0); // the board's administrator
    ASSERT_EQ(OnBoard({"send", Me, "Mine", "private"}).Code, 0);
    Configure(2, 1);
    ShareBoard();
    const std::string key = FirstKey();

    const TCtlResult signedIn = AsAnotherUser({"status", "At lunch"});
    ASSERT_EQ(signedIn.Code, 0) << signedIn.Err;
    for (const std::vector<std::string> &args :
         std::vector<std::vector<std::string>>{{"status", "Gone home", "--user", Me},
                                               {"statuses", "add", "Mine now"},
                                               {"departments", "add", "X"},
                                               {"read", key},
                                               {"delete", key}}) {
        const TCtlResult refused = AsAnotherUser(args);
        EXPECT_EQ(refused.Code, 1) << args[0] << " " << refused.Err;
    }
    EXPECT_EQ(OnBoard({"status"}).Out, "Available\n");
    EXPECT_EQ(Split(CsvRows({"inbox"}).at(0))[2], "New");

    // The other member plants a link to a file of the first user's in place
    // of the log, then FIFOs in place of the log and of Kiv.cfg.
    const std::string victim = Home.Root() + "/bashrc";
    WriteWholeFile(victim, "# mine\n");
    ASSERT_EQ(RunInChild(
                  [&] {
                      return unlink((Board + "/KivLog.csv").c_str()) == 0
                                     && symlink(victim.c_str(), (Board + "/KivLog.csv").c_str()) == 0
                                 ? 0
                                 : 1;
                  },
                  true),
              0);
    const TCtlResult linked = OnBoard({"status", "$(id>~/owned)"});
    EXPECT_EQ(linked.Code, 1);
    EXPECT_NE(linked.Err.find("The file is a symbolic link"), std::string::npos) << linked.Err;
    EXPECT_EQ(ReadWholeFile(victim), "# mine\n");

    for (const char *name : {"KivLog.csv", "Kiv.cfg"}) {
        const std::string path = Board + "/" + name;
        ASSERT_EQ(
            RunInChild([&] { return unlink(path.c_str()) == 0 && mkfifo(path.c_str(), 0666) == 0 ? 0 : 1; }, true), 0);
        const auto start = std::chrono::steady_clock::now();
        const TCtlResult blocked = OnBoard({"status", name});
        EXPECT_EQ(blocked.Code, 1) << name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << name;
    }
}
