#include "board/KivStatus.h"

#include "board/Catalogue.h"
#include "board/CreationWait.h"
#include "board/DatasetGuard.h"
#include "board/EngineCheck.h"
#include "board/KivFile.h"
#include "board/Seams.h"
#include "platform/Files.h"
#include "platform/KivError.h"
#include "vbis/Vbis4032.h"

#include <chrono>
#include <set>
#include <thread>

namespace {

using TStatusBuffer = std::array<char, StatusRecord::Size>;

// "On vacation" is what the main window says instead of "On holiday" when the
// workstation asks for it; it is never written to the catalogue.
constexpr std::array<const char *, 11> kFixedStatuses{"At lunch",    "Available",     "Away from desk", "DND",
                                                      "Gone home",   "In meeting",    "Offline",        "On holiday",
                                                      "On vacation", "Out of office", "Off sick"};

constexpr const char *kOffline = "Offline";

// How long the defaults a catalogue lacks must stay the same before they are
// taken for ones that its creator will never write: far longer than the
// creator takes between two of them, even on a slow share.
constexpr auto kCreatorQuiet = std::chrono::seconds(1);

} // namespace

TKivStatus::TKivStatus(TKivFile &kivFile, const std::string &engineFolder) : FIsamFile(engineFolder), FKivFile(kivFile)
{
    RequireEngine(FIsamFile, FKivFile.Context());
}

std::string TKivStatus::DatasetPath() const
{
    return FKivFile.Location().DatasetPath(StatusRecord::DatasetName);
}

void TKivStatus::Open()
{
    if (!FIsamFile.OpenDataset(DatasetPath(), Catalogue::OpenMode, StatusRecord::Format))
        throw EKivError("Unable to open Status dataset - " + FIsamFile.ErrorText());
}

void TKivStatus::EnsureStatusDataset()
{
    const std::string path = DatasetPath();
    TDatasetGuard guard(FIsamFile);
    if (!FKivFile.Location().DatasetExists(StatusRecord::DatasetName)) {
        if (FIsamFile.CreateDataset(path, Catalogue::KeyLength, StatusRecord::Format)) {
            Open();
            AddDefaults({StatusRecord::Defaults.begin(), StatusRecord::Defaults.end()});
            return;
        }
        // Another workstation showing a catalogue dialog for the first time
        // created it a moment earlier and writes the defaults itself; this
        // one goes on with that catalogue once it can be opened.
        if (FIsamFile.LastError() != VBIS_NAME_IN_USE && !FKivFile.Location().DatasetDefined(StatusRecord::DatasetName))
            throw EKivError("Unable to create Status dataset - " + FIsamFile.ErrorText());
        if (!OpenDatasetBeingCreated(FIsamFile, path, Catalogue::OpenMode, StatusRecord::Format))
            throw EKivError("Unable to open Status dataset - " + FIsamFile.ErrorText());
        return;
    }
    Open();
    // No dialog can rename or delete a default, for they are all fixed: one
    // that is missing was never written, by a workstation that died while it
    // created the catalogue. The creator may also be at work this moment; a
    // catalogue whose missing defaults do not change for a while has lost it.
    std::optional<std::vector<const char *>> missing = MissingDefaults();
    while (missing && !missing->empty()) {
        std::this_thread::sleep_for(kCreatorQuiet);
        std::optional<std::vector<const char *>> now = MissingDefaults();
        if (now == missing) {
            AddDefaults(*missing);
            return;
        }
        missing = std::move(now);
    }
}

std::optional<std::vector<const char *>> TKivStatus::MissingDefaults()
{
    std::set<std::string> present;
    if (!FIsamFile.GotoTop(Catalogue::NumberIndex))
        return std::nullopt;
    Catalogue::WalkTexts(FIsamFile, StatusRecord::StatusText,
                         [&](const std::string &text, int32_t) { present.insert(text); });
    // A catalogue that cannot be read to its end is not judged by a part.
    if (FIsamFile.LastError() != VBIS_NOT_FOUND)
        return std::nullopt;
    std::vector<const char *> missing;
    for (const char *status : StatusRecord::Defaults)
        if (present.count(status) == 0)
            missing.push_back(status);
    return missing;
}

void TKivStatus::AddDefaults(const std::vector<const char *> &statuses)
{
    for (const char *status : statuses) {
        TStatusBuffer record{};
        PutText(record.data(), StatusRecord::StatusText, status);
        if (!FIsamFile.AddRecord(record.data()))
            throw EKivError("Unable to add status - " + FIsamFile.ErrorText());
    }
}

bool TKivStatus::IsFixedStatus(const std::string &text)
{
    for (const char *fixed : kFixedStatuses)
        if (text == fixed)
            return true;
    return false;
}

void TKivStatus::AddStatus(const std::string &text)
{
    const std::string key = StatusRecord::TextKey(text);
    TDatasetGuard guard(FIsamFile);
    Open();
    TStatusBuffer record{};
    if (FIsamFile.ReadEqual(record.data(), Catalogue::TextIndex, key))
        throw EKivError("Status \"" + key + "\" already exists");
    // Only a text the catalogue really lacks is added: a look-up that failed
    // for another reason (a busy dataset) proves nothing about duplicates.
    if (FIsamFile.LastError() != VBIS_NOT_FOUND)
        throw EKivError("Unable to add Status\r\r" + FIsamFile.ErrorText());
    record = TStatusBuffer{};
    PutText(record.data(), StatusRecord::StatusText, key);
    if (!FIsamFile.AddRecord(record.data()))
        throw EKivError("Unable to add Status\r\r" + FIsamFile.ErrorText());
}

void TKivStatus::DeleteStatus(int32_t number)
{
    TDatasetGuard guard(FIsamFile);
    Open();
    if (!FIsamFile.DeleteRecord(RecordNumberText(number)))
        throw EKivError("Unable to erase status\r\r" + FIsamFile.ErrorText());
}

void TKivStatus::UpdateStatus(const std::string &oldText, const std::string &newText)
{
    TDatasetGuard guard(FIsamFile);
    Open();
    TStatusBuffer record{};
    if (!FIsamFile.ReadEqual(record.data(), Catalogue::TextIndex, StatusRecord::TextKey(oldText)))
        throw EKivError("Unable to locate Status " + oldText + "\r\r" + FIsamFile.ErrorText());
    PutText(record.data(), StatusRecord::StatusText, StatusRecord::TextKey(newText));
    if (!FIsamFile.ReplaceRecord(record.data(), FIsamFile.LastKey()))
        throw EKivError("Unable to replace Status" + FIsamFile.ErrorText());
}

void TKivStatus::FillItems(IItemList &items, bool withOffline)
{
    items.Clear();
    Catalogue::WalkTexts(FIsamFile, StatusRecord::StatusText, [&](const std::string &text, int32_t number) {
        if (withOffline || text != kOffline)
            items.AddItem(text, number);
    });
}

void TKivStatus::FillStatusCombo(IItemList &combo)
{
    TDatasetGuard guard(FIsamFile);
    Open();
    if (!FIsamFile.GotoTop(Catalogue::NumberIndex))
        throw EKivError("Unable to performBOF on Status dataset - " + FIsamFile.ErrorText());
    FillItems(combo, true);
}

void TKivStatus::FillStatusList(IItemList &list)
{
    TDatasetGuard guard(FIsamFile);
    Open();
    if (!FIsamFile.GotoTop(Catalogue::NumberIndex))
        throw EKivError("Unable to perform BOF on Status dataset");
    Catalogue::TRepaintPause painting(list);
    FillItems(list, false);
}

void TKivStatus::ReadStatus(const IItemList &list, std::string &text)
{
    const std::optional<int32_t> number = list.SelectedData();
    if (!number)
        return;
    TDatasetGuard guard(FIsamFile);
    Open();
    TStatusBuffer record{};
    if (!FIsamFile.ReadEqual(record.data(), Catalogue::NumberIndex, RecordNumberText(*number)))
        throw EKivError("Unable to read Status\r\r" + FIsamFile.ErrorText());
    text = GetText(record.data(), StatusRecord::StatusText);
}
