// Arrangement files (.arr: program remapping and controller suppression)
// and EQ files (.meq: ten velocity offsets by pitch range).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "player/sequencer/sound_shaping.h"

namespace sonfara::files {

inline constexpr const char* kArrangeHeader = "[SONFARA ARRANGE FILE]";
inline constexpr size_t kMaxArrangeFields = 1000;
inline constexpr size_t kMaxSectionFields = 100;
inline constexpr size_t kMaxArrangements = 100;
inline constexpr size_t kMaxEqPresets = 100;
inline constexpr size_t kEqFileSize = 10;
// Arrangement files are a few kilobytes; larger files are skipped unread.
inline constexpr uintmax_t kMaxArrangeFileBytes = 1 << 20;

// Splits text into delimited fields: a field ends at a comma or a line end
// (CR LF, LF or CR); leading blanks are skipped and trailing blanks of an
// unquoted field dropped; double quotes enclose a field that holds commas
// (anything after the closing quote up to the delimiter is ignored). Lines
// that hold only blanks give no field. At most `limit` fields are returned.
std::vector<std::string> ReadDelimitedFields(std::string_view text, size_t limit);

// The numeric value of the text's leading number, as a lenient reader
// takes it: blanks skipped, optional sign, digits up to the first other
// character; 0 when there are none. Saturates at the 32-bit range.
long LeadingNumber(std::string_view text);

// Reads one arrangement file's bytes. nullopt when the first field is not
// the header. Program numbers outside 1..128 (in a mapping or the default
// under "[INST ELSE]") are ignored, so the map always holds 1..128.
std::optional<sequencer::ArrangeEntry> ParseArrangement(std::string_view bytes);

// Reads one EQ file's bytes; nullopt unless exactly ten bytes.
std::optional<sequencer::EqPreset> ParseEqPreset(std::string_view bytes, std::string name);

// The velocity band (1..10) of a note number.
int EqBandForNote(int note);

}  // namespace sonfara::files
