// What the data classes touch of a front end, for a terminal: message boxes
// become lines on standard error, the status panel is kept for the command
// to report, and the lists the classes fill are collected for printing.
#pragma once

#include "board/Seams.h"
#include "platform/TerminalText.h"

#include <optional>
#include <string>
#include <vector>

/// Prints "kivctl: " and the terminal form of text on standard error.
void PrintError(const std::string &text);

/// Message boxes on standard error. kivctl never asks: a question is
/// answered No. An error or a warning box marks the command as failed.
class TTerminalPrompter : public IPrompter {
public:
    TMsgAnswer Show(const std::string &text, TMsgIcon icon, TMsgButtons buttons) override;
    /// An error or warning box has been shown.
    bool Failed() const { return FFailed; }

private:
    bool FFailed = false;
};

/// The program as a data class may end it: the request is kept, and the
/// command ends with exit status 1.
class TTerminalApp : public IAppControl {
public:
    void Terminate() override { FTerminated = true; }
    bool Terminated() const { return FTerminated; }

private:
    bool FTerminated = false;
};

/// The main window's status panel, kept so that a command can print it
/// where it explains a failure; there is no window and no tray icon.
class TTerminalHost : public IMainHost {
public:
    void SetStatusText(const std::string &text) override { FStatusText = text; }
    void SetSkipSignOff() override {}
    void SetTrayStatusImage(int) override {}
    /// The panel's text as the last operation left it.
    const std::string &StatusText() const { return FStatusText; }

private:
    std::string FStatusText;
};

/// The board list, collected: rows in the order they were filled, and one
/// selected row or none.
class TCollectedBoard : public IBoardList {
public:
    void BeginUpdate() override {}
    void EndUpdate() override {}
    void Clear() override;
    void AddRow(const TBoardRow &row) override { FRows.push_back(row); }
    void AutoSizeColumns() override {}
    std::optional<TBoardRow> SelectedRow() const override;
    int RowCount() const override { return int(FRows.size()); }
    TBoardRow Row(int index) const override { return FRows.at(std::size_t(index)); }

    /// The row of login, or nothing when it is not on the board.
    const TBoardRow *Find(const std::string &login) const;
    /// Selects the row of login; false when it is not on the board.
    bool Select(const std::string &login);
    /// Selects row, which need not be one of the filled rows.
    void SelectRow(const TBoardRow &row) { FSelected = row; }
    const std::vector<TBoardRow> &Rows() const { return FRows; }

private:
    std::vector<TBoardRow> FRows;
    std::optional<TBoardRow> FSelected;
};

/// A list or combo box, collected: captions in the order they came.
class TCollectedItems : public IItemList {
public:
    void BeginUpdate() override {}
    void EndUpdate() override {}
    void Clear() override { FCaptions.clear(); }
    void AddItem(const std::string &caption, int32_t) override { FCaptions.push_back(caption); }
    std::optional<int32_t> SelectedData() const override { return std::nullopt; }
    const std::vector<std::string> &Captions() const { return FCaptions; }

private:
    std::vector<std::string> FCaptions;
};

/// The in-box, collected: its rows newest first, its three panels and the
/// body of the message shown last.
class TCollectedInBox : public IInBox {
public:
    void BeginUpdate() override {}
    void EndUpdate() override {}
    void Clear() override { FRows.clear(); }
    void AddRow(const TInBoxRow &row) override { FRows.push_back(row); }
    void SetPanelText(int panel, const std::string &text) override;
    void SetMessageText(const std::string &text) override { FMessageText = text; }

    const std::vector<TInBoxRow> &Rows() const { return FRows; }
    /// The row of key, or nothing when it is not in the in-box.
    const TInBoxRow *Find(const std::string &key) const;
    const std::vector<std::string> &Panels() const { return FPanels; }
    const std::string &MessageText() const { return FMessageText; }

private:
    std::vector<TInBoxRow> FRows;
    std::vector<std::string> FPanels = std::vector<std::string>(3);
    std::string FMessageText;
};
