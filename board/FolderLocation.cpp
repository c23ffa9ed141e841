// A board in a folder: datasets are files named after the dataset in the
// folder, Kiv.cfg and the two logs are files beside them, and the shutdown
// marker is a file the administrator puts there.
#include "board/BoardLocation.h"

#include "ServerSchema.h"

#include "board/UserRecord.h"
#include "platform/Files.h"
#include "platform/KivError.h"
#include "platform/Text.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char *kShutdownExtension = ".smd";

class TFolderLocation final : public IBoardLocation {
public:
    explicit TFolderLocation(const std::string &folder)
        : FText(folder), FFolder(EndsInSeparator(folder) || folder.empty() ? folder : folder + '/')
    {
    }

    const std::string &Text() const override { return FText; }
    std::string DatasetPath(const std::string &name) const override { return FFolder + name; }
    bool Reachable() const override { return DirectoryExists(FFolder); }
    bool DatasetExists(const std::string &name) override { return FileExists(FFolder + name + ".isd"); }
    bool DatasetDefined(const std::string &name) override { return FileExists(FFolder + name + ".ism"); }

    TKivCfgRead ReadConfig(TKivCfgRecord &record) override { return ReadKivCfg(FText, record); }
    void WriteConfig(const TKivCfgRecord &record) override { WriteKivCfg(FText, record); }
    void ChangeConfig(const std::function<void(TKivCfgRecord &)> &change, TKivCfgRecord &record) override
    {
        ChangeKivCfg(FText, change, record);
    }

    void AppendLog(TActivityLog log, const TLogEntry &entry, const IClock &clock, const TLogPause &pause) override
    {
        if (log == TActivityLog::Text)
            AppendTextLog(LogPath(log), StatusChangeEntry(entry.Name, entry.Login, entry.OldStatus, entry.NewStatus),
                          clock, pause);
        else
            AppendCsvLog(LogPath(log), entry.Name, entry.Login, entry.OldStatus, entry.NewStatus, clock, pause);
    }

    void ReadLog(TActivityLog log, const std::function<void(const std::string &)> &line) override
    {
        const std::string path = LogPath(log);
        // Any member of the board may have put a link or a FIFO there.
        const int fd = OpenRegularFile(path, O_RDONLY);
        if (fd < 0) {
            if (errno == ENOENT)
                return;
            throw EKivError("Unable to read the log \"" + path + "\". " + OpenErrorText(errno));
        }
        std::string pending;
        char buffer[65536];
        for (;;) {
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                const int error = errno;
                close(fd);
                throw EKivError("Unable to read the log \"" + path + "\". " + OpenErrorText(error));
            }
            if (got == 0)
                break;
            pending.append(buffer, std::size_t(got));
            std::size_t start = 0;
            for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1)
                line(WithoutReturn(pending.substr(start, end - start)));
            pending.erase(0, start);
        }
        close(fd);
        // A last line cut short still counts.
        if (!pending.empty())
            line(WithoutReturn(pending));
    }

    bool ShuttingDown() override { return FileExists(MarkerPath()); }

    void SetShuttingDown(bool on) override
    {
        const std::string path = MarkerPath();
        if (on) {
            const int fd = OpenRegularFile(path, O_WRONLY | O_CREAT, 0666);
            if (fd < 0)
                throw EKivError("Unable to set the shutdown marker \"" + path + "\". " + OpenErrorText(errno));
            close(fd);
            return;
        }
        if (unlink(path.c_str()) != 0 && errno != ENOENT)
            throw EKivError("Unable to clear the shutdown marker \"" + path + "\". " + OpenErrorText(errno));
    }

    std::unique_ptr<IChangeWatcher> MakeWatcher() override { return MakeFolderChangeWatcher(FFolder); }

private:
    static std::string WithoutReturn(std::string text)
    {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        return text;
    }

    std::string LogPath(TActivityLog log) const
    {
        return FFolder + (log == TActivityLog::Text ? ActivityLog::TextLogName : ActivityLog::CsvLogName);
    }

    std::string MarkerPath() const { return FFolder + UserRecord::DatasetName + kShutdownExtension; }

    std::string FText;
    std::string FFolder;
};

} // namespace

bool IsServerLocation(const std::string &location)
{
    return kivserver::IsServerLocation(location);
}

std::string BoardDatasetPath(const std::string &location, const std::string &name)
{
    return IsServerLocation(location) ? kivserver::DatasetPath(location, name) : JoinPath(location, name);
}

std::shared_ptr<IBoardLocation> MakeFolderLocation(const std::string &folder)
{
    return std::make_shared<TFolderLocation>(folder);
}

std::shared_ptr<IBoardLocation> MakeBoardLocation(const std::string &location)
{
    return IsServerLocation(location) ? MakeServerLocation(location) : MakeFolderLocation(location);
}
