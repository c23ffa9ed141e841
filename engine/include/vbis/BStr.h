// Counted texts shared by the engine and its callers.
//
// A counted text is one malloc block of 4 + n + 1 bytes: the 32-bit byte
// length n, the n bytes, a zero byte. A BSTR points just past the length, so
// it reads as an ordinary zero-terminated text as long as the bytes hold no
// zero. NULL is the empty text. Engine and caller both allocate and free with
// these functions, so either side may free what the other allocated.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef char *BSTR;

/// A new counted text holding len bytes copied from bytes (zeroes when bytes
/// is NULL), or NULL when memory runs out.
BSTR SysAllocStringByteLen(const char *bytes, uint32_t len);

/// The byte length of s; 0 for NULL.
uint32_t SysStringByteLen(BSTR s);

/// Frees s; NULL does nothing.
void SysFreeString(BSTR s);

#ifdef __cplusplus
}

#include <string>
#include <string_view>

/// Owns one counted text and frees it when it goes, whoever allocated it.
class TBStr {
public:
    TBStr() = default;
    explicit TBStr(std::string_view text);
    ~TBStr() { SysFreeString(FText); }
    TBStr(const TBStr &) = delete;
    TBStr &operator=(const TBStr &) = delete;
    TBStr(TBStr &&other) noexcept : FText(other.FText) { other.FText = nullptr; }
    TBStr &operator=(TBStr &&other) noexcept;

    /// The address to pass where a call takes a BSTR by reference.
    BSTR *Ref() { return &FText; }
    BSTR Get() const { return FText; }
    /// The bytes up to the counted length (zero bytes included).
    std::string Bytes() const;
    /// The text up to its first zero byte, as the engine's texts are read.
    std::string Text() const;

private:
    BSTR FText = nullptr;
};
#endif
