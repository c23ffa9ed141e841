// The board window as the dialogs opened over it see it: the board it works
// on, its list and tree, its status bar, its polling timers and the new-mail
// animation of its notification-area icon. The dialogs sit below the main
// window and reach it only through this.
#pragma once

#include "gui/TimerPause.h"

#include <string>

class QStatusBar;
class QTreeWidget;
class QWidget;
class TBoardListView;
class TDepartmentTreeView;
class TKivBoard;
class TKivImageList;

class IBoardWindow : public ITimerPause {
public:
    /// The window itself: the owner of the dialogs, whose caption names the
    /// department the board is filtered on.
    virtual QWidget &Widget() = 0;
    /// The board the window works on; null until a start has created it.
    virtual TKivBoard *KivBoard() const = 0;
    /// The program is ending: the window is closing for real.
    virtual bool Ending() const = 0;

    /// The board and the tree as the data classes write to them, and the
    /// board's widget (its focused row).
    virtual TBoardListView &Board() const = 0;
    virtual TDepartmentTreeView &DepartmentTree() const = 0;
    virtual QTreeWidget *lvMain() const = 0;
    /// The command and status images.
    virtual const TKivImageList &imgSmallPics() const = 0;

    /// Refills the board as every refill does (the department filter holds).
    virtual void RefillBoard() = 0;
    /// Stores a status as a status command does, then refills the board.
    virtual void StoreStatus(const std::string &status) = 0;

    /// Text of the first panel of the status bar, and the bar itself.
    virtual void SetStatusText(const std::string &text) = 0;
    virtual QStatusBar *StatusBarMain() const = 0;

    /// While held, Send Message stays disabled: a message window is up.
    virtual void SetSendMessageHeld(bool held) = 0;
    /// The notification-area icon's new-mail animation: whether it runs, and
    /// stopping it once no new message is waiting.
    virtual bool NewMailAnimating() const = 0;
    virtual void StopNewMailAnimation() = 0;
};
