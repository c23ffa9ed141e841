// What the data classes touch of the windows. The Qt windows implement these
// over real widgets; the tests and kivctl implement them with plain objects.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class IClock;
class TSession;

enum class TMsgIcon { Information, Confirmation, Warning, Error };
enum class TMsgButtons { Ok, YesNo };
enum class TMsgAnswer { Ok, Yes, No };

/// Message boxes: a text, an icon and the buttons; the answer is the button.
class IPrompter {
public:
    virtual ~IPrompter() = default;
    virtual TMsgAnswer Show(const std::string &text, TMsgIcon icon, TMsgButtons buttons) = 0;
};

/// The running program, as far as a data class may end it.
class IAppControl {
public:
    virtual ~IAppControl() = default;
    /// Asks the program to end; the caller goes no further with any dataset.
    virtual void Terminate() = 0;
};

/// The parts of the main window that data operations write to.
class IMainHost {
public:
    virtual ~IMainHost() = default;
    /// Text of the first panel of the main status bar.
    virtual void SetStatusText(const std::string &text) = 0;
    /// The window is to close without signing the user off.
    virtual void SetSkipSignOff() = 0;
    /// The status image shown by the notification-area icon.
    virtual void SetTrayStatusImage(int imageIndex) = 0;
};

/// Everything a data class is given by its owner.
struct TBoardContext {
    TSession &Session;
    IPrompter &Prompter;
    IAppControl &App;
    IMainHost &Host;
    const IClock &Clock;
};

/// One row of the board: the User caption, then Status, Updated, Ext,
/// Department, the login ("PC Name") and Comments.
struct TBoardRow {
    enum SubItem { Status = 0, Updated = 1, Ext = 2, Department = 3, Login = 4, Comments = 5 };
    std::string Caption;
    std::array<std::string, 6> SubItems;
    int ImageIndex = 0;
    /// The Updated field as stored, which a back-at time is matched against.
    std::string StoredUpdated;
    /// The time the status ends, "14:30", or "14:30 (passed)" once it has
    /// passed while the user's copy is not running; empty for none.
    std::string Until;
    /// The time the user's copy of Kiv was last seen running, when it stopped
    /// without signing off; empty otherwise.
    std::string NotRunningSince;
};

/// The board list view.
class IBoardList {
public:
    virtual ~IBoardList() = default;
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    virtual void Clear() = 0;
    virtual void AddRow(const TBoardRow &row) = 0;
    /// Sizes every column but the login column to its header and contents.
    virtual void AutoSizeColumns() = 0;
    /// The selected row, if any.
    virtual std::optional<TBoardRow> SelectedRow() const = 0;
    virtual int RowCount() const = 0;
    virtual TBoardRow Row(int index) const = 0;
};

/// A list box or a combo box: captions with a number attached to each.
class IItemList {
public:
    virtual ~IItemList() = default;
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    virtual void Clear() = 0;
    virtual void AddItem(const std::string &caption, int32_t data) = 0;
    /// The number attached to the selected item, if one is selected.
    virtual std::optional<int32_t> SelectedData() const = 0;
};

/// One row of the in-box: the From caption, then Subject, Type (the State),
/// PrimaryKey (the record key, a hidden column) and Received.
struct TInBoxRow {
    enum SubItem { Subject = 0, Type = 1, PrimaryKey = 2, Received = 3 };
    std::string Caption;
    std::array<std::string, 4> SubItems;
};

/// The in-box window: its list of messages, the text pane below the list and
/// the three panels of its status bar.
class IInBox {
public:
    virtual ~IInBox() = default;
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    /// Removes every row.
    virtual void Clear() = 0;
    virtual void AddRow(const TInBoxRow &row) = 0;
    /// Text of panel 0, 1 or 2 of the in-box status bar.
    virtual void SetPanelText(int panel, const std::string &text) = 0;
    /// Text of the pane that shows the clicked message's body.
    virtual void SetMessageText(const std::string &text) = 0;
};

/// What the send/read dialog shows of one message in its read mode.
struct TReadMessage {
    /// The dialog's caption; "Read Message..." selects the read mode.
    std::string Caption;
    /// The message's record key, kept in the dialog's hidden field.
    std::string PrimaryKey;
    std::string FromName;
    std::string ToName;
    std::string Received;
    std::string Subject;
    std::string Body;
};

/// The send/read dialog, shown modally for one message to read.
class IReadDialog {
public:
    virtual ~IReadDialog() = default;
    /// Fills the dialog from message, shows it modally and returns once it is
    /// closed. Its own close handling marks the message old, unless its
    /// Delete has erased it.
    virtual void ShowModal(const TReadMessage &message) = 0;
};

/// The department tree: one root and its children.
class ITree {
public:
    virtual ~ITree() = default;
    virtual void Clear() = 0;
    virtual void AddRoot(const std::string &text) = 0;
    virtual void AddChild(const std::string &text) = 0;
};
