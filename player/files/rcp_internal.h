// Pieces of the Recomposer converter shared by its source files: the parsed
// song, the track walk and the SMF event store.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "player/files/rcp_common.h"

namespace sonfara::files::rcp {

enum class Generation { kV2, kV3 };  // the PC-98 2.0 header, the 3.0 ("G36") header

// One sequence event of either generation: command (or key below 0x80),
// step (p0), gate or first parameter (p1), velocity or second parameter (p2),
// and the bytes after the command as stored (continuation data).
struct Event {
    uint8_t cmd = 0;
    uint16_t step = 0;
    uint16_t gate = 0;
    uint8_t vel = 0;
    std::array<uint8_t, 5> raw{};
};

struct Track {
    uint8_t rhythm = 0;    // 0x80: rhythm mode
    uint8_t channel = 0;   // 0..15 port A, 16..31 port B, else off
    uint8_t key = 0;       // key+ (7-bit signed); 0x80 and up: no transposition
    int8_t stepShift = 0;  // st+
    uint8_t mode = 0;      // 1: muted
    std::string name;      // code-page bytes
    std::vector<Event> events;
};

struct Header {
    Generation gen = Generation::kV2;
    std::string title;              // code-page bytes, trimmed
    std::vector<std::string> memo;  // lines, trimmed
    int timebase = 48;
    int tempo = 120;
    int beatNumerator = 4;
    int beatDenominator = 4;
    uint8_t key = 0;
    int8_t playBias = 0;
    std::string cm6, gsd, gsdPortB;  // control file names
    std::array<std::array<uint8_t, 24>, 8> userExclusive{};
    int trackCount = 0;
};

struct Song {
    Header header;
    std::vector<Track> tracks;
};

RcpProblem ParseSong(std::span<const uint8_t> bytes, Song& song);
// Generation by signature; false when the bytes hold neither.
bool DetectGeneration(std::span<const uint8_t> bytes, Generation& gen);
// A header text field: cut at NUL, trailing blanks trimmed, PC-98-only
// characters mapped to CP932.
std::string HeaderText(std::span<const uint8_t> field);
std::string Pc98ToCp932(std::string_view bytes);

// --- SMF event store ---------------------------------------------------------

inline constexpr uint32_t kNoPayload = UINT32_MAX;

struct SmfEvent {
    uint32_t tick = 0;
    uint32_t seq = 0;  // insertion order, for a stable sort
    uint8_t status = 0;
    uint8_t d1 = 0, d2 = 0;
    uint32_t payload = kNoPayload;  // SysEx body (F7 included) or meta data
};

struct SmfTrack {
    std::vector<SmfEvent> events;
    std::vector<std::string> payloads;
    uint32_t end = 0;  // the end-of-track tick, when later than the last event

    size_t Channel(uint32_t tick, uint8_t status, uint8_t d1, uint8_t d2 = 0);
    void Meta(uint32_t tick, uint8_t type, std::string data);
    void SysEx(uint32_t tick, std::string bodyWithF7);
    size_t ExtCount() const { return payloads.size(); }
};

// Format 1, tracks in order; events of one track sorted by tick, note-offs
// first among events of the same tick.
std::string WriteSmf(int division, std::vector<SmfTrack>& tracks);

// --- Exclusive messages --------------------------------------------------------

// A SysEx body (without F0, ending in F7) from Recomposer exclusive data:
// 0x80/0x81 stand for the event's two values, 0x82 for the channel, 0x83
// starts a Roland checksum and 0x84 puts it; F7 ends the data. Empty when
// no data byte remains.
std::string ExpandExclusive(std::span<const uint8_t> data, uint8_t gt, uint8_t ve, uint8_t ch);
// A Roland address as one number whose 7-bit digits carry into each other,
// so that a block's later bytes are simply address + offset.
constexpr uint32_t RolandAddress(uint8_t hi, uint8_t mid, uint8_t lo) {
    return (uint32_t{hi} << 14) | (uint32_t{mid} << 7) | lo;
}
// Roland DT1 bodies for a block written from `address`, split into
// messages of at most 128 data bytes.
std::vector<std::string> RolandBlock(uint8_t dev, uint8_t model, uint32_t address,
                                     std::span<const uint8_t> data);
uint8_t RolandChecksum(std::span<const uint8_t> addressAndData);

// --- Control files -------------------------------------------------------------

// SysEx bodies for a control file's contents; false when the bytes are not
// such a file.
bool Cm6Messages(std::span<const uint8_t> file, std::vector<std::string>& out);
bool GsdMessages(std::span<const uint8_t> file, std::vector<std::string>& out);

// --- The walk --------------------------------------------------------------------

struct TempoCommand {
    uint32_t tick = 0;
    uint32_t order = 0;
    uint8_t rate = 64;  // 64 = the header tempo
    uint8_t span = 0;   // ticks of a gradual change, 0 = at once
};

struct KeyCommand {
    uint32_t tick = 0;
    uint8_t key = 0;
};

// What all tracks of one conversion share: the tempo and key changes they
// hand to the conductor track, and the bounds.
struct WalkShared {
    int endlessLoops = kDefaultEndlessLoops;
    std::vector<TempoCommand> tempos;
    std::vector<KeyCommand> keys;
    uint64_t steps = 0;    // events visited, loops expanded
    size_t events = 0;     // SMF events made
    size_t extEvents = 0;  // SysEx and meta events made
};

// Bounds: a loop or a same-measure chain never runs unchecked.
inline constexpr uint64_t kMaxSteps = 8'000'000;
inline constexpr size_t kMaxEvents = 2'000'000;
inline constexpr size_t kMaxExtEvents = kMaxEvents;  // SysEx and meta events among them
inline constexpr uint32_t kMaxTick = 0x0FFFFFFF;
inline constexpr int64_t kMaxSongMs = 24LL * 3600 * 1000;
inline constexpr int kMaxSameMeasureChain = 64;
inline constexpr size_t kMaxLoopDepth = 64;

struct TrackResult {
    SmfTrack smf;
    std::vector<uint32_t> measureEnds;  // ticks of the measure ends met, empty measures left out
    uint32_t endTick = 0;               // the end of the last measure, all its steps counted
    bool sounding = false;              // any SMF event besides its name
};

RcpProblem WalkTrack(const Header& header, const Track& track, WalkShared& shared,
                     TrackResult& out);

}  // namespace sonfara::files::rcp
