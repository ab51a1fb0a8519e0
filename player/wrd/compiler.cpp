#include "player/wrd/compiler.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "player/platform/rounding.h"
#include "player/song/song_table.h"

namespace sonfara::wrd {

namespace {

constexpr char kEsc = 0x1B;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Byte length of the character at i: 2 for a lead byte with a byte after it.
size_t CharLen(std::string_view s, size_t i) {
    return (IsLeadByte(static_cast<uint8_t>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

// First single-byte `c` at or after `from`, skipping double-byte characters
// (their second byte may be any of "@", "|", ")" and the like).
size_t FindChar(std::string_view s, char c, size_t from) {
    for (size_t i = from; i < s.size(); i += CharLen(s, i))
        if (s[i] == c) return i;
    return std::string_view::npos;
}

struct Argument {
    std::vector<int64_t> values;
    int64_t At(size_t i) const { return i < values.size() ? values[i] : 0; }
    size_t Count() const { return values.size(); }
};

Argument Numbers(std::string_view arg) {
    Argument a;
    size_t start = 0;
    for (;;) {
        const size_t comma = arg.find(',', start);
        a.values.push_back(WrdNumber(arg.substr(start, comma - start)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return a;
}

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, 0, INT32_MAX));
}

class Translator {
  public:
    explicit Translator(const WrdTiming& t) : timing_(t) {
        division_ = std::max<int64_t>(timing_.Division(), 1);
        step_ = 4 * division_;
    }

    std::vector<WrdEvent> Run(std::string_view script) {
        if (script.size() > kMaxWrdScriptBytes) return Refuse(WrdScriptFault::kTooLarge);
        // A DOS end-of-file mark ends the script.
        const size_t eof = script.find('\x1A');
        if (eof != std::string_view::npos) script = script.substr(0, eof);
        size_t pos = 0;
        while (pos <= script.size()) {
            size_t end = script.find_first_of("\r\n", pos);
            if (end == std::string_view::npos) end = script.size();
            if (end - pos > kMaxWrdLineBytes) return Refuse(WrdScriptFault::kLineTooLong);
            Line(script.substr(pos, end - pos));
            if (fault_ != WrdScriptFault::kNone) return Refuse(fault_);
            if (end >= script.size()) break;
            pos = end + ((script[end] == '\r' && end + 1 < script.size() && script[end + 1] == '\n')
                             ? 2
                             : 1);
        }
        return std::move(events_);
    }

    WrdScriptFault Fault() const { return fault_; }

  private:
    std::vector<WrdEvent> Refuse(WrdScriptFault f) {
        fault_ = f;
        events_ = {};
        return {};
    }

    void Line(std::string_view line) {
        size_t at = FindChar(line, '@', 0);
        const std::string_view text = line.substr(0, at);
        // Blanks that only indent a command are not text.
        if (!text.empty() && !(at != std::string_view::npos && Trim(text).empty())) Text(text);
        while (at != std::string_view::npos) {
            size_t close = FindChar(line, ')', at);
            size_t next;
            std::string_view seg;
            if (close == std::string_view::npos) {
                seg = line.substr(at);
                next = line.size();
            } else if (close + 1 < line.size() && line[close + 1] == ';') {
                seg = line.substr(at, close + 2 - at);
                next = close + 2;
            } else {
                seg = line.substr(at, close + 1 - at);
                next = close + 1;
            }
            Command(seg);
            at = FindChar(line, '@', next);
        }
    }

    void Advance(int64_t by) { clock_ = std::clamp<int64_t>(clock_ + by, 0, INT32_MAX); }

    void Emit(uint8_t op, std::string arg) {
        if (events_.size() >= kMaxWrdEvents) {
            fault_ = WrdScriptFault::kTooManyEvents;
            return;
        }
        WrdEvent e;
        e.opcode = op;
        e.tick = Clamp32(clock_);
        e.ms = timing_.TickToMs(e.tick);
        e.arg = std::move(arg);
        events_.push_back(std::move(e));
    }

    void Command(std::string_view seg) {
        seg = Trim(seg);
        bool advance = true;
        if (!seg.empty() && seg.back() == ';') {
            advance = false;
            seg = Trim(seg.substr(0, seg.size() - 1));
        }
        std::string key(seg.substr(0, 5));
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        std::string_view arg;
        const size_t open = seg.find('(');
        if (open != std::string_view::npos) {
            arg = seg.substr(open + 1);
            if (!arg.empty() && arg.back() == ')') arg.remove_suffix(1);
        }

        // Every command line takes one step after it unless it ends with ";",
        // also the ones that only move the loader's clock: scripts are timed
        // by that rule, so "@WAIT(2);" is how a script places the next line
        // exactly on the wait.
        ClockCommand(key, arg);
        if (advance) Advance(step_);
    }

    // Returns after the command's own action; the caller takes the step.
    void ClockCommand(const std::string& key, std::string_view arg) {
        if (key == "@STAR") return;
        if (key == "@WMOD") {
            const Argument a = Numbers(arg);
            const int64_t n = a.At(0);
            // A step below zero would run the clock backwards; hold it instead.
            step_ = n != 0 ? std::max<int64_t>(0, static_cast<int64_t>(std::floor(
                                                      double(n + 1) / 24.0 * double(division_))))
                           : 4 * division_;
            if (a.Count() >= 2) charMode_ = a.At(1);
            return;
        }
        if (key == "@WAIT") {
            const Argument a = Numbers(arg);
            int64_t c = a.At(0) * 4 * division_ + offset_ - 4 * division_;
            if (a.Count() >= 2)
                c += platform::RoundHalfEven(double(a.At(1)) / 48.0 * double(division_));
            clock_ = std::clamp<int64_t>(c, 0, INT32_MAX);
            return;
        }
        if (key == "@OFFS") {
            offset_ =
                std::clamp<int64_t>(Numbers(arg).At(0) * 4 * division_, -INT32_MAX, INT32_MAX);
            return;
        }
        if (key == "@REST") {
            clock_ =
                std::clamp<int64_t>(Numbers(arg).At(0) * 4 * division_ + offset_, 0, INT32_MAX);
            return;
        }
        if (key == "@END(") {
            clock_ = std::clamp<int64_t>(timing_.EndTick(), 0, INT32_MAX);
            return;
        }

        static const struct {
            const char* key;
            uint8_t op;
        } kTable[] = {
            {"@MAG(", kOpMag},    {"@PAL(", kOpPal},     {"@TON(", kOpTon},     {"@COLO", kOpColor},
            {"@GCLS", kOpGcls},   {"@GSCR", kOpGscreen}, {"@GON(", kOpGon},     {"@GLIN", kOpGline},
            {"@PALR", kOpPalrev}, {"@FADE", kOpFade},    {"@GMOV", kOpGmove},   {"@TCLS", kOpTcls},
            {"@ESC(", kOpEsc},    {"@LOCA", kOpLocate},  {"@GCIR", kOpGcircle}, {"@GINI", kOpGinit},
        };
        for (const auto& t : kTable) {
            if (key != t.key) continue;
            std::string_view a = t.op == kOpGinit ? std::string_view{} : arg;
            if (t.op == kOpLocate) a = Trim(a);
            Emit(t.op, std::string(a));
            return;
        }
        // Any other command is skipped.
    }

    void Text(std::string_view s) {
        bool hold = false;     // ";" seen: no step at the end
        bool stepped = false;  // character mode already stepped
        bool inBars = false;   // inside |...|: everything at one time
        for (size_t i = 0; i < s.size();) {
            const char c = s[i];
            if (c == '|') {
                if (inBars) Advance(step_);
                inBars = !inBars;
                ++i;
                continue;
            }
            if (c == '_') {
                if (!inBars) Advance(step_);
                ++i;
                continue;
            }
            if (c == ';') {
                hold = true;
                ++i;
                continue;
            }
            if (c == kEsc) {
                if (i + 1 < s.size() && s[i + 1] == '[') {
                    const size_t term = s.find_first_of("fm", i + 2);
                    if (term == std::string_view::npos) break;  // unterminated: dropped
                    Emit(s[term] == 'f' ? kOpLocate : kOpColor,
                         std::string(s.substr(i + 2, term - i - 2)));
                    i = term + 1;
                } else if (i + 1 < s.size() && s[i + 1] == 'E') {
                    i += 2;
                } else {
                    ++i;
                }
                continue;
            }
            const size_t n = CharLen(s, i);
            Emit(kOpChar, std::string(s.substr(i, n)));
            i += n;
            if (charMode_ == 1 && !inBars) {
                Advance(step_);
                stepped = true;
            }
        }
        // A "|" without its partner runs to the end of the line.
        if (inBars) Advance(step_);
        if (!hold && !stepped) Advance(step_);
    }

    const WrdTiming& timing_;
    int64_t division_;
    int64_t step_;
    int64_t clock_ = 0;
    int64_t offset_ = 0;
    int64_t charMode_ = 0;
    std::vector<WrdEvent> events_;
    WrdScriptFault fault_ = WrdScriptFault::kNone;
};

}  // namespace

int64_t WrdNumber(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
    int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        // Saturate: no script number needs more than 32 bits.
        if (v < (int64_t{1} << 40)) v = v * 10 + (s[i] - '0');
    }
    return neg ? -v : v;
}

int32_t SongTiming::Division() const {
    return song_.TicksPerQuarter();
}
int32_t SongTiming::TickToMs(int32_t tick) const {
    return song_.TickToMs(tick);
}
int32_t SongTiming::EndTick() const {
    return song_.TimeToTick(song_.TotalMs);
}

std::vector<WrdEvent> CompileWrdScript(std::string_view script, const WrdTiming& timing,
                                       WrdScriptFault* fault) {
    Translator t(timing);
    std::vector<WrdEvent> events = t.Run(script);
    if (fault) *fault = t.Fault();
    return events;
}

std::vector<WrdEvent> CompileWrdScript(std::string_view script, const song::SongTable& song,
                                       WrdScriptFault* fault) {
    return CompileWrdScript(script, SongTiming(song), fault);
}

}  // namespace sonfara::wrd
