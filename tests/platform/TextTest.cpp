// The core's text rules where a colleague's text meets the program's own
// words: bidirectional controls left open would reverse what follows them,
// and a control character or DEL at either end of a typed text is no part of it.
#include "platform/Text.h"
#include "platform/TerminalText.h"

#include <gtest/gtest.h>

// The controls, spelled out in UTF-8.
#define LRE "\xE2\x80\xAA"
#define RLE "\xE2\x80\xAB"
#define PDF "\xE2\x80\xAC"
#define RLO "\xE2\x80\xAE"
#define RLI "\xE2\x81\xA7"
#define FSI "\xE2\x81\xA8"
#define PDI "\xE2\x81\xA9"

TEST(BalancedBidi, NoControlIsLeftOpenAndNoStrayCloserEscapes)
{
    const struct {
        const char *Why;
        std::string Text, Balanced;
    } cases[] = {
        {"plain text is left alone", "Ann \xD7\xA9", "Ann \xD7\xA9"},
        {"an override is closed at the end", "exe." RLO "doc", "exe." RLO "doc" PDF},
        {"nested ones are closed innermost first", RLI "a" RLE "b", RLI "a" RLE "b" PDF PDI},
        {"a balanced text is kept", LRE "a" PDF FSI "b" PDI, LRE "a" PDF FSI "b" PDI},
        {"a closer without an opener is dropped", "a" PDF "b" PDI "c", "abc"},
        {"a PDF does not close an embedding outside an isolate", RLE FSI "a" PDF "b", RLE FSI "ab" PDI PDF},
        {"a PDI closes the embeddings inside its isolate", RLI RLO "a" PDI "b", RLI RLO "a" PDF PDI "b"},
        {"each line is closed before its break", RLO "a\nb" PDF, RLO "a" PDF "\nb"},
        {"bytes that are not UTF-8 pass", "\xFF" RLO "\xE2\x80", "\xFF" RLO "\xE2\x80" PDF},
    };
    for (const auto &c : cases)
        EXPECT_EQ(BalancedBidi(c.Text), c.Balanced) << c.Why;
    // A terminal line and an isolated text are balanced too.
    EXPECT_EQ(TerminalLine("x" RLO "y"), "x" RLO "y" PDF);
    EXPECT_EQ(TerminalText("x" RLO "y\r\nz"), "x" RLO "y" PDF "\nz");
    EXPECT_EQ(Isolated("a" PDI RLO "b"), FSI "a" RLO "b" PDF PDI);
}

TEST(Trimmed, BlanksAndControlsIncludingDelGoFromBothEnds)
{
    EXPECT_EQ(Trimmed(" \t\177Ann Lee\r\n\177 "), "Ann Lee");
    EXPECT_EQ(Trimmed("\x7F\x01 "), "");
    EXPECT_TRUE(IsBlankText(" \x7F\t"));
    EXPECT_FALSE(IsBlankText(" \xC3\xA9"));
    EXPECT_EQ(JoinPath("/board", "Kiv.cfg"), "/board/Kiv.cfg");
    EXPECT_EQ(JoinPath("/board/", "Kiv.cfg"), "/board/Kiv.cfg");
}
