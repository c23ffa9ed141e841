// Several workstations on one server board, played by child processes, some
// of them killed in the middle of their work; and the server restarted under
// a running workstation.
#include "board/KivFile.h"
#include "board/KivMessage.h"
#include "board/MessageRecord.h"
#include "board/UserRecord.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/board/ServerTesting.h"
#include "tests/storage/TestFolder.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <typeinfo>
#include <unistd.h>

namespace {

const char *const kStatuses[] = {"At lunch", "In meeting", "Gone home", "Available"};

std::string LoginOf(int n)
{
    return "USER" + std::to_string(n);
}

} // namespace

// Fault: a workstation killed within a write leaves a half-written record, a
// lock or an open transaction that stops the others; or a change or a message
// a workstation was told was stored is missing.
TEST(ServerProcessTest, WorkstationsKilledInTheMiddleOfTheirWorkLoseNothingTheyWereToldWasStored)
{
    constexpr int kWorkstations = 6;
    TTestDatabase database;
    for (int n = 0; n < kWorkstations; ++n) {
        TFakeBoard fakes;
        TKivFile(database.Uri, fakes.Ctx, LoginOf(n)).SignIn();
    }
    // Each child reports every status change and every message it was told
    // was stored, one byte each, before it goes on.
    int acks[2];
    ASSERT_EQ(pipe(acks), 0);
    std::vector<pid_t> children;
    for (int n = 0; n < kWorkstations; ++n) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(acks[0]);
            TFakeBoard fakes;
            TKivFile kiv(database.Uri, fakes.Ctx, LoginOf(n));
            TKivMessage messages(kiv);
            for (int i = 0;; ++i) {
                try {
                    fakes.Session.User.Status = kStatuses[i % 4];
                    kiv.SetStatus();
                    const char status = char('a' + n);
                    (void)!write(acks[1], &status, 1);
                    messages.SendUserMessage(LoginOf((n + 1) % kWorkstations), LoginOf(n), "note", std::to_string(i));
                    const char sent = char('A' + n);
                    (void)!write(acks[1], &sent, 1);
                } catch (const std::exception &error) {
                    std::fprintf(stderr, "%s: %s: %s\n", LoginOf(n).c_str(), typeid(error).name(), error.what());
                    _exit(1);
                } catch (...) {
                    _exit(2);
                }
                if (n % 2 == 0 && i == 40)
                    _exit(0); // the survivors end of their own accord
            }
        }
        children.push_back(pid);
    }
    close(acks[1]);
    ::usleep(1500000);
    for (int n = 1; n < kWorkstations; n += 2)
        kill(children[std::size_t(n)], SIGKILL);
    for (int n = 0; n < kWorkstations; ++n) {
        int status = 0;
        ASSERT_EQ(waitpid(children[std::size_t(n)], &status, 0), children[std::size_t(n)]);
        // The survivors ended well, the others worked until they were killed.
        EXPECT_TRUE(n % 2 == 0 ? WIFEXITED(status) && WEXITSTATUS(status) == 0 : WIFSIGNALED(status)) << LoginOf(n);
    }
    std::vector<int> changes(kWorkstations), sent(kWorkstations);
    char ack;
    while (read(acks[0], &ack, 1) == 1)
        ++(ack >= 'a' ? changes[std::size_t(ack - 'a')] : sent[std::size_t(ack - 'A')]);
    close(acks[0]);

    // Every record whole, on the status last reported or the one after it
    // (killed after the commit, before the report); every reported message
    // there, at most one more.
    const std::vector<TStoredUser> users = StoredUsers(database.Uri);
    ASSERT_EQ(users.size(), std::size_t(kWorkstations));
    for (const TStoredUser &user : users) {
        const int n = std::stoi(user.User.LogInName.substr(4));
        SCOPED_TRACE(user.User.LogInName);
        ASSERT_GT(changes[std::size_t(n)], 0);
        const std::string last = kStatuses[(changes[std::size_t(n)] - 1) % 4];
        const std::string next = kStatuses[changes[std::size_t(n)] % 4];
        EXPECT_TRUE(user.User.Status == last || (n % 2 == 1 && user.User.Status == next)) << user.User.Status;
    }
    int reported = 0;
    for (int n : sent)
        reported += n;
    const int stored = std::stoi(
        database.Sql(std::string("SELECT count(*) FROM kiv.\"ds_") + MessageRecord::DatasetName + "\"").Text(0, 0));
    EXPECT_GE(stored, reported);
    EXPECT_LE(stored, reported + kWorkstations / 2);

    // Nothing a killed workstation held stops the next one.
    TFakeBoard fakes;
    TKivFile kiv(database.Uri, fakes.Ctx, LoginOf(1));
    fakes.Session.User.Status = "Back again";
    kiv.SetStatus();
    EXPECT_EQ(StoredUsers(database.Uri)[1].User.Status, "Back again");
}

// Fault: a workstation whose server went away hangs, crashes or says nothing
// clear; or, once the server is back, it stays cut off until Kiv restarts.
TEST(ServerProcessTest, AServerRestartedUnderARunningWorkstationGivesClearErrorsThenServesItAgain)
{
    const std::string folder = "/tmp/kiv-pg-restart-" + std::to_string(getpid());
    const std::string script = KIV_PG_CLUSTER_SCRIPT;
    ASSERT_EQ(std::system((script + " start " + folder).c_str()), 0);
    const std::string uri = "postgresql:///kiv?host=" + folder + "/socket&user=kiv";
    InitServerBoard(uri);
    TFakeBoard fakes;
    TKivFile kiv(uri, fakes.Ctx, "alice");
    kiv.SignIn();
    TFakeBoardList list;
    kiv.FillBoard(list);

    ASSERT_EQ(std::system((script + " halt " + folder).c_str()), 0);
    fakes.Session.User.Status = "At lunch";
    const std::string down = RaisedText([&] { kiv.SetStatus(); });
    EXPECT_NE(down.find("Board server unreachable"), std::string::npos) << down;
    EXPECT_NE(RaisedText([&] { kiv.FillBoard(list); }), "");

    ASSERT_EQ(std::system((script + " resume " + folder).c_str()), 0);
    // The same process, within the engine's pause after a failed connect.
    std::string again = "not tried";
    for (int tries = 0; tries < 30 && !again.empty(); ++tries) {
        again = RaisedText([&] { kiv.SetStatus(); });
        if (!again.empty())
            ::usleep(100000);
    }
    EXPECT_EQ(again, "");
    EXPECT_EQ(StoredUsers(uri)[0].User.Status, "At lunch");
    kiv.FillBoard(list);
    EXPECT_EQ(list.Rows.size(), 1u);
    std::system((script + " stop " + folder).c_str());
}
