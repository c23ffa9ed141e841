// Stored texts on their way to a web page or to JSON. Every text of the board
// folder was typed by someone else and may hold anything: markup, quotes,
// control characters or bytes that are no UTF-8 at all. These make each one
// inert where it lands.
#pragma once

#include <string>
#include <string_view>

namespace WebText {

/// What a byte sequence that is not UTF-8 becomes: U+FFFD, one for each
/// byte that cannot start or continue a character.
inline constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

/// text as valid UTF-8: each byte of a broken, overlong or surrogate sequence
/// becomes kReplacement; everything valid is kept as it is.
std::string ValidUtf8(std::string_view text);

/// text for the content or a quoted attribute of an HTML page: valid UTF-8,
/// & < > " ' as character references, and control characters (other than
/// tab and line ends, which show as blanks) and noncharacters, which a page
/// must not hold, as kReplacement.
std::string Html(std::string_view text);
/// Html(text) added to the end of out.
void AppendHtml(std::string &out, std::string_view text);

/// text as a JSON string, quotes included: valid UTF-8, with the quote, the
/// backslash and every control character escaped.
std::string Json(std::string_view text);

} // namespace WebText
