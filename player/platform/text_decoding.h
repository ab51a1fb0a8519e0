// The one decision that turns bytes from files into text: which code page
// one song's (or one file's) texts are in. Every reader asks it; none
// guesses on its own.
//
// Order: the user's choice (--codepage, else the setting); a byte-order
// mark; valid UTF-8 with a multi-byte character; else CP932 unless the
// bytes clearly say otherwise (Western CP1252, Korean, Chinese), judged
// over all the texts at once with a charset detector's help.
//
// Any thread may call these functions.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "player/platform/codepage.h"

namespace sonfara::platform {

// The code pages the setting offers, by stored number; 0 is automatic.
inline constexpr std::array<const char*, 7> kTextEncodingCodePages{
    "", "CP932", "UTF-8", "CP1252", "CP949", "GB18030", "BIG5"};

// The code page of setting item `item` (empty: automatic, also out of range).
std::string TextEncodingOfSetting(int32_t item);

// The user's choice, the command line's over the setting's. Empty names
// clear a choice. Call from the UI thread; readers on other threads see it
// from their next decision on.
void SetCommandLineTextEncoding(const std::string& codePage);
void SetSettingTextEncoding(const std::string& codePage);
// The code page the user chose, empty when the decision is automatic.
std::string ChosenTextEncoding();

// A code page that lives as long as the program (one per name), so songs
// and views can keep a reference to the one their texts are in.
const CodePage& CodePageNamed(const std::string& name);

// The code page all `texts` are in. `chosen` non-empty decides alone;
// `lean` is what stays when nothing speaks against it (a CP932-family lean
// is weighed against Western, Korean and Chinese evidence; any other is
// only overruled by a mark or UTF-8).
const CodePage& DecideTextEncoding(std::span<const std::string_view> texts,
                                   const std::string& chosen, const CodePage& lean);
// The same with the user's choice and CP932.
const CodePage& DecideTextEncoding(std::span<const std::string_view> texts);
const CodePage& DecideTextEncoding(std::string_view text);

// One whole file's bytes as UTF-8 (a byte-order mark dropped), decided
// with the user's choice; `lean` as above (our own files: the code page
// they are written in).
std::string DecodeFileText(std::string_view bytes, const CodePage& lean);
std::string DecodeFileText(std::string_view bytes);

// `bytes` in `from` as bytes of `to`: unchanged when both are one code
// page (so bytes pass through exactly), else through UTF-8.
std::string Recode(std::string_view bytes, const CodePage& from, const CodePage& to);

}  // namespace sonfara::platform
