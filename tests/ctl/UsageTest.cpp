// kivctl's command line: usage errors end with status 2 before any board is
// touched, and every command has its help.
#include "tests/ctl/CtlTesting.h"

#include "KivVersion.h"

using UsageTest = TCtlTest;

TEST_F(UsageTest, UsageErrorsEndWithStatusTwoAndLeaveTheBoardUntouchedAndEveryCommandHasHelp)
{
    const std::vector<std::vector<std::string>> errors{{},
                                                       {"frobnicate"},
                                                       {"--colour", "board"},
                                                       {"board", "extra"},
                                                       {"board", "--department"},
                                                       {"board", "--offline=yes"},
                                                       {"board", "--user", "X"},
                                                       {"board", "--csv", "--csv"},
                                                       {"status", "a", "b"},
                                                       {"status", " "},
                                                       {"status", std::string(31, 's')},
                                                       {"status", "line\nbreak"},
                                                       {"status", "--user", ""},
                                                       {"status", "In meeting", "--until", "24:00"},
                                                       {"status", "In meeting", "--until", "9.30"},
                                                       {"status", "--until", "14:30"},
                                                       {"status", "x", "--until", "14:30", "--user", "CLERK1"},
                                                       {"comment"},
                                                       {"comment", std::string(51, 'c')},
                                                       {"statuses", "remove", "x"},
                                                       {"statuses", "add", "  "},
                                                       {"departments", "add", std::string(21, 'd')},
                                                       {"send", "CLERK1", "subject"},
                                                       {"send", "CLERK1", std::string(256, 's'), "body"},
                                                       {"inbox", "--offline"},
                                                       {"read", "12a"},
                                                       {"delete", "12345678901"},
                                                       {"watch", "--interval", "0"},
                                                       {"watch", "--interval=1.5"}};
    for (const std::vector<std::string> &args : errors) {
        const TCtlResult result = OnBoard(args);
        const std::string shown = args.empty() ? "(nothing)" : args[0] + " " + (args.size() > 1 ? args[1] : "");
        EXPECT_EQ(result.Code, 2) << shown;
        EXPECT_EQ(result.Err.rfind("kivctl: ", 0), 0u) << shown;
    }
    const TCtlResult noFolder = Run({"board"}); // neither --board nor a folder in the settings
    EXPECT_EQ(noFolder.Code, 2);
    EXPECT_EQ(noFolder.Err.rfind("kivctl: no board folder", 0), 0u) << noFolder.Err;
    EXPECT_EQ(Run({"--board"}).Code, 2);

    for (const char *command :
         {"board", "status", "comment", "statuses", "departments", "send", "inbox", "read", "delete", "watch"}) {
        const TCtlResult help = OnBoard({command, "--help"});
        EXPECT_EQ(help.Code, 0) << command;
        EXPECT_EQ(help.Out.rfind("Usage: kivctl [--board LOCATION] " + std::string(command), 0), 0u) << help.Out;
    }
    EXPECT_EQ(Run({"--help"}).Code, 0);
    EXPECT_TRUE(FolderNames(Board).empty());
}

TEST_F(UsageTest, TheVersionIsTheBuildsOwn)
{
    const TCtlResult version = Run({"--version"});
    EXPECT_EQ(version.Code, 0);
    EXPECT_EQ(version.Out, "kivctl " KIV_VERSION_TEXT "\n");
}
