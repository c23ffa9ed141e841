// The main window offscreen: its controls and actions, where each action is
// shown, the enabling of commands, the board's columns on resize, and the
// ways the window hides, minimises and ends.
#include "board/Session.h"
#include "gui/Application.h"
#include "gui/BoardList.h"
#include "gui/HelpWindow.h"
#include "gui/MessageBox.h"
#include "main/AboutBox.h"
#include "main/AppControl.h"
#include "main/MainWindow.h"

#include "KivVersion.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>

namespace {

class TFakeApp final : public IAppControl {
public:
    int Terminations = 0;
    void Terminate() override { ++Terminations; }
};

TBoardRow MakeRow(const std::string &name, const std::string &login)
{
    TBoardRow row;
    row.Caption = name;
    row.SubItems = {"In meeting", "Yesterday 23:59",
                    "4411",       "Accounts and Finance",
                    login,        "Back after the quarterly review with the auditors"};
    row.ImageIndex = 5;
    return row;
}

// Entries of a menu or toolbar as captions, a rule as "-".
QStringList Entries(const QWidget *widget)
{
    QStringList out;
    for (QAction *a : widget->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

// Lets the event loop fall idle once, as it does between a user's actions.
void Idle()
{
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
}

class WindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        Window = std::make_unique<TfrmMain>(Session, App, [this] { return TrayAvailable; });
    }
    void TearDown() override { Window.reset(); }

    QAction *ActionNamed(const char *name) const { return Window->findChild<QAction *>(QString::fromLatin1(name)); }

    void ShowActive()
    {
        Window->show();
        Window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    }

    void SelectFirstRow()
    {
        Window->Board().AddRow(MakeRow("Ann", "ANN"));
        Window->lvMain()->topLevelItem(0)->setSelected(true);
    }

    // Counts the runs of every action's handler.
    void CountRuns()
    {
        for (const TKivActionDef &def : KivActionDefs()) {
            const TKivAction a = def.Action;
            Window->SetExecuteHandler(a, [this, a] { ++Runs[a]; });
        }
    }

    TSession Session;
    TFakeApp App;
    bool TrayAvailable = false;
    std::unique_ptr<TfrmMain> Window;
    std::map<TKivAction, int> Runs;
};

} // namespace

TEST_F(WindowTest, BuildsWithEveryNamedControl)
{
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Kiv - All Departments"));
    EXPECT_EQ(Window->size(), QSize(577, 381));
    // At least the written minimum; wider where the toolbar row needs it.
    EXPECT_GE(Window->minimumWidth(), 448);
    EXPECT_EQ(Window->minimumHeight(), 175);
    // The application icon, sharp at every size a desktop asks for.
    const QList<QSize> sizes = Window->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(48, 48)) && sizes.contains(QSize(256, 256)));

    auto *splitter = Window->findChild<QSplitter *>(QStringLiteral("stMain"));
    auto *tree = Window->findChild<QTreeWidget *>(QStringLiteral("tvMain"));
    auto *board = Window->findChild<QTreeWidget *>(QStringLiteral("lvMain"));
    auto *status = Window->findChild<QStatusBar *>(QStringLiteral("StatusBarMain"));
    ASSERT_TRUE(splitter && tree && board && status);
    EXPECT_EQ(splitter->widget(0), tree);
    EXPECT_EQ(splitter->widget(1), board);
    EXPECT_EQ(board->toolTip(), QStringLiteral("Right click for options..."));
    const QStringList headers{"User", "Status", "Updated", "Ext", "Department", "PC Name", "Comments..."};
    const int widths[] = {59, 58, 41, 58, 58, 0, 58};
    ASSERT_EQ(board->columnCount(), 7);
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(board->headerItem()->text(c), headers[c]);
        EXPECT_EQ(board->columnWidth(c), widths[c]) << "column " << c;
    }
    EXPECT_TRUE(board->isColumnHidden(TBoardListView::colLogin));

    auto *update = Window->findChild<QTimer *>(QStringLiteral("tmrUpdateListView"));
    auto *messages = Window->findChild<QTimer *>(QStringLiteral("tmrCheckForMessages"));
    ASSERT_TRUE(update && messages);
    EXPECT_FALSE(update->isActive() || messages->isActive());
    EXPECT_EQ(update->interval(), 5000);
    EXPECT_EQ(messages->interval(), 10000);

    auto *tray = Window->findChild<TKivTrayIcon *>(QStringLiteral("StTrayIcon"));
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(tray->Menu(), Window->findChild<QMenu *>(QStringLiteral("popMnuTrayIcon")));
    EXPECT_EQ(tray->Hint(), QStringLiteral("Kiv"));
}

TEST_F(WindowTest, EveryActionIsFoundByNameWithItsImage)
{
    std::set<QAction *> seen;
    for (const TKivActionDef &def : KivActionDefs()) {
        QAction *a = ActionNamed(def.Name);
        ASSERT_EQ(a, Window->Action(def.Action)) << def.Name;
        seen.insert(a);
        EXPECT_EQ(a->icon().isNull(), def.ImageIndex < 0) << def.Name;
        if (def.ImageIndex >= 0) {
            EXPECT_EQ(a->icon().cacheKey(), Window->imgSmallPics().Icon(def.ImageIndex).cacheKey()) << def.Name;
        }
    }
    EXPECT_EQ(seen.size(), KivActionCount);

    // The holiday command takes the office's wording; every place shows it.
    Window->SetHolidayWording(true);
    EXPECT_EQ(Window->actOnHoliday()->statusTip(), QStringLiteral("I'm on vacation"));
    EXPECT_TRUE(Entries(Window->popmnuMain()).contains(QStringLiteral("On Vacation")));
    Window->SetHolidayWording(false);
    EXPECT_EQ(Window->actOnHoliday()->text(), QStringLiteral("On holiday"));
}

TEST_F(WindowTest, MenusToolbarsAndPopupsListTheirEntriesInOrder)
{
    QMenuBar *bar = Window->menuBar();
    QStringList menus;
    for (QAction *a : bar->actions())
        menus << a->text();
    EXPECT_EQ(menus, QStringList({"&File", "&Status", "&View", "&Tools", "Fi&lter", "&Help"}));

    auto menu = [&](const char *name) { return Window->findChild<QMenu *>(QString::fromLatin1(name)); };
    const QStringList statuses{"At Lunch",        "Available",     "Away From Desk",
                               "Do Not Disturb!", "Gone Home",     "In Meeting",
                               "On Holiday",      "Out Of Office", "Sick"};
    EXPECT_EQ(Entries(menu("mnuFile")), QStringList({"E&xit Kiv"}));
    EXPECT_EQ(Entries(menu("mnuStatus")), statuses + QStringList({"Custom Status...", "Back at..."}));
    EXPECT_EQ(Entries(menu("mnuView")), QStringList({"My &InBox", "View alerts"}));
    EXPECT_EQ(Entries(menu("mnuTools")), QStringList({"Settings...", "Comment...", "Clear alert list..."}));
    EXPECT_EQ(Entries(menu("mnuFilter")), QStringList({"Filter on Department"}));
    EXPECT_EQ(Entries(menu("mnuHelp")), QStringList({"About", "Help on Kiv"}));
    EXPECT_EQ(menu("mnuTools")->actions().at(2)->statusTip(), QStringLiteral("Clear alert list"));

    QList<QToolBar *> bars = Window->findChildren<QToolBar *>();
    ASSERT_EQ(bars.size(), 3);
    EXPECT_EQ(bars[0]->windowTitle(), QStringLiteral("Statuses"));
    EXPECT_EQ(bars[1]->windowTitle(), QStringLiteral("Misc"));
    EXPECT_EQ(bars[2]->windowTitle(), QStringLiteral("Administrators"));
    EXPECT_EQ(Entries(bars[0]), statuses + QStringList({"-", "Custom Status..."}));
    EXPECT_EQ(Entries(bars[1]),
              QStringList({"Filter on Department", "Refresh", "Comment...", "Settings...", "View My &InBox"}));
    EXPECT_EQ(Entries(bars[2]), QStringList({"Users...", "Departments...", "Statuses..."}));
    for (QToolBar *b : bars) {
        EXPECT_EQ(Window->toolBarArea(b), Qt::TopToolBarArea);
        EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonIconOnly);
    }

    const QStringList tenStatuses = statuses + QStringList({"Custom Status...", "Back at..."});
    EXPECT_EQ(Entries(Window->popmnuMain()),
              tenStatuses + QStringList({"-", "Send Message...", "-", "Alert on status change"}));
    EXPECT_EQ(Entries(Window->popMnuTrayIcon()),
              QStringList({"&Show Kiv", "-"}) + tenStatuses + QStringList({"-", "Comment...", "-", "E&xit Kiv"}));
    // The entries are the actions themselves, not copies.
    EXPECT_EQ(Window->popmnuMain()->actions().at(0), Window->actAtLunch());
    EXPECT_EQ(bars[2]->actions().at(0), Window->actUsers());
}

// ---- running the actions -----------------------------------------------------

TEST_F(WindowTest, EachShortcutReachesItsAction)
{
    CountRuns();
    ShowActive();
    // The focus on the board, where the keys are pressed in daily use.
    Window->lvMain()->setFocus();
    int shortcuts = 0;
    for (const TKivActionDef &def : KivActionDefs()) {
        if (def.Shortcut[0] == '\0')
            continue;
        ++shortcuts;
        Runs.clear();
        QTest::keySequence(Window.get(), QKeySequence(QString::fromLatin1(def.Shortcut), QKeySequence::PortableText));
        EXPECT_EQ(Runs[def.Action], 1) << def.Name;
        int total = 0;
        for (const auto &[action, count] : Runs)
            total += count;
        EXPECT_EQ(total, 1) << def.Name << " ran other actions too";
    }
    EXPECT_EQ(shortcuts, 15);
}

// Each state with the commands it leaves disabled, written out by hand;
// every command not named is enabled.
TEST_F(WindowTest, EachStateDisablesExactlyItsCommands)
{
    struct TCase {
        const char *State;
        bool Administrator, Selected, Messages;
        std::set<std::string> Disabled;
    };
    const TCase cases[] = {
        {"an ordinary user, no row, messaging off",
         false,
         false,
         false,
         {"actVeiwInBox", "actSendMessage", "actAddToAlertList", "actUsers", "actDepartments", "actStatuses"}},
        {"an ordinary user, no row, messaging on",
         false,
         false,
         true,
         {"actSendMessage", "actAddToAlertList", "actUsers", "actDepartments", "actStatuses"}},
        {"an ordinary user, a row, messaging off",
         false,
         true,
         false,
         {"actVeiwInBox", "actSendMessage", "actUsers", "actDepartments", "actStatuses"}},
        {"an ordinary user, a row, messaging on", false, true, true, {"actUsers", "actDepartments", "actStatuses"}},
        {"an administrator, no row, messaging off",
         true,
         false,
         false,
         {"actVeiwInBox", "actSendMessage", "actAddToAlertList"}},
        {"an administrator, no row, messaging on", true, false, true, {"actSendMessage", "actAddToAlertList"}},
        {"an administrator, a row, messaging off", true, true, false, {"actVeiwInBox", "actSendMessage"}},
        {"an administrator, a row, messaging on", true, true, true, {}},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.State);
        Window->Board().Clear();
        Session.Administrator = c.Administrator;
        if (c.Selected)
            SelectFirstRow();
        Window->SetMessagesAllowed(c.Messages);

        std::set<std::string> disabled;
        for (const TKivActionDef &def : KivActionDefs())
            if (!Window->Action(def.Action)->isEnabled())
                disabled.insert(def.Name);
        EXPECT_EQ(disabled, c.Disabled);
        // Menu entries with captions of their own follow their action.
        EXPECT_EQ(ActionNamed("mnuViewMyInBox")->isEnabled(), c.Messages);
    }
}

TEST_F(WindowTest, SelectionAndIdleRedecideTheEnablingUnasked)
{
    Window->SetMessagesAllowed(true);
    EXPECT_FALSE(Window->actAddToAlertList()->isEnabled());
    SelectFirstRow();
    EXPECT_TRUE(Window->actAddToAlertList()->isEnabled());
    EXPECT_TRUE(Window->actSendMessage()->isEnabled());
    Window->lvMain()->clearSelection();
    EXPECT_FALSE(Window->actSendMessage()->isEnabled());

    // The administrator flag lives in the session; the window sees it change
    // the next time the program falls idle.
    Session.Administrator = true;
    Idle();
    EXPECT_TRUE(Window->actUsers()->isEnabled());
    Session.Administrator = false;
    Idle();
    EXPECT_FALSE(Window->actUsers()->isEnabled());
}

TEST_F(WindowTest, ADisabledActionDoesNothing)
{
    CountRuns();
    Window->actUsers()->trigger();
    Window->ExecuteAction(TKivAction::Users);
    EXPECT_EQ(Runs[TKivAction::Users], 0);

    Session.Administrator = true;
    Window->ActionListUpdate();
    Window->actUsers()->trigger();
    EXPECT_EQ(Runs[TKivAction::Users], 1);

    // Rights taken away since the last update: the action decides afresh
    // before it runs.
    Session.Administrator = false;
    ASSERT_TRUE(Window->actDepartments()->isEnabled());
    Window->actDepartments()->trigger();
    EXPECT_EQ(Runs[TKivAction::Departments], 0);

    // The menu entry with its own caption runs the in-box only when allowed.
    QAction *inbox = Window->findChild<QAction *>(QStringLiteral("mnuViewMyInBox"));
    inbox->trigger();
    EXPECT_EQ(Runs[TKivAction::VeiwInBox], 0);
    Window->SetMessagesAllowed(true);
    inbox->trigger();
    EXPECT_EQ(Runs[TKivAction::VeiwInBox], 1);
}

TEST_F(WindowTest, DoubleClickOnTheBoardSendsAMessageOnlyWhenAllowed)
{
    CountRuns();
    Window->Board().AddRow(MakeRow("Ann", "ANN"));
    ShowActive();
    QTreeWidget *board = Window->lvMain();
    const QPoint onRow = board->visualItemRect(board->topLevelItem(0)).center();

    QTest::mouseDClick(board->viewport(), Qt::LeftButton, {}, onRow);
    EXPECT_TRUE(Window->RowSelected());
    EXPECT_EQ(Runs[TKivAction::SendMessage], 0);

    Window->SetMessagesAllowed(true);
    QTest::mouseDClick(board->viewport(), Qt::LeftButton, {}, onRow);
    EXPECT_EQ(Runs[TKivAction::SendMessage], 1);
}

// ---- layout ------------------------------------------------------------------

TEST_F(WindowTest, EveryResizeLeavesTheLoginColumnAtZero)
{
    for (int i = 0; i < 4; ++i)
        Window->Board().AddRow(MakeRow("User number " + std::to_string(i), "LOGIN" + std::to_string(i)));
    ShowActive();
    QTreeWidget *board = Window->lvMain();
    for (const QSize size : {QSize(900, 500), QSize(448, 175), QSize(1200, 300), QSize(300, 100), QSize(640, 480)}) {
        // Someone (or a later filling) made the column visible in between.
        board->setColumnHidden(TBoardListView::colLogin, false);
        board->header()->resizeSection(TBoardListView::colLogin, 90);

        Window->resize(size);
        QTest::qWait(10);
        SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height());
        EXPECT_GE(Window->width(), 448);
        EXPECT_GE(Window->height(), 175);
        EXPECT_EQ(board->columnWidth(TBoardListView::colLogin), 0);
        EXPECT_TRUE(board->isColumnHidden(TBoardListView::colLogin));
        // Fitting a column afresh changes nothing: it already fits header and
        // contents (the last one may be wider, reaching the list's edge).
        for (int c : {0, 1, 2, 3, 4, 6}) {
            const int width = board->columnWidth(c);
            board->resizeColumnToContents(c);
            if (c == TBoardListView::colComments) {
                EXPECT_GE(width, board->columnWidth(c)) << "column " << c;
            } else {
                EXPECT_EQ(width, board->columnWidth(c)) << "column " << c;
            }
            board->setColumnWidth(c, width);
        }
        int total = 0;
        for (int c : {0, 1, 2, 3, 4, 6})
            total += board->columnWidth(c);
        EXPECT_GE(total, board->viewport()->width()) << "the last column reaches the edge";
    }
}

TEST_F(WindowTest, SplitterKeepsTheTreeWidthAndCanHideIt)
{
    ShowActive();
    EXPECT_EQ(Window->SplitterPosition(), 105);
    EXPECT_EQ(Window->SplitterBarWidth(), 3);
    Window->resize(900, 400);
    QTest::qWait(10);
    EXPECT_EQ(Window->SplitterPosition(), 105);

    // Position 0 hides the tree; it can come back.
    Window->SetSplitterPosition(0);
    EXPECT_EQ(Window->SplitterPosition(), 0);
    Window->SetSplitterPosition(150);
    EXPECT_EQ(Window->SplitterPosition(), 150);
}

TEST_F(WindowTest, GrabRendersTheWholeWindow)
{
    Window->Board().AddRow(MakeRow("Ann", "ANN"));
    ShowActive();
    const QPixmap grab = Window->grab();
    ASSERT_FALSE(grab.isNull());
    EXPECT_EQ(grab.deviceIndependentSize().toSize(), Window->size());
    const QImage image = grab.toImage();
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 20u);
}

TEST_F(WindowTest, FirstShowingCentresTheWindowKeepingItsSize)
{
    ShowActive();
    const QRect screen = Window->screen()->availableGeometry();
    EXPECT_EQ(Window->size(), QSize(577, 381));
    // The window system's frame is not known before the first showing, so
    // the centre may be off by the frame's margins.
    const QPoint off = Window->frameGeometry().center() - screen.center();
    const int margins = Window->frameGeometry().width() - Window->width();
    EXPECT_LE(std::abs(off.x()), margins + 1);
    EXPECT_LE(std::abs(off.y()), margins + 1);

    // Later showings leave it where it is.
    Window->hide();
    Window->move(20, 30);
    Window->show();
    EXPECT_EQ(Window->pos(), QPoint(20, 30));
}

// ---- hiding, minimising and ending ---------------------------------------------

TEST_F(WindowTest, CloseBoxHidesToTheNotificationAreaOrMinimises)
{
    ShowActive();
    // No notification area: the window must stay reachable.
    EXPECT_FALSE(Window->close());
    EXPECT_TRUE(Window->isVisible());
    EXPECT_TRUE(Window->isMinimized());

    Window->RestoreFromTray();
    TrayAvailable = true;
    EXPECT_FALSE(Window->close());
    EXPECT_FALSE(Window->isVisible());
    EXPECT_EQ(App.Terminations, 0);

    // A double-click on the icon brings it back.
    emit Window->StTrayIcon()->SystemIcon().activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(Window->isVisible());
    EXPECT_FALSE(Window->isMinimized());

    // Minimising hides it as well, once the window system has minimised it.
    Window->showMinimized();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Window->isVisible(); }, 5000));
}

TEST_F(WindowTest, ExitFromTheTrayMenuEndsTheProgramWhileHidden)
{
    TrayAvailable = true;
    ShowActive();
    Window->close();
    ASSERT_FALSE(Window->isVisible());
    QAction *exit = Window->popMnuTrayIcon()->actions().last();
    ASSERT_EQ(exit, Window->actFileExit());
    exit->trigger();
    EXPECT_TRUE(Window->Ending());
    EXPECT_EQ(App.Terminations, 1);
}

// ---- faults found in review ----------------------------------------------------

TEST_F(WindowTest, TitleBarReadsExactlyTheCaption)
{
    SetKivApplicationIdentity();
    EXPECT_EQ(QApplication::applicationName(), QStringLiteral("Kiv"));
    EXPECT_EQ(QApplication::applicationVersion(), QStringLiteral(KIV_VERSION_TEXT));
    // Qt adds a display name of the application's own to every title bar; the
    // program sets none, so the display name only follows the name.
    QApplication::setApplicationName(QStringLiteral("Someone else"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Someone else"));
    QApplication::setApplicationName(QStringLiteral("Kiv"));
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Kiv - All Departments"));
}

TEST_F(WindowTest, TheTrayIconShowsAtStartEvenBeforeATrayExists)
{
    // Qt docks a shown icon as soon as a tray appears, as at autostart.
    ASSERT_FALSE(TrayAvailable);
    ShowActive();
    EXPECT_TRUE(Window->StTrayIcon()->SystemIcon().isVisible());
}

TEST_F(WindowTest, AClickOnTheIconOrItsMenuBringsTheWindowBack)
{
    TrayAvailable = true;
    ShowActive();
    Window->close();
    ASSERT_FALSE(Window->isVisible());
    // A StatusNotifierItem tray sends a click, never a double-click.
    emit Window->StTrayIcon()->SystemIcon().activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(Window->isVisible());

    Window->close();
    ASSERT_FALSE(Window->isVisible());
    QAction *show = Window->popMnuTrayIcon()->actions().first();
    EXPECT_EQ(Window->popMnuTrayIcon()->defaultAction(), show);
    show->trigger();
    EXPECT_TRUE(Window->isVisible());
    EXPECT_FALSE(Window->isMinimized());
}

TEST_F(WindowTest, TerminateEndsTheProgramWhileTheWindowIsShown)
{
    TQtAppControl app;
    TfrmMain window(Session, app, [] { return true; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTimer::singleShot(0, &window, [&app] { app.Terminate(); });
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    safety.start(20000);
    EXPECT_EQ(QApplication::exec(), 0);
    // Ended as it was, not hidden to the notification area on the way.
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
}

TEST_F(WindowTest, AHiddenTreeCannotBeDraggedOpen)
{
    ShowActive();
    // Drags the splitter bar by dx as the mouse does, through the window.
    auto drag = [this](int dx) {
        QSplitterHandle *bar = Window->stMain()->handle(1);
        const QPoint start = bar->mapTo(Window.get(), QPoint(bar->width() / 2, bar->height() / 2));
        QWindow *window = Window->windowHandle();
        QTest::mousePress(window, Qt::LeftButton, {}, start);
        QTest::mouseMove(window, start + QPoint(dx / 2, 0));
        QTest::mouseMove(window, start + QPoint(dx, 0));
        QTest::mouseRelease(window, Qt::LeftButton, {}, start + QPoint(dx, 0));
    };
    drag(60);
    EXPECT_GT(Window->SplitterPosition(), 105) << "a bar of width 3 can be dragged";

    Window->SetSplitterPosition(0);
    Window->SetSplitterBarWidth(0);
    for (int dx : {40, 120}) {
        drag(dx);
        EXPECT_EQ(Window->SplitterPosition(), 0);
    }

    Window->SetSplitterPosition(105);
    Window->SetSplitterBarWidth(3);
    drag(40);
    EXPECT_GT(Window->SplitterPosition(), 105) << "shown again, the tree can be resized again";
}

TEST_F(WindowTest, AtTheMinimumWidthEveryToolbarButtonShows)
{
    ShowActive();
    Window->resize(Window->minimumSize());
    QTest::qWait(20);
    ASSERT_EQ(Window->width(), Window->minimumWidth());
    for (QToolBar *bar : Window->findChildren<QToolBar *>()) {
        SCOPED_TRACE(bar->windowTitle().toStdString());
        auto *overflow = bar->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button"));
        EXPECT_TRUE(overflow == nullptr || !overflow->isVisible());
        for (QAction *a : bar->actions()) {
            if (a->isSeparator())
                continue;
            QWidget *button = bar->widgetForAction(a);
            ASSERT_NE(button, nullptr) << a->text().toStdString();
            EXPECT_TRUE(button->isVisible()) << a->text().toStdString();
        }
    }
}

// ---- help and About --------------------------------------------------------------

TEST_F(WindowTest, F1OpensTheHelpAtItsContents)
{
    // The program's own help file is its path with the extension ".hlp".
    const QFileInfo program(QCoreApplication::applicationFilePath());
    EXPECT_EQ(ProgramHelpFile(), program.dir().filePath(program.completeBaseName() + ".hlp"));

    SetHelpFile(QStringLiteral(KIV_BUILT_HELP_FILE));
    ShowActive();
    QTest::keyClick(Window->lvMain(), Qt::Key_F1);
    TfrmHelp *help = TfrmHelp::Current();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->parentWidget(), Window.get());
    EXPECT_EQ(help->txtHelp()->source().fragment(), QStringLiteral("Contents"));
    EXPECT_EQ(help->txtHelp()->documentTitle(), QStringLiteral("Kiv help"));

    // Another topic scrolls the same window to its part of the guide.
    ShowHelpTopic(Window.get(), QStringLiteral("Administer_Users"));
    EXPECT_EQ(TfrmHelp::Current(), help);
    EXPECT_EQ(help->txtHelp()->source().fragment(), QStringLiteral("Administer_Users"));
    EXPECT_GT(help->txtHelp()->verticalScrollBar()->value(), 0);
    // Esc closes it, as it closes the dialogs it is opened from.
    QTest::keyClick(help->txtHelp(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([] { return TfrmHelp::Current() == nullptr; }, 5000));

    // Without its help file the program says so, and opens no window.
    SetHelpFile(QStringLiteral("/nonexistent/kiv.hlp"));
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    Window->ExecuteAction(TKivAction::HelpOnKiv);
    EXPECT_EQ(TKivMessageBox::LastAnsweredText(),
              QStringLiteral("Kiv was unable to open its help file /nonexistent/kiv.hlp."));
    EXPECT_EQ(TfrmHelp::Current(), nullptr);
    SetHelpFile(QString());
}

TEST_F(WindowTest, AboutShowsTheProductAndTheBuildsVersion)
{
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *about = qobject_cast<TfrmAbout *>(QApplication::activeModalWidget());
        if (about == nullptr)
            return;
        poll.stop();
        seen = true;
        EXPECT_EQ(about->windowTitle(), QStringLiteral("About Kiv"));
        EXPECT_EQ(about->lblProduct()->text(), QStringLiteral("Kiv"));
        EXPECT_EQ(about->lblVersion()->text(), QStringLiteral("Version 3.10"));
        about->accept();
    });
    poll.start(20);
    // Should the box never come up, this closes whatever modal window is.
    QTimer::singleShot(20000, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    Window->actHelpAbout()->trigger();
    EXPECT_TRUE(seen);
}

// ---- what an office met on the board ---------------------------------------------

// The columns were fitted before the first fill, and the tree's one column
// was the pane's width: a long department and a comment were cut short at
// the default size, however wide the texts.
TEST_F(WindowTest, LongDepartmentNamesAndCommentsShowWhole)
{
    ShowActive();
    const QString department = QStringLiteral("Research and Development Laboratories");
    Window->DepartmentTree().AddRoot("Departments");
    Window->DepartmentTree().AddChild(department.toStdString());
    QTreeWidget *tree = Window->tvMain();
    EXPECT_GE(tree->columnWidth(0), tree->fontMetrics().horizontalAdvance(department) + tree->indentation());
    EXPECT_EQ(tree->headerItem()->text(0), QStringLiteral("Departments"));

    Window->Board().AutoSizeColumns();
    Window->Board().BeginUpdate();
    Window->Board().AddRow(MakeRow("Ann", "ANN"));
    Window->Board().EndUpdate();
    QTreeWidget *board = Window->lvMain();
    const QString comment = QString::fromStdString(MakeRow("Ann", "ANN").SubItems[TBoardRow::Comments]);
    EXPECT_GE(board->columnWidth(TBoardListView::colComments), board->fontMetrics().horizontalAdvance(comment));
}

// Shift+F10 opened nothing where the Menu key opens the board's menu, and a
// click on a column's header did not sort by it.
TEST_F(WindowTest, ShiftF10OpensTheBoardsMenuAndAHeaderClickSorts)
{
    ShowActive();
    Window->Board().SetSorted(false);
    for (const char *login : {"BOB", "ANN", "CAROL"}) {
        TBoardRow row = MakeRow(login, login);
        row.SubItems[TBoardRow::Ext] = login == std::string("ANN")   ? "300"
                                       : login == std::string("BOB") ? "100"
                                                                     : "200";
        Window->Board().AddRow(row);
    }
    SelectFirstRow();
    QTest::keyClick(Window->lvMain(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(Window->popmnuMain()->isVisible());
    Window->popmnuMain()->close();

    QHeaderView *header = Window->lvMain()->header();
    auto clickHeader = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    auto logins = [&] {
        std::vector<std::string> out;
        for (int i = 0; i < Window->Board().RowCount(); ++i)
            out.push_back(Window->Board().Row(i).Caption);
        return out;
    };
    clickHeader(TBoardListView::colExt);
    EXPECT_EQ(logins(), (std::vector<std::string>{"BOB", "CAROL", "ANN", "Ann"}));
    clickHeader(TBoardListView::colExt);
    EXPECT_EQ(logins(), (std::vector<std::string>{"Ann", "ANN", "CAROL", "BOB"}));
    // A refill keeps the order chosen.
    Window->Board().AddRow(MakeRow("DAVE", "DAVE"));
    EXPECT_EQ(logins().back(), "BOB");
}

// Minimise (or close), restore, close again, one activation of the icon: a
// window hidden while minimised was remembered as minimised, and the window
// system iconified it again as it came back, so the activation seemed to do
// nothing. Each round takes one activation, of whichever kind the tray sends.
TEST_F(WindowTest, OneActivationOfTheIconAlwaysBringsTheWindowBack)
{
    TrayAvailable = true;
    ShowActive();
    const int interval = QApplication::doubleClickInterval();
    QApplication::setDoubleClickInterval(100);
    for (const auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Trigger}) {
        for (bool minimise : {true, false}) {
            SCOPED_TRACE(std::to_string(reason) + (minimise ? " minimised" : " closed"));
            if (minimise)
                Window->showMinimized();
            else
                Window->close();
            ASSERT_TRUE(QTest::qWaitFor([&] { return !Window->isVisible(); }, 5000));
            EXPECT_FALSE(Window->windowState() & Qt::WindowMinimized);
            QTest::qWait(150);
            emit Window->StTrayIcon()->SystemIcon().activated(reason);
            Idle();
            EXPECT_TRUE(Window->isVisible());
            EXPECT_FALSE(Window->isMinimized());
        }
    }
    QApplication::setDoubleClickInterval(interval);
}
