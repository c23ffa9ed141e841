#include "config/XRegistry.h"

#include "platform/KivError.h"
#include "tests/platform/TempHome.h"

#include <gtest/gtest.h>

namespace {
const char *const kKey = "\\Software\\Brackwater\\Kiv";
}

TEST(XRegistry, FailuresRaiseTheirReason)
{
    TTempHome home;
    TXRegistry reg;
    try {
        reg.WriteInteger("MainHeight", 1);
        FAIL();
    } catch (const EKivError &e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'MainHeight'");
    }
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    EXPECT_THROW(reg.WriteString("a=b", "x"), EKivError);
    reg.WriteInteger("A", 1);
    // The folder of the key went away under it: closing cannot write.
    unlink(home.SettingsFile().c_str());
    ASSERT_EQ(rmdir((home.Config() + "/Brackwater").c_str()), 0);
    EXPECT_THROW(reg.CloseKey(), EKivError);
    EXPECT_EQ(reg.CurrentPath(), "") << "the key is closed either way";
}
