// Plain stand-ins for what the windows give the data classes: message boxes
// that record what they were asked to show, an application that records the
// request to end, a main window that records its status bar, a fixed clock,
// list and combo boxes, the board list, the department tree, the in-box and
// the read dialog.
#pragma once

#include "board/Seams.h"
#include "board/Session.h"
#include "platform/Clock.h"

#include <array>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct TShownBox {
    std::string Text;
    TMsgIcon Icon;
    TMsgButtons Buttons;
};

class TFakePrompter : public IPrompter {
public:
    TMsgAnswer Show(const std::string &text, TMsgIcon icon, TMsgButtons buttons) override
    {
        Shown.push_back({text, icon, buttons});
        return buttons == TMsgButtons::Ok ? TMsgAnswer::Ok : Answer;
    }
    std::vector<TShownBox> Shown;
    TMsgAnswer Answer = TMsgAnswer::No;
};

class TFakeApp : public IAppControl {
public:
    void Terminate() override { ++Terminations; }
    int Terminations = 0;
};

class TFakeHost : public IMainHost {
public:
    void SetStatusText(const std::string &text) override { StatusTexts.push_back(text); }
    void SetSkipSignOff() override { SkipSignOff = true; }
    void SetTrayStatusImage(int imageIndex) override { TrayImage = imageIndex; }
    std::vector<std::string> StatusTexts;
    bool SkipSignOff = false;
    int TrayImage = -1;
};

class TFixedClock : public IClock {
public:
    std::time_t Now() const override { return Moment; }
    std::time_t Moment = 1733650000; // a Sunday in December 2024
};

/// A list or combo box that keeps its items in the order they came. Trace
/// records the calls in order: "[" suspend repainting, "c" clear, "+" add,
/// "]" resume.
class TFakeItemList : public IItemList {
public:
    struct TItem {
        std::string Caption;
        int32_t Data;
        friend bool operator==(const TItem &, const TItem &) = default;
    };

    void BeginUpdate() override { Trace += '['; }
    void EndUpdate() override { Trace += ']'; }
    void Clear() override
    {
        Items.clear();
        Selected.reset();
        Trace += 'c';
    }
    void AddItem(const std::string &caption, int32_t data) override
    {
        if (FailAtAdd && int(Items.size()) + 1 == *FailAtAdd)
            throw std::runtime_error("the list refused an item");
        Items.push_back({caption, data});
        Trace += '+';
    }
    std::optional<int32_t> SelectedData() const override
    {
        if (!Selected)
            return std::nullopt;
        return Items.at(*Selected).Data;
    }

    /// Selects the first item of caption; false when there is none.
    bool Select(const std::string &caption)
    {
        for (std::size_t i = 0; i < Items.size(); ++i)
            if (Items[i].Caption == caption) {
                Selected = i;
                return true;
            }
        return false;
    }
    std::vector<std::string> Captions() const
    {
        std::vector<std::string> captions;
        for (const TItem &item : Items)
            captions.push_back(item.Caption);
        return captions;
    }

    std::vector<TItem> Items;
    std::optional<std::size_t> Selected;
    std::string Trace;
    /// The item (counted from 1) whose adding throws, as a failing widget might.
    std::optional<int> FailAtAdd;
};

/// The board list view: rows in the order they came, one selected row or
/// none. Trace records the calls in order: "[" suspend repainting, "c" delete
/// all rows, "+" add a row, "w" size the columns, "]" resume.
class TFakeBoardList : public IBoardList {
public:
    void BeginUpdate() override { Trace += '['; }
    void EndUpdate() override { Trace += ']'; }
    void Clear() override
    {
        Rows.clear();
        Selected.reset();
        Trace += 'c';
    }
    void AddRow(const TBoardRow &row) override
    {
        if (FailAtAdd && int(Rows.size()) + 1 == *FailAtAdd)
            throw std::runtime_error("the list refused a row");
        Rows.push_back(row);
        Trace += '+';
    }
    void AutoSizeColumns() override { Trace += 'w'; }
    std::optional<TBoardRow> SelectedRow() const override
    {
        if (!Selected)
            return std::nullopt;
        return Rows.at(*Selected);
    }
    int RowCount() const override { return int(Rows.size()); }
    TBoardRow Row(int index) const override { return Rows.at(std::size_t(index)); }

    /// Selects the row of login; false when there is none.
    bool Select(const std::string &login)
    {
        for (std::size_t i = 0; i < Rows.size(); ++i)
            if (Rows[i].SubItems[TBoardRow::Login] == login) {
                Selected = i;
                return true;
            }
        return false;
    }
    /// The logins of the rows, in order.
    std::vector<std::string> Logins() const
    {
        std::vector<std::string> logins;
        for (const TBoardRow &row : Rows)
            logins.push_back(row.SubItems[TBoardRow::Login]);
        return logins;
    }

    std::vector<TBoardRow> Rows;
    std::optional<std::size_t> Selected;
    std::string Trace;
    /// The row (counted from 1) whose adding throws, as a failing widget might.
    std::optional<int> FailAtAdd;
};

/// The department tree: the root's text and its children's, in order.
class TFakeTree : public ITree {
public:
    void Clear() override
    {
        Roots.clear();
        Children.clear();
    }
    void AddRoot(const std::string &text) override { Roots.push_back(text); }
    void AddChild(const std::string &text) override
    {
        if (Roots.empty())
            throw std::logic_error("a child without a root");
        Children.push_back(text);
    }
    std::vector<std::string> Roots;
    std::vector<std::string> Children;
};

/// The in-box: rows in the order they came, the three status-bar panels and
/// the text pane. Trace records the list's calls in order: "[" suspend
/// repainting, "c" remove all rows, "+" add a row, "]" resume.
class TFakeInBox : public IInBox {
public:
    void BeginUpdate() override { Trace += '['; }
    void EndUpdate() override { Trace += ']'; }
    void Clear() override
    {
        Rows.clear();
        Trace += 'c';
    }
    void AddRow(const TInBoxRow &row) override
    {
        Rows.push_back(row);
        Trace += '+';
    }
    void SetPanelText(int panel, const std::string &text) override { Panels.at(std::size_t(panel)) = text; }
    void SetMessageText(const std::string &text) override { MessageText = text; }

    /// The rows' texts of one sub-item, in order.
    std::vector<std::string> Column(TInBoxRow::SubItem item) const
    {
        std::vector<std::string> texts;
        for (const TInBoxRow &row : Rows)
            texts.push_back(row.SubItems[item]);
        return texts;
    }

    std::vector<TInBoxRow> Rows;
    std::array<std::string, 3> Panels{"New messages =", "Old messages =", "Total messages ="};
    std::string MessageText;
    std::string Trace;
};

/// The read dialog: records every message it was shown and runs Close, the
/// dialog's own close handling, before it returns.
class TFakeReadDialog : public IReadDialog {
public:
    void ShowModal(const TReadMessage &message) override
    {
        Shown.push_back(message);
        if (Close)
            Close(message);
    }
    std::vector<TReadMessage> Shown;
    std::function<void(const TReadMessage &)> Close;
};

/// One workstation's worth of fakes, and the context made of them.
struct TFakeBoard {
    TSession Session;
    TFakePrompter Prompter;
    TFakeApp App;
    TFakeHost Host;
    TFixedClock Clock;
    TBoardContext Ctx{Session, Prompter, App, Host, Clock};
};
