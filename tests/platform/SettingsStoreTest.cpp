#include "platform/SettingsStore.h"

#include "platform/Paths.h"

#include "tests/platform/TempHome.h"

#include <gtest/gtest.h>

#include <climits>
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

const char *const kKey = "\\Software\\Brackwater\\Kiv";

TStoredValue Value(const std::string &name, TValueKind kind, int32_t n, const std::string &text = {})
{
    return TStoredValue{name, kind, n, text};
}

/// Leftovers of unfinished writes in folder (hidden names other than the lock).
int TemporaryFiles(const std::string &folder)
{
    int found = 0;
    if (DIR *dir = opendir(folder.c_str())) {
        while (const dirent *e = readdir(dir)) {
            const std::string name = e->d_name;
            found += name.size() > 2 && name[0] == '.' && name.find(".lock") == std::string::npos;
        }
        closedir(dir);
    }
    return found;
}

} // namespace

TEST(StoreText, AnyTextOrIntegerSurvivesARoundTrip)
{
    const std::vector<TStoredValue> values = {
        Value("Smallest", TValueKind::Integer, INT32_MIN),
        Value("Largest", TValueKind::Integer, INT32_MAX),
        Value("Empty", TValueKind::Text, 0, ""),
        Value("Quoted", TValueKind::Text, 0, "say \"hi\" \\ back\\"),
        Value("Controls", TValueKind::Text, 0, std::string("a\nb\rc\td\0\x01\x7f", 11)),
        Value("Latin1", TValueKind::Text, 0, "caf\xe9 \xff"),
        Value("Utf8", TValueKind::Text, 0, "Caf\xc3\xa9 \xe2\x82\xac"),
        Value("Blanks", TValueKind::Text, 0, "  a = b # no comment  "),
    };
    const std::string text = FormatStoreText(values, kKey);
    const TStoreContent back = ParseStoreText(text);
    EXPECT_FALSE(back.Damaged);
    ASSERT_EQ(back.Values.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(back.Values[i].Kind, values[i].Kind) << values[i].Name;
        EXPECT_EQ(back.Values[i].Integer, values[i].Integer) << values[i].Name;
        EXPECT_EQ(back.Values[i].Text, values[i].Text) << values[i].Name;
    }
    // One value a line, valid UTF-8: bytes that are not text are spelt out.
    EXPECT_NE(text.find("Latin1 = \"caf\\xE9 \\xFF\"\n"), std::string::npos);
}

TEST(StoreText, HandEditsAreReadAndUnreadableLinesMarkTheFileDamaged)
{
    const TStoreContent edited = ParseStoreText("# comment\r\n\n   Height\t=  +405  \r\n"
                                                "Path=\"/srv/\"\nHeight = 410\nLast = -3");
    EXPECT_FALSE(edited.Damaged);
    ASSERT_EQ(edited.Values.size(), 3u);
    EXPECT_EQ(edited.Values[0].Integer, 410) << "a name given twice: the later line holds";

    for (const char *line : {"NoEquals", " = 5", "Big = 2147483648", "Word = abc", "Half = \"unterminated",
                             "Escape = \"\\q\"", "After = \"text\" more", "Raw = \"a\x01\"", "Bad\xff = 1"}) {
        const TStoreContent c = ParseStoreText(std::string("Good = 1\n") + line + "\nAlso = \"kept\"\n");
        EXPECT_TRUE(c.Damaged) << line;
        EXPECT_EQ(c.Values.size(), 2u) << line;
    }
}

TEST(SettingsStore, KeysAreFilesUnderTheConfigFolderMatchedWithoutCase)
{
    TTempHome home;
    EXPECT_EQ(TSettingsStore::FileForKey("Software\\A\\\\B\\", "/c"), "/c/A/B.conf");
    EXPECT_EQ(TSettingsStore::FileForKey("\\Software\\..\\x", "/c"), "");
    TSettingsStore store;
    EXPECT_FALSE(store.Open(kKey, false));
    ASSERT_TRUE(store.Open(kKey, true)) << store.LastError();
    EXPECT_EQ(store.FilePath(), home.SettingsFile());
    struct stat st {};
    ASSERT_EQ(stat(home.SettingsFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);

    // An existing key spelt otherwise is the same key; the folder is read at each opening.
    TTempHome::Set("XDG_CONFIG_HOME", home.Root() + "/other");
    mkdir((home.Root() + "/other").c_str(), 0700);
    mkdir((home.Root() + "/other/BRACKWATER").c_str(), 0700);
    TTempHome::WriteAll(home.Root() + "/other/BRACKWATER/kiv.CONF", "X = 1\n");
    ASSERT_TRUE(store.Open("\\software\\Brackwater\\KIV", false));
    int32_t x = 0;
    EXPECT_TRUE(store.ReadInteger("x", x) && x == 1);
}

TEST(SettingsStore, ConcurrentSavesNeverTearTheFileAndLoseNoValue)
{
    TTempHome home;
    constexpr int kWriters = 4;
    constexpr int kRounds = 60;
    constexpr std::size_t kShared = 100000; // long enough for the looks below to meet saves under way
    {
        TSettingsStore store;
        ASSERT_TRUE(store.Open(kKey, true));
        for (int w = 0; w < kWriters; ++w)
            store.WriteInteger("Writer" + std::to_string(w), 0);
        store.WriteText("Shared", std::string(kShared, 'a'));
        ASSERT_TRUE(store.Save());
    }
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int round = 1; round <= kRounds; ++round) {
                TSettingsStore store;
                failures += !store.Open(kKey, true);
                store.WriteInteger("Writer" + std::to_string(w), round);
                store.WriteText("Shared", std::string(kShared, char('a' + w)));
                failures += !store.Save();
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    int torn = 0;
    for (int look = 0; look < 400; ++look) {
        const TStoreContent c = ParseStoreText(TTempHome::ReadAll(home.SettingsFile()));
        torn += c.Damaged || c.Values.size() != kWriters + 1u;
        for (const TStoredValue &v : c.Values)
            torn += v.Name == "Shared"
                    && (v.Text.size() != kShared || v.Text.find_first_not_of(v.Text[0]) != std::string::npos);
    }
    EXPECT_TRUE(TTempHome::AllSucceeded(children));
    EXPECT_EQ(torn, 0);
    TSettingsStore store;
    ASSERT_TRUE(store.Open(kKey, false));
    for (int w = 0; w < kWriters; ++w) {
        int32_t round = 0;
        EXPECT_TRUE(store.ReadInteger("Writer" + std::to_string(w), round) && round == kRounds)
            << "each writer's last save is there";
    }
    EXPECT_EQ(TemporaryFiles(home.Config() + "/Brackwater"), 0);
}

TEST(SettingsStore, AWriterKilledMidSaveLeavesAWholeFileAndNoLock)
{
    TTempHome home;
    {
        TSettingsStore store;
        ASSERT_TRUE(store.Open(kKey, true));
        store.WriteInteger("Before", 1);
        ASSERT_TRUE(store.Save());
    }
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        for (int i = 0;; ++i) {
            TSettingsStore store;
            store.Open(kKey, true);
            store.WriteText("Big", std::string(400000 + i % 7, 'q'));
            store.Save();
        }
    }
    usleep(50000);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_FALSE(ParseStoreText(TTempHome::ReadAll(home.SettingsFile())).Damaged);

    // What a writer killed in the middle of its write leaves is cleared by the next save.
    TTempHome::WriteAll(home.Config() + "/Brackwater/.Kiv.conf.Ab12Cd", "half");
    TSettingsStore store;
    ASSERT_TRUE(store.Open(kKey, true));
    store.WriteInteger("After", 2);
    EXPECT_TRUE(store.Save()) << "the killed writer's lock was released";
    EXPECT_EQ(TemporaryFiles(home.Config() + "/Brackwater"), 0);
}

// A FIFO where the settings file or its lock should be is refused at once,
// and a save never writes into it.
TEST(SettingsStore, AFifoInPlaceOfTheFileOrItsLockIsRefusedWithoutWaiting)
{
    TTempHome home;
    {
        TSettingsStore store;
        ASSERT_TRUE(store.Open(kKey, true));
    }
    const std::string lock = home.Config() + "/Brackwater/.Kiv.conf.lock";
    ASSERT_EQ(mkfifo(lock.c_str(), 0600), 0);
    alarm(10); // an open that waits ends the test program
    TSettingsStore store;
    ASSERT_TRUE(store.Open(kKey, false));
    store.WriteInteger("Value", 1);
    EXPECT_FALSE(store.Save());
    EXPECT_EQ(store.LastError(), "Unable to lock the settings file " + home.SettingsFile() + ": Not a regular file");
    store.Close();

    ASSERT_EQ(unlink(home.SettingsFile().c_str()), 0);
    ASSERT_EQ(mkfifo(home.SettingsFile().c_str(), 0600), 0);
    EXPECT_FALSE(store.Open(kKey, false));
    EXPECT_EQ(store.LastError(), "The settings file " + home.SettingsFile() + " is not a file");
    alarm(0);
}
