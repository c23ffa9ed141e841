// The record layout of a dataset, read from its format string.
//
// A format string lists the fields in buffer order, separated by commas: "%"
// is a 16-bit integer, "$*N" a text of N bytes, and an "X" in front of a field
// indexes it. Fields are packed without gaps. Index number N is the N-th field
// (from 1); index 0 is the record key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vbis {

enum class TFieldKind { Integer, Text };

struct TField {
    TFieldKind Kind = TFieldKind::Integer;
    std::size_t Offset = 0; ///< byte offset in the record buffer
    std::size_t Width = 0;  ///< bytes in the buffer: 2 for an integer
    bool Indexed = false;
};

/// The largest record and the most fields a dataset may have; larger formats
/// are refused rather than risking buffers the caller cannot hold.
constexpr std::size_t kMaxRecordLength = 1u << 20;
constexpr std::size_t kMaxFields = 1024;
constexpr std::size_t kMaxFormatLength = 16384;

class TRecordFormat {
public:
    /// The layout described by text, or nothing when text is not a valid
    /// format string.
    static std::optional<TRecordFormat> Parse(std::string_view text);

    /// The format string as it was given.
    const std::string &Text() const { return FText; }
    const std::vector<TField> &Fields() const { return FFields; }
    std::size_t RecordLength() const { return FRecordLength; }

    /// True when index number n names an indexed field (or is 0, the record key).
    bool IsIndex(int n) const;
    /// The field of index number n (n from 1).
    const TField &FieldOfIndex(int n) const { return FFields[std::size_t(n) - 1]; }

private:
    std::string FText;
    std::vector<TField> FFields;
    std::size_t FRecordLength = 0;
};

/// The value an indexed field holds in a record buffer: a text up to its first
/// zero byte, or the 16-bit integer.
struct TIndexValue {
    bool IsText = true;
    std::string Text;
    int64_t Integer = 0;
};

/// Reads the value of field f from a record buffer of the format's length.
TIndexValue FieldValue(const TField &f, const unsigned char *record);

} // namespace vbis
