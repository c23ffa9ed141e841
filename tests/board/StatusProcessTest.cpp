// Several workstations changing their statuses on one board at once, played
// by child processes: every change reaches the dataset and the CSV log, whose
// lines stay whole and well-formed whoever writes at the same moment.
#include "board/KivFile.h"
#include "board/UserRecord.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/board/EitherBoard.h"
#include "tests/storage/TestFolder.h"

#include <gtest/gtest.h>
#include <map>

namespace {

const std::vector<std::string> kStatuses{"At lunch", "In \"the\" meeting", "Away, back soon", "Available"};

std::string LoginOf(int n)
{
    return "USER" + std::to_string(n);
}

std::string NameOf(int n)
{
    return "User \"" + std::to_string(n) + "\", Esq.";
}

class StatusProcessTest : public ::testing::TestWithParam<TBoardKind> {};
KIV_ON_BOTH_BOARD_KINDS(StatusProcessTest);

} // namespace

TEST_P(StatusProcessTest, EightWorkstationsChangingStatusesKeepEveryChangeAndAWellFormedCsvLog)
{
    constexpr int kWorkstations = 8;
    constexpr int kChanges = 200;
    TEitherBoard board(GetParam());
    const std::string &location = board.Location;
    for (int n = 0; n < kWorkstations; ++n) {
        TFakeBoard fakes;
        TKivFile kiv(location, fakes.Ctx, LoginOf(n));
        kiv.SignIn();
        if (n == 0) {
            TKivCfgRecord config;
            config.LoggingType = 2;
            kiv.WriteConfig(config);
        }
        ASSERT_TRUE(ChangeStoredUser(location, LoginOf(n),
                                     [&](char *record) { PutText(record, UserRecord::Name, NameOf(n)); }));
    }

    const std::vector<int> codes = RunTogether(kWorkstations, [&](int n) {
        TFakeBoard fakes;
        TKivFile kiv(location, fakes.Ctx, LoginOf(n));
        if (kiv.LoggingType != 2)
            return 2;
        for (int i = 0; i < kChanges; ++i) {
            fakes.Session.User.Status = kStatuses[std::size_t(i) % kStatuses.size()];
            try {
                kiv.SetStatus();
            } catch (const EKivError &error) {
                std::fprintf(stderr, "%s: %s\n", LoginOf(n).c_str(), error.what());
                return 1;
            }
        }
        return 0;
    });
    EXPECT_EQ(codes, std::vector<int>(kWorkstations, 0));

    const std::vector<std::string> lines = board.Log(TActivityLog::Csv);
    ASSERT_EQ(lines.size(), 1u + kWorkstations * kChanges);
    EXPECT_EQ(lines[0], "\"Date/Time\",\"Name\",\"LogInName\",\"From Status\",\"To Status\"");
    // Each workstation's lines come in the order of its changes, each one
    // starting from the status the one before it ended in.
    std::map<std::string, std::vector<std::vector<std::string>>> byLogin;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto values = CsvValues(lines[i]);
        ASSERT_TRUE(values.has_value() && values->size() == 5u) << lines[i];
        byLogin[(*values)[2]].push_back(*values);
    }
    ASSERT_EQ(byLogin.size(), std::size_t(kWorkstations));
    for (int n = 0; n < kWorkstations; ++n) {
        const auto &changes = byLogin[LoginOf(n)];
        ASSERT_EQ(changes.size(), std::size_t(kChanges)) << LoginOf(n);
        std::string previous = "Available";
        for (std::size_t i = 0; i < changes.size(); ++i) {
            EXPECT_EQ(changes[i][1], NameOf(n));
            EXPECT_EQ(changes[i][3], previous);
            EXPECT_EQ(changes[i][4], kStatuses[i % kStatuses.size()]);
            previous = changes[i][4];
        }
    }

    const auto users = StoredUsers(location);
    ASSERT_EQ(users.size(), std::size_t(kWorkstations));
    for (const TStoredUser &user : users)
        EXPECT_EQ(user.User.Status, kStatuses[(kChanges - 1) % kStatuses.size()]) << user.User.LogInName;
    // No workstation left a file of its own behind from creating the log.
    for (const std::string &name : FolderNames(board.Folder().Path()))
        EXPECT_TRUE(name.rfind("KivLog.csv", 0) != 0 || name == "KivLog.csv") << name;
}
