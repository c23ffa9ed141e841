// The engine's contract as its caller sees it: creating, opening and closing
// datasets, handles, argument checks and the codes they answer; on datasets
// of a folder and of a board server alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "kit/EngineApi.h"
#include "kit/Location.h"
#include "kit/Records.h"

using namespace vbistest;

namespace {

constexpr const char *kStatusFormat = "X$*31";

bool Exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The code of an open of the dataset at path.
int16_t OpenCode(const std::string &path)
{
    TOpenDataset ds;
    return ds.Open(path);
}

class TLocated : public ::testing::TestWithParam<TLocationKind> {
protected:
    TLocation FPlace{GetParam()};
};
#define KIV_LOCATED(Suite)                                                                                             \
    class Suite : public TLocated {};                                                                                  \
    INSTANTIATE_TEST_SUITE_P(Location, Suite, ::testing::Values(TLocationKind::Folder, TLocationKind::Server),         \
                             [](const auto &info) { return LocationName(info.param); })
KIV_LOCATED(EngineCreate);
KIV_LOCATED(EngineOpen);
KIV_LOCATED(EngineHandles);
KIV_LOCATED(EngineInfo);

} // namespace

TEST_P(EngineCreate, MakesTheDatasetAndRefusesToOverwriteAnExistingOne)
{
    const std::string path = FPlace / "KivStats";
    ASSERT_EQ(CreateDataset(path, kStatusFormat), VBIS_OK);
    if (!FPlace.IsServer()) {
        EXPECT_TRUE(Exists(path + ".ism"));
        EXPECT_TRUE(Exists(path + ".isd"));
    }

    {
        TOpenDataset ds;
        ASSERT_EQ(ds.Open(path), VBIS_OK);
        ASSERT_EQ(ds.Add(RecordNumber(1), TRecord(31).Text(0, 31, "At lunch").Data()), VBIS_OK);
    }

    // A second create, even with another format, leaves the dataset as it was.
    EXPECT_EQ(CreateDataset(path, kStatusFormat), VBIS_NAME_IN_USE);
    EXPECT_EQ(CreateDataset(path, "X$*21,%"), VBIS_NAME_IN_USE);
    TOpenDataset ds;
    ASSERT_EQ(ds.Open(path), VBIS_OK);
    TRecord read(31);
    EXPECT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(1), read.Data()), VBIS_OK);
    EXPECT_EQ(read.TextAt(0, 31), "At lunch");
    TIsamInfoRec info{};
    std::string format;
    ASSERT_EQ(ds.Info(info, &format), VBIS_OK);
    EXPECT_EQ(format, kStatusFormat);
}

// A create builds both files under names of their own first
// ("P.ism-new-<process>-<host>-<n>"); a kill in the middle leaves them. The
// next create of the dataset removes those of processes of this machine
// that are gone, and leaves every other: the folder is shared between
// machines, and a process number says nothing about another machine's.
TEST(EngineFolderCreate, RemovesWhatAKilledCreateLeftBehindOnThisMachineOnly)
{
    char name[256] = {};
    ASSERT_EQ(::gethostname(name, sizeof name - 1), 0);
    std::string host;
    for (const char *c = name; *c != 0; ++c)
        host += (std::isalnum(static_cast<unsigned char>(*c)) || *c == '.' || *c == '_') ? *c : '_';
    const pid_t gone = ::fork();
    ASSERT_GE(gone, 0);
    if (gone == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    const std::string dead = std::to_string(gone);
    const std::string alive = std::to_string(::getppid());

    TTempFolder folder;
    const std::vector<std::string> leftOvers = {"KivDB31.ism-new-" + dead + "-" + host + "-1",
                                                "KivDB31.isd-new-" + dead + "-" + host + "-1"};
    const std::vector<std::string> kept = {
        "KivDB31.ism-new-" + alive + "-" + host + "-2", // still being built
        "KivDB31.ism-new-" + dead + "-another.host-3",  // another machine's
        "KivDB31.ism-new-" + dead + "-4",               // says no machine
        "KivDB31.ism-new-x" + dead + "-" + host + "-5", // no process number
        "KivStats.ism-new-" + dead + "-" + host + "-6", // another dataset's
    };
    for (const auto *names : {&leftOvers, &kept})
        for (const std::string &file : *names)
            WriteFile(folder / file, "half");
    ASSERT_EQ(CreateDataset(folder / "KivDB31", kStatusFormat), VBIS_OK);
    std::vector<std::string> expected = kept;
    expected.push_back("KivDB31.isd");
    expected.push_back("KivDB31.ism");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ListFolder(folder.Path()), expected);
}

TEST(EngineFolderCreate, RefusesWhenOnlyTheDataFileIsThere)
{
    TTempFolder folder;
    WriteFile(folder / "Odd.isd", "not ours");
    EXPECT_EQ(CreateDataset(folder / "Odd", kStatusFormat), VBIS_NAME_IN_USE);
    EXPECT_EQ(ReadFile(folder / "Odd.isd"), "not ours");
    EXPECT_FALSE(Exists(folder / "Odd.ism"));
}

TEST_P(EngineCreate, AnswersBadFormatForAnythingButPercentDollarStarAndX)
{
    const char *bad[] = {"",   "X",     "$*",     "$*0",        "$*031",    "$31",     "*31",
                         "%%", "x$*31", "X$*31,", ",X$*31",     "X$*31,,%", "XX%",     "% ",
                         " %", "$*-5",  "$*5x",   "$*99999999", "%,$*2,Y%", "X$*31;%", "X%\n"};
    int n = 0;
    for (const char *format : bad) {
        SCOPED_TRACE(format);
        const std::string path = FPlace / ("Bad" + std::to_string(n++));
        EXPECT_EQ(CreateDataset(path, format), VBIS_BAD_FORMAT);
        EXPECT_EQ(OpenCode(path), VBIS_NOT_FOUND);
    }
    const char *good[] = {"%",
                          "X%",
                          "$*1",
                          "X$*31",
                          "%,$*51,$*31,$*11,$*21,$*51,X$*21,$*31,$*51,$*51,$*51,$*51,%,%,%",
                          "%,$*31,$*256,X$*7,$*256,X$*31,$*31,X$*31,$*31"};
    for (const char *format : good) {
        SCOPED_TRACE(format);
        EXPECT_EQ(CreateDataset(FPlace / ("Good" + std::to_string(n++)), format), VBIS_OK);
    }
}

TEST_P(EngineCreate, RefusesBadKeyLengthsAndMissingFolders)
{
    EXPECT_EQ(CreateDataset(FPlace / "Zero", kStatusFormat, 0), VBIS_BAD_PARAMETER);
    EXPECT_EQ(CreateDataset(FPlace / "Negative", kStatusFormat, -10), VBIS_BAD_PARAMETER);
    EXPECT_EQ(CreateDataset(FPlace / "Huge", kStatusFormat, 30000), VBIS_BAD_PARAMETER);
    if (!FPlace.IsServer()) {
        EXPECT_EQ(CreateDataset(FPlace / "no/such/folder/KivStats", kStatusFormat), VBIS_IO_ERROR);
    }
    EXPECT_EQ(CreateDataset("", kStatusFormat), VBIS_BAD_PARAMETER);
    // Nothing is left behind by a refused create, not even a half-built file.
    int16_t keyLength = 10;
    int32_t zero32 = 0;
    int16_t zeroA = 0, zeroB = 0;
    BSTR nullFormat = nullptr;
    TBStr path(FPlace / "NoFormat");
    EXPECT_EQ(Engine().Create(path.Ref(), &keyLength, &zero32, &zeroA, &zeroB, &nullFormat), VBIS_BAD_FORMAT);
    EXPECT_EQ(Engine().Create(path.Ref(), &keyLength, &zero32, &zeroA, &zeroB, nullptr), VBIS_BAD_FORMAT);
    if (FPlace.IsServer()) {
        EXPECT_EQ(FPlace.Sql("SELECT count(*) FROM kiv.datasets"), "0");
    } else {
        EXPECT_TRUE(ListFolder(FPlace.Path()).empty());
    }
}

TEST_P(EngineOpen, AnswersNotFoundBadModeAndBadPath)
{
    TOpenDataset ds;
    EXPECT_EQ(ds.Open(FPlace / "Missing"), VBIS_NOT_FOUND);
    EXPECT_EQ(ds.Handle(), 0);
    if (!FPlace.IsServer()) {
        EXPECT_EQ(ds.Open(FPlace / "no-folder/Missing"), VBIS_IO_ERROR);
    }
    EXPECT_EQ(ds.Open(""), VBIS_BAD_PARAMETER);

    ASSERT_EQ(CreateDataset(FPlace / "KivStats", kStatusFormat), VBIS_OK);
    TBStr path(FPlace / "KivStats");
    int16_t zero = 0;
    int32_t handle = 0;
    for (int16_t mode : {0, 1, 2, 4, -3}) {
        EXPECT_EQ(Engine().Open(path.Ref(), &zero, &mode, &handle), VBIS_BAD_PARAMETER) << mode;
        EXPECT_EQ(handle, 0);
    }
    EXPECT_EQ(Engine().Open(path.Ref(), &zero, nullptr, &handle), VBIS_BAD_PARAMETER);
    int16_t mode = 3;
    EXPECT_EQ(Engine().Open(path.Ref(), &zero, &mode, nullptr), VBIS_BAD_PARAMETER);
}

TEST_P(EngineHandles, AreSmallPositiveNeverReusedAndInvalidOnceClosed)
{
    ASSERT_EQ(CreateDataset(FPlace / "KivStats", kStatusFormat), VBIS_OK);
    TOpenDataset a, b;
    ASSERT_EQ(a.Open(FPlace / "KivStats"), VBIS_OK);
    ASSERT_EQ(b.Open(FPlace / "KivStats"), VBIS_OK);
    EXPECT_GT(a.Handle(), 0);
    EXPECT_GT(b.Handle(), 0);
    EXPECT_NE(a.Handle(), b.Handle());

    int32_t closed = a.Handle();
    ASSERT_EQ(a.Close(), VBIS_OK);
    TOpenDataset c;
    ASSERT_EQ(c.Open(FPlace / "KivStats"), VBIS_OK);
    EXPECT_NE(c.Handle(), closed);

    TRecord record(31);
    int16_t index = 0, readMode = VBIS_READ_NEXT, putMode = VBIS_PUT_ADD;
    BSTR key = nullptr, text = nullptr, found = nullptr;
    for (int32_t bad : {closed, 0, -1, 999999}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(Engine().Close(&bad), VBIS_INVALID_HANDLE);
        EXPECT_EQ(Engine().Get(&bad, &index, &readMode, &key, &text, &found, record.Data()), VBIS_INVALID_HANDLE);
        EXPECT_EQ(Engine().Put(&bad, &key, record.Data(), &putMode), VBIS_INVALID_HANDLE);
    }
    EXPECT_EQ(Engine().Close(nullptr), VBIS_INVALID_HANDLE);
    EXPECT_EQ(found, nullptr);
    // The other handle on the same dataset is untouched.
    EXPECT_EQ(b.Top(0), VBIS_OK);
}

TEST_P(EngineHandles, TheSixUnusedFunctionsAnswerUnavailable)
{
    ASSERT_EQ(CreateDataset(FPlace / "KivStats", kStatusFormat), VBIS_OK);
    TOpenDataset ds;
    ASSERT_EQ(ds.Open(FPlace / "KivStats"), VBIS_OK);
    int32_t handle = ds.Handle();
    int16_t field = 1;
    BSTR note = nullptr;
    TBStr path(FPlace / "KivStats");
    EXPECT_EQ(Engine().Lock(&handle), VBIS_UNAVAILABLE);
    EXPECT_EQ(Engine().Unlock(&handle), VBIS_UNAVAILABLE);
    EXPECT_EQ(Engine().Kill(path.Ref()), VBIS_UNAVAILABLE);
    EXPECT_EQ(Engine().ReadNote(&handle, &note), VBIS_UNAVAILABLE);
    EXPECT_EQ(Engine().WriteNote(&handle, &note), VBIS_UNAVAILABLE);
    EXPECT_EQ(Engine().FetchField(&handle, &field, &note), VBIS_UNAVAILABLE);
    EXPECT_EQ(note, nullptr);
    // Kill really did nothing.
    EXPECT_EQ(OpenCode(FPlace / "KivStats"), VBIS_OK);
}

TEST_P(EngineInfo, ReportsRecordCountKeyLengthAndFormat)
{
    ASSERT_EQ(CreateDataset(FPlace / "Short", kStatusFormat, 4), VBIS_OK);
    TOpenDataset ds;
    ASSERT_EQ(ds.Open(FPlace / "Short"), VBIS_OK);
    for (const char *key : {"0001", "0002", "0003"})
        ASSERT_EQ(ds.Add(key, TRecord(31).Text(0, 31, key).Data()), VBIS_OK);
    ASSERT_EQ(ds.Delete("0002"), VBIS_OK);
    TIsamInfoRec info{};
    std::string format;
    ASSERT_EQ(ds.Info(info, &format), VBIS_OK);
    EXPECT_EQ(info.recordCount, 2);
    EXPECT_EQ(info.keyLength, 4);
    EXPECT_EQ(format, kStatusFormat);
}

TEST(EngineModule, ExportsExactlyTheFifteenEntryPoints)
{
    // Anything else exported could clash with the caller's own symbols.
    const std::string module = ProgramFolder() + "/" VBIS_ENGINE_FILE;
    const std::string command = "nm -D --defined-only '" + module + "' | awk '{print $3}' | sort";
    FILE *pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char line[256];
    while (std::fgets(line, sizeof line, pipe) != nullptr)
        out += line;
    if (::pclose(pipe) != 0 || out.empty())
        GTEST_SKIP() << "nm is not available";
    EXPECT_EQ(out, "VmxBOF\nVmxClose\nVmxCreate\nVmxDelete\nVmxEOF\nVmxFetchField\nVmxGet\nVmxInfo\nVmxKill\n"
                   "VmxLock\nVmxOpen\nVmxPut\nVmxReadNote\nVmxUnlock\nVmxWriteNote\n");
}
