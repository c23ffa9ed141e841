#include "dialogs/SelectDepartment.h"

#include "board/KivBoard.h"
#include "gui/BoardList.h"
#include "gui/BoardWindow.h"
#include "gui/DialogSupport.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>

namespace {

constexpr const char *kFilteredOn = "Kiv - Filtered on ";
constexpr const char *kAllDepartments = "Kiv - All Departments";

} // namespace

TfrmSelectDepartment::TfrmSelectDepartment(IBoardWindow &frmMain)
    : TKivDialog(&frmMain.Widget(), "frmSelectDepartment", QStringLiteral("Please select Department"), DesignSize(),
                 TFrame::Sizeable),
      FMain(frmMain)
{
    AddHelpKey(*this, "The_board");
    UseOwnersFont(*this);

    FList = new QListWidget(this);
    FList->setObjectName(QStringLiteral("ListBoxSelectDepartment"));
    FItems = std::make_unique<TListBoxItems>(*FList, true);
    // Arrow keys only browse the list: a department is chosen by a click on
    // it, by Enter or by OK, so the board is not refilled for every one passed.
    connect(FList, &QListWidget::itemClicked, this, &TfrmSelectDepartment::ListBoxSelectDepartmentClick);
    connect(FList, &QListWidget::itemActivated, this, &TfrmSelectDepartment::ListBoxSelectDepartmentClick);
    connect(FList, &QListWidget::itemSelectionChanged, this,
            [this] { FOk->setEnabled(FItems->SelectedData().has_value()); });

    FSelected = new QLineEdit(this);
    FSelected->setObjectName(QStringLiteral("txtSelectedDepartment"));
    FSelected->hide();

    FOk = new QPushButton(QStringLiteral("&OK"), this);
    FOk->setObjectName(QStringLiteral("btnOk"));
    FOk->setDefault(true);
    FOk->setEnabled(false);
    connect(FOk, &QPushButton::clicked, this, &TfrmSelectDepartment::ListBoxSelectDepartmentClick);

    FClose = new QPushButton(QStringLiteral("&Close"), this);
    FClose->setObjectName(QStringLiteral("btnClose"));
    FClose->setAutoDefault(false);
    connect(FClose, &QPushButton::clicked, this, &TfrmSelectDepartment::btnCloseClick);
}

void TfrmSelectDepartment::resizeEvent(QResizeEvent *event)
{
    TKivDialog::resizeEvent(event);
    FList->setGeometry(7, 7, width() - 13, height() - 51);
    FOk->setGeometry(width() - 161, height() - 33, 75, 25);
    FClose->setGeometry(width() - 80, height() - 33, 75, 25);
}

void TfrmSelectDepartment::keyPressEvent(QKeyEvent *event)
{
    // Esc is the Close button; only the window's close box leaves the
    // filter as it was.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        FClose->click();
        return;
    }
    TKivDialog::keyPressEvent(event);
}

void TfrmSelectDepartment::showEvent(QShowEvent *event)
{
    TKivDialog::showEvent(event);
    // Coming back from a minimised window is no new showing.
    TKivBoard *kiv = FMain.KivBoard();
    if (event->spontaneous() || kiv == nullptr)
        return;
    FFilling = true;
    ShowingErrors(FPrompter, [&] { kiv->Departments().FillDepartmentList(*FItems); });
    FList->clearSelection();
    FOk->setEnabled(false);
    FFilling = false;
}

void TfrmSelectDepartment::ListBoxSelectDepartmentClick()
{
    if (FFilling || !isVisible() || !FItems->SelectedData())
        return;
    // Closed first, so the board is refilled once the picker has gone.
    accept();
    TKivBoard *kiv = FMain.KivBoard();
    if (kiv == nullptr)
        return;
    // A department that cannot be read (erased meanwhile) is reported by the
    // read itself, and the board stays as it was: the choice is emptied
    // first, so an earlier department is never taken for the one clicked.
    FSelectedDepartment.clear();
    ShowingErrors(FPrompter, [&] { kiv->Departments().ReadDepartment(*FItems, FSelectedDepartment); });
    FSelected->setText(Shown(FSelectedDepartment));
    if (FSelectedDepartment.empty())
        return;
    FMain.Widget().setWindowTitle(QString::fromLatin1(kFilteredOn) + ShownIsolated(FSelectedDepartment));
    TKivDepartment &departments = kiv->Departments();
    departments.FilterDepartment = FSelectedDepartment;
    departments.FilterOn = true;
    ShowingErrors(FPrompter,
                  [&] { kiv->KivFile().FillBoardForDepartment(FMain.Board(), departments.FilterDepartment); });
}

void TfrmSelectDepartment::btnCloseClick()
{
    // Choosing a department closes the picker, so Close always comes with
    // nothing chosen, whatever the arrow keys passed over.
    TKivBoard *kiv = FMain.KivBoard();
    if (kiv != nullptr) {
        TKivDepartment &departments = kiv->Departments();
        departments.FilterDepartment.clear();
        FMain.Widget().setWindowTitle(QString::fromLatin1(kAllDepartments));
        departments.FilterOn = false;
        ShowingErrors(FPrompter, [&] { kiv->KivFile().FillBoard(FMain.Board()); });
    }
    reject();
}

void TfrmSelectDepartment::ExecuteFilterDepartment()
{
    exec();
}
