// The one home of the rules Kiv's core applies to texts: what a control
// character is, trimming, reading UTF-8, cutting a text to the bytes a field
// holds, keeping bidirectional controls balanced, and joining a folder and a
// name.
//
// Texts are bytes that are meant to be UTF-8; a text another member stored
// need not be, so every function here takes any bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

/// True for a C0 control (a byte below 0x20) and for DEL (0x7F).
constexpr bool IsControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

/// True for a blank and for a control character.
constexpr bool IsBlankOrControl(char c)
{
    return c == ' ' || IsControl(c);
}

/// True when text holds a control character.
bool HasControl(std::string_view text);

/// True when text holds nothing but blanks and control characters (or nothing).
bool IsBlankText(std::string_view text);

/// text without the blanks and control characters at either end.
std::string Trimmed(std::string_view text);

/// The length of the well-formed UTF-8 character at text[at], with its code
/// point in code; 0 when the bytes there are not one (a lone continuation
/// byte, a cut sequence, an overlong form, a surrogate, or beyond U+10FFFF).
std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t &code);

/// text cut to at most maxBytes bytes, never inside a UTF-8 character: a
/// character that does not fit whole is dropped. Bytes that are not UTF-8
/// are cut as bytes, and a whole character is never split.
std::string CutText(std::string_view text, std::size_t maxBytes);

/// True for a bidirectional embedding, override or isolate control
/// (U+202A to U+202E, U+2066 to U+2069), which reorders the text after it.
constexpr bool IsBidiControl(char32_t code)
{
    return (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

/// text with its bidirectional controls balanced, so that it cannot reorder
/// what stands after it: a closing control without its opening one is
/// dropped, and whatever is still open is closed before each line break and
/// at the end.
std::string BalancedBidi(std::string_view text);

/// text isolated for standing inside another sentence: its controls balanced
/// and the whole between U+2068 (first strong isolate) and U+2069, so that
/// neither its own direction nor its controls reorder the words around it.
/// An empty text stays empty.
std::string Isolated(std::string_view text);

/// True when path ends in a '/'.
bool EndsInSeparator(std::string_view path);

/// folder and name joined with one '/' (none added when folder ends in one
/// or is empty).
std::string JoinPath(std::string_view folder, std::string_view name);
