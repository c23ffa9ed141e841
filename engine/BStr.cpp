#include "vbis/BStr.h"

#include <cstdlib>
#include <cstring>

namespace {
constexpr std::size_t kLengthBytes = sizeof(uint32_t);
}

extern "C" BSTR SysAllocStringByteLen(const char *bytes, uint32_t len)
{
    auto *block = static_cast<char *>(std::malloc(kLengthBytes + std::size_t(len) + 1));
    if (block == nullptr)
        return nullptr;
    std::memcpy(block, &len, kLengthBytes);
    char *text = block + kLengthBytes;
    if (bytes != nullptr)
        std::memcpy(text, bytes, len);
    else
        std::memset(text, 0, len);
    text[len] = '\0';
    return text;
}

extern "C" uint32_t SysStringByteLen(BSTR s)
{
    if (s == nullptr)
        return 0;
    uint32_t len;
    std::memcpy(&len, s - kLengthBytes, kLengthBytes);
    return len;
}

extern "C" void SysFreeString(BSTR s)
{
    if (s != nullptr)
        std::free(s - kLengthBytes);
}

TBStr::TBStr(std::string_view text)
    : FText(text.empty() ? nullptr : SysAllocStringByteLen(text.data(), uint32_t(text.size())))
{
}

TBStr &TBStr::operator=(TBStr &&other) noexcept
{
    if (this != &other) {
        SysFreeString(FText);
        FText = other.FText;
        other.FText = nullptr;
    }
    return *this;
}

std::string TBStr::Bytes() const
{
    return FText == nullptr ? std::string() : std::string(FText, SysStringByteLen(FText));
}

std::string TBStr::Text() const
{
    if (FText == nullptr)
        return {};
    const uint32_t len = SysStringByteLen(FText);
    const void *zero = std::memchr(FText, 0, len);
    return std::string(FText, zero ? static_cast<const char *>(zero) - FText : len);
}
