#include "board/ChangeWatcher.h"

#include "board/KivCfg.h"
#include "board/KivDepartment.h"
#include "board/MessageRecord.h"
#include "board/UserRecord.h"
#include "platform/FileAge.h"
#include "platform/Files.h"

#include <array>

namespace {

class TFolderChangeWatcher final : public IChangeWatcher {
public:
    explicit TFolderChangeWatcher(const std::string &folder)
        : FFolder(!folder.empty() && folder.back() != '/' ? folder + '/' : folder)
    {
    }

    TBoardChanges Look(unsigned what) override
    {
        TBoardChanges answer;
        // The marker first: a board being shut down is not looked at further.
        if ((what & BoardChange::Shutdown) != 0 && FileExists(FFolder + UserRecord::DatasetName + ".smd")) {
            answer.Changed |= BoardChange::Shutdown;
            return answer;
        }
        for (TWatched &watched : FWatched) {
            if ((what & watched.Bit) == 0)
                continue;
            const TFileAge age = AgeOf(watched);
            if (watched.Bit == BoardChange::Users && age.IsMissing())
                answer.Unreachable = true;
            if (!watched.Seen || age != watched.Age)
                answer.Changed |= watched.Bit;
            watched.Age = age;
            watched.Seen = true;
        }
        return answer;
    }

    void Settle(unsigned what) override
    {
        for (TWatched &watched : FWatched)
            if ((what & watched.Bit) != 0) {
                watched.Age = AgeOf(watched);
                watched.Seen = true;
            }
    }

    void Forget(unsigned what) override
    {
        for (TWatched &watched : FWatched)
            if ((what & watched.Bit) != 0)
                watched.Seen = false;
    }

private:
    struct TWatched {
        unsigned Bit;
        std::string File;
        bool Fresh; ///< read through a descriptor of its own
        TFileAge Age{};
        bool Seen = false;
    };

    TFileAge AgeOf(const TWatched &watched) const
    {
        const std::string path = FFolder + watched.File;
        return watched.Fresh ? FreshFileAge(path) : FileAge(path);
    }

    std::string FFolder;
    std::array<TWatched, 4> FWatched{{
        {BoardChange::Users, std::string(UserRecord::DatasetName) + ".isd", true},
        {BoardChange::Messages, std::string(MessageRecord::DatasetName) + ".isd", true},
        {BoardChange::Config, KivCfg::FileName, false},
        {BoardChange::Departments, std::string(DepartmentRecord::DatasetName) + ".isd", false},
    }};
};

} // namespace

std::unique_ptr<IChangeWatcher> MakeFolderChangeWatcher(const std::string &folder)
{
    return std::make_unique<TFolderChangeWatcher>(folder);
}
