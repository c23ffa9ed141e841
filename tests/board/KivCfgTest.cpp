// Kiv.cfg: its records, its defaults, its two errors, and other workstations
// holding it open for a moment.
#include "board/KivCfg.h"
#include "board/KivFile.h"
#include "platform/KivError.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/storage/TestFolder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>

namespace {

std::string CfgRecord(uint8_t loggingType, uint8_t allowMessages, char reserved = '\0')
{
    std::string bytes(33, reserved);
    bytes[0] = char(loggingType);
    bytes[32] = char(allowMessages);
    return bytes;
}

class KivCfgTest : public ::testing::Test {
protected:
    std::string Cfg() const { return Folder / "Kiv.cfg"; }

    TTestFolder Folder;
    TKivCfgRecord Record;
};

// A child process that holds a lock on Kiv.cfg (exclusive unless lock says
// otherwise) until released, or for holdMs when that is not zero.
class THolder {
public:
    THolder(const std::string &path, int holdMs, int lock = LOCK_EX)
    {
        int ready[2];
        if (pipe(ready) != 0 || pipe(FRelease) != 0)
            return;
        FPid = fork();
        if (FPid == 0) {
            close(ready[0]);
            close(FRelease[1]);
            const int fd = open(path.c_str(), O_RDWR);
            const bool locked = fd >= 0 && flock(fd, lock) == 0;
            (void)!write(ready[1], locked ? "1" : "0", 1);
            if (holdMs > 0) {
                usleep(useconds_t(holdMs) * 1000);
            } else {
                char go;
                (void)!read(FRelease[0], &go, 1);
            }
            _exit(0);
        }
        close(ready[1]);
        close(FRelease[0]);
        char answer = '0';
        FLocked = read(ready[0], &answer, 1) == 1 && answer == '1';
        close(ready[0]);
    }
    ~THolder()
    {
        close(FRelease[1]);
        if (FPid > 0)
            waitpid(FPid, nullptr, 0);
    }
    bool Locked() const { return FLocked; }

private:
    pid_t FPid = -1;
    int FRelease[2] = {-1, -1};
    bool FLocked = false;
};

} // namespace

TEST_F(KivCfgTest, AMissingFileIsCreatedEmptyAndReadsAsTheDefaults)
{
    Record.LoggingType = 2;
    Record.AllowMessages = 0;
    ReadKivCfg(Folder.Path(), Record);
    EXPECT_EQ(Record.LoggingType, 0);
    EXPECT_EQ(Record.AllowMessages, 1);
    ASSERT_TRUE(PathExists(Cfg()));
    EXPECT_EQ(ReadWholeFile(Cfg()).size(), 0u);

    Record.LoggingType = 1;
    WriteKivCfg(Folder.Path() + "/", Record);
    EXPECT_EQ(ReadWholeFile(Cfg()), CfgRecord(1, 1));
}

TEST_F(KivCfgTest, TheLastRecordCountsAndAWriteReplacesTheFirst)
{
    WriteWholeFile(Cfg(), CfgRecord(1, 0, 'a') + CfgRecord(2, 1, 'b'));
    ReadKivCfg(Folder.Path(), Record);
    EXPECT_EQ(Record.LoggingType, 2);
    EXPECT_EQ(Record.AllowMessages, 1);
    EXPECT_EQ(Record.Reserved[0], 'b');

    Record.LoggingType = 0;
    WriteKivCfg(Folder.Path(), Record);
    EXPECT_EQ(ReadWholeFile(Cfg()), CfgRecord(0, 1, 'b') + CfgRecord(2, 1, 'b'));
    ReadKivCfg(Folder.Path(), Record);
    EXPECT_EQ(Record.LoggingType, 2);
}

TEST_F(KivCfgTest, ALengthThatIsNoMultipleOfTheRecordFails)
{
    WriteWholeFile(Cfg(), CfgRecord(2, 0) + std::string(7, 'x'));
    EXPECT_EQ(RaisedText([&] { ReadKivCfg(Folder.Path(), Record); }), "Unable to open Kiv.CFG file");
    // What the attempts read before the short record stays.
    EXPECT_EQ(Record.LoggingType, 2);
    EXPECT_EQ(Record.AllowMessages, 0);
    EXPECT_EQ(ReadWholeFile(Cfg()).size(), 40u);
}

TEST_F(KivCfgTest, UnknownLoggingTypesAndReservedBytesAreCarriedAsRead)
{
    WriteWholeFile(Cfg(), CfgRecord(3, 1, 'r'));
    ReadKivCfg(Folder.Path(), Record);
    EXPECT_EQ(Record.LoggingType, 3);
    WriteKivCfg(Folder.Path(), Record);
    EXPECT_EQ(ReadWholeFile(Cfg()), CfgRecord(3, 1, 'r'));
}

TEST_F(KivCfgTest, ABlankFolderIsAnUnknownLocation)
{
    for (const std::string &folder : {std::string(), std::string("  \t ")}) {
        EXPECT_EQ(RaisedText([&] { ReadKivCfg(folder, Record); }), "Unkown Kiv database location");
        EXPECT_EQ(RaisedText([&] { WriteKivCfg(folder, Record); }), "Unkown Kiv database location");
    }
}

TEST_F(KivCfgTest, WritingNeverCreatesTheFile)
{
    EXPECT_EQ(RaisedText([&] { WriteKivCfg(Folder.Path(), Record); }), "Unable to open Kiv.CFG file");
    EXPECT_FALSE(PathExists(Cfg()));
}

TEST_F(KivCfgTest, AnUnreachableFolderGivesTheFileCreationError)
{
    const std::string gone = Folder / "gone";
    const std::string text = RaisedText([&] { ReadKivCfg(gone, Record); });
    EXPECT_EQ(text.rfind("Cannot create file \"" + gone + "/Kiv.cfg\". ", 0), 0u) << text;
    EXPECT_FALSE(PathExists(gone));
}

TEST_F(KivCfgTest, AWorkstationHoldingTheFileForAMomentDoesNotFailTheRead)
{
    WriteWholeFile(Cfg(), CfgRecord(1, 0));
    THolder holder(Cfg(), 100);
    ASSERT_TRUE(holder.Locked());
    ReadKivCfg(Folder.Path(), Record);
    EXPECT_EQ(Record.LoggingType, 1);
    EXPECT_EQ(Record.AllowMessages, 0);
}

// A member holding a lock must not stop every start: readers share the file,
// and one kept out throughout goes on with what it knew, saying so; only a
// writer needs the file alone.
TEST_F(KivCfgTest, ALockHeldThroughoutStopsOnlyTheWriteAndAReadSaysWhatItUsed)
{
    const struct {
        int Lock;
        bool ReadBefore; // this process read the file before the lock was taken
        TKivCfgRead Read;
        uint8_t LoggingType;
    } cases[] = {
        {LOCK_SH, false, TKivCfgRead::FromFile, 2},
        {LOCK_EX, true, TKivCfgRead::LastKnown, 1},
        {LOCK_EX, false, TKivCfgRead::Defaults, 0},
    };
    for (const auto &c : cases) {
        TTestFolder folder;
        const std::string cfg = folder / "Kiv.cfg";
        WriteWholeFile(cfg, CfgRecord(1, 0));
        if (c.ReadBefore)
            ReadKivCfg(folder.Path(), Record);
        WriteWholeFile(cfg, CfgRecord(2, 0));
        THolder holder(cfg, 0, c.Lock);
        ASSERT_TRUE(holder.Locked());
        TKivCfgRecord record;
        EXPECT_EQ(ReadKivCfg(folder.Path(), record), c.Read) << c.Lock;
        EXPECT_EQ(record.LoggingType, c.LoggingType) << c.Lock;
        EXPECT_EQ(KivCfgNotice(c.Read).empty(), c.Read == TKivCfgRead::FromFile);
        EXPECT_EQ(RaisedText([&] { WriteKivCfg(folder.Path(), record); }), "Unable to open Kiv.CFG file");
        EXPECT_EQ(ReadWholeFile(cfg), CfgRecord(2, 0));
    }
}

TEST_F(KivCfgTest, AReadOnlyFileIsReadButNotWrittenAndIsLeftAsItWas)
{
    WriteWholeFile(Cfg(), CfgRecord(1, 0));
    chmod(Cfg().c_str(), 0444);
    chmod(Folder.Path().c_str(), 0755);
    const int code = RunInChild(
        [&] {
            TKivCfgRecord record;
            if (ReadKivCfg(Folder.Path(), record) != TKivCfgRead::FromFile || record.LoggingType != 1)
                return 1;
            return RaisedText([&] { WriteKivCfg(Folder.Path(), record); }) == "Unable to open Kiv.CFG file" ? 0 : 2;
        },
        true);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadWholeFile(Cfg()), CfgRecord(1, 0));
}

TEST_F(KivCfgTest, TheBoardKeepsCopiesOfWhatItLastReadOrWrote)
{
    WriteWholeFile(Cfg(), CfgRecord(2, 0));
    TFakeBoard board;
    TKivFile kiv(Folder.Path(), board.Ctx, "jsmith");
    EXPECT_EQ(kiv.LoggingType, 2);
    EXPECT_EQ(kiv.AllowMessages, 0);

    TKivCfgRecord record;
    record.LoggingType = 1;
    record.AllowMessages = 1;
    kiv.WriteConfig(record);
    EXPECT_EQ(kiv.LoggingType, 1);
    EXPECT_EQ(kiv.AllowMessages, 1);

    WriteWholeFile(Cfg(), CfgRecord(0, 0));
    kiv.ReadConfig(record);
    EXPECT_EQ(kiv.LoggingType, 0);
    EXPECT_EQ(kiv.AllowMessages, 0);
}

TEST_F(KivCfgTest, TheBoardCannotBeOpenedOnADamagedOrBlankConfiguration)
{
    WriteWholeFile(Cfg(), std::string(40, '\0'));
    TFakeBoard board;
    EXPECT_EQ(RaisedText([&] { TKivFile kiv(Folder.Path(), board.Ctx, "jsmith"); }), "Unable to open Kiv.CFG file");
    EXPECT_EQ(RaisedText([&] { TKivFile kiv(" ", board.Ctx, "jsmith"); }), "Unkown Kiv database location");
    EXPECT_TRUE(board.Prompter.Shown.empty());
}

// Any member of the board can put a link or a FIFO in Kiv.cfg's place: no
// file outside the folder is read, written or created through it, and no
// read or write waits on it.
TEST_F(KivCfgTest, ALinkOrAFifoInItsPlaceIsNeitherFollowedNorWaitedOn)
{
    const std::string victim = Folder / "victim", nowhere = Folder / "made-elsewhere";
    const std::string victimBytes = std::string(33, 'v') + "rest of someone's file";
    WriteWholeFile(victim, victimBytes);
    Record.LoggingType = 2;
    alarm(10); // an open that waits ends the test program

    ASSERT_EQ(symlink(victim.c_str(), Cfg().c_str()), 0);
    EXPECT_EQ(RaisedText([&] { ReadKivCfg(Folder.Path(), Record); }), "Unable to open Kiv.CFG file");
    EXPECT_EQ(RaisedText([&] { WriteKivCfg(Folder.Path(), Record); }), "Unable to open Kiv.CFG file");
    EXPECT_EQ(ReadWholeFile(victim), victimBytes);
    ASSERT_EQ(remove(Cfg().c_str()), 0);

    ASSERT_EQ(symlink(nowhere.c_str(), Cfg().c_str()), 0);
    EXPECT_EQ(RaisedText([&] { ReadKivCfg(Folder.Path(), Record); }),
              "Cannot create file \"" + Cfg() + "\". The file is a symbolic link");
    EXPECT_FALSE(PathExists(nowhere));
    ASSERT_EQ(remove(Cfg().c_str()), 0);

    ASSERT_EQ(mkfifo(Cfg().c_str(), 0666), 0);
    EXPECT_EQ(RaisedText([&] { ReadKivCfg(Folder.Path(), Record); }), "Unable to open Kiv.CFG file");
    EXPECT_EQ(RaisedText([&] { WriteKivCfg(Folder.Path(), Record); }), "Unable to open Kiv.CFG file");
    alarm(0);
}
