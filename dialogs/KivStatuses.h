// TfrmKivStatuses, "Administer Statuses": the office's status catalogue, to
// which an administrator adds, and in which they rename and delete, the
// office's own statuses. The fixed statuses can be neither renamed nor
// deleted; "Offline" is not listed.
#pragma once

#include "dialogs/CatalogueDialog.h"

class TfrmKivStatuses final : public TKivCatalogueDialog {
    Q_OBJECT
public:
    /// The dialog over the main window, whose board's catalogue it keeps.
    explicit TfrmKivStatuses(IBoardWindow &frmMain);

    QListWidget *lstStatuses() const { return List(); }
    QLineEdit *txtStatus() const { return Entry(); }

    static constexpr const char *HelpTopic = "Administer_statuses";

protected:
    void EnsureDataset(TKivBoard &board) override;
    void FillList(TKivBoard &board) override;
    void ReadSelected(TKivBoard &board, std::string &text) override;
    void Add(TKivBoard &board, const std::string &text) override;
    void Delete(TKivBoard &board, int32_t number) override;
    void Rename(TKivBoard &board, const std::string &oldText, const std::string &newText) override;
    /// The fixed statuses.
    bool Protected(const std::string &text) const override;
};
