#include "dialogs/KivDepartments.h"

#include "board/KivBoard.h"
#include "gui/BoardList.h"
#include "gui/BoardWindow.h"

namespace {

const TCatalogueWording kDepartmentWording{
    "frmKivDepartments",
    "Administer Departments",
    "lstDepartments",
    "txtDepartment",
    "Type Department...",
    int(DepartmentRecord::DepartmentName.Width - 1),
    "Please type here",
    "Add department",
    "Delete department",
    "Update department",
    TfrmKivDepartments::HelpTopic,
    "Are you sure you want to delete the Department ",
};

} // namespace

TfrmKivDepartments::TfrmKivDepartments(IBoardWindow &frmMain) : TKivCatalogueDialog(frmMain, kDepartmentWording) {}

void TfrmKivDepartments::EnsureDataset(TKivBoard &board)
{
    board.Departments().EnsureDepartmentDataset();
}

void TfrmKivDepartments::FillList(TKivBoard &board)
{
    board.Departments().FillDepartmentList(Items());
}

void TfrmKivDepartments::ReadSelected(TKivBoard &board, std::string &text)
{
    if (const std::optional<int32_t> number = Items().SelectedData())
        board.Departments().ReadSelectedDepartment(*number, text);
}

void TfrmKivDepartments::Add(TKivBoard &board, const std::string &text)
{
    board.Departments().AddDepartment(text);
}

void TfrmKivDepartments::Delete(TKivBoard &board, int32_t number)
{
    board.Departments().DeleteDepartment(number);
}

void TfrmKivDepartments::Rename(TKivBoard &board, const std::string &oldText, const std::string &newText)
{
    board.Departments().UpdateDepartment(oldText, newText);
}

void TfrmKivDepartments::CloseExecute()
{
    TKivBoard *board = Main().KivBoard();
    if (board != nullptr
        && !ShowingErrors(Prompter(), [&] { board->Departments().FillDepartmentTree(Main().DepartmentTree()); }))
        return;
    TKivCatalogueDialog::CloseExecute();
}
