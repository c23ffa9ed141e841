#include "platform/TerminalText.h"

#include "platform/Text.h"

#include <cstdio>

namespace {

std::string Shown(const std::string &text, bool keepLayout)
{
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\r' || byte == '\n' || byte == '\t') {
            shown += keepLayout ? (byte == '\t' ? '\t' : '\n') : ' ';
            // A carriage return before a line feed is one line break.
            i += byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
            continue;
        }
        if (IsControl(char(byte))) {
            shown += ' ';
            ++i;
            continue;
        }
        if (byte < 0x80) {
            shown += char(byte);
            ++i;
            continue;
        }
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(text, i, code);
        if (length == 0) {
            // A lone byte 0x80 to 0x9F is a C1 control to a terminal that
            // does not read UTF-8.
            shown += byte <= 0x9F ? ' ' : '?';
            ++i;
            continue;
        }
        if (code <= 0x9F)
            shown += ' ';
        else
            shown.append(text, i, length);
        i += length;
    }
    return BalancedBidi(shown);
}

} // namespace

std::string TerminalText(const std::string &text)
{
    return Shown(text, true);
}

std::string TerminalLine(const std::string &text)
{
    return Shown(text, false);
}

void PrintErrorText(const char *program, const std::string &text, bool oneLine)
{
    std::fflush(stdout);
    const std::string shown = oneLine ? TerminalLine(text) : TerminalText(text);
    std::fprintf(stderr, "%s: %s\n", program, shown.c_str());
    std::fflush(stderr);
}
