// The wrapper's own logic, against a counting stand-in for the engine: loading,
// refusals that must not reach the engine, key computation and the retry of an
// add whose number another workstation took.
#include "storage/IsamFile.h"
#include "tests/storage/FakeEngine.h"
#include "tests/storage/TestFolder.h"
#include "vbis/Vbis4032.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <memory>

namespace {

TFakeEngineState *FakeState()
{
    void *library = dlopen(TIsamFile::LibraryPath(KIV_FAKE_ENGINE_DIR).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr)
        return nullptr;
    auto accessor = reinterpret_cast<TFakeEngineStateFn>(dlsym(library, kFakeEngineStateSymbol));
    return accessor != nullptr ? accessor() : nullptr;
}

class FakeEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Isam = std::make_unique<TIsamFile>(KIV_FAKE_ENGINE_DIR);
        ASSERT_TRUE(Isam->EngineLoaded());
        State = FakeState();
        ASSERT_NE(State, nullptr);
        *State = TFakeEngineState();
    }

    void Open()
    {
        ASSERT_TRUE(Isam->OpenDataset("/nowhere/Data", 3, kFakeFormat));
        State->Calls = 0;
    }

    std::unique_ptr<TIsamFile> Isam;
    TFakeEngineState *State = nullptr;
    char Buffer[64] = {};
};

} // namespace

TEST(IsamFileLoading, LibraryPathEndsTheFolderInOneSeparator)
{
    EXPECT_EQ(TIsamFile::LibraryPath(""), "VBIS4032.DLL");
    EXPECT_EQ(TIsamFile::LibraryPath("/opt/kiv"), "/opt/kiv/VBIS4032.DLL");
    EXPECT_EQ(TIsamFile::LibraryPath("/opt/kiv/"), "/opt/kiv/VBIS4032.DLL");
    EXPECT_EQ(TIsamFile::LibraryPath("/"), "/VBIS4032.DLL");
}

TEST(IsamFileLoading, FolderWithAndWithoutSeparatorLoadTheSameEngine)
{
    TIsamFile plain(KIV_FAKE_ENGINE_DIR);
    TIsamFile slashed(std::string(KIV_FAKE_ENGINE_DIR) + "/");
    ASSERT_TRUE(plain.EngineLoaded());
    ASSERT_TRUE(slashed.EngineLoaded());
    TFakeEngineState *state = FakeState();
    ASSERT_NE(state, nullptr);
    // One library, one table: a call through either reaches the same engine.
    state->Calls = 0;
    EXPECT_EQ(plain.KeyLength(), 10);
    EXPECT_EQ(slashed.KeyLength(), 10);
    EXPECT_EQ(state->Calls, 2);
}

TEST(IsamFileLoading, EngineBesideTheProgramIsFoundByTheBareName)
{
    TIsamFile isam;
    EXPECT_TRUE(isam.EngineLoaded());
}

TEST(IsamFileLoading, FolderWithoutEngineLeavesItUnloadedAndRefusesSafely)
{
    TTestFolder empty;
    TIsamFile isam(empty.Path());
    EXPECT_FALSE(isam.EngineLoaded());
    char buffer[8] = {};
    EXPECT_FALSE(isam.OpenDataset(empty / "Data", 3, "%"));
    EXPECT_FALSE(isam.CreateDataset(empty / "Data", 10, "%"));
    EXPECT_FALSE(isam.AddRecord(buffer));
    EXPECT_EQ(isam.KeyLength(), -1);
    EXPECT_EQ(isam.NextKey(), "");
    EXPECT_FALSE(PathExists(empty / "Data.ism"));
}

TEST(IsamFileLoading, EngineLackingOneEntryPointDoesNotCountAsLoaded)
{
    TIsamFile partial(KIV_PARTIAL_ENGINE_DIR);
    EXPECT_FALSE(partial.EngineLoaded());
    // The failed attempt leaves nothing behind that spoils a complete engine.
    TIsamFile full(KIV_FAKE_ENGINE_DIR);
    ASSERT_TRUE(full.EngineLoaded());
    EXPECT_EQ(full.KeyLength(), 10);
}

TEST_F(FakeEngineTest, RecordOperationsOnAClosedInstanceAreRefusedWithoutAnEngineCall)
{
    EXPECT_FALSE(Isam->CloseDataset());
    EXPECT_EQ(Isam->LastError(), 4);
    EXPECT_EQ(Isam->ErrorText(), "Invalid dataset reference");
    EXPECT_FALSE(Isam->AddRecord(Buffer));
    EXPECT_FALSE(Isam->ReplaceRecord(Buffer, "0000000001"));
    EXPECT_FALSE(Isam->ReadEqual(Buffer, 0, "0000000001"));
    EXPECT_FALSE(Isam->ReadNext(Buffer, 0));
    EXPECT_FALSE(Isam->ReadPrevious(Buffer, 0));
    EXPECT_FALSE(Isam->DeleteRecord("0000000001"));
    EXPECT_FALSE(Isam->GotoTop(0));
    EXPECT_FALSE(Isam->GotoBottom(0));
    EXPECT_EQ(Isam->LastError(), 4);
    EXPECT_EQ(State->Calls, 0);
}

TEST_F(FakeEngineTest, CreateOrOpenWhileOpenIsRefusedAndTheDatasetStaysOpen)
{
    Open();
    const int32_t handle = Isam->Handle();
    EXPECT_FALSE(Isam->OpenDataset("/nowhere/Other", 3, kFakeFormat));
    EXPECT_EQ(Isam->LastError(), 23);
    EXPECT_EQ(Isam->ErrorText(), "A dataset is already open");
    EXPECT_FALSE(Isam->CreateDataset("/nowhere/Other", 10, "%"));
    EXPECT_EQ(Isam->LastError(), 23);
    EXPECT_EQ(State->Calls, 0);
    EXPECT_TRUE(Isam->IsOpen());
    EXPECT_EQ(Isam->Handle(), handle);
    EXPECT_EQ(Isam->FileName(), "/nowhere/Data");

    EXPECT_TRUE(Isam->CloseDataset());
    EXPECT_FALSE(Isam->IsOpen());
    EXPECT_EQ(Isam->Handle(), 0);
    EXPECT_EQ(Isam->FileName(), "");
}

TEST_F(FakeEngineTest, AReadModeBeyondSixteenBitsIsRefused)
{
    Open();
    EXPECT_FALSE(Isam->ReadNext(Buffer, 0, "", 32767));
    EXPECT_EQ(Isam->LastError(), 7);
    EXPECT_EQ(State->Calls, 0);
}

TEST_F(FakeEngineTest, NextKeyCountsOnFromTheHighestKey)
{
    Open();
    EXPECT_EQ(Isam->NextKey(), "0000000001");
    State->Highest = 41;
    EXPECT_EQ(Isam->NextKey(), "0000000042");
    State->Highest = 99;
    EXPECT_EQ(Isam->NextKey(), "0000000100");
}

TEST_F(FakeEngineTest, AnAddWhoseNumberAnotherWorkstationTookIsFiledUnderTheNextOne)
{
    Open();
    State->Highest = 41;
    State->Races = 3;
    EXPECT_TRUE(Isam->AddRecord(Buffer));
    EXPECT_EQ(Isam->LastKey(), "0000000045");
    EXPECT_STREQ(State->AddedKey, "0000000045");
    EXPECT_EQ(State->Adds, 4);
}

TEST_F(FakeEngineTest, TheRetryOfAnAddIsBounded)
{
    Open();
    State->Races = 1000;
    EXPECT_FALSE(Isam->AddRecord(Buffer));
    EXPECT_EQ(Isam->LastError(), 2);
    EXPECT_EQ(State->Adds, TIsamFile::AddAttempts);
}

TEST_F(FakeEngineTest, AnAddUnderAGivenKeyIsNotRetried)
{
    Open();
    State->Highest = 10;
    EXPECT_FALSE(Isam->AddRecord(Buffer, "0000000005"));
    EXPECT_EQ(Isam->LastError(), 2);
    EXPECT_EQ(State->Adds, 1);
}

TEST(IsamFileErrors, TextsAndFurtherInformation)
{
    EXPECT_EQ(TIsamFile::ErrorText(0), "No error");
    EXPECT_EQ(TIsamFile::ErrorText(1), "Object not found");
    EXPECT_EQ(TIsamFile::ErrorText(2), "Update mode violation");
    EXPECT_EQ(TIsamFile::ErrorText(19), "Multi-user locks encountered");
    EXPECT_EQ(TIsamFile::ErrorText(21), "Function no available");
    EXPECT_EQ(TIsamFile::ErrorText(23), "A dataset is already open");
    for (int code : {20, 24, -1, 32767, -32768})
        EXPECT_EQ(TIsamFile::ErrorText(code), "Unknown error") << code;

    EXPECT_EQ(TIsamFile::ErrorInfo(0), "No error has occured");
    EXPECT_EQ(TIsamFile::ErrorInfo(1), "");
    EXPECT_EQ(TIsamFile::ErrorInfo(7), "");
    EXPECT_EQ(TIsamFile::ErrorInfo(23), "");
    for (int code : {24, -1})
        EXPECT_EQ(TIsamFile::ErrorInfo(code), "There is no further information for this error") << code;
}
