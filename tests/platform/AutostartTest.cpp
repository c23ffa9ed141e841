#include "platform/Autostart.h"

#include "platform/KivError.h"
#include "tests/platform/TempHome.h"

#include <gtest/gtest.h>

TEST(Autostart, TheEntryStartsTheProgramAndReplacesAnOlderOne)
{
    TTempHome home;
    CreateAutostartEntry("/old/kiv");
    CreateAutostartEntry("/opt/kiv/kiv");
    EXPECT_EQ(TTempHome::ReadAll(home.Config() + "/autostart/Kiv.desktop"), "[Desktop Entry]\n"
                                                                            "Type=Application\n"
                                                                            "Version=1.0\n"
                                                                            "Name=Kiv\n"
                                                                            "Comment=Kiv\n"
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
