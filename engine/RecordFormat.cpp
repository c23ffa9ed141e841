#include "engine/RecordFormat.h"

#include <cstring>

namespace vbis {

namespace {

// Reads the width of a "$*N" field: decimal digits, no sign, no leading zero.
bool ParseWidth(std::string_view digits, std::size_t &width)
{
    if (digits.empty() || digits.size() > 7 || digits[0] == '0')
        return false;
    std::size_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + std::size_t(c - '0');
    }
    width = value;
    return true;
}

} // namespace

std::optional<TRecordFormat> TRecordFormat::Parse(std::string_view text)
{
    if (text.empty() || text.size() > kMaxFormatLength)
        return std::nullopt;
    TRecordFormat format;
    format.FText.assign(text);
    std::size_t offset = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        std::string_view item =
            text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        TField field;
        if (!item.empty() && item[0] == 'X') {
            field.Indexed = true;
            item.remove_prefix(1);
        }
        if (item == "%") {
            field.Kind = TFieldKind::Integer;
            field.Width = sizeof(int16_t);
        } else if (item.size() > 2 && item[0] == '$' && item[1] == '*') {
            field.Kind = TFieldKind::Text;
            if (!ParseWidth(item.substr(2), field.Width))
                return std::nullopt;
        } else {
            return std::nullopt;
        }
        if (field.Width > kMaxRecordLength - offset || format.FFields.size() == kMaxFields)
            return std::nullopt;
        field.Offset = offset;
        offset += field.Width;
        format.FFields.push_back(field);
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    format.FRecordLength = offset;
    return format;
}

bool TRecordFormat::IsIndex(int n) const
{
    if (n == 0)
        return true;
    return n > 0 && std::size_t(n) <= FFields.size() && FFields[std::size_t(n) - 1].Indexed;
}

TIndexValue FieldValue(const TField &f, const unsigned char *record)
{
    TIndexValue value;
    const unsigned char *p = record + f.Offset;
    if (f.Kind == TFieldKind::Integer) {
        int16_t n;
        std::memcpy(&n, p, sizeof n);
        value.IsText = false;
        value.Integer = n;
    } else {
        const void *zero = std::memchr(p, 0, f.Width);
        const std::size_t len = zero ? std::size_t(static_cast<const unsigned char *>(zero) - p) : f.Width;
        value.Text.assign(reinterpret_cast<const char *>(p), len);
    }
    return value;
}

} // namespace vbis
