// TKivFile's part in the alert list: the watched colleagues' display names
// brought up to date from the users dataset.
#include "board/KivFile.h"

#include "board/DatasetGuard.h"
#include "board/KivAlert.h"
#include "board/KivText.h"
#include "board/UserRecord.h"
#include "platform/KivError.h"
#include "platform/LoginName.h"

void TKivFile::RefreshAlertNames(TKivAlert &alerts)
{
    TDatasetGuard guard(FIsamFile);
    OpenOrRaise("Unable to open dataset - ");
    if (!FIsamFile.GotoTop(UserRecord::NumberIndex))
        throw EKivError("Unable to perform BOF on dataset - " + FIsamFile.ErrorText());
    UserRecord::TBuffer record{};
    // The first read that fails is the end of the data.
    while (FIsamFile.ReadNext(record.data(), UserRecord::NumberIndex)) {
        const std::string login = GetText(record.data(), UserRecord::LogInName);
        const std::string name = GetText(record.data(), UserRecord::Name);
        const int position = alerts.IndexOfLogIn(UpperCaseLogin(login));
        if (position >= 0 && alerts.GetDisplayName(position) != name)
            alerts.SetDisplayName(login, name);
    }
}
