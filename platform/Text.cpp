#include "platform/Text.h"

#include <algorithm>
#include <vector>

namespace {

constexpr char32_t kPopDirectional = 0x202C; // PDF
constexpr char32_t kPopIsolate = 0x2069;     // PDI

bool IsIsolateOpener(char32_t code)
{
    return code >= 0x2066 && code <= 0x2068;
}

void AppendUtf8(std::string &out, char32_t code)
{
    // Only the controls of this file are written: three bytes each.
    out += char(0xE0 | (code >> 12));
    out += char(0x80 | ((code >> 6) & 0x3F));
    out += char(0x80 | (code & 0x3F));
}

// Closes every open embedding and isolate, innermost first.
void CloseAll(std::vector<bool> &open, std::string &out)
{
    for (auto isolate = open.rbegin(); isolate != open.rend(); ++isolate)
        AppendUtf8(out, *isolate ? kPopIsolate : kPopDirectional);
    open.clear();
}

} // namespace

bool HasControl(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), IsControl);
}

bool IsBlankText(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), IsBlankOrControl);
}

std::string Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlankOrControl(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlankOrControl(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t &code)
{
    if (at >= text.size())
        return 0;
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[at + i]);
        if ((byte & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

std::string CutText(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return std::string(text);
    std::size_t cut = 0;
    while (cut < maxBytes) {
        char32_t code = 0;
        const std::size_t length = std::max<std::size_t>(DecodeUtf8(text, cut, code), 1);
        if (cut + length > maxBytes)
            break;
        cut += length;
    }
    return std::string(text.substr(0, cut));
}

std::string BalancedBidi(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    // The controls still open, innermost last: true for an isolate, false
    // for an embedding or override.
    std::vector<bool> open;
    for (std::size_t i = 0; i < text.size();) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(text, i, code);
        if (length == 0 || !IsBidiControl(code)) {
            if (length != 0 && (code == '\n' || code == '\r'))
                CloseAll(open, out);
            out.append(text, i, std::max<std::size_t>(length, 1));
            i += std::max<std::size_t>(length, 1);
            continue;
        }
        i += length;
        if (code == kPopDirectional) {
            // Closes the innermost embedding, never one outside an isolate.
            if (open.empty() || open.back())
                continue;
            open.pop_back();
        } else if (code == kPopIsolate) {
            // Closes the innermost isolate and the embeddings opened in it.
            const auto isolate = std::find(open.rbegin(), open.rend(), true);
            if (isolate == open.rend())
                continue;
            while (!open.back()) {
                AppendUtf8(out, kPopDirectional);
                open.pop_back();
            }
            open.pop_back();
        } else {
            open.push_back(IsIsolateOpener(code));
        }
        AppendUtf8(out, code);
    }
    CloseAll(open, out);
    return out;
}

std::string Isolated(std::string_view text)
{
    std::string isolated;
    if (text.empty())
        return isolated;
    AppendUtf8(isolated, 0x2068);
    isolated += BalancedBidi(text);
    AppendUtf8(isolated, kPopIsolate);
    return isolated;
}

bool EndsInSeparator(std::string_view path)
{
    return !path.empty() && path.back() == '/';
}

std::string JoinPath(std::string_view folder, std::string_view name)
{
    std::string path(folder);
    if (!path.empty() && !EndsInSeparator(path))
        path += '/';
    path += name;
    return path;
}
