// The activity logs on their own: the banner and header of a new file, the
// lines, CSV values that every reader takes apart the same way, the attempts
// and their final message, a line finished after a partial write, a line cut
// short by another workstation, what another member may put in a log's place,
// and several workstations creating and appending to one log at once.
#include "board/ActivityLog.h"
#include "board/KivText.h"
#include "platform/Files.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/storage/TestFolder.h"

#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const std::vector<std::string> kBanner{
    "************************************************************",
    "*** Kiv Log File by Brackwater                           ***",
    "*** website: www.brackwater.example                      ***",
    "*** email  : support@brackwater.example                  ***",
    "************************************************************",
    "                                                            ",
};
const std::string kHeader = "\"Date/Time\",\"Name\",\"LogInName\",\"From Status\",\"To Status\"";

class ActivityLogTest : public ::testing::Test {
protected:
    /// A pause that does not wait but counts.
    TLogPause CountingPause()
    {
        return [this](std::chrono::milliseconds pause) { Pauses.push_back(pause.count()); };
    }

    std::string TextLog() const { return Folder / "KivLog.txt"; }
    std::string CsvLog() const { return Folder / "KivLog.csv"; }

    TTestFolder Folder;
    TFixedClock Clock;
    std::vector<long> Pauses;
};

/// In a child process that may write files of at most limit bytes (a disk
/// that is full beyond them), runs body with a pause that lifts the limit at
/// its second call; answers body's result.
int WithFullDisk(rlim_t limit, const std::function<int(const TLogPause &)> &body)
{
    return RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit bounds{};
        getrlimit(RLIMIT_FSIZE, &bounds);
        const rlim_t unlimited = bounds.rlim_cur;
        bounds.rlim_cur = limit;
        if (setrlimit(RLIMIT_FSIZE, &bounds) != 0)
            return 90;
        int pauses = 0;
        return body([&](std::chrono::milliseconds) {
            if (++pauses == 2) {
                bounds.rlim_cur = unlimited;
                setrlimit(RLIMIT_FSIZE, &bounds);
            }
        });
    });
}

/// The rows of a whole CSV file as a spreadsheet reads them: a quoted value
/// runs on over line breaks until its closing quote.
std::vector<std::vector<std::string>> CsvRows(const std::string &bytes)
{
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        const char next = i + 1 < bytes.size() ? bytes[i + 1] : '\0';
        std::string &value = rows.back().back();
        if (quoted && c == '"' && next == '"')
            value += c, ++i;
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == ',')
            rows.back().emplace_back();
        else if (!quoted && c == '\r' && next == '\n')
            rows.emplace_back(1), ++i;
        else
            value += c;
    }
    rows.pop_back(); // after the last line break
    return rows;
}

} // namespace

TEST_F(ActivityLogTest, ANewLogGetsItsBannerAndAnExistingOneOnlyItsLines)
{
    AppendTextLog(TextLog(), StatusChangeEntry("Anna Berg", "ANNA", "Available", "At lunch"), Clock, CountingPause());
    Clock.Moment += 65;
    AppendTextLog(TextLog(), StatusChangeEntry("Anna Berg", "ANNA", "At lunch", "Available"), Clock, CountingPause());

    const std::vector<std::string> lines = LogLines(ReadWholeFile(TextLog()));
    ASSERT_EQ(lines.size(), 8u);
    for (std::size_t i = 0; i < kBanner.size(); ++i) {
        EXPECT_EQ(lines[i], kBanner[i]);
        EXPECT_EQ(lines[i].size(), 60u);
    }
    EXPECT_EQ(lines[6],
              DateTimeText(Clock.Moment - 65) + " Anna Berg (ANNA) status changed from \"Available\" to \"At lunch\"");
    EXPECT_EQ(lines[7],
              DateTimeText(Clock.Moment) + " Anna Berg (ANNA) status changed from \"At lunch\" to \"Available\"");
    EXPECT_TRUE(Pauses.empty());

    // A log that is there but empty is appended to as it is.
    WriteWholeFile(CsvLog(), "");
    AppendCsvLog(CsvLog(), "N", "L", "A", "B", Clock, CountingPause());
    EXPECT_EQ(LogLines(ReadWholeFile(CsvLog())).size(), 1u);
}

TEST_F(ActivityLogTest, ANewCsvLogStartsWithItsHeaderAndQuotesInValuesAreDoubled)
{
    AppendCsvLog(CsvLog(), "Jo \"the boss\" O'Neil, Jr.", "JONEIL", "Available", "Out \"\" of, office", Clock,
                 CountingPause());
    const std::string bytes = ReadWholeFile(CsvLog());
    const std::vector<std::string> lines = LogLines(bytes);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], kHeader);
    EXPECT_EQ(lines[1], "\"" + DateTimeText(Clock.Moment)
                            + "\",\"Jo \"\"the boss\"\" O'Neil, Jr.\",\"JONEIL\",\"Available\","
                              "\"Out \"\"\"\" of, office\"");
    const auto values = CsvValues(lines[1]);
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(*values, (std::vector<std::string>{DateTimeText(Clock.Moment), "Jo \"the boss\" O'Neil, Jr.", "JONEIL",
                                                 "Available", "Out \"\" of, office"}));
}

// A line break in a name would split its line, or forge another.
TEST_F(ActivityLogTest, ControlCharactersInAValueBecomeBlanks)
{
    AppendTextLog(TextLog(), StatusChangeEntry("Eve\r\n01/01/24 00:00:00 Boss", "EVE", "A", "B\n"), Clock,
                  CountingPause());
    const auto text = LogLines(ReadWholeFile(TextLog()));
    ASSERT_EQ(text.size(), 7u);
    EXPECT_EQ(text[6],
              DateTimeText(Clock.Moment) + " Eve  01/01/24 00:00:00 Boss (EVE) status changed from \"A\" to \"B \"");
    AppendCsvLog(CsvLog(), "Eve\r\n\"x\"", "EVE", "A", "C", Clock, CountingPause());
    EXPECT_EQ((*CsvValues(LogLines(ReadWholeFile(CsvLog()))[1]))[1], "Eve  \"x\"");
}

TEST_F(ActivityLogTest, ALogThatCannotBeCreatedFailsAfterNineAttemptsWithTheSystemsErrorNumber)
{
    const std::string nowhere = Folder / "gone/KivLog.csv";
    EXPECT_EQ(RaisedText([&] { AppendCsvLog(nowhere, "N", "L", "A", "B", Clock, CountingPause()); }),
              "Unable to add to Kiv CSV file -  Cannot create file \"" + nowhere
                  + "\". No such file or directory - Error 2");
    EXPECT_EQ(Pauses, std::vector<long>(9, 100));
    EXPECT_TRUE(FolderNames(Folder.Path()).empty());
}

// A disk that fills up mid-line: the attempts finish the line that was begun
// instead of leaving half a line and starting a second one.
TEST_F(ActivityLogTest, ALinePartlyWrittenIsFinishedByTheNextAttempt)
{
    AppendCsvLog(CsvLog(), "First", "FIRST", "A", "B", Clock, CountingPause());
    const std::size_t before = ReadWholeFile(CsvLog()).size();
    const int code = WithFullDisk(before + 12, [&](const TLogPause &pause) {
        AppendCsvLog(CsvLog(), "Second", "SECOND", "B", "C", Clock, pause);
        return 0;
    });
    EXPECT_EQ(code, 0);
    const auto lines = LogLines(ReadWholeFile(CsvLog()));
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string &line : lines)
        EXPECT_TRUE(CsvValues(line).has_value()) << line;
    EXPECT_EQ((*CsvValues(lines[2]))[1], "Second");
}

// Another workstation's disk filled up in the middle of its line and it gave
// up: the next line, from anywhere, starts on a line of its own, and in the
// CSV log the value cut inside its quotes is closed, so that a spreadsheet
// reads every row after it as its five values.
TEST_F(ActivityLogTest, ALineCutShortElsewhereIsEndedBeforeTheNextOne)
{
    AppendCsvLog(CsvLog(), "First", "FIRST", "A", "B", Clock, CountingPause());
    const std::size_t before = ReadWholeFile(CsvLog()).size();
    const int code = WithFullDisk(before + 12, [&](const TLogPause &) {
        return RaisedText([&] { AppendCsvLog(CsvLog(), "Cut", "CUT", "B", "C", Clock, [](auto) {}); }).empty() ? 1 : 0;
    });
    ASSERT_EQ(code, 0);
    ASSERT_EQ(ReadWholeFile(CsvLog()).size(), before + 12);
    AppendCsvLog(CsvLog(), "Next", "NEXT", "C", "D", Clock, CountingPause());
    AppendTextLog(TextLog(), "entry", Clock, CountingPause());
    WriteWholeFile(TextLog(), ReadWholeFile(TextLog()) + "half a line\r");
    AppendTextLog(TextLog(), "after", Clock, CountingPause());

    AppendCsvLog(CsvLog(), "Last", "LAST", "D", "E", Clock, CountingPause());

    const std::string csv = ReadWholeFile(CsvLog());
    const auto rows = CsvRows(csv);
    ASSERT_EQ(rows.size(), 5u) << csv;
    EXPECT_EQ(rows[2], std::vector<std::string>{csv.substr(before + 1, 11)});
    for (std::size_t row : {3, 4}) {
        ASSERT_EQ(rows[row].size(), 5u) << csv;
        EXPECT_EQ(rows[row][1], row == 3 ? "Next" : "Last");
    }
    const auto text = LogLines(ReadWholeFile(TextLog()));
    ASSERT_EQ(text.size(), 9u);
    EXPECT_EQ(text[7], "half a line");
    EXPECT_EQ(text[8], DateTimeText(Clock.Moment) + " after");
}

// Any member of the board can put a link (to a colleague's own files) or a
// FIFO in a log's place: the line goes nowhere else, the attempts fail as for
// a log that cannot be opened, and none of them waits.
TEST_F(ActivityLogTest, ALinkOrAFifoInTheLogsPlaceIsNeitherFollowedNorWaitedOn)
{
    const std::string victim = Folder / "bashrc", nowhere = Folder / "owned";
    WriteWholeFile(victim, "# my shell\n");
    struct TCase {
        std::function<int()> Plant;
        std::string Why;
        int Error;
    };
    const TCase cases[] = {
        {[&] { return symlink(victim.c_str(), CsvLog().c_str()); }, "The file is a symbolic link", ELOOP},
        {[&] { return symlink(nowhere.c_str(), CsvLog().c_str()); }, "The file is a symbolic link", ELOOP},
        {[&] { return mkfifo(CsvLog().c_str(), 0666); }, "Not a regular file", kNotRegularFile},
        {[&] { return mkdir(CsvLog().c_str(), 0777); }, "Is a directory", EISDIR},
    };
    for (const TCase &c : cases) {
        ASSERT_EQ(c.Plant(), 0);
        Pauses.clear();
        alarm(10); // an open that waits ends the test program
        const std::string raised =
            RaisedText([&] { AppendCsvLog(CsvLog(), "Eve", "EVE", "A", "$(id>~/owned)", Clock, CountingPause()); });
        alarm(0);
        EXPECT_EQ(raised, "Unable to add to Kiv CSV file -  Cannot open file \"" + CsvLog() + "\". " + c.Why
                              + " - Error " + std::to_string(c.Error));
        EXPECT_EQ(Pauses.size(), std::size_t(ActivityLog::Attempts));
        ASSERT_EQ(remove(CsvLog().c_str()), 0);
    }
    EXPECT_EQ(ReadWholeFile(victim), "# my shell\n");
    EXPECT_FALSE(PathExists(nowhere));
    EXPECT_EQ(FolderNames(Folder.Path()), std::set<std::string>{"bashrc"});
}

// A new log that cannot be written leaves nothing behind: no empty log that
// would later go without its banner, and none of the creator's own files.
TEST_F(ActivityLogTest, ANewLogThatCannotBeWrittenLeavesNothingAndALaterAttemptWritesItWhole)
{
    // Files can be made, but not one byte written.
    const int code = WithFullDisk(0, [&](const TLogPause &pause) {
        const std::string text = RaisedText([&] { AppendCsvLog(CsvLog(), "N", "L", "A", "B", Clock, [](auto) {}); });
        if (text
            != "Unable to add to Kiv CSV file -  Cannot write to file \"" + CsvLog() + "\". File too large - Error "
                   + std::to_string(EFBIG))
            return 91;
        if (!FolderNames(Folder.Path()).empty())
            return 92;
        AppendTextLog(TextLog(), "entry", Clock, pause);
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(FolderNames(Folder.Path()), std::set<std::string>{"KivLog.txt"});
    const auto lines = LogLines(ReadWholeFile(TextLog()));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6), kBanner);
}

TEST_F(ActivityLogTest, WorkstationsCreatingOneLogAtOnceWriteOneBannerAndWholeLines)
{
    constexpr int kWorkstations = 8;
    constexpr int kLines = 60;
    const std::vector<int> codes = RunTogether(kWorkstations, [&](int n) {
        for (int i = 0; i < kLines; ++i) {
            const std::string login = "USER" + std::to_string(n);
            AppendTextLog(TextLog(), StatusChangeEntry(login, login, std::to_string(i), std::to_string(i + 1)), Clock);
        }
        return 0;
    });
    EXPECT_EQ(codes, std::vector<int>(kWorkstations, 0));

    const auto text = LogLines(ReadWholeFile(TextLog()));
    ASSERT_EQ(text.size(), kBanner.size() + kWorkstations * kLines);
    EXPECT_EQ(std::vector<std::string>(text.begin(), text.begin() + 6), kBanner);
    std::map<std::string, int> next;
    const std::string stamp = DateTimeText(Clock.Moment) + " ";
    for (std::size_t i = 6; i < text.size(); ++i) {
        // Each workstation's lines are whole and in the order it wrote them.
        const std::string &line = text[i];
        ASSERT_EQ(line.rfind(stamp, 0), 0u) << line;
        const std::string login = line.substr(stamp.size(), line.find(' ', stamp.size()) - stamp.size());
        const int from = next[login]++;
        EXPECT_EQ(line, stamp + StatusChangeEntry(login, login, std::to_string(from), std::to_string(from + 1)));
    }
    EXPECT_EQ(next.size(), std::size_t(kWorkstations));
    EXPECT_EQ(FolderNames(Folder.Path()), std::set<std::string>{"KivLog.txt"});
}
