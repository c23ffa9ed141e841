#include "platform/TerminalText.h"

#include <cstdio>

namespace {

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 character at text[at], and its code
// point; 0 when the bytes there are not one (overlong forms and surrogates
// included, which some terminals would take for something else).
std::size_t Character(const std::string &text, std::size_t at, char32_t &code)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[at + i]);
        if (!IsContinuation(byte))
            return 0;
        code = (code << 6) | (byte & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

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
        if (byte < 0x20 || byte == 0x7F) {
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
        const std::size_t length = Character(text, i, code);
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
    return shown;
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
