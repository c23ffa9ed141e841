#include "config/KivCB.h"

#include "config/XRegistry.h"
#include "platform/Files.h"
#include "platform/KivError.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <variant>
#include <vector>

namespace {

constexpr const char *kUnableToOpen = "Unable to open the Kiv registry key";

using TIntField = int32_t TKivSettings::*;
using TBoolField = bool TKivSettings::*;
using TTextField = std::string TKivSettings::*;

/// One setting: its value name, its field, its default and, for a text, its longest length.
struct TSetting {
    const char *Name;
    std::variant<TIntField, TBoolField, TTextField> Field;
    std::variant<int32_t, bool, const char *> Default;
    std::size_t MaxLength = 0;
    /// The name the save writes, where it differs in letter case from the load's.
    const char *SaveName = nullptr;
};

// Every setting, in the order the block is loaded and saved.
const std::array<TSetting, 46> kSettings{{
    {"CheckForNewMsgEvery", &TKivSettings::CheckForNewMsgEvery, 10},
    {"FirstTimeRun", &TKivSettings::FirstTimeRun, true},
    {"KivDBasePath", &TKivSettings::KivDBasePath, "", kSettingTextMax},
    {"PlayWavForNewMsg", &TKivSettings::PlayWavForNewMsg, false},
    {"ShowOfflineUsers", &TKivSettings::ShowOfflineUsers, true},
    {"SortListView", &TKivSettings::SortListView, true},
    {"UpdateDisplayTime", &TKivSettings::UpdateDisplayTime, 10},
    {"UseVacation", &TKivSettings::UseVacation, true},
    {"WavToPlayForNewMsgs", &TKivSettings::WavToPlayForNewMsgs, "", kSettingTextMax},
    {"ShutDownStatus", &TKivSettings::ShutDownStatus, "Offline", kShutDownStatusMax},
    {"ConfirmShutDown", &TKivSettings::ConfirmShutDown, false},
    {"MiniView", &TKivSettings::MiniView, false},
    {"ClearCommentOnSD", &TKivSettings::ClearCommentOnSD, true},
    {"ChangeStatusOnSD", &TKivSettings::ChangeStatusOnSD, true},
    {"DisplayDepartments", &TKivSettings::DisplayDepartments, true},
    {"AutoComment", &TKivSettings::AutoComment, true},
    {"MainHeight", &TKivSettings::MainHeight, 405},
    {"MainLeft", &TKivSettings::MainLeft, 237},
    {"MainTop", &TKivSettings::MainTop, 184},
    {"MainWidth", &TKivSettings::MainWidth, 484},
    {"SplitterPos", &TKivSettings::SplitterPos, 87},
    {"MainFontColour", &TKivSettings::MainFontColour, 16711680},
    {"MainFontSize", &TKivSettings::MainFontSize, 10},
    {"ShowGrid", &TKivSettings::ShowGrid, false},
    {"CustomHeight", &TKivSettings::CustomHeight, 289},
    {"CustomLeft", &TKivSettings::CustomLeft, 240},
    {"CustomTop", &TKivSettings::CustomTop, 118},
    {"CustomWidth", &TKivSettings::CustomWidth, 242},
    {"Info1", &TKivSettings::Info1, "Company Name", kSettingTextMax},
    {"Info2", &TKivSettings::Info2, "Additional information...", kSettingTextMax, "info2"},
    {"ThisPage", &TKivSettings::ThisPage, "This page is updated every", kSettingTextMax},
    {"GenerateHTMLEvery", &TKivSettings::GenerateHTMLEvery, 30},
    {"HTMLLocation", &TKivSettings::HTMLLocation, "", kSettingTextMax},
    {"AutoUpdateInBrowser", &TKivSettings::AutoUpdateInBrowser, false},
    {"FontSize", &TKivSettings::FontSize, 3},
    {"NameWidth", &TKivSettings::NameWidth, 185},
    {"StatusWidth", &TKivSettings::StatusWidth, 100},
    {"ExtWidth", &TKivSettings::ExtWidth, 35},
    {"DepartmentWidth", &TKivSettings::DepartmentWidth, 150},
    {"CommentsWidth", &TKivSettings::CommentsWidth, 150},
    {"TableBoader", &TKivSettings::TableBoader, 1},
    {"CellPadding", &TKivSettings::CellPadding, 1},
    {"CellSpacing", &TKivSettings::CellSpacing, 1},
    {"AwayWhenLocked", &TKivSettings::AwayWhenLocked, true},
    {"AwayAfterIdleMinutes", &TKivSettings::AwayAfterIdleMinutes, 10},
    {"AwayStatus", &TKivSettings::AwayStatus, "Away from desk", kAwayStatusMax},
}};

/// The key, opened (and created when missing) or EKivError saying which file
/// and why.
void OpenSettingsKey(TXRegistry &registry)
{
    if (!registry.OpenKey(kKivSettingsKey, true))
        throw EKivError(std::string(kUnableToOpen) + ": " + registry.LastError());
}

/// A setting the dialog keeps within a range.
struct TRange {
    const char *Name;
    TIntField Field;
    int32_t Min;
    int32_t Max;
};
const std::array<TRange, 4> kRanges{{
    {"UpdateDisplayTime", &TKivSettings::UpdateDisplayTime, kDisplayUpdateMin, kDisplayUpdateMax},
    {"CheckForNewMsgEvery", &TKivSettings::CheckForNewMsgEvery, kCheckMessagesMin, kCheckMessagesMax},
    {"MainFontColour", &TKivSettings::MainFontColour, 0, kMainFontColourMax},
    {"AwayAfterIdleMinutes", &TKivSettings::AwayAfterIdleMinutes, kAwayIdleMin, kAwayIdleMax},
}};

// What the loads of this process said about values they did not take: each
// file's value once.
std::mutex gToldLock;
std::set<std::string> gTold;
std::string gNotice;

void Tell(const std::vector<std::string> &what)
{
    if (what.empty())
        return;
    const std::string file = TSettingsStore::FileForKey(kKivSettingsKey, ConfigFolder());
    std::lock_guard<std::mutex> guard(gToldLock);
    for (const std::string &w : what) {
        const std::string text = "The settings file " + file + ": " + w;
        if (!gTold.insert(text).second)
            continue;
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, text.c_str());
        gNotice += (gNotice.empty() ? "" : " ") + text;
    }
}

/// Brings the values the dialog limits into what it allows; what was not
/// taken, in words.
std::vector<std::string> KeepInRange(TKivSettings &settings)
{
    std::vector<std::string> ignored;
    for (const TRange &r : kRanges) {
        int32_t &value = settings.*r.Field;
        const int32_t kept = std::clamp(value, r.Min, r.Max);
        if (kept != value)
            ignored.push_back(std::string(r.Name) + " = " + std::to_string(value) + " is outside "
                              + std::to_string(r.Min) + " to " + std::to_string(r.Max) + "; " + std::to_string(kept)
                              + " is used.");
        value = kept;
    }
    // The nearest size of the dialog's list (the smaller of two as near).
    int32_t &size = settings.MainFontSize;
    int32_t nearest = kMainFontSizes.front();
    for (int32_t allowed : kMainFontSizes)
        if (std::llabs(int64_t(allowed) - size) < std::llabs(int64_t(nearest) - size))
            nearest = allowed;
    if (nearest != size)
        ignored.push_back("MainFontSize = " + std::to_string(size) + " is not a size the settings offer; "
                          + std::to_string(nearest) + " is used.");
    size = nearest;
    return ignored;
}

} // namespace

void TKivCB::SetDefaults(TKivSettings &settings) const
{
    for (const TSetting &s : kSettings) {
        if (auto f = std::get_if<TIntField>(&s.Field))
            settings.*(*f) = std::get<int32_t>(s.Default);
        else if (auto b = std::get_if<TBoolField>(&s.Field))
            settings.*(*b) = std::get<bool>(s.Default);
        else
            settings.*std::get<TTextField>(s.Field) = std::get<const char *>(s.Default);
    }
}

void TKivCB::ReadSettings(TKivSettings &settings) const
{
    TXRegistry registry;
    OpenSettingsKey(registry);
    // Loaded into a record of our own, so a failure of the store on the way
    // leaves the caller's record as it was.
    TKivSettings loaded;
    SetDefaults(loaded);
    for (const TSetting &s : kSettings) {
        if (auto f = std::get_if<TIntField>(&s.Field)) {
            loaded.*(*f) = registry.ReadIntegerDef(s.Name, loaded.*(*f));
        } else if (auto b = std::get_if<TBoolField>(&s.Field)) {
            loaded.*(*b) = registry.ReadBoolDef(s.Name, loaded.*(*b));
        } else {
            const TTextField t = std::get<TTextField>(s.Field);
            loaded.*t = CutText(registry.ReadStringDef(s.Name, loaded.*t), s.MaxLength);
        }
    }
    registry.CloseKey();
    Tell(KeepInRange(loaded));
    settings = std::move(loaded);
}

void TKivCB::WriteSettings(const TKivSettings &settings) const
{
    TXRegistry registry;
    OpenSettingsKey(registry);
    for (const TSetting &s : kSettings) {
        const std::string name = s.SaveName != nullptr ? s.SaveName : s.Name;
        if (auto f = std::get_if<TIntField>(&s.Field))
            registry.WriteInteger(name, settings.*(*f));
        else if (auto b = std::get_if<TBoolField>(&s.Field))
            registry.WriteBool(name, settings.*(*b));
        else
            registry.WriteString(name, settings.*std::get<TTextField>(s.Field));
    }
    registry.CloseKey();
}

std::string SettingsNotice()
{
    std::lock_guard<std::mutex> guard(gToldLock);
    return gNotice;
}

std::function<std::string()> SettingsBoardFolder()
{
    return [] {
        TKivSettings settings;
        TKivCB().ReadSettings(settings);
        return settings.KivDBasePath;
    };
}
