#include "board/KivText.h"

#include "platform/Clock.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <time.h>

namespace {

constexpr const char *kDateTimeFormat = "%x %X";

} // namespace

void PutFieldText(char *field, std::size_t width, std::string_view text)
{
    if (width == 0)
        return;
    PutFullFieldText(field, width, CutText(text, width - 1));
}

void PutFullFieldText(char *field, std::size_t width, std::string_view text)
{
    const std::string fitted = CutText(text, width);
    std::memcpy(field, fitted.data(), fitted.size());
    std::memset(field + fitted.size(), 0, width - fitted.size());
}

std::string GetFieldText(const char *field, std::size_t width)
{
    const void *zero = std::memchr(field, 0, width);
    return std::string(field, zero != nullptr ? std::size_t(static_cast<const char *>(zero) - field) : width);
}

void PutInt16(char *record, TField field, int16_t value)
{
    std::memcpy(record + field.Offset, &value, sizeof value);
}

int16_t GetInt16(const char *record, TField field)
{
    int16_t value;
    std::memcpy(&value, record + field.Offset, sizeof value);
    return value;
}

std::string DateTimeText(std::time_t moment)
{
    std::tm local{};
    if (localtime_r(&moment, &local) == nullptr)
        return std::string();
    char text[128];
    const std::size_t length = std::strftime(text, sizeof text, kDateTimeFormat, &local);
    return std::string(text, length);
}

std::string NowText(const IClock &clock)
{
    return DateTimeText(clock.Now());
}

std::optional<std::tm> ReadDateTimeText(const std::string &text)
{
    std::tm parsed{};
    const char *end = strptime(text.c_str(), kDateTimeFormat, &parsed);
    if (end == nullptr)
        return std::nullopt;
    while (*end != '\0' && std::isspace(static_cast<unsigned char>(*end)))
        ++end;
    if (*end != '\0')
        return std::nullopt;
    return parsed;
}

std::optional<std::time_t> DateTimeTextMoment(const std::string &text)
{
    std::optional<std::tm> parsed = ReadDateTimeText(text);
    if (!parsed)
        return std::nullopt;
    parsed->tm_isdst = -1; // let the C library decide for that date
    const std::time_t moment = std::mktime(&*parsed);
    if (moment == std::time_t(-1))
        return std::nullopt;
    return moment;
}

std::string RecordNumberText(int32_t number)
{
    char text[16];
    std::snprintf(text, sizeof text, "%10.10d", int(number));
    return text;
}
