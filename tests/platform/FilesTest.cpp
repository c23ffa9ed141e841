#include "platform/FileAge.h"
#include "platform/FileSystem.h"
#include "platform/LoginName.h"
#include "platform/Paths.h"
#include "tests/platform/TempHome.h"

#include <gtest/gtest.h>

#include <fcntl.h>

TEST(FileAge, AMissingFileHasTheMissingAgeAndNanosecondsCount)
{
    TTempHome home;
    const std::string path = home.Root() + "/KivDB31.isd";
    EXPECT_TRUE(FileAge(path).IsMissing());
    EXPECT_EQ(FileAge(path), TFileAge::Missing());
    EXPECT_EQ(FileAge(path).Seconds, -1);
    EXPECT_TRUE(FileAge(home.Root()).IsMissing()) << "a folder has no file age";

    TTempHome::WriteAll(path, "x");
    timespec times[2] = {{1700000000, 5}, {1700000000, 5}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const TFileAge first = FileAge(path);
    EXPECT_EQ(first, (TFileAge{1700000000, 5}));
    times[1].tv_nsec = 6;
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_NE(FileAge(path), first);
    // A file dated a second before 1970 is still a file.
    times[1] = {-1, 0};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_NE(FileAge(path), TFileAge::Missing());
}

TEST(FileSystem, FilesAndFoldersAreTold)
{
    TTempHome home;
    const std::string file = home.Root() + "/Kiv.cfg";
    TTempHome::WriteAll(file, "");
    ASSERT_EQ(symlink(home.Home().c_str(), (home.Root() + "/board").c_str()), 0);
    EXPECT_TRUE(FileExists(file) && !DirectoryExists(file));
    EXPECT_TRUE(DirectoryExists(home.Home() + "/") && !FileExists(home.Home()));
    EXPECT_TRUE(DirectoryExists(home.Root() + "/board"));
    EXPECT_FALSE(FileExists(home.Root() + "/none") || DirectoryExists(home.Root() + "/none"));
    EXPECT_FALSE(MakeFolders(file + "/x")) << "no folder under a file";
}

TEST(Paths, FoldersFollowTheEnvironmentAndTheAlertFolderIsMadeOnDemand)
{
    TTempHome home;
    EXPECT_EQ(AutostartFolder(), home.Config() + "/autostart");
    unsetenv("XDG_CONFIG_HOME");
    TTempHome::Set("XDG_DATA_HOME", "relative"); // ignored, as the base folder rules say
    EXPECT_EQ(ConfigFolder(), home.Home() + "/.config");
    const std::string alerts = home.Home() + "/.local/share/Kiv";
    EXPECT_FALSE(DirectoryExists(alerts));
    EXPECT_EQ(AlertFolder(), alerts);
    EXPECT_TRUE(DirectoryExists(alerts));
    TTempHome::Set("XDG_DATA_HOME", home.Root() + "/data");
    EXPECT_EQ(AlertFolder(), home.Root() + "/data/Kiv");
}

TEST(LoginName, OnlyTheLettersAToZAreUpperCased)
{
    EXPECT_EQ(UpperCaseLogin("j.o'neil-Smith_z1"), "J.O'NEIL-SMITH_Z1");
    EXPECT_EQ(UpperCaseLogin("jos\xc3\xa9"), "JOS\xc3\xa9");
    EXPECT_FALSE(CurrentLoginName().empty());
}
