// The setup wizard offscreen: its pages and buttons as designed, the moves
// between pages, each way of choosing a folder, and the ways it ends.
#include "config/DatabaseWizard.h"

#include "gui/FileDialog.h"
#include "gui/HelpWindow.h"
#include "gui/MessageBox.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>
#include <vector>

namespace {

const QString kSentinel = QStringLiteral("no box");

// Runs act with the next message box answered by the hook, and gives the
// text of the box it showed, or an empty text when it showed none.
QString BoxShownBy(const std::function<void()> &act)
{
    TKivMessageBox prompter;
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    prompter.Show(kSentinel.toStdString(), TMsgIcon::Information, TMsgButtons::Ok);
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    act();
    const QString shown = TKivMessageBox::LastAnsweredText();
    if (shown == kSentinel) {
        // The hook was not used: take it back, so no later box is answered by it.
        prompter.Show(kSentinel.toStdString(), TMsgIcon::Information, TMsgButtons::Ok);
        return {};
    }
    return shown;
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

class WizardTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Board.isValid());
        Wizard.show();
    }

    QPushButton *Button(const char *name) const { return Wizard.findChild<QPushButton *>(QString::fromLatin1(name)); }
    void Click(const char *name) const { QTest::mouseClick(Button(name), Qt::LeftButton); }
    int Page() const { return Wizard.nbMain()->currentIndex(); }

    /// Goes to the join or the create page.
    void GoTo(TfrmDatabaseWizard::TPage page)
    {
        (page == TfrmDatabaseWizard::pgJoin ? Wizard.RadioButtonExisting() : Wizard.RadioButtonCreateNew())->click();
        Click("btnNext");
        ASSERT_EQ(Page(), page);
    }

    /// A folder in the board's temporary folder, holding the given files.
    QString Folder(const QString &name, const QStringList &files) const
    {
        const QString folder = Board.filePath(name);
        EXPECT_TRUE(QDir().mkpath(folder));
        for (const QString &file : files) {
            QFile f(folder + QLatin1Char('/') + file);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        }
        return folder;
    }

    QTemporaryDir Board;
    TfrmDatabaseWizard Wizard;
};

} // namespace

TEST_F(WizardTest, BuildsAsDesigned)
{
    EXPECT_EQ(Wizard.windowTitle(), QStringLiteral("Kiv Database Wizard"));
    EXPECT_EQ(Wizard.size(), QSize(367, 187));
    EXPECT_EQ(Wizard.minimumSize(), Wizard.maximumSize()) << "a fixed border";

    auto *panel = Wizard.findChild<QWidget *>(QStringLiteral("pnlMain"));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->geometry(), QRect(7, 7, 353, 136));
    EXPECT_EQ(Wizard.nbMain()->parentWidget(), panel);
    EXPECT_EQ(Wizard.nbMain()->geometry(), QRect(7, 7, 340, 122));

    const QStringList captions{"Intro", "Join Database", "Create Database", "Board Server"};
    const QStringList texts{
        "Welcome to Kiv, before running Kiv you will need to connect to an existing, or create a new Kiv "
        "Database.  Please select which option you require and then select \"Next\" to continue. ",
        "Please select the location of the Kiv Database by clicking \"Next\" below.",
        "Please choose the destination for the new Kiv Database by clicking on \"Next\" below.",
        "Enter the URI of the board server, as postgresql://host/database. A password goes in the password file "
        "(~/.pgpass), not here."};
    ASSERT_EQ(Wizard.nbMain()->count(), 4);
    for (int p = 0; p < 4; ++p) {
        QWidget *page = Wizard.nbMain()->widget(p);
        EXPECT_EQ(page->windowTitle(), captions[p]);
        Wizard.nbMain()->setCurrentIndex(p);
        QList<QLabel *> labels = page->findChildren<QLabel *>();
        // The server page's third label tells how its test went.
        ASSERT_EQ(labels.size(), p == TfrmDatabaseWizard::pgServer ? 3 : 2) << "a picture and a text";
        EXPECT_FALSE(labels[0]->pixmap().isNull());
        EXPECT_EQ(labels[1]->text(), texts[p]);
        // Everything on the page shows whole.
        EXPECT_GE(labels[1]->height(), labels[1]->heightForWidth(labels[1]->width())) << "page " << p;
        for (QWidget *w : page->findChildren<QWidget *>())
            EXPECT_TRUE(page->rect().contains(w->geometry())) << w->objectName().toStdString();
    }
    Wizard.nbMain()->setCurrentIndex(0);

    EXPECT_EQ(Wizard.RadioButtonExisting()->text(), QStringLiteral("Join Existing Database"));
    EXPECT_EQ(Wizard.RadioButtonCreateNew()->text(), QStringLiteral("Create New Database"));
    EXPECT_FALSE(Wizard.RadioButtonExisting()->isChecked() || Wizard.RadioButtonCreateNew()->isChecked());

    const struct {
        const char *Name;
        int Left;
        const char *Caption;
    } buttons[] = {{"btnPrevious", 7, "&Previous"},
                   {"btnNext", 84, "&Next"},
                   {"btnHelp", 161, "&Help"},
                   {"btnCancel", 286, "&Cancel"}};
    for (const auto &b : buttons) {
        QPushButton *button = Button(b.Name);
        ASSERT_NE(button, nullptr) << b.Name;
        EXPECT_EQ(button->geometry(), QRect(b.Left, 155, 75, 25)) << b.Name;
        EXPECT_EQ(button->text(), QString::fromLatin1(b.Caption)) << b.Name;
    }
}

TEST_F(WizardTest, NextWaitsForAChoiceAndPreviousGoesBack)
{
    // With no choice Next is disabled and does nothing, however it is invoked.
    EXPECT_FALSE(Wizard.actNext()->isEnabled() || Button("btnNext")->isEnabled());
    EXPECT_FALSE(Wizard.actPrevious()->isEnabled());
    Wizard.actNext()->trigger();
    EXPECT_EQ(Page(), TfrmDatabaseWizard::pgIntro);

    GoTo(TfrmDatabaseWizard::pgJoin);
    EXPECT_TRUE(Button("btnPrevious")->isEnabled());
    Click("btnPrevious");
    EXPECT_EQ(Page(), TfrmDatabaseWizard::pgIntro);
    EXPECT_FALSE(Wizard.actPrevious()->isEnabled());

    // Join, Previous, then Create and Next shows the create page; its
    // Previous goes straight back to the first page.
    GoTo(TfrmDatabaseWizard::pgCreate);
    Click("btnPrevious");
    EXPECT_EQ(Page(), TfrmDatabaseWizard::pgIntro);
    EXPECT_TRUE(Wizard.RadioButtonCreateNew()->isChecked());
}

TEST_F(WizardTest, EachWayOfChoosingAFolder)
{
    const QString board = Folder(QStringLiteral("board"), {"KivDB31.ism", "KivDB31.isd"});
    const QString definitionOnly = Folder(QStringLiteral("half"), {"KivDB31.ism"});
    const QString empty = Folder(QStringLiteral("empty"), {});
    // A folder that cannot be looked into used to be reported as having no
    // board: the refusal now carries the system's reason.
    const QString notAFolder = Board.filePath(QStringLiteral("file"));
    QFile(notAFolder).open(QIODevice::WriteOnly);
    const QString unableNotAFolder = QStringLiteral("\n\n") + notAFolder + QStringLiteral("/: Not a directory");
    struct TCase {
        const char *What;
        TfrmDatabaseWizard::TPage Page;
        QString Picked;
        bool Chosen;
        QString Box;
    };
    std::vector<TCase> cases{
        {"join a board", TfrmDatabaseWizard::pgJoin, board, true, {}},
        {"join a board, picked with its slash", TfrmDatabaseWizard::pgJoin, board + "/", true, {}},
        {"join a definition without data", TfrmDatabaseWizard::pgJoin, definitionOnly, false,
         "Kiv was unable to find an KivDBase"},
        {"join an empty folder", TfrmDatabaseWizard::pgJoin, empty, false, "Kiv was unable to find an KivDBase"},
        {"join, chooser cancelled", TfrmDatabaseWizard::pgJoin, {}, false, {}},
        {"create over a board", TfrmDatabaseWizard::pgCreate, board, false,
         "An KivDBase already exists in this folder"},
        {"create in an empty folder", TfrmDatabaseWizard::pgCreate, empty, true, {}},
        {"create, chooser cancelled", TfrmDatabaseWizard::pgCreate, {}, false, {}},
        {"join what is no folder", TfrmDatabaseWizard::pgJoin, notAFolder, false,
         "Kiv was unable to find an KivDBase" + unableNotAFolder},
        {"create in what is no folder", TfrmDatabaseWizard::pgCreate, notAFolder, false,
         "Kiv was unable to create an KivDBase in this folder" + unableNotAFolder},
    };
    // Permissions bind everybody but the superuser.
    const QString locked = Folder(QStringLiteral("locked"), {"KivDB31.ism", "KivDB31.isd"});
    QFile::setPermissions(locked, QFileDevice::Permissions());
    if (geteuid() != 0)
        cases.push_back({"join a folder one may not open", TfrmDatabaseWizard::pgJoin, locked, false,
                         "Kiv was unable to find an KivDBase\n\n" + locked + "/: Permission denied"});
    for (const auto &c : cases) {
        SCOPED_TRACE(c.What);
        TfrmDatabaseWizard wizard;
        wizard.show();
        (c.Page == TfrmDatabaseWizard::pgJoin ? wizard.RadioButtonExisting() : wizard.RadioButtonCreateNew())->click();
        wizard.actNext()->trigger();
        ASSERT_EQ(wizard.nbMain()->currentIndex(), c.Page);

        TKivFileDialog::SetNextFolder(c.Picked);
        const QString box = BoxShownBy([&] { wizard.actNext()->trigger(); });
        EXPECT_EQ(TKivFileDialog::LastTitle(), c.Page == TfrmDatabaseWizard::pgJoin
                                                   ? QStringLiteral("Join Kiv Database")
                                                   : QStringLiteral("Create Kiv Database"));
        EXPECT_EQ(box, c.Box);
        if (c.Chosen) {
            EXPECT_EQ(wizard.End(), TfrmDatabaseWizard::TEnd::Chosen);
            EXPECT_EQ(wizard.result(), QDialog::Accepted);
            EXPECT_FALSE(wizard.isVisible());
            QString expected = c.Picked;
            if (!expected.endsWith('/'))
                expected += '/';
            EXPECT_EQ(wizard.Folder(), expected.toStdString());
        } else {
            EXPECT_TRUE(wizard.isVisible()) << "the wizard stays open";
            EXPECT_EQ(wizard.nbMain()->currentIndex(), c.Page);
            EXPECT_EQ(wizard.Folder(), "");
        }
    }
    // The wizard creates nothing.
    EXPECT_EQ(Entries(board), QStringList({"KivDB31.isd", "KivDB31.ism"}));
    EXPECT_EQ(Entries(definitionOnly), QStringList({"KivDB31.ism"}));
    EXPECT_TRUE(Entries(empty).isEmpty());
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(WizardTest, AFolderTooLongToBeKeptIsRefused)
{
    // 255 bytes is the longest location the settings block keeps; the slash
    // the wizard adds counts.
    QString deep = Board.path();
    while (deep.size() < 254)
        deep += QStringLiteral("/") + QString(qMin(200, 254 - int(deep.size()) - 1), QLatin1Char('d'));
    ASSERT_EQ(deep.size(), 254);
    ASSERT_TRUE(QDir().mkpath(deep + "x"));
    GoTo(TfrmDatabaseWizard::pgCreate);

    TKivFileDialog::SetNextFolder(deep + "x");
    EXPECT_TRUE(BoxShownBy([&] { Wizard.actNext()->trigger(); }).startsWith("The path of this folder is too long"));
    EXPECT_TRUE(Wizard.isVisible());

    TKivFileDialog::SetNextFolder(deep);
    EXPECT_EQ(BoxShownBy([&] { Wizard.actNext()->trigger(); }), QString());
    EXPECT_EQ(Wizard.Folder(), (deep + "/").toStdString());
}

TEST_F(WizardTest, RunEndsByCancelEscTheCloseBoxOrAFolder)
{
    const QString empty = Folder(QStringLiteral("new"), {});
    const struct {
        const char *What;
        std::function<void(TfrmDatabaseWizard &)> Act;
        TfrmDatabaseWizard::TEnd End;
        std::string Folder;
    } cases[] = {
        {"Cancel",
         [](TfrmDatabaseWizard &w) { QTest::mouseClick(w.findChild<QPushButton *>("btnCancel"), Qt::LeftButton); },
         TfrmDatabaseWizard::TEnd::Cancelled, ""},
        {"Esc", [](TfrmDatabaseWizard &w) { QTest::keyClick(&w, Qt::Key_Escape); }, TfrmDatabaseWizard::TEnd::Cancelled,
         ""},
        {"close box", [](TfrmDatabaseWizard &w) { w.close(); }, TfrmDatabaseWizard::TEnd::Closed, ""},
        {"a folder",
         [&empty](TfrmDatabaseWizard &w) {
             w.RadioButtonCreateNew()->click();
             w.actNext()->trigger();
             TKivFileDialog::SetNextFolder(empty);
             w.actNext()->trigger();
         },
         TfrmDatabaseWizard::TEnd::Chosen, (empty + "/").toStdString()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.What);
        TfrmDatabaseWizard wizard;
        QTimer::singleShot(0, &wizard, [&] { c.Act(wizard); });
        // Should the wizard not end, this ends it as nothing else would.
        QTimer safety;
        safety.setSingleShot(true);
        QObject::connect(&safety, &QTimer::timeout, &wizard, [&] { wizard.done(QDialog::Rejected); });
        safety.start(20000);
        const TfrmDatabaseWizard::TEnd end = wizard.Run();
        EXPECT_TRUE(safety.isActive()) << "the wizard did not end by itself";
        EXPECT_EQ(end, c.End);
        EXPECT_EQ(wizard.Folder(), c.Folder);
    }
}

TEST_F(WizardTest, HelpOpensAtInstallation)
{
    SetHelpFile(QStringLiteral(KIV_BUILT_HELP_FILE));
    Click("btnHelp");
    TfrmHelp *help = TfrmHelp::Current();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->txtHelp()->source().fragment(), QStringLiteral("Installation"));
    // It belongs to the wizard, so it can be used while the wizard is modal.
    EXPECT_EQ(help->parentWidget(), &Wizard);
    help->close();
}
