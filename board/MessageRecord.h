// The messages dataset KivMesg: its name, its format and the layout of its
// 676-byte record, in one place.
//
// Unlike the other records of the board, a message's text fields may fill
// their whole width: a text that does so has no zero byte after it, and a
// read ends it at the field's width.
#pragma once

#include "board/KivText.h"

#include <array>
#include <cstdint>

namespace MessageRecord {

/// The dataset's base name in the board database folder.
inline constexpr const char *DatasetName = "KivMesg";
/// The engine's format string of the record.
inline constexpr const char *Format = "%,$*31,$*256,X$*7,$*256,X$*31,$*31,X$*31,$*31";
/// Record keys are ten digits.
inline constexpr int16_t KeyLength = 10;
/// The mode every dataset of the board is opened in.
inline constexpr int16_t OpenMode = 3;
/// The record key index: the order in which messages were sent.
inline constexpr int16_t KeyIndex = 0;
/// The index on State; kept in the dataset, nothing is looked up by it.
inline constexpr int16_t StateIndex = 4;
/// The index on ToName; kept in the dataset, nothing is looked up by it.
inline constexpr int16_t ToNameIndex = 6;
/// The index on ToLogin: where a recipient's messages are found.
inline constexpr int16_t ToLoginIndex = 8;

/// Written as 0 when a message is sent; kept as stored on every rewrite.
inline constexpr TField Reserved{0, 2};
inline constexpr TField SentAt{2, 31};
inline constexpr TField Subject{33, 256};
inline constexpr TField State{289, 7};
inline constexpr TField Body{296, 256};
inline constexpr TField ToName{552, 31};
inline constexpr TField FromName{583, 31};
inline constexpr TField ToLogin{614, 31};
inline constexpr TField FromLogin{645, 31};

/// The record's length in bytes.
inline constexpr std::size_t Size = 676;

/// The fields in buffer order, packed without gaps, as the format lists them.
inline constexpr std::array<TField, 9> Fields{Reserved, SentAt,   Subject, State,    Body,
                                              ToName,   FromName, ToLogin, FromLogin};

constexpr bool Packed()
{
    std::size_t offset = 0;
    for (const TField &field : Fields) {
        if (field.Offset != offset)
            return false;
        offset = field.End();
    }
    return offset == Size;
}
static_assert(Packed(), "the message record's fields must follow each other without gaps");

/// The State of a message its recipient has not read yet.
inline constexpr const char *New = "New";
/// The State of a message its recipient has read.
inline constexpr const char *Old = "Old";

/// One record as the engine reads and writes it.
using TBuffer = std::array<char, Size>;

/// Writes text into a field of a message record, cut to the field's whole width.
inline void PutText(char *record, TField field, std::string_view text)
{
    PutFullFieldText(record + field.Offset, field.Width, text);
}

} // namespace MessageRecord
