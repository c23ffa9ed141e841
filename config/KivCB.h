// The settings block: the 46 values every workstation keeps for itself in the
// current user's settings store, under the key "\Software\Brackwater\Kiv".
// Nothing keeps them in memory between uses: whoever needs a setting loads
// the whole block, and whoever changes one loads, changes and saves it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

/// The settings key of the block.
inline constexpr const char *kKivSettingsKey = "\\Software\\Brackwater\\Kiv";

/// The longest text of most text settings, and of ShutDownStatus.
inline constexpr std::size_t kSettingTextMax = 255;
inline constexpr std::size_t kShutDownStatusMax = 50;

/// What the settings dialog lets a user choose, and so what a load accepts:
/// the two periods in seconds, the board's font sizes in points and its colour
/// (0x00BBGGRR).
inline constexpr int32_t kDisplayUpdateMin = 10, kDisplayUpdateMax = 360;
inline constexpr int32_t kCheckMessagesMin = 10, kCheckMessagesMax = 180;
inline constexpr std::array<int32_t, 4> kMainFontSizes{8, 10, 12, 14};
inline constexpr int32_t kMainFontColourMax = 0xFFFFFF;
/// Minutes without keyboard or mouse before the user is shown away (0: never),
/// and the longest status the users dataset keeps, which the away status is.
inline constexpr int32_t kAwayIdleMin = 0, kAwayIdleMax = 480;
inline constexpr std::size_t kAwayStatusMax = 30;

/// Every per-workstation setting, each under a value of the same name.
struct TKivSettings {
    int32_t CheckForNewMsgEvery = 0; ///< seconds between checks for new messages
    bool FirstTimeRun = false;       ///< the start-with-logon question is still to be asked
    std::string KivDBasePath;        ///< board database folder, with a trailing separator
    bool PlayWavForNewMsg = false;   ///< play a wave file instead of a beep for a new message
    bool ShowOfflineUsers = false;   ///< the board lists users who are "Offline"
    bool SortListView = false;       ///< the board is sorted by its first column
    int32_t UpdateDisplayTime = 0;   ///< seconds between checks for board changes
    bool UseVacation = false;        ///< "On vacation" instead of "On holiday"
    std::string WavToPlayForNewMsgs; ///< the wave file for new messages
    bool DisplayDepartments = false; ///< the department tree is shown beside the board
    bool ConfirmShutDown = false;    ///< carried only
    bool MiniView = false;           ///< carried only
    bool ClearCommentOnSD = false;   ///< clear the user's comment at shutdown
    bool ChangeStatusOnSD = false;   ///< set the user's status at shutdown
    std::string ShutDownStatus;      ///< the status set at shutdown
    bool AutoComment = false;        ///< open the comment dialog after "Out of office"
    int32_t MainHeight = 0;          ///< main window geometry
    int32_t MainLeft = 0;
    int32_t MainTop = 0;
    int32_t MainWidth = 0;
    int32_t SplitterPos = 0;    ///< width of the department tree pane
    int32_t MainFontSize = 0;   ///< board font size in points
    int32_t MainFontColour = 0; ///< board font colour, 0x00BBGGRR
    bool ShowGrid = false;      ///< grid lines on the board
    int32_t CustomHeight = 0;   ///< status picker geometry
    int32_t CustomLeft = 0;
    int32_t CustomTop = 0;
    int32_t CustomWidth = 0;
    // The page group, carried only.
    std::string Info1;
    std::string Info2;
    std::string ThisPage;
    std::string HTMLLocation;
    bool AutoUpdateInBrowser = false;
    int32_t FontSize = 0;
    int32_t NameWidth = 0;
    int32_t StatusWidth = 0;
    int32_t ExtWidth = 0;
    int32_t DepartmentWidth = 0;
    int32_t CommentsWidth = 0;
    int32_t GenerateHTMLEvery = 0;
    int32_t TableBoader = 0;
    int32_t CellPadding = 0;
    int32_t CellSpacing = 0;
    // Away: what Kiv stores for the user while they are not at the desk.
    bool AwayWhenLocked = false;      ///< away while the screen is locked
    int32_t AwayAfterIdleMinutes = 0; ///< away after this many idle minutes; 0 never
    std::string AwayStatus;           ///< the status stored while away

    friend bool operator==(const TKivSettings &, const TKivSettings &) = default;
};

/// Fills, loads and saves settings blocks; it keeps no state of its own.
class TKivCB {
public:
    /// Sets every field to its default.
    void SetDefaults(TKivSettings &settings) const;
    /// Loads the block from the settings key; a value that is missing, of the wrong
    /// kind or (for a text) empty gets its default, which is written back where it
    /// differs from what is stored (nothing changed, the file is left alone). A
    /// value outside what the settings dialog allows is brought into its range
    /// (the file keeps it until the next save), and said once per process on
    /// standard error (SettingsNotice keeps what was said). Raises EKivError,
    /// naming the file and the reason, leaving settings as they were, when the
    /// key cannot be opened or the store fails.
    void ReadSettings(TKivSettings &settings) const;
    /// Saves every field to the settings key; raises EKivError, writing nothing, when
    /// the key cannot be opened or the store fails.
    void WriteSettings(const TKivSettings &settings) const;
};

/// What the loads of this process have said about values they did not take
/// ("" when nothing): for the status bar at start.
std::string SettingsNotice();

/// The board folder as the settings block names it: each call loads the block
/// afresh and answers its KivDBasePath, raising EKivError as ReadSettings does.
/// What the program hands a board data class that follows the settings.
std::function<std::string()> SettingsBoardFolder();
