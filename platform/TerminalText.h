// Texts of the board on a terminal, where another member's text must not
// drive it: an escape sequence can move the cursor, retitle the window or
// write the clipboard, and a bidirectional override can reverse the line.
#pragma once

#include <string>

/// A text for a terminal: carriage returns (alone or before a line feed)
/// become line breaks, line breaks and tabs stay, every other control
/// character (C0, DEL, and C1 as UTF-8 or as a lone byte) becomes a blank and
/// every other byte that is not UTF-8 a question mark. Its bidirectional
/// controls are balanced on each line (BalancedBidi), so that a text cannot
/// reverse what the program writes after it.
std::string TerminalText(const std::string &text);

/// TerminalText for a text shown on one line: line breaks and tabs become
/// blanks too.
std::string TerminalLine(const std::string &text);

/// Prints "program: " and the terminal form of text on standard error (on one
/// line when oneLine), after whatever standard output still holds.
void PrintErrorText(const char *program, const std::string &text, bool oneLine);
