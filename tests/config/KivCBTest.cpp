#include "config/KivCB.h"

#include "platform/KivError.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "tests/platform/TempHome.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

/// The values in the settings file, by name as written.
std::map<std::string, TStoredValue> Stored(const TTempHome &home)
{
    std::map<std::string, TStoredValue> values;
    for (TStoredValue &v : ParseStoreText(TTempHome::ReadAll(home.SettingsFile())).Values)
        values[v.Name] = v;
    return values;
}

/// Puts a settings file of the given lines in place, as a person might have edited it.
void PlaceSettingsFile(const TTempHome &home, const std::string &lines)
{
    MakeFolders(home.Config() + "/Brackwater");
    TTempHome::WriteAll(home.SettingsFile(), lines);
}

/// What tells one version of a file from another: its inode and modification time.
struct TFileIdentity {
    ino_t Inode = 0;
    timespec Modified{};
    bool operator==(const TFileIdentity &o) const
    {
        return Inode == o.Inode && Modified.tv_sec == o.Modified.tv_sec && Modified.tv_nsec == o.Modified.tv_nsec;
    }
};

TFileIdentity IdentityOf(const std::string &path)
{
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return {st.st_ino, st.st_mtim};
}

/// A record in which every field differs from its default.
TKivSettings Unusual(int seed)
{
    TKivSettings s;
    s.CheckForNewMsgEvery = 20 + seed, s.UpdateDisplayTime = 30 + seed, s.MainHeight = 600 + seed;
    s.KivDBasePath = "/srv/board" + std::to_string(seed) + "/", s.Info2 = "More, " + std::to_string(seed);
    s.FirstTimeRun = s.ShowOfflineUsers = s.SortListView = s.UseVacation = s.DisplayDepartments = false;
    s.ClearCommentOnSD = s.ChangeStatusOnSD = s.AutoComment = false;
    s.PlayWavForNewMsg = s.ConfirmShutDown = s.MiniView = s.ShowGrid = s.AutoUpdateInBrowser = true;
    s.WavToPlayForNewMsgs = "/usr/share/sounds/ding.wav", s.ShutDownStatus = "Gone home";
    s.Info1 = "Brackwater Ltd", s.ThisPage = "Refreshed every", s.HTMLLocation = "/var/www/kiv.html";
    s.MainLeft = -10, s.MainTop = 0, s.MainWidth = 800, s.SplitterPos = 120, s.MainFontSize = 14;
    s.MainFontColour = 0x0000FF, s.CustomHeight = 300, s.CustomLeft = 1, s.CustomTop = 2, s.CustomWidth = 3;
    s.FontSize = 4, s.NameWidth = 5, s.StatusWidth = 6, s.ExtWidth = 7, s.DepartmentWidth = 8;
    s.CommentsWidth = 9, s.GenerateHTMLEvery = 60, s.TableBoader = 0, s.CellPadding = 2, s.CellSpacing = 3;
    s.AwayWhenLocked = false, s.AwayAfterIdleMinutes = 25 + seed, s.AwayStatus = "Walking " + std::to_string(seed);
    return s;
}

} // namespace

TEST(KivCB, TheFirstLoadReturnsDefaultsAndFillsTheKey)
{
    TTempHome home;
    TKivSettings s = Unusual(1);
    TKivCB().ReadSettings(s);
    TKivSettings defaults;
    TKivCB().SetDefaults(defaults);
    EXPECT_EQ(s, defaults) << "every field is set";
    EXPECT_EQ((std::array{s.MainHeight, s.MainLeft, s.MainTop, s.MainWidth, s.MainFontColour, s.CustomWidth}),
              (std::array{405, 237, 184, 484, 0xFF0000, 242}));
    EXPECT_TRUE(s.FirstTimeRun && s.ShowOfflineUsers && !s.ShowGrid);
    EXPECT_EQ(s.Info2, "Additional information...");

    auto stored = Stored(home);
    EXPECT_EQ(stored.size(), 46u);
    EXPECT_EQ((std::array{stored["MainHeight"].Integer, stored["FirstTimeRun"].Integer, stored["TableBoader"].Integer}),
              (std::array{405, 1, 1}));
    EXPECT_EQ(stored["KivDBasePath"].Kind, TValueKind::Text);
    EXPECT_EQ(stored["ShutDownStatus"].Text, "Offline");
    EXPECT_EQ((std::array{stored["AwayWhenLocked"].Integer, stored["AwayAfterIdleMinutes"].Integer}),
              (std::array{1, 10}));
    EXPECT_EQ(stored["AwayStatus"].Text, "Away from desk");

    // The second load finds everything and leaves the file as it is.
    const std::string before = TTempHome::ReadAll(home.SettingsFile());
    TKivCB().ReadSettings(s);
    EXPECT_EQ(TTempHome::ReadAll(home.SettingsFile()), before);
}

TEST(KivCB, EmptyTextsAndValuesOfTheWrongKindLoadAsTheirDefaultAndAreReplaced)
{
    TTempHome home;
    PlaceSettingsFile(home, "ShutDownStatus = \"\"\nKivDBasePath = \"\"\nMainHeight = \"600\"\nInfo1 = 3\n");
    TKivSettings s;
    TKivCB().ReadSettings(s);
    EXPECT_EQ(s.ShutDownStatus, "Offline");
    EXPECT_EQ(s.KivDBasePath, "");
    EXPECT_EQ(s.MainHeight, 405);
    EXPECT_EQ(s.Info1, "Company Name");
    const auto stored = Stored(home);
    EXPECT_EQ(stored.at("ShutDownStatus").Text, "Offline");
    EXPECT_EQ(stored.at("KivDBasePath").Kind, TValueKind::Text);
    EXPECT_EQ(stored.at("MainHeight").Kind, TValueKind::Integer);
    EXPECT_EQ(stored.at("MainHeight").Integer, 405);
    EXPECT_EQ(stored.at("Info1").Text, "Company Name");
}

TEST(KivCB, LoadsWithNothingChangedLeaveTheFileAlone)
{
    TTempHome home;
    TKivSettings s;
    TKivCB().ReadSettings(s);
    // The texts whose default is empty are stored empty, as the first load wrote them.
    const auto stored = Stored(home);
    for (const char *name : {"KivDBasePath", "WavToPlayForNewMsgs", "HTMLLocation"}) {
        EXPECT_EQ(stored.at(name).Kind, TValueKind::Text) << name;
        EXPECT_EQ(stored.at(name).Text, "") << name;
    }
    const std::string text = TTempHome::ReadAll(home.SettingsFile());
    const TFileIdentity before = IdentityOf(home.SettingsFile());
    for (int load = 1; load <= 2; ++load) {
        SCOPED_TRACE(load);
        TKivCB().ReadSettings(s);
        EXPECT_TRUE(IdentityOf(home.SettingsFile()) == before) << "the file is not replaced";
        EXPECT_EQ(TTempHome::ReadAll(home.SettingsFile()), text);
    }
}

TEST(KivCB, ALoadStillWritesBackEachValueThatDiffersFromItsDefault)
{
    struct TCase {
        const char *What;
        const char *Line;     // the line of the filled file that is edited
        const char *EditedTo; // what it becomes ("" removes it)
        const char *Name;     // the value written back
        TStoredValue WrittenBack;
    };
    const TCase cases[] = {
        {"a missing integer", "MainHeight = 405\n", "", "MainHeight", {"", TValueKind::Integer, 405, ""}},
        {"an integer stored as a text",
         "MainHeight = 405\n",
         "MainHeight = \"405\"\n",
         "MainHeight",
         {"", TValueKind::Integer, 405, ""}},
        {"a missing text",
         "ShutDownStatus = \"Offline\"\n",
         "",
         "ShutDownStatus",
         {"", TValueKind::Text, 0, "Offline"}},
        {"an empty text whose default is not empty",
         "ShutDownStatus = \"Offline\"\n",
         "ShutDownStatus = \"\"\n",
         "ShutDownStatus",
         {"", TValueKind::Text, 0, "Offline"}},
        {"a missing text whose default is empty",
         "HTMLLocation = \"\"\n",
         "",
         "HTMLLocation",
         {"", TValueKind::Text, 0, ""}},
        {"a text whose default is empty stored as an integer",
         "HTMLLocation = \"\"\n",
         "HTMLLocation = 0\n",
         "HTMLLocation",
         {"", TValueKind::Text, 0, ""}},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.What);
        TTempHome home;
        TKivSettings s;
        TKivCB().ReadSettings(s);
        std::string text = TTempHome::ReadAll(home.SettingsFile());
        const std::size_t at = text.find(c.Line);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, std::strlen(c.Line), c.EditedTo);
        TTempHome::WriteAll(home.SettingsFile(), text);
        const TFileIdentity edited = IdentityOf(home.SettingsFile());

        TKivCB().ReadSettings(s);
        EXPECT_FALSE(IdentityOf(home.SettingsFile()) == edited) << "the file is written";
        const auto stored = Stored(home);
        ASSERT_EQ(stored.count(c.Name), 1u);
        const TStoredValue &v = stored.at(c.Name);
        EXPECT_EQ(v.Kind, c.WrittenBack.Kind);
        EXPECT_EQ(v.Integer, c.WrittenBack.Integer);
        EXPECT_EQ(v.Text, c.WrittenBack.Text);
        EXPECT_EQ(stored.size(), 46u);
    }
}

TEST(KivCB, ABooleanOfFiveLoadsTrueAndIsSavedAsOne)
{
    TTempHome home;
    PlaceSettingsFile(home, "ShowGrid = 5\nFirstTimeRun = -1\n");
    TKivSettings s;
    TKivCB().ReadSettings(s);
    EXPECT_TRUE(s.ShowGrid);
    EXPECT_TRUE(s.FirstTimeRun);
    EXPECT_EQ(Stored(home).at("ShowGrid").Integer, 5) << "a readable value is not rewritten by the load";
    TKivCB().WriteSettings(s);
    EXPECT_EQ(Stored(home).at("ShowGrid").Integer, 1);
    EXPECT_EQ(Stored(home).at("FirstTimeRun").Integer, 1);
}

TEST(KivCB, LongTextsAreCutToTheirFieldNeverInsideACharacter)
{
    TTempHome home;
    // A two-byte letter straddles byte 50 of the second status.
    PlaceSettingsFile(home, "KivDBasePath = \"" + std::string(300, 'p') + "\"\nShutDownStatus = \""
                                + std::string(60, 's') + "\"\nInfo1 = \"" + std::string(255, 'i')
                                + "\"\nAwayStatus = \"" + std::string(40, 'w') + "\"\n");
    TKivSettings s;
    TKivCB().ReadSettings(s);
    EXPECT_EQ(s.AwayStatus, std::string(30, 'w')) << "no longer than the board keeps a status";
    EXPECT_EQ(s.KivDBasePath, std::string(255, 'p'));
    EXPECT_EQ(s.ShutDownStatus, std::string(50, 's'));
    EXPECT_EQ(s.Info1, std::string(255, 'i'));
    PlaceSettingsFile(home, "ShutDownStatus = \"" + std::string(49, 'a') + "\xc3\xa9zz\"\n");
    TKivCB().ReadSettings(s);
    EXPECT_EQ(s.ShutDownStatus, std::string(49, 'a'));
}

TEST(KivCB, ARecordSurvivesASaveAndALoadAndInfo2IsSavedAsInfo2)
{
    TTempHome home;
    const TKivSettings saved = Unusual(3);
    TKivCB().WriteSettings(saved);
    const auto stored = Stored(home);
    EXPECT_EQ(stored.size(), 46u);
    EXPECT_EQ(stored.count("info2"), 1u);
    TKivSettings loaded;
    TKivCB().ReadSettings(loaded);
    EXPECT_EQ(loaded, saved) << "\"Info2\" finds \"info2\"";
    EXPECT_EQ(Stored(home).size(), 46u) << "one value, not two names";
}

TEST(KivCB, AKeyThatCannotBeOpenedChangesNothing)
{
    TTempHome home;
    mkdir(home.Config().c_str(), 0700);
    TTempHome::WriteAll(home.Config() + "/Brackwater", "a file where the key's folder goes");
    const TKivSettings before = Unusual(5);
    TKivSettings s = before;
    try {
        TKivCB().ReadSettings(s);
        FAIL() << "the load must fail";
    } catch (const EKivError &e) {
        EXPECT_EQ(std::string(e.what()).rfind("Unable to open the Kiv registry key: ", 0), 0u) << e.what();
    }
    EXPECT_EQ(s, before);
    try {
        TKivCB().WriteSettings(s);
        FAIL() << "the save must fail";
    } catch (const EKivError &e) {
        EXPECT_EQ(std::string(e.what()).rfind("Unable to open the Kiv registry key: ", 0), 0u) << e.what();
    }
    EXPECT_EQ(TTempHome::ReadAll(home.Config() + "/Brackwater"), "a file where the key's folder goes");
}

TEST(KivCB, ADamagedFileKeepsWhatCanBeReadAndIsBackedUp)
{
    TTempHome home;
    const char raw[] = "MainHeight = 612\n"
                       "\x7f"
                       "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0>\0\x01\n"
                       "KivDBasePath = \"/srv/board/\"\n"
                       "UpdateDisplayTime = 9999999999\n"
                       "ShutDownStatus = \"Gone ho";
    const std::string damaged(raw, sizeof raw - 1);
    PlaceSettingsFile(home, damaged);

    TKivSettings s;
    TKivCB().ReadSettings(s);
    EXPECT_EQ(s.MainHeight, 612);
    EXPECT_EQ(s.KivDBasePath, "/srv/board/");
    EXPECT_EQ(s.UpdateDisplayTime, 10);
    EXPECT_EQ(s.ShutDownStatus, "Offline");

    EXPECT_EQ(TTempHome::ReadAll(home.SettingsFile() + ".damaged"), damaged);
    TTempHome::WriteAll(home.SettingsFile() + ".damaged", "first backup");
    TKivCB().WriteSettings(s);
    EXPECT_EQ(TTempHome::ReadAll(home.SettingsFile() + ".damaged"), "first backup") << "a sound file is not backed up";
    const TStoreContent now = ParseStoreText(TTempHome::ReadAll(home.SettingsFile()));
    EXPECT_FALSE(now.Damaged);
    EXPECT_EQ(now.Values.size(), 46u);
}

TEST(KivCB, TwoProcessesSavingAtOnceLeaveOneWholeRecord)
{
    TTempHome home;
    TKivSettings a = Unusual(1), b = Unusual(2);
    // Long texts make each save take a while, so the looks below meet saves under way.
    a.WavToPlayForNewMsgs = std::string(255, 'a');
    b.WavToPlayForNewMsgs = std::string(255, 'b');
    TKivCB().WriteSettings(a);
    std::vector<pid_t> children;
    for (const TKivSettings *record : {&a, &b}) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            try {
                for (int i = 0; i < 40; ++i) {
                    TKivCB().WriteSettings(*record);
                    TKivSettings check;
                    TKivCB().ReadSettings(check);
                }
            } catch (const EKivError &) {
                _exit(1);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    int mixed = 0;
    for (int look = 0; look < 200; ++look) {
        const TStoreContent c = ParseStoreText(TTempHome::ReadAll(home.SettingsFile()));
        if (c.Damaged || c.Values.size() != 46u)
            ++mixed;
    }
    EXPECT_TRUE(TTempHome::AllSucceeded(children));
    EXPECT_EQ(mixed, 0);
    TKivSettings last;
    TKivCB().ReadSettings(last);
    EXPECT_TRUE(last == a || last == b) << "the last save wins whole, never a mixture";
}

// A hand-edited value the dialog would never allow is brought back, and said
// once, naming the file.
TEST(KivCB, ValuesOutsideTheDialogsRangesAreBroughtBackAndSaidOnce)
{
    const struct {
        std::string Line;
        int32_t TKivSettings::*Field;
        int32_t Loaded;
        bool Outside;
    } cases[] = {
        {"UpdateDisplayTime = 2147483647", &TKivSettings::UpdateDisplayTime, 360, true},
        {"UpdateDisplayTime = 360", &TKivSettings::UpdateDisplayTime, 360, false},
        {"CheckForNewMsgEvery = 0", &TKivSettings::CheckForNewMsgEvery, 10, true},
        {"MainFontColour = -1", &TKivSettings::MainFontColour, 0, true},
        {"MainFontColour = 16777216", &TKivSettings::MainFontColour, 0xFFFFFF, true},
        {"MainFontSize = 11", &TKivSettings::MainFontSize, 10, true},
        {"MainFontSize = -2147483648", &TKivSettings::MainFontSize, 8, true},
        {"MainFontSize = 14", &TKivSettings::MainFontSize, 14, false},
        {"AwayAfterIdleMinutes = -5", &TKivSettings::AwayAfterIdleMinutes, 0, true},
        {"AwayAfterIdleMinutes = 100000", &TKivSettings::AwayAfterIdleMinutes, 480, true},
        {"AwayAfterIdleMinutes = 0", &TKivSettings::AwayAfterIdleMinutes, 0, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Line);
        TTempHome home;
        PlaceSettingsFile(home, c.Line + "\n");
        for (int load = 0; load < 2; ++load) {
            testing::internal::CaptureStderr();
            TKivSettings s;
            TKivCB().ReadSettings(s);
            const std::string said = testing::internal::GetCapturedStderr();
            EXPECT_EQ(s.*c.Field, c.Loaded);
            EXPECT_EQ(said.find(home.SettingsFile() + ": " + c.Line) != std::string::npos, c.Outside && load == 0)
                << said;
        }
        EXPECT_EQ(SettingsNotice().find(home.SettingsFile() + ": " + c.Line) != std::string::npos, c.Outside);
        EXPECT_NE(TTempHome::ReadAll(home.SettingsFile()).find(c.Line), std::string::npos) << "the file was changed";
    }
}

// A fifo in the settings file's place is named, never waited on; a link is
// read through, and a save replaces the link, not the file it points to.
TEST(KivCB, ASettingsFileThatIsNoFileIsNamedAndALinkedOneIsReplacedNotWrittenThrough)
{
    TTempHome home;
    MakeFolders(home.Config() + "/Brackwater");
    ASSERT_EQ(mkfifo(home.SettingsFile().c_str(), 0600), 0);
    TKivSettings s;
    try {
        TKivCB().ReadSettings(s);
        FAIL() << "a fifo was taken for the settings";
    } catch (const EKivError &e) {
        EXPECT_NE(std::string(e.what()).find(home.SettingsFile() + " is not a file"), std::string::npos) << e.what();
    }
    ASSERT_EQ(unlink(home.SettingsFile().c_str()), 0);

    const std::string elsewhere = home.Home() + "/kept.conf";
    TTempHome::WriteAll(elsewhere, "MainHeight = 612\n");
    ASSERT_EQ(symlink(elsewhere.c_str(), home.SettingsFile().c_str()), 0);
    TKivCB().ReadSettings(s);
    EXPECT_EQ(s.MainHeight, 612);
    s.MainHeight = 700;
    TKivCB().WriteSettings(s);
    EXPECT_EQ(TTempHome::ReadAll(elsewhere), "MainHeight = 612\n");
    struct stat st {};
    ASSERT_EQ(lstat(home.SettingsFile().c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(Stored(home)["MainHeight"].Integer, 700);
}
