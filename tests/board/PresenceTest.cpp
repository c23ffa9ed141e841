// The presence file as any member of the office may leave it, and the time a
// status ends: ended only over what it was given for, shown only with it.
#include "board/Presence.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/storage/TestFolder.h"

#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kHeader = 16, kSlot = 256;

/// The bytes of a file as this version writes it: the header, then slots.
std::string Header()
{
    std::string bytes("KIVPRSNC", 8);
    bytes += std::string("\x01\x00\x00\x00", 4);
    bytes += std::string("\x00\x01\x00\x00", 4); // 256
    return bytes;
}

/// A running copy's slot: login as given (not cut), beat count beats.
std::string Slot(const std::string &login, unsigned char beats = 1)
{
    std::string slot(kSlot, '\0');
    slot.replace(0, std::min<std::size_t>(login.size(), kSlot), login.substr(0, kSlot));
    slot[32] = 1;  // running
    slot[36] = 60; // period
    slot[40] = char(beats);
    return slot;
}

void Write(const std::string &path, const std::string &bytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    close(fd);
}

} // namespace

TEST(PresenceTest, AHostilePresenceFileIsReadOnlyAsFarAsItIsSoundAndSaysWhatIsWrong)
{
    struct TCase {
        const char *Name;
        std::function<void(const std::string &path)> Make;
        std::set<std::string> Logins; // the slots taken
        const char *Fault;            // a part of the fault told; "" for none
    };
    const std::vector<TCase> cases{
        // Catches: a link followed to a file elsewhere.
        {"symlink",
         [](const std::string &path) {
             Write(path + ".real", Header() + Slot("ANN"));
             symlink((path + ".real").c_str(), path.c_str());
         },
         {},
         "symbolic link"},
        // Catches: an open that waits forever on a FIFO.
        {"fifo", [](const std::string &path) { mkfifo(path.c_str(), 0600); }, {}, "Not a regular file"},
        {"folder", [](const std::string &path) { mkdir(path.c_str(), 0700); }, {}, "Not a regular file"},
        // Catches: a slot still being added read as garbage, or refused whole.
        {"cut slot",
         [](const std::string &path) { Write(path, Header() + Slot("ANN") + Slot("BOB").substr(0, 100)); },
         {"ANN"},
         ""},
        // Catches: a login read past its field.
        {"overlong login",
         [](const std::string &path) { Write(path, Header() + Slot(std::string(40, 'X')) + Slot("ANN")); },
         {"ANN"},
         "1 damaged"},
        {"invalid UTF-8",
         [](const std::string &path) { Write(path, Header() + Slot("B\xC3(B") + Slot("ANN")); },
         {"ANN"},
         "1 damaged"},
        {"control in login",
         [](const std::string &path) { Write(path, Header() + Slot("\x1b]0;x") + Slot("ANN")); },
         {"ANN"},
         "1 damaged"},
        {"alien header",
         [](const std::string &path) { Write(path, "not a presence file at all, just text" + Slot("ANN")); },
         {},
         "not one this version"},
        // Catches: a read of the whole of a huge file.
        {"huge",
         [](const std::string &path) {
             Write(path, Header() + Slot("ANN"));
             ASSERT_EQ(truncate(path.c_str(), off_t(kHeader + 5000 * kSlot)), 0);
         },
         {"ANN"},
         "more than 4096"},
    };
    for (const TCase &test : cases) {
        SCOPED_TRACE(test.Name);
        TTestFolder folder;
        const std::string path = folder / Presence::FileName;
        test.Make(path);
        const TPresenceSnapshot read = ReadPresence(folder.Path());
        std::set<std::string> logins;
        for (const auto &[login, slot] : read.Slots)
            logins.insert(login);
        EXPECT_EQ(logins, test.Logins);
        if (*test.Fault == '\0')
            EXPECT_EQ(read.Fault, "");
        else
            EXPECT_NE(read.Fault.find(test.Fault), std::string::npos) << read.Fault;
    }
}

// Catches: a second slot of a login taking the place of the first, so that
// whoever writes one more slot speaks for another user.
TEST(PresenceTest, TheFirstSlotOfALoginWinsAndAFileOfAnotherKindIsNeverWrittenOver)
{
    TTestFolder folder;
    const std::string path = folder / Presence::FileName;
    Write(path, Header() + Slot("ANN", 7) + Slot("ANN", 9));
    const TPresenceSnapshot read = ReadPresence(folder.Path());
    ASSERT_NE(read.Find("ANN"), nullptr);
    EXPECT_EQ(read.Find("ANN")->Beats, 7u);
    EXPECT_EQ(read.Find("ANN")->Offset, off_t(kHeader));

    const std::string alien = "somebody's notes\n";
    Write(path, alien);
    TPresenceWriter writer(folder.Path(), "ANN");
    EXPECT_THROW(writer.Claim(true, 60), EKivError);
    EXPECT_EQ(ReadWholeFile(path), alien);
}

// The time a status ends: the own copy ends it with "Available" and no
// comment when the time has come, but only over exactly the status, comment
// and Updated it was given for.
TEST(PresenceTest, ABackAtTimeEndsTheStatusOnlyWhenNothingChangedMeanwhile)
{
    struct TCase {
        const char *Name;
        std::function<void(const std::string &folder)> Meanwhile;
        const char *Status; // after the time
        const char *Comment;
    };
    const auto storeElsewhere = [](const char *status, const char *comment) {
        return [=](const std::string &folder) {
            ASSERT_TRUE(ChangeStoredUser(folder, "ANN", [&](char *record) {
                PutText(record, UserRecord::Status, status);
                PutText(record, UserRecord::Comments, comment);
            }));
        };
    };
    const std::vector<TCase> cases{
        // Catches: the time not ending the status at all.
        {"unchanged", [](const std::string &) {}, "Available", ""},
        // Catches: Kiv overwriting a status a person set meanwhile.
        {"status changed", storeElsewhere("DND", "Room 4"), "DND", "Room 4"},
        // Catches: a comparison of the status alone.
        {"comment changed", storeElsewhere("In meeting", "Running late"), "In meeting", "Running late"},
    };
    for (const TCase &test : cases) {
        SCOPED_TRACE(test.Name);
        TTestFolder folder;
        TFakeBoard fakes;
        TKivFile kiv(folder.Path(), fakes.Ctx, "ANN");
        kiv.SignIn();
        fakes.Session.User.Status = "In meeting";
        kiv.SetStatus();
        kiv.UpdateComment("Room 4");
        TPresenceKeeper keeper(kiv, fakes.Clock, 60);
        keeper.SignIn();
        keeper.SetBackAt(fakes.Clock.Moment + 600);

        fakes.Clock.Moment += 599;
        EXPECT_FALSE(keeper.ExpireBackAt());
        EXPECT_EQ(kiv.ReadOwnStatus().Status, "In meeting");
        test.Meanwhile(folder.Path());
        fakes.Clock.Moment += 1;
        keeper.ExpireBackAt();
        const TOwnStatus after = kiv.ReadOwnStatus();
        EXPECT_EQ(after.Status, test.Status);
        EXPECT_EQ(after.Comments, test.Comment);
        // Done either way: the file no longer holds the time.
        ASSERT_NE(ReadPresence(folder.Path()).Find("ANN"), nullptr);
        EXPECT_EQ(ReadPresence(folder.Path()).Find("ANN")->Until, 0);
    }
}

// What the board shows of a back-at time: the time while the record holds
// the status it was given for, "(passed)" once passed while its copy is not
// running, and nothing once the status changed.
TEST(PresenceTest, TheBoardShowsABackAtOnlyWithItsStatusAndAsPassedOnlyWithoutARunningCopy)
{
    TTestFolder folder;
    TFakeBoard fakes;
    TKivFile kiv(folder.Path(), fakes.Ctx, "ANN");
    kiv.SignIn();
    fakes.Session.User.Status = "In meeting";
    kiv.SetStatus();
    const TOwnStatus stamp = kiv.ReadOwnStatus();
    // The time as this workstation's clock shows it, worked out here.
    const std::time_t until = fakes.Clock.Moment + 1800;
    std::tm local{};
    localtime_r(&until, &local);
    char text[8];
    std::strftime(text, sizeof text, "%H:%M", &local);
    const std::string shown = text;

    const auto board = [&](bool running) {
        TPresenceWriter writer(folder.Path(), "ANN");
        writer.Claim(running, 60);
        writer.SetBackAt(until, stamp);
        const TPresenceSnapshot presence = ReadPresence(folder.Path());
        kiv.Presence = &presence;
        TFakeBoardList list;
        kiv.FillBoard(list);
        kiv.Presence = nullptr;
        return list.Row(0).Until;
    };
    EXPECT_EQ(board(false), shown);
    fakes.Clock.Moment = until;
    EXPECT_EQ(board(false), shown + " (passed)");
    EXPECT_EQ(board(true), shown); // its copy ends it itself
    fakes.Session.User.Status = "DND";
    kiv.SetStatus();
    EXPECT_EQ(board(false), "");
}
