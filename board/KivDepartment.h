// TKivDepartment: the office's department catalogue, the dataset KivDeps in
// the board database folder its owner names, and the board's department
// filter.
//
// The catalogue has no default entries and is created only when the
// administration dialog is shown; until then every listing comes out empty
// without a message. Every operation asks the owner's folder source afresh
// for the folder (in the program: the settings block, loaded again each
// time), opens the dataset, works and closes it again, on every path.
#pragma once

#include "board/KivText.h"
#include "storage/IsamFile.h"

#include <cstdint>
#include <functional>
#include <string>

class IItemList;
class ITree;
struct TBoardContext;

namespace DepartmentRecord {

/// The dataset's base name in the board database folder.
inline constexpr const char *DatasetName = "KivDeps";
/// The engine's format string of the record.
inline constexpr const char *Format = "X$*21";
/// The department name, indexed; at most 20 bytes and a zero byte.
inline constexpr TField DepartmentName{0, 21};
/// The record's length in bytes.
inline constexpr std::size_t Size = 21;
/// The text of the department tree's root node, which stands for every department.
inline constexpr const char *TreeRoot = "Departments";

/// A name as it is stored and looked up: cut to the field at a character
/// boundary, so a long name still finds its own record.
inline std::string NameKey(const std::string &name)
{
    return CutText(name, DepartmentName.Width - 1);
}

} // namespace DepartmentRecord

/// Answers the board database folder as it is at the moment of asking; it may
/// raise EKivError when the folder cannot be found out.
using TBoardFolderSource = std::function<std::string()>;

class TKivDepartment {
public:
    /// Works on the folder that folderSource answers at each operation. When
    /// the engine is missing it shows the engine-missing box, asks the
    /// program to end and raises EKivEngineMissing. engineFolder as for
    /// TIsamFile (empty: the loader's search).
    TKivDepartment(TBoardContext &ctx, TBoardFolderSource folderSource,
                   const std::string &engineFolder = std::string());
    TKivDepartment(const TKivDepartment &) = delete;
    TKivDepartment &operator=(const TKivDepartment &) = delete;

    /// The department the board is filtered on.
    std::string FilterDepartment;
    /// The board shows only the users of FilterDepartment. Set by the main
    /// window's tree and the department picker; never read by this class.
    bool FilterOn = false;

    /// Creates the empty catalogue unless it exists; an existing one keeps
    /// its records, and nothing is shown either way.
    void EnsureDepartmentDataset();
    /// Adds name, untrimmed; when a department of that name exists, a warning
    /// box says so and nothing is added.
    void AddDepartment(const std::string &name);
    /// Erases the department filed under number.
    void DeleteDepartment(int32_t number);
    /// Renames the department oldName to newName; no duplicate check.
    void UpdateDepartment(const std::string &oldName, const std::string &newName);
    /// Sets name to the department filed under number.
    void ReadSelectedDepartment(int32_t number, std::string &name);
    /// Sets name to the department of the list's selected item; does nothing
    /// when none is selected, and shows an error box (leaving name as it was)
    /// when the entry is gone.
    void ReadDepartment(const IItemList &list, std::string &name);
    /// Fills a combo box with every department, in the order of adding.
    void FillDepartmentCombo(IItemList &combo);
    /// Fills a list box with every department, its repainting suspended meanwhile.
    void FillDepartmentList(IItemList &list);
    /// Rebuilds the department tree: the root "Departments" and one child per
    /// department.
    void FillDepartmentTree(ITree &tree);

    /// The dataset's path: the board folder the source answers now followed
    /// by "KivDeps"; empty while no folder is set.
    std::string DatasetPath() const;
    /// True while the dataset is open, which is only ever inside one of the
    /// operations: for tests that check that every path closes it.
    bool DatasetOpen() const { return FIsamFile.IsOpen(); }

private:
    /// Loads the settings and opens the dataset; a dataset that cannot be
    /// opened leaves the wrapper closed, so the steps after it are refused.
    void Open();

    /// The door to the engine for every operation on the dataset; only the
    /// operations reach it, so that each one closes what it opened.
    TIsamFile FIsamFile;
    TBoardFolderSource FFolderSource;
    TBoardContext &FCtx;
};
