#include "engine/Definition.h"

#include <cstdint>

namespace vbis {

namespace {

constexpr std::string_view kMagic = "VBIS4032 ISAM dataset definition";
constexpr std::string_view kVersionLine = "version 1";
constexpr std::string_view kKeyLengthTag = "key-length ";
constexpr std::string_view kFormatTag = "format ";

// Splits off the next line (without its '\n'); false when no '\n' ends it.
bool NextLine(std::string_view &rest, std::string_view &line)
{
    const std::size_t end = rest.find('\n');
    if (end == std::string_view::npos)
        return false;
    line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    return true;
}

bool ParseKeyLength(std::string_view digits, int &value)
{
    if (digits.empty() || digits.size() > 3 || digits[0] == '0')
        return false;
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    if (n < kMinKeyLength || n > kMaxKeyLength)
        return false;
    value = n;
    return true;
}

} // namespace

std::string ComposeDefinition(int keyLength, const TRecordFormat &format)
{
    std::string text;
    text.append(kMagic).append("\n");
    text.append(kVersionLine).append("\n");
    text.append(kKeyLengthTag).append(std::to_string(keyLength)).append("\n");
    text.append(kFormatTag).append(format.Text()).append("\n");
    return text;
}

TDefinitionRead ParseDefinition(std::string_view text)
{
    TDefinitionRead result;
    std::string_view rest = text;
    std::string_view line;
    if (!NextLine(rest, line) || line != kMagic)
        return result; // not ours
    result.Check = TDefinitionCheck::Damaged;
    if (text.size() > kMaxDefinitionBytes)
        return result;
    if (!NextLine(rest, line) || line.substr(0, 8) != "version ")
        return result;
    if (line != kVersionLine) {
        // A later engine's file: not a format this engine reads.
        result.Check = TDefinitionCheck::NotOurs;
        return result;
    }
    TDefinition definition;
    if (!NextLine(rest, line) || line.substr(0, kKeyLengthTag.size()) != kKeyLengthTag
        || !ParseKeyLength(line.substr(kKeyLengthTag.size()), definition.KeyLength))
        return result;
    if (!NextLine(rest, line) || line.substr(0, kFormatTag.size()) != kFormatTag)
        return result;
    std::optional<TRecordFormat> format = TRecordFormat::Parse(line.substr(kFormatTag.size()));
    if (!format || !rest.empty())
        return result;
    definition.Format = std::move(*format);
    result.Check = TDefinitionCheck::Good;
    result.Definition = std::move(definition);
    return result;
}

bool IsDecimalText(std::string_view text)
{
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool NextRecordKey(std::string_view highest, int keyLength, std::string &key)
{
    std::string digits(highest);
    if (!IsDecimalText(digits))
        return false;
    // Decimal addition on the text: keys may be longer than any integer type.
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9')
        digits[--i] = '0';
    if (i == 0)
        digits.insert(digits.begin(), '1');
    else
        ++digits[i - 1];
    const std::size_t first = digits.find_first_not_of('0');
    digits.erase(0, first == std::string::npos ? digits.size() - 1 : first);
    const std::size_t width = std::size_t(keyLength);
    if (digits.size() > width)
        return false;
    key = std::string(width - digits.size(), '0') + digits;
    return true;
}

bool KeyValueOf(const TRecordFormat &format, int index, std::string_view key, TIndexValue &value)
{
    if (index == 0 || format.FieldOfIndex(index).Kind == TFieldKind::Text) {
        value.IsText = true;
        value.Text.assign(key);
        return true;
    }
    std::string_view digits = key;
    const bool negative = !digits.empty() && digits[0] == '-';
    if (negative)
        digits.remove_prefix(1);
    if (!IsDecimalText(digits) || digits.size() > 5)
        return false;
    long n = 0;
    for (char c : digits)
        n = n * 10 + (c - '0');
    if (negative)
        n = -n;
    if (n < INT16_MIN || n > INT16_MAX)
        return false;
    value.IsText = false;
    value.Integer = n;
    return true;
}

} // namespace vbis
