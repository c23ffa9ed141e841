// TKivStatus: the office's status catalogue, the dataset KivStats in the
// board database folder that every workstation shares.
//
// It is created with the default statuses the first time a dialog needs it,
// fills list and combo boxes with its entries, and adds, renames and erases
// them. Every operation opens the dataset, works and closes it again, on
// every path; a failure raises EKivError with the text the user is shown.
#pragma once

#include "board/KivText.h"
#include "storage/IsamFile.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class IItemList;
class TKivFile;

namespace StatusRecord {

/// The dataset's base name in the board database folder.
inline constexpr const char *DatasetName = "KivStats";
/// The engine's format string of the record.
inline constexpr const char *Format = "X$*31";
/// The status text, indexed; at most 30 bytes and a zero byte.
inline constexpr TField StatusText{0, 31};
/// The record's length in bytes.
inline constexpr std::size_t Size = 31;

/// The statuses a new catalogue starts with, in the order they are written.
inline constexpr std::array<const char *, 10> Defaults{"At lunch",      "Available",  "Away from desk", "DND",
                                                       "Gone home",     "In meeting", "Offline",        "On holiday",
                                                       "Out of office", "Off sick"};

/// A status text as it is stored and looked up: cut to the field at a
/// character boundary, so a long text still finds its own record.
inline std::string TextKey(const std::string &text)
{
    return CutText(text, StatusText.Width - 1);
}

} // namespace StatusRecord

class TKivStatus {
public:
    /// Works on the board folder of kivFile, as it stands at each operation.
    /// When the engine is missing it shows the engine-missing box, asks the
    /// program to end and raises EKivEngineMissing. engineFolder as for
    /// TIsamFile (empty: the loader's search).
    explicit TKivStatus(TKivFile &kivFile, const std::string &engineFolder = std::string());
    TKivStatus(const TKivStatus &) = delete;
    TKivStatus &operator=(const TKivStatus &) = delete;

    /// Creates the catalogue with the ten default statuses when KivStats.isd
    /// is not in the folder. When another workstation creates it at the same
    /// moment, this one goes on with the catalogue the other made. An
    /// existing catalogue that lacks defaults (its creator died while it
    /// wrote them) gets them back, in order, after its entries, once they
    /// have stayed missing for a moment.
    void EnsureStatusDataset();
    /// True when text is exactly one of the eleven fixed statuses (the ten
    /// defaults and "On vacation").
    static bool IsFixedStatus(const std::string &text);
    /// Adds text, untrimmed; raises when an entry of that text exists.
    void AddStatus(const std::string &text);
    /// Erases the entry filed under number.
    void DeleteStatus(int32_t number);
    /// Renames the entry of oldText to newText; no duplicate check.
    void UpdateStatus(const std::string &oldText, const std::string &newText);
    /// Fills a combo box with every status, in the order of adding.
    void FillStatusCombo(IItemList &combo);
    /// Fills a list box with every status but "Offline", its repainting
    /// suspended meanwhile.
    void FillStatusList(IItemList &list);
    /// Sets text to the status of the list's selected item; does nothing when
    /// no item is selected.
    void ReadStatus(const IItemList &list, std::string &text);

    /// The dataset's path: the board folder followed by "KivStats".
    std::string DatasetPath() const;
    /// True while the dataset is open, which is only ever inside one of the
    /// operations: for tests that check that every path closes it.
    bool DatasetOpen() const { return FIsamFile.IsOpen(); }

private:
    void Open();
    /// The defaults the open catalogue lacks, in order; nothing when it
    /// cannot be read to its end.
    std::optional<std::vector<const char *>> MissingDefaults();
    /// Adds statuses to the open catalogue, in order.
    void AddDefaults(const std::vector<const char *> &statuses);
    void FillItems(IItemList &items, bool withOffline);

    /// The door to the engine for every operation on the dataset; only the
    /// operations reach it, so that each one closes what it opened.
    TIsamFile FIsamFile;
    TKivFile &FKivFile;
};
