#include "platform/Autostart.h"

#include "platform/KivError.h"
#include "tests/platform/TempHome.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

TEST(Autostart, TheEntryStartsTheProgramAndReplacesAnOlderOne)
{
    TTempHome home;
    CreateAutostartEntry("/old/kiv");
    CreateAutostartEntry("/opt/kiv/kiv");
    EXPECT_EQ(TTempHome::ReadAll(home.Config() + "/autostart/Kiv.desktop"),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Version=1.0\n"
              "Name=Kiv\n"
              "Comment=See who in the office is available, out or busy, and send colleagues short messages\n"
              "TryExec=/opt/kiv/kiv\n"
              "Exec=\"/opt/kiv/kiv\"\n"
              "Terminal=false\n"
              "X-GNOME-Autostart-enabled=true\n");
}

TEST(Autostart, OddCharactersInThePathAreQuotedForTheDesktop)
{
    // Inside a quoted argument ", `, $ and \ take a backslash and '%' is doubled;
    // then every backslash of the value is doubled once more.
    EXPECT_NE(AutostartEntryText("/a b/\"q\"/$x/`c`/100%/b\\s")
                  .find("Exec=\"/a b/\\\\\"q\\\\\"/\\\\$x/\\\\`c\\\\`/100%%/b\\\\\\\\s\"\n"),
              std::string::npos);
}

TEST(Autostart, APathThatCannotBeAnEntryIsRefused)
{
    TTempHome home;
    EXPECT_THROW(CreateAutostartEntry("relative/kiv"), EKivError);
    EXPECT_THROW(CreateAutostartEntry("/opt/kiv\n[Desktop Entry]"), EKivError);
    EXPECT_FALSE(TTempHome::Exists(home.Config() + "/autostart/Kiv.desktop"));
    mkdir(home.Config().c_str(), 0700);
    TTempHome::WriteAll(home.Config() + "/autostart", "a file where the folder goes");
    EXPECT_THROW(CreateAutostartEntry("/opt/kiv/kiv"), EKivError);
}

namespace {

/// What desktop-file-validate says of the file at path: its exit status and
/// everything it printed, or a code of -1 when it could not be run.
std::pair<int, std::string> ValidateDesktopFile(const std::string &path, const std::string &outPath)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char *> argv{const_cast<char *>("desktop-file-validate"), const_cast<char *>(path.c_str()), nullptr};
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (started != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 127)
        return {-1, "desktop-file-validate could not be run (it comes with desktop-file-utils)"};
    return {WEXITSTATUS(status), TTempHome::ReadAll(outPath)};
}

} // namespace

TEST(Autostart, TheWrittenEntryPassesTheDesktopsValidator)
{
    TTempHome home;
    for (const std::string path : {"/usr/bin/kiv", "/opt/Kiv Office/bin/kiv", "/home/o'brien/bin/kiv",
                                   "/a b/\"q\"/$x/`c`/100%/b\\s", "/srv/Büro/kiv", "/opt/ kiv/#1;&(x)|<y>*?~/kiv"}) {
        CreateAutostartEntry(path, "kiv");
        const auto [code, said] = ValidateDesktopFile(AutostartEntryPath(), home.Root() + "/validated");
        EXPECT_EQ(code, 0) << path << ": " << said;
        EXPECT_EQ(said, "") << path;
    }
}
