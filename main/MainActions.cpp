#include "main/MainActions.h"

namespace {

constexpr const char *StatusesCategory = "Statuses";
constexpr const char *AdministratorsCategory = "Administrators";

// The holiday command starts with the caption the menus are laid out with;
// start-up sets the office's own wording with KivHolidayTexts.
constexpr std::array<TKivActionDef, KivActionCount> Defs{{
    {TKivAction::AtLunch, "actAtLunch", "At Lunch", "I've gone to lunch", "Ctrl+L", 0, StatusesCategory},
    {TKivAction::Available, "actAvailable", "Available", "I'm available", "Ctrl+A", 1, StatusesCategory},
    {TKivAction::AwayFromDesk, "actAwayFromDesk", "Away From Desk", "I'm away from my desk", "Ctrl+W", 2,
     StatusesCategory},
    {TKivAction::DND, "actDND", "Do Not Disturb!", "Do Not Disturb!", "Ctrl+D", 3, StatusesCategory},
    {TKivAction::GoneHome, "actGoneHome", "Gone Home", "I've gone home!", "Ctrl+G", 4, StatusesCategory},
    {TKivAction::InMeeting, "actInMeeting", "In Meeting", "I'm in a meeting", "Ctrl+M", 5, StatusesCategory},
    {TKivAction::OnHoliday, "actOnHoliday", "On Holiday", "I'm on holiday", "Ctrl+H", 6, StatusesCategory},
    {TKivAction::OutOfOffice, "actOutOfOffice", "Out Of Office", "I'm out", "Ctrl+O", 7, StatusesCategory},
    {TKivAction::Sick, "actSick", "Sick", "I'm off sick", "Ctrl+K", 10, StatusesCategory},
    {TKivAction::CustomStatus, "actCustomStatus", "Custom Status...", "Choose other status...", "Ctrl+C", 9,
     StatusesCategory},
    {TKivAction::BackAt, "actBackAt", "Back at...", "Say when my status ends...", "", -1, StatusesCategory},
    {TKivAction::Comments, "actComments", "Comment...", "Add a comment...", "Ctrl+T", 12, ""},
    {TKivAction::SendMessage, "actSendMessage", "Send Message...", "", "", 18, ""},
    {TKivAction::VeiwInBox, "actVeiwInBox", "View My &InBox", "View my InBox", "", 21, ""},
    {TKivAction::AddToAlertList, "actAddToAlertList", "Alert on status change", "Add user to my Alert list", "", 26,
     ""},
    {TKivAction::ClearAlertList, "actClearAlertList", "Clear alert list...", "Remove all users from your alert list",
     "", -1, ""},
    {TKivAction::ViewAlertList, "actViewAlertList", "View alerts", "View alert list", "", -1, ""},
    {TKivAction::Users, "actUsers", "Users...", "Administer Users", "", 15, AdministratorsCategory},
    {TKivAction::Departments, "actDepartments", "Departments...", "Administer Departments", "", 16,
     AdministratorsCategory},
    {TKivAction::Statuses, "actStatuses", "Statuses...", "Administer Statuses", "", 17, AdministratorsCategory},
    {TKivAction::Settings, "actSettings", "Settings...", "Display your settings", "Ctrl+S", 14, ""},
    {TKivAction::FilterDepartment, "actFilterDepartment", "Filter on Department", "Filter on Department", "", 22, ""},
    {TKivAction::Refresh, "actRefresh", "Refresh", "Refresh", "F5", 23, ""},
    {TKivAction::HelpOnKiv, "actHelpOnKiv", "Help on Kiv", "", "F1", 24, ""},
    {TKivAction::HelpAbout, "actHelpAbout", "About", "About Kiv", "", -1, ""},
    {TKivAction::FileExit, "actFileExit", "E&xit Kiv", "Exit Kiv", "Ctrl+X", 8, StatusesCategory},
}};

// The table is indexed by the enumeration, so its rows must follow it.
constexpr bool InEnumOrder()
{
    for (std::size_t i = 0; i < Defs.size(); ++i)
        if (static_cast<std::size_t>(Defs[i].Action) != i)
            return false;
    return true;
}
static_assert(InEnumOrder(), "action rows out of order");

constexpr std::array<TKivStatusCommand, KivStatusCommandCount> StatusCommands{{
    {TKivAction::AtLunch, "At lunch"},
    {TKivAction::Available, "Available"},
    {TKivAction::AwayFromDesk, "Away from desk"},
    {TKivAction::DND, "DND"},
    {TKivAction::GoneHome, "Gone home"},
    {TKivAction::InMeeting, "In meeting"},
    {TKivAction::OnHoliday, "On holiday"},
    {TKivAction::OutOfOffice, "Out of office"},
    {TKivAction::Sick, "Off sick"},
}};

} // namespace

const std::array<TKivStatusCommand, KivStatusCommandCount> &KivStatusCommands()
{
    return StatusCommands;
}

const std::array<TKivActionDef, KivActionCount> &KivActionDefs()
{
    return Defs;
}

const TKivActionDef &KivActionDef(TKivAction action)
{
    return Defs[static_cast<std::size_t>(action)];
}

TKivHolidayTexts KivHolidayTexts(bool useVacation)
{
    if (useVacation)
        return {"On Vacation", "I'm on vacation"};
    return {"On holiday", "I'm on holiday"};
}
