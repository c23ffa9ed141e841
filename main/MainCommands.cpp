// The main window's status commands, Refresh and the department tree: each
// fixed status stored for the signed-in user (or, for an administrator, the
// user of the selected row) under the busy cursor, and the board refilled.
#include "main/MainWindow.h"

#include "board/EngineCheck.h"
#include "board/KivBoard.h"
#include "gui/BoardList.h"
#include "platform/Clock.h"
#include "platform/KivError.h"
#include "platform/Text.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

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
    SetExecuteHandler(TKivAction::BackAt, [this] { actBackAtExecute(); });
    connect(FTree, &QTreeWidget::itemClicked, this, [this] { ShowingErrors([this] { tvMainClick(); }); });
    connect(&FUpdateTimer, &QTimer::timeout, this, &TfrmMain::tmrUpdateListViewTimer);
    connect(&FMessageTimer, &QTimer::timeout, this, &TfrmMain::tmrCheckForMessagesTimer);
    connect(&FPresenceTimer, &QTimer::timeout, this, &TfrmMain::tmrPresenceTimer);
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

void TfrmMain::actBackAtExecute()
{
    if (!FPresence || !FKiv)
        return;
    const std::time_t now = FKiv->Context().Clock.Now();
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("frmBackAt"));
    dialog.setWindowTitle(QStringLiteral("Back at..."));
    auto *label = new QLabel(QStringLiteral("My status ends at:"), &dialog);
    auto *time = new QTimeEdit(&dialog);
    time->setObjectName(QStringLiteral("tedBackAt"));
    time->setDisplayFormat(QStringLiteral("HH:mm"));
    // An hour on, at the next half hour.
    const QDateTime offered = QDateTime::fromSecsSinceEpoch(qint64(now) + 3600);
    const QTime at = offered.time();
    time->setTime(QTime(at.hour(), at.minute() < 30 ? 30 : 0).addSecs(at.minute() < 30 ? 0 : 3600));
    label->setBuddy(time);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(time);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted || !FPresence || FEnding)
        return;
    // A time earlier than now is tomorrow's.
    const QTime chosen = time->time();
    FPresence->SetBackAt(NextLocalTime(chosen.hour(), chosen.minute(), FKiv->Context().Clock.Now()));
    RefillBoard();
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
