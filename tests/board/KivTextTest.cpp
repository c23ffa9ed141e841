// Field texts cut at character boundaries, and the date-time text read back.
#include "board/KivText.h"
#include "board/UserRecord.h"
#include "tests/board/BoardFakes.h"

#include <array>
#include <gtest/gtest.h>

TEST(CutText, NeverEndsInHalfACharacter)
{
    EXPECT_EQ(CutText("abcdef", 4), "abcd");
    EXPECT_EQ(CutText("abc", 4), "abc");
    // "é" is two bytes, "€" three, the emoji four: a cut inside one drops it.
    EXPECT_EQ(CutText("a\xC3\xA9", 2), "a");
    EXPECT_EQ(CutText("\xC3\xA9z", 2), "\xC3\xA9");
    EXPECT_EQ(CutText("a\xE2\x82\xAC", 3), "a");
    EXPECT_EQ(CutText("a\xE2\x82\xAC", 4), "a\xE2\x82\xAC");
    EXPECT_EQ(CutText("\xF0\x9F\x98\x80", 3), "");
    EXPECT_EQ(CutText("", 0), "");
}

TEST(CutText, BytesThatAreNotUtf8AreCutAsBytes)
{
    // Latin-1 "é" (0xE9) followed by plain letters: 0xE9 is no lead byte of a
    // sequence these bytes complete, and nothing after the cut belongs to it.
    EXPECT_EQ(CutText("ab\xE9xyz", 3), "ab\xE9");
    EXPECT_EQ(CutText("a\x80\x80\x80\x80\x80", 4), "a\x80\x80\x80");
}

TEST(FieldText, AFieldIsEndedByAZeroAndNeverOverrunsItsWidth)
{
    std::array<char, 8> bytes;
    bytes.fill('#');
    PutFieldText(bytes.data() + 1, 5, "overlong");
    EXPECT_EQ(bytes[0], '#');
    EXPECT_EQ(std::string(bytes.data() + 1, 5), std::string("over\0", 5));
    EXPECT_EQ(bytes[6], '#');
    EXPECT_EQ(GetFieldText(bytes.data() + 1, 5), "over");

    // A shorter text zeroes the rest, so no stale bytes of an earlier text stay.
    PutFieldText(bytes.data() + 1, 5, "ab");
    EXPECT_EQ(std::string(bytes.data() + 1, 5), std::string("ab\0\0\0", 5));
}

TEST(FieldText, AFullWidthFieldNeedsNoZeroAndIsReadToItsWidth)
{
    std::array<char, 6> bytes{};
    bytes[5] = 'X';
    PutFullFieldText(bytes.data(), 5, "12345678");
    EXPECT_EQ(GetFieldText(bytes.data(), 5), "12345");
    EXPECT_EQ(bytes[5], 'X');
}

TEST(UserRecordLayout, AStoredLoginAlwaysFitsItsFieldAndTheRecordIs429Bytes)
{
    EXPECT_EQ(UserRecord::LoginKey("JSMITH"), "JSMITH");
    // Nineteen letters and a two-byte character need 21 bytes.
    for (const std::string &login : {std::string(25, 'A'), std::string(19, 'A') + "\xC3\x89"})
        EXPECT_EQ(UserRecord::LoginKey(login).size(), UserRecord::LogInName.Width - 1) << login;
    EXPECT_EQ(UserRecord::Fields.back().End(), 429u);
}

TEST(DateTimeText, TheNowTextReadsBackToTheSameMoment)
{
    TFixedClock clock;
    const std::string now = NowText(clock);
    ASSERT_FALSE(now.empty());
    const auto moment = DateTimeTextMoment(now);
    ASSERT_TRUE(moment.has_value()) << now;
    // %x %X carry whole seconds, and the C locale's %x a two-digit year.
    EXPECT_EQ(*moment, clock.Moment);
}

TEST(DateTimeText, TextInAnotherFormatIsNotADateTime)
{
    EXPECT_FALSE(ReadDateTimeText("").has_value());
    EXPECT_FALSE(ReadDateTimeText("yesterday at noon").has_value());
    EXPECT_FALSE(ReadDateTimeText(DateTimeText(1733650000) + " extra").has_value());
    EXPECT_TRUE(ReadDateTimeText(DateTimeText(1733650000) + " ").has_value());
}
