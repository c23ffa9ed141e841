// The commands of the main window: one table of their names, captions, hints,
// shortcuts, images and categories, from which the window builds its actions.
#pragma once

#include <QString>

#include <array>
#include <cstddef>

/// Every command of the main window, in the order of the action list.
enum class TKivAction : int {
    AtLunch,
    Available,
    AwayFromDesk,
    DND,
    GoneHome,
    InMeeting,
    OnHoliday,
    OutOfOffice,
    Sick,
    CustomStatus,
    BackAt,
    Comments,
    SendMessage,
    VeiwInBox,
    AddToAlertList,
    ClearAlertList,
    ViewAlertList,
    Users,
    Departments,
    Statuses,
    Settings,
    FilterDepartment,
    Refresh,
    HelpOnKiv,
    HelpAbout,
    FileExit,
};

inline constexpr std::size_t KivActionCount = static_cast<std::size_t>(TKivAction::FileExit) + 1;

/// How one command looks: its object name, caption, hint, shortcut (in the
/// portable text form, empty for none), image index into the small image list
/// (-1 for none) and category (empty for none).
struct TKivActionDef {
    TKivAction Action;
    const char *Name;
    const char *Caption;
    const char *Hint;
    const char *Shortcut;
    int ImageIndex;
    const char *Category;
};

/// The definition of one command.
const TKivActionDef &KivActionDef(TKivAction action);

/// The definitions of all commands, in action-list order.
const std::array<TKivActionDef, KivActionCount> &KivActionDefs();

/// A fixed-status command and the status it stores. The holiday command's
/// status depends on the office's wording and is decided at each use.
struct TKivStatusCommand {
    TKivAction Action;
    const char *Stored;
};
inline constexpr std::size_t KivStatusCommandCount = 9;

/// The fixed-status commands (At Lunch to Sick) in the order the menus,
/// the toolbar and the board's menu list them: the one place to add one.
const std::array<TKivStatusCommand, KivStatusCommandCount> &KivStatusCommands();

/// Caption and hint of the holiday command, which depend on whether the
/// office speaks of vacations or of holidays.
struct TKivHolidayTexts {
    const char *Caption;
    const char *Hint;
};
TKivHolidayTexts KivHolidayTexts(bool useVacation);
