// Translates a WRD script into a flat, time-stamped event list once per song,
// so that playback only compares times.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sonfara::song {
class SongTable;
}  // namespace sonfara::song

namespace sonfara::wrd {

enum WrdOpcode : uint8_t {
    kOpChar = 0,
    kOpMag = 1,
    kOpPal = 2,
    kOpTon = 3,
    kOpColor = 4,
    kOpGcls = 5,
    kOpGscreen = 6,
    kOpGon = 7,
    kOpGline = 8,
    kOpPalrev = 9,
    kOpFade = 10,
    kOpGmove = 11,
    kOpTcls = 12,
    kOpEsc = 13,
    kOpLocate = 14,
    kOpGcircle = 15,
    kOpGinit = 16,
};

struct WrdEvent {
    uint8_t opcode = 0;
    int32_t tick = 0;
    int32_t ms = 0;   // TickToMs(tick) of the song's tempo map
    std::string arg;  // code-page bytes
};

// The song values the translation needs; taken from a SongTable by default.
struct WrdTiming {
    virtual ~WrdTiming() = default;
    virtual int32_t Division() const = 0;  // ticks per quarter note
    virtual int32_t TickToMs(int32_t tick) const = 0;
    virtual int32_t EndTick() const = 0;  // the tick of the song's end
};

class SongTiming : public WrdTiming {
  public:
    explicit SongTiming(const song::SongTable& song) : song_(song) {}
    int32_t Division() const override;
    int32_t TickToMs(int32_t tick) const override;
    int32_t EndTick() const override;

  private:
    const song::SongTable& song_;
};

// Bounds far beyond any real script (a few hundred kilobytes, lines of an
// 80-column screen, tens of thousands of events). A hostile script past them
// would otherwise cost memory in proportion to its size, about 50 bytes per
// character of text; it is refused instead.
inline constexpr size_t kMaxWrdScriptBytes = size_t{4} << 20;
inline constexpr size_t kMaxWrdLineBytes = 4096;
inline constexpr size_t kMaxWrdEvents = 250'000;

enum class WrdScriptFault {
    kNone,
    kTooLarge,       // more than kMaxWrdScriptBytes
    kLineTooLong,    // a line of more than kMaxWrdLineBytes
    kTooManyEvents,  // more than kMaxWrdEvents events
};

// Whole script text (code-page bytes, any line ends) to events in script
// order. A script beyond the bounds gives no events and its fault.
std::vector<WrdEvent> CompileWrdScript(std::string_view script, const WrdTiming& timing,
                                       WrdScriptFault* fault = nullptr);
std::vector<WrdEvent> CompileWrdScript(std::string_view script, const song::SongTable& song,
                                       WrdScriptFault* fault = nullptr);

// A number as the script writes it: leading blanks, a sign and digits; the
// integer part of anything after that is ignored; anything else reads as 0.
int64_t WrdNumber(std::string_view s);

// True for the first byte of a double-byte character (Shift_JIS / CP932).
inline bool IsLeadByte(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

}  // namespace sonfara::wrd
