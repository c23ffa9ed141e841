// The main window's status commands, Refresh and the department tree: each
// fixed status stored for the signed-in user (or, for an administrator, the
// user of the selected row) under the busy cursor, and the board refilled.
#include "main/MainWindow.h"

#include "board/EngineCheck.h"
#include "board/KivBoard.h"
#include "gui/BoardList.h"
#include "platform/KivError.h"
#include "platform/Text.h"

#include <QApplication>
#include <QTreeWidget>

#include <exception>

namespace {

/// The root of the department tree, and the name that shows every department.
constexpr const char *kAllDepartmentsNode = "Departments";
constexpr const char *kAllDepartmentsCaption = "Kiv - All Departments";
constexpr const char *kFilteredCaption = "Kiv - Filtered on ";

const char *HolidayStatus(bool useVacation)
{
    return useVacation ? "On vacation" : "On holiday";
}

/// The busy cursor for as long as it lives, whichever way the scope is left.
class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor &) = delete;
    TBusyCursor &operator=(const TBusyCursor &) = delete;
};

} // namespace

void TfrmMain::BindCommands()
{
    for (const TKivStatusCommand &fixed : KivStatusCommands()) {
        const TKivAction action = fixed.Action;
        SetExecuteHandler(action, [this, action] { FixedStatusExecute(action); });
    }
    SetExecuteHandler(TKivAction::Refresh, [this] { actRefreshExecute(); });
    connect(FTree, &QTreeWidget::itemClicked, this, [this] { ShowingErrors([this] { tvMainClick(); }); });
    connect(&FUpdateTimer, &QTimer::timeout, this, &TfrmMain::tmrUpdateListViewTimer);
    connect(&FMessageTimer, &QTimer::timeout, this, &TfrmMain::tmrCheckForMessagesTimer);
    FSound = new TNewMessageSound(this);
}

void TfrmMain::ShowingErrors(const std::function<void()> &work)
{
    try {
        work();
    } catch (const EKivEngineMissing &) {
        // Its box has been shown and the program asked to end.
    } catch (const std::exception &error) {
        FPrompter.Show(error.what(), TMsgIcon::Error, TMsgButtons::Ok);
    }
}

void TfrmMain::FixedStatusExecute(TKivAction action)
{
    std::string status;
    for (const TKivStatusCommand &fixed : KivStatusCommands())
        if (fixed.Action == action)
            status = fixed.Stored;
    if (status.empty())
        return;

    // Only these two depend on the settings, read as they stand now.
    TKivSettings settings;
    if (action == TKivAction::OnHoliday || action == TKivAction::OutOfOffice) {
        FKivCB.ReadSettings(settings);
        if (action == TKivAction::OnHoliday)
            status = HolidayStatus(settings.UseVacation);
    }
    {
        TBusyCursor busy;
        StoreStatus(status);
    }
    // The normal cursor is back before the comment dialog opens over the
    // refilled board.
    if (action == TKivAction::OutOfOffice && settings.AutoComment)
        ExecuteAction(TKivAction::Comments);
}

void TfrmMain::actRefreshExecute()
{
    RefillBoard();
}

void TfrmMain::tvMainClick()
{
    const std::optional<std::string> node = DepartmentTree().SelectedText();
    if (!node || !FKiv)
        return;
    TKivDepartment &departments = FKiv->Departments();
    TKivFile &kiv = FKiv->KivFile();
    // The caption follows the filter at once, so the two agree even when the
    // refill fails.
    if (*node == kAllDepartmentsNode) {
        departments.FilterOn = false;
        setWindowTitle(QString::fromLatin1(kAllDepartmentsCaption));
        kiv.FillBoard(Board());
    } else {
        departments.FilterOn = true;
        departments.FilterDepartment = *node;
        const std::string isolated = Isolated(*node);
        setWindowTitle(QString::fromLatin1(kFilteredCaption)
                       + QString::fromUtf8(isolated.data(), static_cast<qsizetype>(isolated.size())));
        kiv.FillBoardForDepartment(Board(), *node);
    }
}
