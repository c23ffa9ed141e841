// Running the real kivctl against a temporary board folder, with HOME and the
// XDG folders pointed into a private home so the real user's settings are
// never touched.
#pragma once

#include "board/KivFile.h"
#include "config/KivCB.h"
#include "platform/LoginName.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/board/EitherBoard.h"
#include "tests/platform/TempHome.h"
#include "tests/storage/TestFolder.h"

#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>

struct TCtlResult {
    int Code = -1;
    std::string Out;
    std::string Err;
};

/// The values of a CSV line that holds no quoted value.
inline std::vector<std::string> Split(const std::string &line)
{
    std::vector<std::string> values;
    std::stringstream in(line);
    for (std::string value; std::getline(in, value, ',');)
        values.push_back(value);
    if (!line.empty() && line.back() == ',')
        values.emplace_back();
    return values;
}

class TCtlTest : public ::testing::Test {
protected:
    /// On a folder board of its own, or on a database of its own on the
    /// tests' PostgreSQL cluster.
    explicit TCtlTest(TBoardKind kind = TBoardKind::Folder)
    {
        if (kind == TBoardKind::Server) {
            FDatabase = std::make_unique<TTestDatabase>();
            Board = FDatabase->Uri;
        } else {
            mkdir(Board.c_str(), 0700);
        }
    }

    /// Starts kivctl with args, its output to the descriptor out and its
    /// errors to the file errPath.
    pid_t Start(const std::vector<std::string> &args, int out, const std::string &errPath)
    {
        const pid_t pid = fork();
        if (pid != 0)
            return pid;
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(120);
        Exec(args);
    }

    /// In a child: becomes kivctl with args, in the C locale.
    [[noreturn]] static void Exec(const std::vector<std::string> &args)
    {
        setenv("LC_ALL", "C", 1);
        std::vector<char *> argv{const_cast<char *>(KIVCTL_PATH)};
        for (const std::string &arg : args)
            argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        execv(KIVCTL_PATH, argv.data());
        _exit(121);
    }

    /// Runs kivctl with args to its end.
    TCtlResult Run(const std::vector<std::string> &args)
    {
        const std::string outPath = Home.Root() + "/out", errPath = Home.Root() + "/err";
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const pid_t pid = Start(args, out, errPath);
        close(out);
        TCtlResult result;
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            result.Code = WEXITSTATUS(status);
        result.Out = TTempHome::ReadAll(outPath);
        result.Err = TTempHome::ReadAll(errPath);
        return result;
    }

    /// Runs kivctl on the test's board.
    TCtlResult OnBoard(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--board", Board});
        return Run(args);
    }

    /// The lines of a CSV listing of the board or the in-box, header left out.
    std::vector<std::string> CsvRows(std::vector<std::string> args)
    {
        args.push_back("--csv");
        const TCtlResult result = OnBoard(args);
        EXPECT_EQ(result.Code, 0) << result.Err;
        std::vector<std::string> lines = LogLines(result.Out);
        if (!lines.empty())
            lines.erase(lines.begin());
        return lines;
    }

    /// The logins the CSV board listing shows, in its order.
    std::vector<std::string> ListedLogins(std::vector<std::string> options = {})
    {
        options.insert(options.begin(), "board");
        std::vector<std::string> logins;
        for (const std::string &row : CsvRows(options))
            logins.push_back(Split(row).at(5));
        return logins;
    }

    /// Signs login in on the board in this process, then lets change edit its
    /// stored record behind the board's back.
    void AddUser(const std::string &login, const std::function<void(char *)> &change = nullptr)
    {
        TFakeBoard fakes;
        TKivFile(Board, fakes.Ctx, login).SignIn();
        if (change) {
            ASSERT_TRUE(ChangeStoredUser(Board, login, change));
        }
    }

    /// Writes the board's Kiv.cfg.
    void Configure(uint8_t loggingType, uint8_t allowMessages)
    {
        TFakeBoard fakes;
        TKivCfgRecord record;
        record.LoggingType = loggingType;
        record.AllowMessages = allowMessages;
        TKivFile(Board, fakes.Ctx, "CONFIGURER").WriteConfig(record);
    }

    /// Points the settings' KivDBasePath at folder.
    void SetSettingsFolder(const std::string &folder)
    {
        TKivCB block;
        TKivSettings settings;
        block.ReadSettings(settings);
        settings.KivDBasePath = folder + "/";
        block.WriteSettings(settings);
    }

    /// The lines of an activity log of the board.
    std::vector<std::string> Log(TActivityLog log) const
    {
        std::vector<std::string> lines;
        MakeBoardLocation(Board)->ReadLog(log, [&](const std::string &line) { lines.push_back(line); });
        return lines;
    }

    TTempHome Home;
    std::string Board = Home.Root() + "/board";
    const std::string Me = CurrentLoginName();

private:
    std::unique_ptr<TTestDatabase> FDatabase;
};

/// A kivctl test on both kinds of board: TEST_P(suite, ...) and
/// KIV_ON_BOTH_BOARD_KINDS(suite).
class TCtlEitherTest : public ::testing::WithParamInterface<TBoardKind>, public TCtlTest {
protected:
    TCtlEitherTest() : TCtlTest(GetParam()) {}
};
