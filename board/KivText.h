// Texts and times as the board's records hold them.
//
// A record's text field is a fixed number of bytes: the text, then zero bytes.
// Texts are UTF-8, so a text too long for its field is cut at a character
// boundary: it never runs into the next field and never ends in half a
// character. Dates and times are stored as the workstation's own date-time
// text, the C library's locale representation "%x %X" (the program calls
// setlocale(LC_ALL, "") at start, so this is the user's regional format).
#pragma once

#include "platform/Text.h" // CutText, which every text field is written through

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

class IClock;

/// Where a field lies in a record: its offset and its width in bytes.
struct TField {
    std::size_t Offset;
    std::size_t Width;
    /// The offset just past the field.
    constexpr std::size_t End() const { return Offset + Width; }
};

/// Writes text into a field of width bytes, cut to width - 1 bytes so that at
/// least one zero byte ends it; the rest of the field is zeroed.
void PutFieldText(char *field, std::size_t width, std::string_view text);

/// Writes text into a field that may be filled to its whole width (no zero
/// byte needed at the end); the rest of the field is zeroed.
void PutFullFieldText(char *field, std::size_t width, std::string_view text);

/// The text of a field: its bytes up to the first zero byte, at most width.
std::string GetFieldText(const char *field, std::size_t width);

/// Writes text into field of record (cut to the field's width less one).
inline void PutText(char *record, TField field, std::string_view text)
{
    PutFieldText(record + field.Offset, field.Width, text);
}

/// The text in field of record.
inline std::string GetText(const char *record, TField field)
{
    return GetFieldText(record + field.Offset, field.Width);
}

/// Writes a 16-bit integer field (the machine's byte order, as the engine keeps it).
void PutInt16(char *record, TField field, int16_t value);

/// Reads a 16-bit integer field.
int16_t GetInt16(const char *record, TField field);

/// The workstation's date-time text for moment: its short date format, a
/// blank and its long time format, for the local time.
std::string DateTimeText(std::time_t moment);

/// The now text: the date-time text of the clock's current moment.
std::string NowText(const IClock &clock);

/// The local date and time a date-time text written by this workstation's
/// format stands for; nothing when the text is not in that format.
std::optional<std::tm> ReadDateTimeText(const std::string &text);

/// The moment a date-time text stands for, read as local time; nothing when
/// the text is not in this workstation's format.
std::optional<std::time_t> DateTimeTextMoment(const std::string &text);

/// A record number as the ten-digit zero-padded text that files it.
std::string RecordNumberText(int32_t number);
