#include "ctl/DatasetCheck.h"

#include "board/CreationWait.h"
#include "board/DatasetGuard.h"
#include "board/MessageRecord.h"
#include "platform/Files.h"
#include "platform/KivError.h"
#include "storage/IsamFile.h"
#include "vbis/Vbis4032.h"

#include <vector>

namespace {

// Every dataset of the board is opened in this mode.
constexpr int16_t kOpenMode = 3;

// The longest record the engine keeps: 1 MiB.
constexpr std::size_t kLongestRecord = std::size_t(1) << 20;

void Open(TIsamFile &isam, const std::string &path, const std::string &format, const std::string &failure)
{
    if (!OpenDatasetBeingCreated(isam, path, kOpenMode, format))
        throw EKivError(failure + isam.ErrorText());
}

// The walk's last read failed: at the end of the data, or on a record that
// cannot be read.
void RequireEnd(const TIsamFile &isam, const std::string &failure)
{
    if (isam.LastError() != VBIS_NOT_FOUND)
        throw EKivError(failure + isam.ErrorText());
}

} // namespace

void CheckWholeDataset(const std::string &path, const std::string &format, const std::string &openFailure,
                       const std::string &readFailure)
{
    TIsamFile isam;
    TDatasetGuard guard(isam);
    Open(isam, path, format, openFailure);
    if (!isam.GotoTop(0))
        throw EKivError(readFailure + isam.ErrorText());
    // The open refused any layout but the data class's own; the buffer holds
    // the longest record the engine keeps all the same.
    std::vector<char> record(kLongestRecord);
    while (isam.ReadNext(record.data(), 0)) {
    }
    RequireEnd(isam, readFailure);
}

void CheckOwnMessages(const std::string &path, const std::string &login, const std::string &openFailure,
                      const std::string &readFailure)
{
    TIsamFile isam;
    TDatasetGuard guard(isam);
    Open(isam, path, MessageRecord::Format, openFailure);
    std::vector<char> record(kLongestRecord);
    bool read = isam.ReadEqual(record.data(), MessageRecord::ToLoginIndex, login);
    while (read && GetText(record.data(), MessageRecord::ToLogin) == login)
        read = isam.ReadNext(record.data(), MessageRecord::ToLoginIndex);
    if (!read)
        RequireEnd(isam, readFailure);
}

void CheckCreated(const std::string &path, int16_t keyLength, const std::string &format, const std::string &failure)
{
    if (FileExists(path + ".ism"))
        return;
    TIsamFile isam;
    if (!isam.CreateDataset(path, keyLength, format) && isam.LastError() != VBIS_NAME_IN_USE
        && !FileExists(path + ".ism"))
        throw EKivError(failure + isam.ErrorText());
}

void CheckOpens(const std::string &path, const std::string &format, const std::string &failure)
{
    TIsamFile isam;
    TDatasetGuard guard(isam);
    Open(isam, path, format, failure);
}
