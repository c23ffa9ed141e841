// What the two catalogue dialogs share, the statuses' and the departments':
// a sorted list of the entries, a field for a new or changed entry, the
// actions Add, Delete and Update in a column beside the list, and Help and
// Close along the bottom. Every action refills the list, which leaves it
// without a selection, so Delete and Update wait for the next click.
//
// A failed operation leaves its handler at once, without the refill, and is
// shown in an error box.
#pragma once

#include "gui/DialogSupport.h"
#include "gui/ItemLists.h"
#include "gui/KivDialog.h"
#include "gui/MessageBox.h"

#include <cstdint>
#include <string>

class IBoardWindow;
class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TKivBoard;

/// The texts and names by which the two dialogs differ.
struct TCatalogueWording {
    const char *ObjectName;
    const char *Caption;
    /// Object names of the list and of the entry field.
    const char *ListName;
    const char *EntryName;
    /// The label above the entry field.
    const char *Label;
    /// Bytes the entry field takes (UTF-8, as the record holds them).
    int MaxLength;
    /// The entry field's hint while it is empty; null for none.
    const char *Placeholder;
    /// The hints of Add, Delete and Update; null for none.
    const char *AddHint;
    const char *DeleteHint;
    const char *UpdateHint;
    /// The help topic of Help and F1.
    const char *HelpTopic;
    /// The start of the Delete question; the entry follows in double quotes.
    const char *DeleteQuestion;
};

class TKivCatalogueDialog : public TKivDialog {
    Q_OBJECT
public:
    /// The command that opens the dialog: shows it modally and returns once
    /// it is closed.
    void ShowModal();
    /// Decides which actions are enabled, as the idle update does.
    void UpdateActions();

    /// The hidden field holding the text of the entry last clicked, as read
    /// back from the dataset (empty when that read failed); it keeps it
    /// across refills and showings.
    QLineEdit *txtSelectedItem() const { return FSelected; }
    QLabel *lblEntry() const { return FLabel; }
    QAction *actAdd() const { return FActAdd; }
    QAction *actDelete() const { return FActDelete; }
    QAction *actUpdate() const { return FActUpdate; }
    QPushButton *btnAdd() const { return FAdd; }
    QPushButton *btnDelete() const { return FDelete; }
    QPushButton *btnUpdate() const { return FUpdate; }
    QPushButton *btnHelp() const { return FHelp; }
    QPushButton *btnClose() const { return FClose; }
    /// The list as the data classes fill it.
    TListBoxItems &Items() { return FItems; }

    static QSize DesignSize() { return {301, 282}; }

protected:
    TKivCatalogueDialog(IBoardWindow &frmMain, const TCatalogueWording &wording);

    QListWidget *List() const { return FList; }
    QLineEdit *Entry() const { return FEntry; }
    IBoardWindow &Main() const { return FMain; }
    IPrompter &Prompter() { return FPrompter; }

    // The catalogue's own operations.
    virtual void EnsureDataset(TKivBoard &board) = 0;
    virtual void FillList(TKivBoard &board) = 0;
    /// Sets text to the selected entry's, as stored; leaves it alone when
    /// nothing is selected.
    virtual void ReadSelected(TKivBoard &board, std::string &text) = 0;
    virtual void Add(TKivBoard &board, const std::string &text) = 0;
    virtual void Delete(TKivBoard &board, int32_t number) = 0;
    virtual void Rename(TKivBoard &board, const std::string &oldText, const std::string &newText) = 0;
    /// Whether an entry of this text may be neither renamed nor deleted.
    virtual bool Protected(const std::string &text) const;
    /// The Close button (and Esc): closes the dialog.
    virtual void CloseExecute();

    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void FormShow();
    void ListClick();
    void actAddExecute();
    void actDeleteExecute();
    void actUpdateExecute();
    void ShowHelp();

    IBoardWindow &FMain;
    const TCatalogueWording &FWording;
    TKivMessageBox FPrompter{this};
    QListWidget *FList;
    TListBoxItems FItems;
    QLabel *FLabel = nullptr;
    QLineEdit *FEntry = nullptr;
    QLineEdit *FSelected = nullptr;
    QAction *FActAdd = nullptr;
    QAction *FActDelete = nullptr;
    QAction *FActUpdate = nullptr;
    QPushButton *FAdd = nullptr;
    QPushButton *FDelete = nullptr;
    QPushButton *FUpdate = nullptr;
    QPushButton *FHelp = nullptr;
    QPushButton *FClose = nullptr;
};
