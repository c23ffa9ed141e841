// Record buffers for the engine's tests, laid out field by field as a format
// string lays them out.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace vbistest {

class TRecord {
public:
    explicit TRecord(std::size_t length, unsigned char fill = 0) : FBytes(length, fill) {}

    /// Writes text into the field at offset of width bytes, zero-filled.
    TRecord &Text(std::size_t offset, std::size_t width, std::string_view text)
    {
        std::memset(FBytes.data() + offset, 0, width);
        std::memcpy(FBytes.data() + offset, text.data(), text.size() < width ? text.size() : width);
        return *this;
    }
    /// Writes a 16-bit integer field at offset.
    TRecord &Int(std::size_t offset, int16_t value)
    {
        std::memcpy(FBytes.data() + offset, &value, sizeof value);
        return *this;
    }
    /// The text of the field at offset, up to its first zero byte.
    std::string TextAt(std::size_t offset, std::size_t width) const
    {
        const auto *p = reinterpret_cast<const char *>(FBytes.data() + offset);
        return std::string(p, strnlen(p, width));
    }
    int16_t IntAt(std::size_t offset) const
    {
        int16_t v;
        std::memcpy(&v, FBytes.data() + offset, sizeof v);
        return v;
    }

    void *Data() { return FBytes.data(); }
    const void *Data() const { return FBytes.data(); }
    std::size_t Size() const { return FBytes.size(); }
    bool operator==(const TRecord &other) const { return FBytes == other.FBytes; }

private:
    std::vector<unsigned char> FBytes;
};

/// A ten-digit record number, as the board writes them.
inline std::string RecordNumber(int n)
{
    char text[16];
    std::snprintf(text, sizeof text, "%10.10d", n);
    return text;
}

} // namespace vbistest
