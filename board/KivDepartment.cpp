#include "board/KivDepartment.h"

#include "board/BoardLocation.h"

#include "board/Catalogue.h"
#include "board/DatasetGuard.h"
#include "board/EngineCheck.h"
#include "board/Seams.h"
#include "platform/KivError.h"
#include "platform/Text.h"
#include "vbis/Vbis4032.h"

#include <array>
#include <utility>

namespace {

using TDepartmentBuffer = std::array<char, DepartmentRecord::Size>;

} // namespace

TKivDepartment::TKivDepartment(TBoardContext &ctx, TBoardFolderSource folderSource, const std::string &engineFolder)
    : FIsamFile(engineFolder), FFolderSource(std::move(folderSource)), FCtx(ctx)
{
    RequireEngine(FIsamFile, FCtx);
}

std::string TKivDepartment::DatasetPath() const
{
    std::string folder = FFolderSource ? FFolderSource() : std::string();
    // No folder is no dataset: a blank setting must not put one at the root
    // of the file system.
    if (IsBlankText(folder))
        return std::string();
    return BoardDatasetPath(folder, DepartmentRecord::DatasetName);
}

void TKivDepartment::Open()
{
    const std::string path = DatasetPath();
    if (!path.empty())
        FIsamFile.OpenDataset(path, Catalogue::OpenMode, DepartmentRecord::Format);
}

void TKivDepartment::EnsureDepartmentDataset()
{
    // The engine refuses to create over an existing dataset, which keeps its records.
    const std::string path = DatasetPath();
    if (!path.empty())
        FIsamFile.CreateDataset(path, Catalogue::KeyLength, DepartmentRecord::Format);
}

void TKivDepartment::AddDepartment(const std::string &name)
{
    const std::string key = DepartmentRecord::NameKey(name);
    TDatasetGuard guard(FIsamFile);
    Open();
    TDepartmentBuffer record{};
    if (FIsamFile.ReadEqual(record.data(), Catalogue::TextIndex, key)) {
        FCtx.Prompter.Show("Department \"" + key + "\" already exists", TMsgIcon::Warning, TMsgButtons::Ok);
        return;
    }
    // Only a name the catalogue really lacks is added: a look-up that failed
    // for another reason (a busy dataset) proves nothing about duplicates.
    if (FIsamFile.LastError() != VBIS_NOT_FOUND)
        throw EKivError("Unable to Add the department " + name + " - " + FIsamFile.ErrorText());
    record = TDepartmentBuffer{};
    PutText(record.data(), DepartmentRecord::DepartmentName, key);
    if (!FIsamFile.AddRecord(record.data()))
        throw EKivError("Unable to Add the department " + name + " - " + FIsamFile.ErrorText());
}

void TKivDepartment::DeleteDepartment(int32_t number)
{
    TDatasetGuard guard(FIsamFile);
    Open();
    if (!FIsamFile.DeleteRecord(RecordNumberText(number)))
        throw EKivError("Unable to erarse department\r\r" + FIsamFile.ErrorText());
}

void TKivDepartment::UpdateDepartment(const std::string &oldName, const std::string &newName)
{
    TDatasetGuard guard(FIsamFile);
    Open();
    TDepartmentBuffer record{};
    if (!FIsamFile.ReadEqual(record.data(), Catalogue::TextIndex, DepartmentRecord::NameKey(oldName)))
        throw EKivError("Unable to locate the department " + oldName + "\r\r" + FIsamFile.ErrorText());
    PutText(record.data(), DepartmentRecord::DepartmentName, DepartmentRecord::NameKey(newName));
    if (!FIsamFile.ReplaceRecord(record.data(), FIsamFile.LastKey()))
        throw EKivError("Unable to update the department " + oldName + FIsamFile.ErrorText());
}

void TKivDepartment::ReadSelectedDepartment(int32_t number, std::string &name)
{
    TDatasetGuard guard(FIsamFile);
    Open();
    TDepartmentBuffer record{};
    if (!FIsamFile.ReadEqual(record.data(), Catalogue::NumberIndex, RecordNumberText(number)))
        throw EKivError("Unable to locate department \r\r" + FIsamFile.ErrorText());
    name = GetText(record.data(), DepartmentRecord::DepartmentName);
}

void TKivDepartment::ReadDepartment(const IItemList &list, std::string &name)
{
    const std::optional<int32_t> number = list.SelectedData();
    if (!number)
        return;
    TDatasetGuard guard(FIsamFile);
    Open();
    TDepartmentBuffer record{};
    if (!FIsamFile.ReadEqual(record.data(), Catalogue::NumberIndex, RecordNumberText(*number))) {
        FCtx.Prompter.Show(FIsamFile.ErrorText() + "\r" + FIsamFile.ErrorInfo(), TMsgIcon::Error, TMsgButtons::Ok);
        return;
    }
    name = GetText(record.data(), DepartmentRecord::DepartmentName);
}

void TKivDepartment::FillDepartmentCombo(IItemList &combo)
{
    TDatasetGuard guard(FIsamFile);
    Open();
    FIsamFile.GotoTop(Catalogue::NumberIndex);
    combo.Clear();
    Catalogue::WalkTexts(FIsamFile, DepartmentRecord::DepartmentName,
                         [&](const std::string &name, int32_t number) { combo.AddItem(name, number); });
}

void TKivDepartment::FillDepartmentList(IItemList &list)
{
    TDatasetGuard guard(FIsamFile);
    Open();
    FIsamFile.GotoTop(Catalogue::NumberIndex);
    Catalogue::TRepaintPause painting(list);
    list.Clear();
    Catalogue::WalkTexts(FIsamFile, DepartmentRecord::DepartmentName,
                         [&](const std::string &name, int32_t number) { list.AddItem(name, number); });
}

void TKivDepartment::FillDepartmentTree(ITree &tree)
{
    TDatasetGuard guard(FIsamFile);
    Open();
    FIsamFile.GotoTop(Catalogue::NumberIndex);
    tree.Clear();
    tree.AddRoot(DepartmentRecord::TreeRoot);
    Catalogue::WalkTexts(FIsamFile, DepartmentRecord::DepartmentName,
                         [&](const std::string &name, int32_t) { tree.AddChild(name); });
}
