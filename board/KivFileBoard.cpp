// The board listing of TKivFile: the board rows from the users dataset, the
// short form of the Updated time, the status pictures, and the user names of
// the user administration dialog.
#include "board/KivFile.h"

#include "board/DatasetGuard.h"
#include "board/KivText.h"
#include "board/Presence.h"
#include "board/UserRecord.h"
#include "platform/Clock.h"
#include "platform/KivError.h"
#include "platform/Text.h"
#include "vbis/Vbis4032.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <utility>

namespace {

constexpr std::array<std::pair<std::string_view, int>, 11> kStatusImages{{
    {"At lunch", 0},
    {"Available", 1},
    {"Away from desk", 2},
    {"DND", 3},
    {"Gone home", 4},
    {"In meeting", 5},
    {"On holiday", 6},
    {"On vacation", 6},
    {"Out of office", 7},
    {"Off sick", 10},
    {"Offline", 11},
}};
constexpr int kCustomStatusImage = 9;

bool SameDate(const std::tm &a, const std::tm &b)
{
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday;
}

std::string HoursAndMinutes(const std::tm &moment)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", moment.tm_hour, moment.tm_min);
    return text;
}

// Hands every record of index 0 to visit, from the first on. The walk ends
// with "not found" after the last record; any other failing read means
// records were left unread, which the caller must hear of.
template <typename Visit>
void WalkRecords(TIsamFile &isam, Visit visit)
{
    UserRecord::TBuffer record{};
    while (isam.ReadNext(record.data(), UserRecord::NumberIndex)) {
        visit(static_cast<const char *>(record.data()));
        record.fill(0);
    }
    if (isam.LastError() != VBIS_NOT_FOUND)
        throw EKivError("Unable to read dataset - " + isam.ErrorText());
}

// Sizes the columns and resumes repainting after a failed filling; the
// failure on its way out is the one that counts.
void FinishAfterFailure(IBoardList &list) noexcept
{
    try {
        list.AutoSizeColumns();
    } catch (...) {
    }
    try {
        list.EndUpdate();
    } catch (...) {
    }
}

TBoardRow BoardRowOf(const char *record, std::string updated)
{
    TBoardRow row;
    row.Caption = GetText(record, UserRecord::Name);
    row.SubItems[TBoardRow::Status] = GetText(record, UserRecord::Status);
    row.SubItems[TBoardRow::Updated] = std::move(updated);
    row.SubItems[TBoardRow::Ext] = GetText(record, UserRecord::Ext);
    row.SubItems[TBoardRow::Department] = GetText(record, UserRecord::Department);
    row.SubItems[TBoardRow::Login] = GetText(record, UserRecord::LogInName);
    row.SubItems[TBoardRow::Comments] = GetText(record, UserRecord::Comments);
    row.ImageIndex = TKivFile::StatusImageIndex(row.SubItems[TBoardRow::Status]);
    row.StoredUpdated = GetText(record, UserRecord::Updated);
    return row;
}

} // namespace

int TKivFile::StatusImageIndex(const std::string &status)
{
    for (const auto &[text, image] : kStatusImages)
        if (status == text)
            return image;
    return kCustomStatusImage;
}

std::string TKivFile::UpdatedText(const std::string &stored) const
{
    const std::string trimmed = Trimmed(stored);
    if (trimmed.empty())
        return std::string();
    // A text this workstation cannot read as its own date-time format (one
    // written under another regional format) is shown as stored.
    const std::optional<std::tm> updated = ReadDateTimeText(trimmed);
    if (!updated)
        return stored;

    const std::time_t now = FCtx.Clock.Now();
    std::tm today{};
    if (localtime_r(&now, &today) == nullptr)
        return stored;
    if (SameDate(*updated, today))
        return "Today " + HoursAndMinutes(*updated);

    // Yesterday by the calendar: noon of today less one day, normalised, so
    // that a change of daylight saving time cannot shift the date.
    std::tm yesterday = today;
    yesterday.tm_mday -= 1;
    yesterday.tm_hour = 12;
    yesterday.tm_min = 0;
    yesterday.tm_sec = 0;
    yesterday.tm_isdst = -1;
    if (std::mktime(&yesterday) != std::time_t(-1) && SameDate(*updated, yesterday))
        return "Yesterday " + HoursAndMinutes(*updated);
    return stored;
}

void TKivFile::OpenBeforeFirst()
{
    OpenOrRaise("Unable to open dataset - ");
    if (!FIsamFile.GotoTop(UserRecord::NumberIndex))
        throw EKivError("Unable to perform BOF on dataset - " + FIsamFile.ErrorText());
}

void TKivFile::FillBoard(IBoardList &list)
{
    FillRows(list, nullptr);
}

void TKivFile::FillBoardForDepartment(IBoardList &list, const std::string &department)
{
    FillRows(list, &department);
}

void TKivFile::FillRows(IBoardList &list, const std::string *department)
{
    TDatasetGuard guard(FIsamFile);
    OpenBeforeFirst();

    const std::time_t now = FCtx.Clock.Now();
    list.BeginUpdate();
    try {
        list.Clear();
        WalkRecords(FIsamFile, [&](const char *record) {
            // The department test comes first, the offline test second; both
            // compare exactly, letter case counting.
            if (department != nullptr && GetText(record, UserRecord::Department) != *department)
                return;
            if (!FCtx.Session.ShowOffline && GetText(record, UserRecord::Status) == "Offline")
                return;
            TBoardRow row = BoardRowOf(record, UpdatedText(GetText(record, UserRecord::Updated)));
            if (Presence != nullptr)
                AnnotateRow(row, *Presence, now);
            list.AddRow(row);
        });
    } catch (...) {
        FinishAfterFailure(list);
        throw;
    }
    try {
        list.AutoSizeColumns();
    } catch (...) {
        list.EndUpdate();
        throw;
    }
    list.EndUpdate();
}

void TKivFile::FillUserNames(IItemList &list)
{
    TDatasetGuard guard(FIsamFile);
    OpenBeforeFirst();

    list.BeginUpdate();
    try {
        list.Clear();
        WalkRecords(FIsamFile, [&](const char *record) {
            // The item's number is the record's key; a key that is no record
            // number (never stored by this system) could not be addressed
            // again, so its record is not offered.
            const std::string &key = FIsamFile.LastKey();
            int32_t number = 0;
            const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), number);
            if (error == std::errc() && end == key.data() + key.size() && !key.empty())
                list.AddItem(GetText(record, UserRecord::Name), number);
        });
    } catch (...) {
        try {
            list.EndUpdate();
        } catch (...) {
        }
        throw;
    }
    list.EndUpdate();
}
