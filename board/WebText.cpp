#include "board/WebText.h"

#include "platform/Text.h"

#include <cstdint>
#include <cstdio>

namespace {

/// The character at text[at]: its code point and length, or a length of 0
/// when the bytes there are not a well-formed UTF-8 character.
struct TDecoded {
    char32_t Code = 0;
    std::size_t Length = 0;
};

TDecoded Decode(std::string_view text, std::size_t at)
{
    TDecoded decoded;
    decoded.Length = DecodeUtf8(text, at, decoded.Code);
    return decoded;
}

/// Hands each character of text to visit as its code point and bytes; a byte
/// that is no character comes as U+FFFD and kReplacement.
template <typename Visit>
void EachCharacter(std::string_view text, Visit visit)
{
    for (std::size_t at = 0; at < text.size();) {
        const TDecoded decoded = Decode(text, at);
        if (decoded.Length == 0) {
            visit(char32_t(0xFFFD), WebText::kReplacement);
            ++at;
            continue;
        }
        visit(decoded.Code, text.substr(at, decoded.Length));
        at += decoded.Length;
    }
}

/// Characters a page may not hold: controls other than blanks and line ends,
/// and the noncharacters.
bool ForbiddenInPage(char32_t code)
{
    if (code == '\t' || code == '\n' || code == '\r')
        return false;
    if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
        return true;
    return (code >= 0xFDD0 && code <= 0xFDEF) || (code & 0xFFFE) == 0xFFFE;
}

} // namespace

namespace WebText {

std::string ValidUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    EachCharacter(text, [&](char32_t, std::string_view bytes) { out += bytes; });
    return out;
}

void AppendHtml(std::string &out, std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size()) {
        // Runs of plain printable ASCII, most of any board, go across whole.
        std::size_t plain = at;
        while (plain < text.size()) {
            const auto byte = static_cast<unsigned char>(text[plain]);
            if (byte < 0x20 || byte >= 0x7F || byte == '&' || byte == '<' || byte == '>' || byte == '"' || byte == '\'')
                break;
            ++plain;
        }
        out.append(text.data() + at, plain - at);
        at = plain;
        if (at == text.size())
            break;
        const TDecoded decoded = Decode(text, at);
        switch (decoded.Length == 0 ? char32_t(0xFFFD) : decoded.Code) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            if (decoded.Length == 0 || ForbiddenInPage(decoded.Code))
                out += kReplacement;
            else
                out.append(text.data() + at, decoded.Length);
        }
        at += decoded.Length == 0 ? 1 : decoded.Length;
    }
}

std::string Html(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    AppendHtml(out, text);
    return out;
}

std::string Json(std::string_view text)
{
    std::string out = "\"";
    out.reserve(text.size() + 2);
    EachCharacter(text, [&](char32_t code, std::string_view bytes) {
        switch (code) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            // Controls (C0, DEL, C1), bidirectional controls and the two
            // line separators are written as escapes: the parsed value is the
            // same, but a terminal showing the JSON is not driven or reordered
            // by them, and no script reading it sees a line break in a string.
            if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || IsBidiControl(code) || code == 0x200E || code == 0x200F
                || code == 0x061C || code == 0x2028 || code == 0x2029) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(code));
                out += escaped;
            } else {
                out += bytes;
            }
        }
    });
    out += '"';
    return out;
}

} // namespace WebText
