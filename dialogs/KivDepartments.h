// TfrmKivDepartments, "Administer Departments": the office's department
// catalogue, which an administrator adds to, renames in and deletes from.
// Its Close button (and Esc) rebuilds the main window's department tree from
// the catalogue; the window's close box only closes the dialog.
#pragma once

#include "dialogs/CatalogueDialog.h"

class TfrmKivDepartments final : public TKivCatalogueDialog {
    Q_OBJECT
public:
    /// The dialog over the main window, whose board's catalogue it keeps and
    /// whose department tree it rebuilds.
    explicit TfrmKivDepartments(IBoardWindow &frmMain);

    QListWidget *lstDepartments() const { return List(); }
    QLineEdit *txtDepartment() const { return Entry(); }

    static constexpr const char *HelpTopic = "Administer_departments";

protected:
    void EnsureDataset(TKivBoard &board) override;
    void FillList(TKivBoard &board) override;
    void ReadSelected(TKivBoard &board, std::string &text) override;
    void Add(TKivBoard &board, const std::string &text) override;
    void Delete(TKivBoard &board, int32_t number) override;
    void Rename(TKivBoard &board, const std::string &oldText, const std::string &newText) override;
    /// Rebuilds the main window's department tree, then closes the dialog.
    void CloseExecute() override;
};
