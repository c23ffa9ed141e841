#include "platform/Files.h"
#include "platform/FileAge.h"
#include "platform/LoginName.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/platform/TempHome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(FileAge, TheFreshAgeIsTheFilesOwnAndNeverALinksAFifosOrAFolders)
{
    TTempHome home;
    const std::string path = home.Root() + "/KivDB31.isd";
    EXPECT_TRUE(FreshFileAge(path).IsMissing());
    TTempHome::WriteAll(path, "x");
    const timespec times[2] = {{1700000000, 7}, {1700000000, 7}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(FreshFileAge(path), (TFileAge{1700000000, 7}));
    EXPECT_EQ(FreshFileAge(path), FileAge(path));

    // A link, a fifo (the open must not wait for a writer) and a folder
    // under the dataset's name have no age.
    const std::string link = home.Root() + "/KivMesg.isd", fifo = home.Root() + "/KivDeps.isd";
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(FreshFileAge(link).IsMissing());
    EXPECT_TRUE(FreshFileAge(fifo).IsMissing());
    EXPECT_TRUE(FreshFileAge(home.Root()).IsMissing());
    EXPECT_TRUE(FreshFileAge("").IsMissing());
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

TEST(Files, TheFolderOfAPath)
{
    const std::pair<const char *, const char *> cases[] = {
        {"/srv/board/KivDB31.isd", "/srv/board"},
        {"/srv/board/", "/srv/board"},
        {"/Kiv.cfg", "/"},
        {"Kiv.cfg", "."},
        {"", "."},
        {"board/Kiv.cfg", "board"},
    };
    for (const auto &[path, folder] : cases)
        EXPECT_EQ(FolderOf(path), folder) << path;
}

TEST(Files, WholeBuffersAreWrittenAndReadAtTheirOffsetAndFailuresSayWhy)
{
    TTempHome home;
    const std::string path = home.Root() + "/Kiv.cfg";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(WriteAll(fd, "0123456789", 10), 10u);
    EXPECT_EQ(WriteAllAt(fd, "ab", 2, 4), 2u);
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 10) << "a write at an offset leaves the position alone";
    char bytes[8] = {};
    EXPECT_EQ(ReadAllAt(fd, bytes, 4, 3), 4u);
    EXPECT_EQ(std::string(bytes, 4), "3ab6");
    EXPECT_EQ(ReadAllAt(fd, bytes, 8, 6), 4u) << "the end of the file ends a read short";
    close(fd);
    EXPECT_EQ(TTempHome::ReadAll(path), "0123ab6789");

    const int readOnly = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(readOnly, 0);
    errno = 0;
    EXPECT_EQ(WriteAll(readOnly, "x", 1), 0u);
    EXPECT_EQ(errno, EBADF);
    close(readOnly);

    EXPECT_TRUE(SyncFolder(home.Root()));
    EXPECT_FALSE(SyncFolder(home.Root() + "/none"));
    EXPECT_FALSE(SyncFolder(path)) << "a file is no folder";
}

TEST(Files, ACutKeepsAWholeCharacterBesideBytesThatAreNotUtf8)
{
    // A stray continuation byte after a whole character is cut alone; the
    // character before it stays.
    EXPECT_EQ(CutText("\xC3\xA9\xA9", 2), "\xC3\xA9");
    // A byte that starts no character is a character of one byte.
    EXPECT_EQ(CutText("a\xF8\x80", 2), "a\xF8");
    EXPECT_EQ(CutText("a\xC3\xA9", 2), "a") << "half a character is never kept";
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

// Whatever another user put at a path in a shared folder, the open answers at
// once and takes nothing but a regular file.
TEST(Files, OnlyARegularFileIsOpenedAndNoOpenWaits)
{
    TTempHome home;
    const std::string file = home.Root() + "/Kiv.cfg", fifo = home.Root() + "/fifo", link = home.Root() + "/link",
                      dangling = home.Root() + "/dangling", target = home.Root() + "/target";
    TTempHome::WriteAll(file, "x");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
    ASSERT_EQ(symlink(target.c_str(), dangling.c_str()), 0);

    struct TCase {
        std::string Path;
        int Flags;
        TLinks Links;
        int Error; // 0: opened
    };
    const TCase cases[] = {
        {file, O_RDWR, TLinks::Refuse, 0},
        {file, O_WRONLY | O_APPEND | O_CREAT, TLinks::Refuse, 0},
        {link, O_RDONLY, TLinks::Refuse, ELOOP},
        {link, O_RDONLY, TLinks::Follow, 0},
        {dangling, O_WRONLY | O_CREAT, TLinks::Refuse, ELOOP},
        {fifo, O_RDONLY, TLinks::Refuse, kNotRegularFile},
        {fifo, O_WRONLY, TLinks::Follow, kNotRegularFile},
        {fifo, O_RDWR | O_CREAT, TLinks::Refuse, kNotRegularFile},
        {home.Root(), O_RDONLY, TLinks::Refuse, kNotRegularFile},
        {"/dev/null", O_RDWR, TLinks::Follow, kNotRegularFile},
        {home.Root() + "/none", O_RDONLY, TLinks::Refuse, ENOENT},
    };
    alarm(10); // an open that waits ends the test program
    for (const TCase &c : cases) {
        errno = 0;
        const int fd = OpenRegularFile(c.Path, c.Flags, 0600, c.Links);
        EXPECT_EQ(fd >= 0 ? 0 : errno, c.Error) << c.Path << " " << c.Flags;
        if (fd >= 0)
            close(fd);
    }
    alarm(0);
    EXPECT_FALSE(TTempHome::Exists(target)) << "a link that points nowhere makes no file there";
    EXPECT_EQ(OpenErrorText(ELOOP), "The file is a symbolic link");
    EXPECT_EQ(OpenErrorText(kNotRegularFile), "Not a regular file");
    EXPECT_EQ(OpenErrorText(ENOENT), "No such file or directory");
}
