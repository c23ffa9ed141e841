// The setup wizard's way to a board server, offscreen against the tests'
// PostgreSQL cluster: a good URI is chosen as given, and each fault is told
// on the page in plain words while the window keeps answering.
#include "config/DatabaseWizard.h"

#include "tests/board/ServerTesting.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Catches: a test run on the window's thread (the window freezes for the
// time-out), a good server refused or stored other than as typed, a fault
// told in libpq's words only or not at all, and a password kept in Kiv's
// settings.
TEST(WizardServerTest, AGoodServerIsChosenAsTypedAndEachFaultIsToldPlainly)
{
    TTestDatabase good;
    TTestDatabase bare(false);
    TTestDatabase newer;
    newer.Sql("UPDATE kiv.meta SET value = '2' WHERE key = 'schema_version'");
    std::string wrongUser = good.Uri;
    wrongUser.replace(wrongUser.find("user=kiv"), 8, "user=kiv_no_such_role");
    std::string withPassword = good.Uri;
    withPassword.replace(withPassword.find("user=kiv"), 8, "user=kiv&password=secret");
    const struct {
        const char *Fault;
        std::string Uri;
        const char *Told; // nothing: the server is chosen
    } cases[] = {
        {"a board server", good.Uri, nullptr},
        {"a folder", "/srv/kiv/", "starts with postgresql://"},
        {"a URI libpq cannot read", good.Uri + "&no_such_option=1", "not a connection URI Kiv can read"},
        {"a password in the URI", withPassword, "Kiv keeps none in its settings"},
        {"no server there", "postgresql:///kiv?host=/nonexistent/kiv-socket", "Kiv cannot reach the board server"},
        {"a user the server refuses", wrongUser, "the user name or the password is wrong"},
        {"no such database", TTestDatabase::OtherDatabase("kiv_no_such_database"), "no database of that name"},
        {"a database without a board", bare.Uri, "kivctl server init"},
        {"a board of a newer Kiv", newer.Uri, "made by a newer Kiv"},
    };
    for (const auto &c : cases) {
        TfrmDatabaseWizard wizard;
        wizard.show();
        wizard.RadioButtonServer()->click();
        wizard.actNext()->trigger();
        ASSERT_EQ(wizard.nbMain()->currentIndex(), TfrmDatabaseWizard::pgServer) << c.Fault;
        wizard.edtServerUri()->setText(QString::fromStdString(c.Uri));
        wizard.actNext()->trigger();
        if (c.Uri.rfind("postgresql://", 0) == 0) {
            EXPECT_TRUE(wizard.Testing()) << c.Fault << ": the test ran on the window's thread";
            EXPECT_FALSE(wizard.actNext()->isEnabled()) << c.Fault << ": Next again while testing";
        }
        QTRY_VERIFY_WITH_TIMEOUT(!wizard.Testing(), 15000);
        if (c.Told == nullptr) {
            EXPECT_EQ(wizard.End(), TfrmDatabaseWizard::TEnd::Chosen) << c.Fault;
            EXPECT_EQ(wizard.Folder(), c.Uri) << c.Fault;
            continue;
        }
        EXPECT_EQ(wizard.End(), TfrmDatabaseWizard::TEnd::Closed) << c.Fault;
        EXPECT_TRUE(wizard.isVisible()) << c.Fault;
        const std::string told = wizard.lblServerResult()->text().toStdString();
        EXPECT_NE(told.find(c.Told), std::string::npos) << c.Fault << ": " << told;
    }
}

} // namespace
