#include "board/ActivityLog.h"

#include "board/KivText.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/KivError.h"
#include "platform/Text.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char *kLineEnd = "\r\n";

// How long a workstation that lost the race to create a log waits for the
// winner's first write (its banner), so that its own line comes after it.
constexpr int kCreatorWaits = 200;
constexpr std::chrono::milliseconds kCreatorPause{1};

// A banner line: text, blanks up to the 57th character, then "***".
std::string FramedLine(const std::string &text)
{
    std::string line = text;
    line.resize(ActivityLog::BannerWidth - 3, ' ');
    return line + "***";
}

std::string TextBanner()
{
    std::string banner;
    for (const std::string &line : TextLogBanner())
        banner += line + kLineEnd;
    return banner;
}

const char *const kCsvHeader = "\"Date/Time\",\"Name\",\"LogInName\",\"From Status\",\"To Status\"";

// A value as one line of a log holds it: a control character (a line break
// above all, which would split the line or forge another) becomes a blank.
std::string OnOneLine(const std::string &text)
{
    std::string line = text;
    for (char &c : line)
        if (IsControl(c))
            c = ' ';
    return line;
}

// A CSV value: enclosed in double quotes, a double quote inside doubled, so
// the line stays well-formed for every reader.
std::string CsvValue(const std::string &text)
{
    std::string value = "\"";
    for (char c : OnOneLine(text)) {
        if (c == '"')
            value += '"';
        value += c;
    }
    return value + '"';
}

struct TFailure {
    std::string Message;
    int Error;
};

TFailure Failure(const char *what, const std::string &path)
{
    const int error = errno;
    char buffer[256];
    return {std::string(what) + " \"" + path + "\". " + strerror_r(error, buffer, sizeof buffer), error};
}

TFailure OpenFailure(const std::string &path)
{
    const int error = errno;
    return {"Cannot open file \"" + path + "\". " + OpenErrorText(error), error};
}

// The last byte of the file of fd, whose size is size; a line break for an
// empty file.
bool LastByte(int fd, off_t size, char &last)
{
    last = '\n';
    return size == 0 || ReadAllAt(fd, &last, 1, size - 1) == 1;
}

// Whether the last line of the file of fd, whose size is size, stops inside
// a quoted CSV value: after an odd number of double quotes, a doubled quote
// counting twice. Read back from the end a block at a time, up to the line
// break before it: one read for any line Kiv writes.
bool InOpenQuote(int fd, off_t size, bool &open)
{
    constexpr off_t kBlock = 512;
    open = false;
    for (off_t end = size; end > 0;) {
        const off_t start = end > kBlock ? end - kBlock : 0;
        char block[kBlock];
        const std::size_t length = std::size_t(end - start);
        if (ReadAllAt(fd, block, length, start) != length)
            return false;
        for (std::size_t i = length; i-- > 0;) {
            if (block[i] == '\n')
                return true;
            if (block[i] == '"')
                open = !open;
        }
        end = start;
    }
    return true;
}

// How long a file that does not end in a line break is watched for another
// workstation's line to be finished.
constexpr int kSettleLooks = 5;
constexpr std::chrono::milliseconds kSettlePause{2};

bool Empty(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_size == 0;
}

// A name beside path that no other workstation or process uses.
std::string PrivateName(const std::string &path)
{
    static int counter = 0;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0)
        host[0] = '\0';
    return path + "." + host + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".new";
}

// A log as it is opened for a line: anyone on the board can put a link or a
// FIFO in its place, and neither is followed or waited on. It is opened for
// reading too, to see how the file ends.
int OpenLog(const std::string &path)
{
    return OpenRegularFile(path, O_RDWR | O_APPEND);
}

// One line on its way into a log, over as many attempts as it takes.
class TAppend {
public:
    /// quoted: the log's values are in double quotes (the CSV log).
    TAppend(std::string path, std::string opening, std::function<std::string()> line, bool quoted)
        : FPath(std::move(path)), FOpening(std::move(opening)), FLine(std::move(line)), FQuoted(quoted)
    {
    }

    /// One attempt: nothing when the line is in the file.
    std::optional<TFailure> Attempt()
    {
        const int fd = OpenLog(FPath);
        if (fd >= 0)
            return AppendTo(fd);
        if (errno != ENOENT)
            return OpenFailure(FPath);
        FRest.clear();
        return CreateWithLine();
    }

private:
    // The banner or header that the file still lacks: only when this
    // workstation created the file and could not write to it yet.
    std::string Opening(int fd)
    {
        if (FOpeningOwed && !Empty(fd))
            FOpeningOwed = false; // others have written since; never a banner mid-file
        return FOpeningOwed ? FOpening : std::string();
    }

    // Writes to the open log what it takes for this line to be whole.
    std::optional<TFailure> AppendTo(int fd)
    {
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            TFailure failure = Failure("Cannot write to file", FPath);
            ::close(fd);
            return failure;
        }
        // An earlier attempt wrote part of the line and it still ends the
        // file: its rest finishes it. Once another line has come after it,
        // the line is begun afresh, on a line of its own.
        if (!FRest.empty() && st.st_size == FRestAt)
            return WriteAndClose(fd, FRest);
        FRest.clear();
        char last = '\n';
        if (!LastByte(fd, st.st_size, last)) {
            TFailure failure = Failure("Cannot read file", FPath);
            ::close(fd);
            return failure;
        }
        // A file that does not end in a line break may only be showing
        // another workstation's line while it is being written: it is looked
        // at again for a moment, and only a line that stays cut short counts.
        for (int look = 0; last != '\n' && look < kSettleLooks; ++look) {
            std::this_thread::sleep_for(kSettlePause);
            if (::fstat(fd, &st) != 0 || !LastByte(fd, st.st_size, last)) {
                TFailure failure = Failure("Cannot read file", FPath);
                ::close(fd);
                return failure;
            }
        }
        // A line cut short (by a full disk on some workstation) is ended
        // before this one, so that no line runs into another. A CSV value
        // cut inside its quotes is closed first: a reader would otherwise
        // take the line break and the next line into that value.
        bool open = false;
        if (last != '\n' && FQuoted && !InOpenQuote(fd, st.st_size, open)) {
            TFailure failure = Failure("Cannot read file", FPath);
            ::close(fd);
            return failure;
        }
        const std::string lineBreak = open           ? std::string("\"") + kLineEnd
                                      : last == '\n' ? ""
                                      : last == '\r' ? "\n"
                                                     : kLineEnd;
        return WriteAndClose(fd, lineBreak + Opening(fd) + FLine());
    }

    std::optional<TFailure> WriteAndClose(int fd, const std::string &text)
    {
        const std::size_t done = WriteAll(fd, text.data(), text.size());
        if (done > 0)
            FOpeningOwed = false;
        if (done < text.size()) {
            TFailure failure = Failure("Cannot write to file", FPath);
            // Once part of a line is in the file, its rest is what the next
            // attempt writes while nothing has come after it; a line not
            // begun is made afresh, with its time.
            struct stat st {};
            if (done > 0 && ::fstat(fd, &st) == 0) {
                FRest = text.substr(done);
                FRestAt = st.st_size;
            }
            ::close(fd);
            return failure;
        }
        FRest.clear();
        // Linux releases the descriptor even when close is interrupted.
        if (::close(fd) != 0 && errno != EINTR)
            return Failure("Cannot close file", FPath);
        return std::nullopt;
    }

    // A new log comes into being whole: the opening and the first line are
    // written to a file of this workstation's own, which is then linked under
    // the log's name. The link fails when another workstation's file got
    // there first; this one then appends to it. No workstation ever sees the
    // log without its opening.
    std::optional<TFailure> CreateWithLine()
    {
        const std::string own = PrivateName(FPath);
        const int fd = OpenRegularFile(own, O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0)
            return Failure("Cannot create file", FPath);
        const std::string text = FOpening + FLine();
        if (WriteAll(fd, text.data(), text.size()) < text.size()) {
            TFailure failure = Failure("Cannot write to file", FPath);
            ::close(fd);
            ::unlink(own.c_str());
            return failure;
        }
        int linked = ::link(own.c_str(), FPath.c_str());
        const int linkError = errno;
        struct stat st {};
        // A network file system may report a link that it made as failed.
        if (linked != 0 && ::fstat(fd, &st) == 0 && st.st_nlink == 2)
            linked = 0;
        ::close(fd);
        ::unlink(own.c_str());
        if (linked == 0)
            return std::nullopt;
        if (linkError == EEXIST)
            return AppendToExisting();
        if (linkError == EPERM || linkError == EOPNOTSUPP || linkError == ENOSYS)
            return CreateInPlace();
        errno = linkError;
        return Failure("Cannot create file", FPath);
    }

    std::optional<TFailure> AppendToExisting()
    {
        const int fd = OpenLog(FPath);
        if (fd < 0)
            return OpenFailure(FPath);
        return AppendTo(fd);
    }

    // For file systems without links: the log is created exclusively under
    // its own name and written in one write. A workstation that loses the
    // race waits a moment for the winner's opening before it appends.
    std::optional<TFailure> CreateInPlace()
    {
        int fd = OpenRegularFile(FPath, O_RDWR | O_APPEND | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            FOpeningOwed = true;
            return WriteAndClose(fd, Opening(fd) + FLine());
        }
        if (errno != EEXIST)
            return Failure("Cannot create file", FPath);
        fd = OpenLog(FPath);
        if (fd < 0)
            return OpenFailure(FPath);
        for (int wait = 0; wait < kCreatorWaits && Empty(fd); ++wait)
            std::this_thread::sleep_for(kCreatorPause);
        return AppendTo(fd);
    }

    std::string FPath;
    std::string FOpening;
    std::function<std::string()> FLine;
    bool FQuoted;
    /// The bytes of the line an earlier attempt left unwritten.
    std::string FRest;
    /// The log's size just after that attempt's part of the line.
    off_t FRestAt = -1;
    /// This workstation created the file and has written nothing to it yet.
    bool FOpeningOwed = false;
};

void Append(TAppend &append, const std::string &failurePrefix, const TLogPause &pause)
{
    for (int attempt = 1;; ++attempt) {
        const std::optional<TFailure> failure = append.Attempt();
        if (!failure)
            return;
        pause(ActivityLog::Pause);
        if (attempt >= ActivityLog::Attempts)
            throw EKivError(failurePrefix + failure->Message + " - Error " + std::to_string(failure->Error));
    }
}

} // namespace

void SleepPause(std::chrono::milliseconds pause)
{
    std::this_thread::sleep_for(pause);
}

std::string StatusChangeEntry(const std::string &name, const std::string &login, const std::string &oldStatus,
                              const std::string &newStatus)
{
    return name + " (" + login + ") status changed from \"" + oldStatus + "\" to \"" + newStatus + "\"";
}

std::vector<std::string> TextLogBanner()
{
    const std::string stars(ActivityLog::BannerWidth, '*');
    return {stars,
            FramedLine("*** Kiv Log File by Brackwater"),
            FramedLine("*** website: www.brackwater.example"),
            FramedLine("*** email  : support@brackwater.example"),
            stars,
            std::string(ActivityLog::BannerWidth, ' ')};
}

std::string CsvLogHeader()
{
    return kCsvHeader;
}

std::string TextLogLine(const std::string &dateTime, const std::string &entry)
{
    return OnOneLine(dateTime) + " " + OnOneLine(entry);
}

std::string CsvLogLine(const std::string &dateTime, const std::string &name, const std::string &login,
                       const std::string &oldStatus, const std::string &newStatus)
{
    return CsvValue(dateTime) + ',' + CsvValue(name) + ',' + CsvValue(login) + ',' + CsvValue(oldStatus) + ','
           + CsvValue(newStatus);
}

void AppendTextLog(const std::string &path, const std::string &entry, const IClock &clock, const TLogPause &pause)
{
    // The time of a line is taken when it is written, at each attempt.
    TAppend append(
        path, TextBanner(), [&] { return TextLogLine(NowText(clock), entry) + kLineEnd; }, false);
    Append(append, "Unable to add to Kiv logfile -  ", pause);
}

void AppendCsvLog(const std::string &path, const std::string &name, const std::string &login,
                  const std::string &oldStatus, const std::string &newStatus, const IClock &clock,
                  const TLogPause &pause)
{
    TAppend append(
        path, std::string(kCsvHeader) + kLineEnd,
        [&] { return CsvLogLine(NowText(clock), name, login, oldStatus, newStatus) + kLineEnd; }, true);
    Append(append, "Unable to add to Kiv CSV file -  ", pause);
}
