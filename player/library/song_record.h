// What the library keeps of one song, and reading it from the song's bytes
// with the player's own reader (files::ReadSong: the Recomposer converter,
// RMI unwrapping and the SMF reader).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "player/platform/codepage.h"

namespace sonfara::song {
class SongTable;
}  // namespace sonfara::song

namespace sonfara::library {

// The module a song is written for, from its reset messages.
enum class SongModule : int { kNone = 0, kGm = 1, kGs = 2, kXg = 3 };
const char* ModuleName(SongModule m);  // "GS", "XG", "GM", "" for none

// The 128 programs as a bit set.
using ProgramSet = std::array<uint64_t, 2>;
inline bool HasProgram(const ProgramSet& s, int p) {
    return (s[p >> 6] >> (p & 63)) & 1;
}

struct SongRecord {
    // Where it is: the file, and for an archive member the member's name.
    std::string path;
    std::string member;
    int64_t size = 0;
    int64_t mtime = 0;  // seconds since the epoch
    // Its texts, UTF-8.
    std::string title;
    std::string trackNames;  // one per line
    std::string texts;       // copyright, text, instrument, marker and cue events
    std::string lyrics;
    SongModule module = SongModule::kNone;
    std::string format;  // "SMF Format 1", "RCM Ver 2.0", ...
    int tracks = 0;
    int32_t lengthMs = 0;
    int32_t tempoMin = 0;  // BPM × 100
    int32_t tempoMax = 0;
    std::string timeSignature;  // "4/4"
    int64_t notes = 0;
    ProgramSet programs{};  // melodic programs (the rhythm channel's kits are not)
    bool hasLyrics = false;
    bool hasLoop = false;
    bool hasWrd = false;  // a WRD script beside it
    bool hasDoc = false;  // a .txt or .doc document beside it
    std::string error;    // why it could not be loaded; empty when it was

    bool Failed() const { return !error.empty(); }
};

// One song's texts made UTF-8 together (the same decision for all of them),
// as the player shows that song's texts.
std::vector<std::string> DecodeSongTexts(const std::vector<std::string>& bytes,
                                         const platform::CodePage& cp);

// Fills the record's song values from the bytes of a song file named
// `fileName` (the extension chooses the way in, as the player opens it).
// Usable on any thread. On failure only `error` (and the title, the file
// name) are set.
void DescribeSongBytes(std::span<const uint8_t> bytes, const std::string& fileName,
                       const platform::CodePage& cp, SongRecord& record);

// The values of a loaded song; `raw` is the SMF image for the module scan.
void DescribeSong(const song::SongTable& song, std::span<const uint8_t> raw,
                  const platform::CodePage& cp, SongRecord& record);

// Texts longer than this are cut (at a character boundary): the library
// finds songs by their words, it does not keep whole documents.
inline constexpr size_t kMaxTextBytes = 4096;

}  // namespace sonfara::library
