// Folding of search text so that what the user types finds what the songs
// carry: full-width ASCII becomes ASCII, half-width katakana becomes
// full-width (with its voiced marks joined), the ideographic space becomes a
// space and ASCII letters become lower case. The part of NFKC that Japanese
// song texts need, as a small table, without an ICU dependency.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sonfara::library {

// Code points of UTF-8 text; a malformed byte becomes U+FFFD.
std::vector<char32_t> DecodeUtf8(std::string_view text);
void AppendUtf8(char32_t c, std::string& out);

// The folded code points of `text`, one per character after folding.
std::vector<char32_t> FoldCodePoints(std::string_view text);
// The same as UTF-8.
std::string FoldText(std::string_view text);

// Characters that part words in search text: white space and controls.
bool IsWordBreak(char32_t c);

}  // namespace sonfara::library
