#include "main/MainWindow.h"

#include "board/BoardSession.h"
#include "board/Session.h"
#include "gui/Application.h"
#include "gui/BoardList.h"
#include "gui/HelpWindow.h"
#include "main/AboutBox.h"
#include "main/RaiseRequest.h"
#include "platform/InstanceLock.h"
#include "platform/TerminalText.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>

namespace {

// The office fonts of the original desktop do not exist here; the desktop's
// own family is used at the point size the window was laid out with.
constexpr int WindowPointSize = 8;

constexpr int UpdateListViewMs = 5000;
constexpr int CheckForMessagesMs = 10000;

QFont PointSized(QFont font)
{
    font.setPointSize(WindowPointSize);
    return font;
}

} // namespace

TfrmMain::TfrmMain(TSession &session, IAppControl &app, TTrayAvailability trayAvailable, QWidget *parent)
    : QMainWindow(parent), FSession(session), FApp(app)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kiv - All Departments"));
    setWindowIcon(KivAppIcon());
    setFont(PointSized(font()));
    resize(DesignSize());
    move(DesignPosition());

    CreateActions();
    CreateControls();
    CreateMenus();
    CreateToolBars();
    CreatePopupMenus();
    CreateTimers();
    FitMinimumSize();

    FTray = new TKivTrayIcon(FSmallPics, FNewMail, FPopTray, std::move(trayAvailable), this);
    connect(FTray, &TKivTrayIcon::DoubleClicked, this, &TfrmMain::StTrayIconDblClick);

    // Exit Kiv is the one command that ends the program.
    SetExecuteHandler(TKivAction::FileExit, [this] { CloseMain(); });
    SetExecuteHandler(TKivAction::HelpOnKiv, [this] { ShowHelpTopic(this, QStringLiteral("Contents")); });
    SetExecuteHandler(TKivAction::HelpAbout, [this] { TfrmAbout::ShowAbout(this); });
    BindCommands();

    // Enabling follows the window's state as the program falls idle, so a
    // change made elsewhere (the administrator flag) shows without delay.
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TfrmMain::ActionListUpdate);
    ActionListUpdate();
}

void TfrmMain::CreateActions()
{
    for (const TKivActionDef &def : KivActionDefs()) {
        auto *action = new QAction(QString::fromUtf8(def.Caption), this);
        action->setObjectName(QString::fromLatin1(def.Name));
        const QString hint = QString::fromUtf8(def.Hint);
        action->setStatusTip(hint);
        if (!hint.isEmpty())
            action->setToolTip(hint);
        if (def.Shortcut[0] != '\0')
            action->setShortcut(QKeySequence(QString::fromLatin1(def.Shortcut), QKeySequence::PortableText));
        if (def.ImageIndex >= 0)
            action->setIcon(FSmallPics.Icon(def.ImageIndex));
        action->setProperty("imageIndex", def.ImageIndex);
        action->setProperty("category", QString::fromLatin1(def.Category));
        const TKivAction which = def.Action;
        connect(action, &QAction::triggered, this, [this, which] { ExecuteAction(which); });
        FActions[static_cast<std::size_t>(def.Action)] = action;
        // Shortcuts work wherever the focus is in the window, whatever is shown.
        addAction(action);
    }
}

void TfrmMain::CreateControls()
{
    FSplitter = new QSplitter(Qt::Horizontal, this);
    FSplitter->setObjectName(QStringLiteral("stMain"));
    FSplitter->setChildrenCollapsible(true);
    FSplitter->setOpaqueResize(true);

    FTree = new QTreeWidget(FSplitter);
    FTree->setObjectName(QStringLiteral("tvMain"));
    FDepartments = std::make_unique<TDepartmentTreeView>(*FTree);

    FList = new QTreeWidget(FSplitter);
    FList->setObjectName(QStringLiteral("lvMain"));
    FBoard = std::make_unique<TBoardListView>(*FList, FSmallPics);
    FList->setToolTip(QStringLiteral("Right click for options..."));
    FList->setStatusTip(QStringLiteral("Right click for options..."));
    FList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FList, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { FPopMain->popup(FList->viewport()->mapToGlobal(pos)); });
    connect(FList, &QTreeWidget::itemSelectionChanged, this, &TfrmMain::ActionListUpdate);
    FList->setAccessibleName(QStringLiteral("Board"));
    connect(FList, &QTreeWidget::itemDoubleClicked, this, [this] { lvMainDblClick(); });

    // The tree keeps its width when the window is resized; the board takes the rest.
    FSplitter->addWidget(FTree);
    FSplitter->addWidget(FList);
    FSplitter->setStretchFactor(0, 0);
    FSplitter->setStretchFactor(1, 1);
    FSplitter->setHandleWidth(3);
    SetSplitterPosition(DesignSplitterPosition);
    setCentralWidget(FSplitter);

    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBarMain"));
    bar->setSizeGripEnabled(true);
}

QMenu *TfrmMain::NewMenu(const QString &title, const QString &name, QWidget *parent)
{
    auto *menu = new QMenu(title, parent);
    menu->setObjectName(name);
    menu->setFont(PointSized(menu->font()));
    menu->setToolTipsVisible(false);
    // Entries show their enabling as it stands when the menu opens.
    connect(menu, &QMenu::aboutToShow, this, &TfrmMain::ActionListUpdate);
    return menu;
}

QAction *TfrmMain::MenuEntry(QAction *source, const QString &name, const QString &caption, const QString &hint)
{
    // A menu entry with a caption or hint of its own that still runs, and is
    // enabled with, the action behind it.
    auto *entry = new QAction(source->icon(), caption, this);
    entry->setObjectName(name);
    entry->setStatusTip(hint);
    entry->setEnabled(source->isEnabled());
    connect(source, &QAction::enabledChanged, entry, &QAction::setEnabled);
    connect(entry, &QAction::triggered, source, [source] { source->trigger(); });
    return entry;
}

void TfrmMain::CreateMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("barMainMenu"));
    bar->setFont(PointSized(bar->font()));

    QMenu *file = NewMenu(QStringLiteral("&File"), QStringLiteral("mnuFile"), bar);
    file->addAction(actFileExit());
    bar->addMenu(file);

    QMenu *status = NewMenu(QStringLiteral("&Status"), QStringLiteral("mnuStatus"), bar);
    for (const TKivStatusCommand &command : KivStatusCommands())
        status->addAction(Action(command.Action));
    status->addAction(actCustomStatus());
    status->addAction(actBackAt());
    bar->addMenu(status);

    QMenu *view = NewMenu(QStringLiteral("&View"), QStringLiteral("mnuView"), bar);
    view->addAction(MenuEntry(actVeiwInBox(), QStringLiteral("mnuViewMyInBox"), QStringLiteral("My &InBox"),
                              actVeiwInBox()->statusTip()));
    view->addAction(actViewAlertList());
    bar->addMenu(view);

    QMenu *tools = NewMenu(QStringLiteral("&Tools"), QStringLiteral("mnuTools"), bar);
    tools->addAction(actSettings());
    tools->addAction(actComments());
    tools->addAction(MenuEntry(actClearAlertList(), QStringLiteral("mnuClearAlertList"), actClearAlertList()->text(),
                               QStringLiteral("Clear alert list")));
    bar->addMenu(tools);

    QMenu *filter = NewMenu(QStringLiteral("Fi&lter"), QStringLiteral("mnuFilter"), bar);
    filter->addAction(actFilterDepartment());
    bar->addMenu(filter);

    QMenu *help = NewMenu(QStringLiteral("&Help"), QStringLiteral("mnuHelp"), bar);
    help->addAction(actHelpAbout());
    help->addAction(actHelpOnKiv());
    bar->addMenu(help);
}

void TfrmMain::CreateToolBars()
{
    auto newBar = [this](const QString &title, const QString &name) {
        QToolBar *bar = addToolBar(title);
        bar->setObjectName(name);
        bar->setFont(PointSized(bar->font()));
        bar->setIconSize(TKivImageList::ImageSize());
        bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        bar->setFloatable(false);
        return bar;
    };

    QToolBar *statuses = newBar(QStringLiteral("Statuses"), QStringLiteral("barStatuses"));
    for (const TKivStatusCommand &command : KivStatusCommands())
        statuses->addAction(Action(command.Action));
    statuses->addSeparator();
    statuses->addAction(actCustomStatus());

    QToolBar *misc = newBar(QStringLiteral("Misc"), QStringLiteral("barMisc"));
    for (TKivAction a : {TKivAction::FilterDepartment, TKivAction::Refresh, TKivAction::Comments, TKivAction::Settings,
                         TKivAction::VeiwInBox})
        misc->addAction(Action(a));

    QToolBar *admin = newBar(QStringLiteral("Administrators"), QStringLiteral("barAdministrators"));
    for (TKivAction a : {TKivAction::Users, TKivAction::Departments, TKivAction::Statuses})
        admin->addAction(Action(a));
}

void TfrmMain::CreatePopupMenus()
{
    // Shift+F10 opens the board's menu as the Menu key does: at the selected
    // row, or at the board's corner when none is selected.
    auto *menuKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
    menuKey->setObjectName(QStringLiteral("keyBoardMenu"));
    connect(menuKey, &QShortcut::activated, this, [this] {
        const QTreeWidgetItem *current = FList->currentItem();
        const QPoint at =
            current != nullptr && current->isSelected() ? FList->visualItemRect(current).center() : QPoint(0, 0);
        FPopMain->popup(FList->viewport()->mapToGlobal(at));
    });

    FPopMain = NewMenu(QString(), QStringLiteral("popmnuMain"), this);
    for (const TKivStatusCommand &command : KivStatusCommands())
        FPopMain->addAction(Action(command.Action));
    FPopMain->addAction(actCustomStatus());
    FPopMain->addAction(actBackAt());
    FPopMain->addSeparator();
    FPopMain->addAction(actSendMessage());
    FPopMain->addSeparator();
    FPopMain->addAction(actAddToAlertList());

    FPopTray = NewMenu(QString(), QStringLiteral("popMnuTrayIcon"), this);
    // Trays that pass on no double-click still have a way back to the window.
    auto *show = new QAction(KivAppIcon(), QStringLiteral("&Show Kiv"), this);
    show->setObjectName(QStringLiteral("mnuTrayShowKiv"));
    show->setStatusTip(QStringLiteral("Show the Kiv window"));
    connect(show, &QAction::triggered, this, &TfrmMain::RestoreFromTray);
    FPopTray->addAction(show);
    FPopTray->setDefaultAction(show);
    FPopTray->addSeparator();
    for (const TKivStatusCommand &command : KivStatusCommands())
        FPopTray->addAction(Action(command.Action));
    FPopTray->addAction(actCustomStatus());
    FPopTray->addAction(actBackAt());
    FPopTray->addSeparator();
    FPopTray->addAction(actComments());
    FPopTray->addSeparator();
    FPopTray->addAction(actFileExit());
}

void TfrmMain::CreateTimers()
{
    // Both stay off until the first activation sets their periods.
    FUpdateTimer.setObjectName(QStringLiteral("tmrUpdateListView"));
    FUpdateTimer.setParent(this);
    FUpdateTimer.setInterval(UpdateListViewMs);
    FMessageTimer.setObjectName(QStringLiteral("tmrCheckForMessages"));
    FMessageTimer.setParent(this);
    FMessageTimer.setInterval(CheckForMessagesMs);
    FPresenceTimer.setObjectName(QStringLiteral("tmrPresence"));
    FPresenceTimer.setParent(this);
}

void TfrmMain::SetMessagesAllowed(bool allowed)
{
    FMessagesAllowed = allowed;
    ActionListUpdate();
}

bool TfrmMain::RowSelected() const
{
    return !FList->selectedItems().isEmpty();
}

void TfrmMain::ActionListUpdate()
{
    const bool selected = RowSelected();
    const bool administrator = FSession.Administrator;
    for (const TKivActionDef &def : KivActionDefs()) {
        bool enabled = true;
        switch (def.Action) {
        case TKivAction::VeiwInBox:
            enabled = FMessagesAllowed;
            break;
        case TKivAction::SendMessage:
            enabled = selected && FMessagesAllowed && !FSendMessageHeld;
            break;
        case TKivAction::Users:
        case TKivAction::Statuses:
        case TKivAction::Departments:
            enabled = administrator;
            break;
        case TKivAction::AddToAlertList:
            enabled = selected;
            break;
        default:
            break;
        }
        Action(def.Action)->setEnabled(enabled);
    }
}

void TfrmMain::SetExecuteHandler(TKivAction action, std::function<void()> handler)
{
    FHandlers[static_cast<std::size_t>(action)] = std::move(handler);
}

void TfrmMain::ExecuteAction(TKivAction action)
{
    // The state may have changed since the last update; decide afresh.
    ActionListUpdate();
    if (!Action(action)->isEnabled())
        return;
    // A copy: a handler may set another one for its action while it runs.
    if (const std::function<void()> handler = FHandlers[static_cast<std::size_t>(action)])
        ShowingErrors(handler);
}

void TfrmMain::SetSendMessageHeld(bool held)
{
    FSendMessageHeld = held;
    ActionListUpdate();
}

bool TfrmMain::NewMailAnimating() const
{
    return FTray->Animating();
}

void TfrmMain::StopNewMailAnimation()
{
    FTray->StopAnimation();
}

void TfrmMain::StTrayIconDblClick()
{
    if (FTrayDoubleClick)
        FTrayDoubleClick();
    RestoreFromTray();
}

void TfrmMain::lvMainDblClick()
{
    ExecuteAction(TKivAction::SendMessage);
}

void TfrmMain::CloseMain()
{
    FEnding = true;
    close();
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    if (!FEnding) {
        // The close box hides the window to the notification area; where the
        // desktop has none, it minimises, so the window can always be reached.
        event->ignore();
        if (FTray->Available())
            HideToTray();
        else
            showMinimized();
        return;
    }
    if (!FormCloseQuery()) {
        FEnding = false;
        event->ignore();
        return;
    }
    event->accept();
    FTray->Hide();
    FApp.Terminate();
}

void TfrmMain::FitMinimumSize()
{
    // Every toolbar button stays in sight at the narrowest width: the written
    // minimum, widened to the toolbar row as this desktop's style draws it.
    int row = 0;
    for (QToolBar *bar : findChildren<QToolBar *>(Qt::FindDirectChildrenOnly))
        if (toolBarArea(bar) == Qt::TopToolBarArea)
            row += bar->sizeHint().width();
    const QMargins margins = contentsMargins() + layout()->contentsMargins();
    setMinimumSize(MinimumSize().expandedTo(QSize(row + margins.left() + margins.right(), 0)));
}

void TfrmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        FitMinimumSize();
    if (event->type() == QEvent::WindowStateChange && isMinimized() && FTray->Available()) {
        // Hidden once the minimise has been handled by the window system,
        // unless the window has been brought back meanwhile.
        const unsigned restores = FRestores;
        QTimer::singleShot(0, this, [this, restores] {
            if (restores == FRestores && isVisible() && isMinimized() && FTray->Available())
                HideToTray();
        });
    }
}

void TfrmMain::HideToTray()
{
    FTray->Show();
    hide();
    // A window hidden while minimised would come back from the icon as a
    // minimised window, which the window system may iconify again as it maps
    // it (and this window then hides itself again): the first activation of
    // the icon seemed to do nothing. Hidden, it is a window in its normal state.
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
}

void TfrmMain::RestoreFromTray()
{
    ++FRestores;
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void TfrmMain::ListenForSecondStarts()
{
    FRaiseListener = std::make_unique<TRaiseListener>(RaiseSocketPath());
    if (!FRaiseListener->Listening()) {
        PrintErrorText("kiv", FRaiseListener->Error().toStdString() + "; a second start cannot bring Kiv to the front",
                       true);
        FRaiseListener.reset();
        return;
    }
    connect(FRaiseListener.get(), &TRaiseListener::RaiseRequested, this, [this](const QString &token) {
        // Before its first showing the window is on its way to the screen anyway.
        if (!FShownOnce || FEnding)
            return;
        // A Wayland desktop gives the focus only with the token of the start
        // the user made.
        if (!token.isEmpty())
            qputenv("XDG_ACTIVATION_TOKEN", token.toLatin1());
        RestoreFromTray();
        // A dialog the user left open stays in front of the window it belongs to.
        if (QWidget *modal = QApplication::activeModalWidget()) {
            modal->raise();
            modal->activateWindow();
        }
        emit RaisedBySecondStart();
    });
}

void TfrmMain::setVisible(bool visible)
{
    if (visible && !FShownOnce) {
        FShownOnce = true;
        if (QScreen *where = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(where->availableGeometry().center());
            move(frame.topLeft());
        }
        FTray->Show();
        QTimer::singleShot(0, this, &TfrmMain::FormActivate);
    }
    QMainWindow::setVisible(visible);
}

void TfrmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TfrmMain::FormResize()
{
    if (FBoard)
        FBoard->AutoSizeColumns();
}

void TfrmMain::contextMenuEvent(QContextMenuEvent *event)
{
    FPopMain->popup(event->globalPos());
    event->accept();
}

void TfrmMain::SetHolidayWording(bool useVacation)
{
    const TKivHolidayTexts texts = KivHolidayTexts(useVacation);
    actOnHoliday()->setText(QString::fromUtf8(texts.Caption));
    actOnHoliday()->setStatusTip(QString::fromUtf8(texts.Hint));
    actOnHoliday()->setToolTip(QString::fromUtf8(texts.Hint));
}

void TfrmMain::SetSplitterPosition(int position)
{
    const int total = qMax(FSplitter->width(), width());
    position = qBound(0, position, total);
    FSplitter->setSizes({position, qMax(0, total - position)});
}

int TfrmMain::SplitterPosition() const
{
    return FSplitter->sizes().value(0);
}

void TfrmMain::SetSplitterBarWidth(int width)
{
    width = qMax(0, width);
    FSplitter->setHandleWidth(width);
    // Without a bar the tree is hidden for good: Qt still lets a few pixels
    // of a bar of width 0 be grabbed, so the bar lets the mouse through to
    // the board instead.
    if (QSplitterHandle *bar = FSplitter->handle(1))
        bar->setAttribute(Qt::WA_TransparentForMouseEvents, width == 0);
}

int TfrmMain::SplitterBarWidth() const
{
    return FSplitter->handleWidth();
}

QStatusBar *TfrmMain::StatusBarMain() const
{
    return statusBar();
}

void TfrmMain::SetStatusText(const std::string &text)
{
    FStatusText = text;
    ShowStatusText();
}

void TfrmMain::SetBoardFault(const std::string &text)
{
    FBoardFault = text;
    ShowStatusText();
}

void TfrmMain::SetMessagesFault(const std::string &text)
{
    FMessagesFault = text;
    ShowStatusText();
}

void TfrmMain::ShowStatusText()
{
    const std::string &text = !FBoardFault.empty()      ? FBoardFault
                              : !FMessagesFault.empty() ? FMessagesFault
                              : !FAwayFault.empty()     ? FAwayFault
                                                        : FStatusText;
    statusBar()->showMessage(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

QString TfrmMain::StatusText() const
{
    return statusBar()->currentMessage();
}

void TfrmMain::SetTrayStatusImage(int imageIndex)
{
    FTray->SetImageIndex(imageIndex);
}
