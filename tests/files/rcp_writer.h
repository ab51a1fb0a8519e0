// Writes small Recomposer files of either header generation for the tests
// and the benchmark: notes, commands, exclusive data and comments with their
// continuation events, loops and same-measure references (resolved to the
// encoding of the generation).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sonfara::files::test {

class RcpTrackWriter {
  public:
    uint8_t channel = 0;  // 0..15 port A, 16..31 port B, 0xFF off
    uint8_t key = 0;
    uint8_t rhythm = 0;
    uint8_t mode = 0;
    int8_t stepShift = 0;
    std::string name;

    RcpTrackWriter& Note(uint8_t k, uint16_t step, uint16_t gate, uint8_t vel) {
        return Cmd(k, step, gate, vel);
    }
    // Any command: p1 is the gate field, p2 the velocity field.
    RcpTrackWriter& Cmd(uint8_t cmd, uint16_t step, uint16_t p1 = 0, uint8_t p2 = 0) {
        events_.push_back({cmd, step, p1, p2, {}, -1});
        return *this;
    }
    RcpTrackWriter& MeasureEnd() { return Cmd(0xFD, 0); }
    RcpTrackWriter& LoopStart() { return Cmd(0xF9, 1); }
    RcpTrackWriter& LoopEnd(uint16_t count) { return Cmd(0xF8, count); }
    RcpTrackWriter& End() { return Cmd(0xFE, 0); }
    // Same measure as measure m (0-based, references counted as measures),
    // encoded with the place of its first event. The reference is the whole
    // measure: no measure end follows it.
    RcpTrackWriter& SameMeasure(int m) {
        events_.push_back({0xFC, 0, 0, 0, {}, m});
        return *this;
    }
    // Track exclusive 98 with its two values, the data following in
    // continuation events.
    RcpTrackWriter& Exclusive(uint16_t step, uint8_t gt, uint8_t ve, std::vector<uint8_t> data) {
        events_.push_back({0x98, step, gt, ve, std::move(data), -1});
        return *this;
    }
    RcpTrackWriter& Comment(const std::string& text) {
        events_.push_back({0xF6, 0, 0, 0, std::vector<uint8_t>(text.begin(), text.end()), -1});
        return *this;
    }
    // Bytes as stored after the command (v2: 3, v3: 5), for odd cases.
    RcpTrackWriter& Raw(uint8_t cmd, std::vector<uint8_t> bytes) {
        events_.push_back({cmd, 0, 0, 0, std::move(bytes), -2});
        return *this;
    }

    std::string Bytes(bool v3, int number) const {
        std::vector<std::string> ev = Flatten(v3);
        ResolveSameMeasures(v3, ev);
        std::string body;
        for (const std::string& e : ev) body += e;
        const size_t header = v3 ? 0x2E : 0x2C;
        std::string out;
        const size_t size = header + body.size();
        Le(out, size, v3 ? 4 : 2);
        out += static_cast<char>(number);
        out += static_cast<char>(rhythm);
        out += static_cast<char>(channel);
        out += static_cast<char>(key);
        out += static_cast<char>(stepShift);
        out += static_cast<char>(mode);
        out += Field(name, 36);
        return out + body;
    }

    static void Le(std::string& out, size_t v, int n) {
        for (int i = 0; i < n; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    static std::string Field(const std::string& s, size_t n, char pad = ' ') {
        std::string f = s.substr(0, n);
        f.resize(n, pad);
        return f;
    }

  private:
    struct Ev {
        uint8_t cmd;
        uint16_t step, gate;
        uint8_t vel;
        std::vector<uint8_t> data;
        int measure;  // -1 plain, >= 0 same measure, -2 raw bytes
    };

    static std::string Encode(bool v3, uint8_t cmd, uint16_t step, uint16_t gate, uint8_t vel) {
        std::string e(1, static_cast<char>(cmd));
        if (v3) {
            e += static_cast<char>(vel);
            Le(e, step, 2);
            Le(e, gate, 2);
        } else {
            e += {static_cast<char>(step), static_cast<char>(gate), static_cast<char>(vel)};
        }
        return e;
    }
    // Continuation events: v2 two bytes in p1/p2, v3 all five.
    static void Chunks(bool v3, uint8_t first, std::vector<uint8_t> d, uint8_t pad,
                       std::vector<std::string>& out) {
        const size_t per = v3 ? 5 : 2;
        if (d.empty()) d.push_back(pad);
        while (d.size() % per) d.push_back(pad);
        for (size_t at = 0; at < d.size(); at += per) {
            std::string e(1, static_cast<char>(at == 0 ? first : 0xF7));
            if (!v3) e += '\0';
            e.append(d.begin() + static_cast<long>(at), d.begin() + static_cast<long>(at + per));
            out.push_back(e);
        }
    }
    std::vector<std::string> Flatten(bool v3) const {
        std::vector<std::string> out;
        for (const Ev& e : events_) {
            if (e.measure == -2) {
                std::string r(1, static_cast<char>(e.cmd));
                r.append(e.data.begin(), e.data.end());
                r.resize(v3 ? 6 : 4, '\0');
                out.push_back(r);
            } else if (e.cmd == 0x98) {
                out.push_back(Encode(v3, 0x98, e.step, e.gate, e.vel));
                Chunks(v3, 0xF7, e.data, 0xF7, out);
            } else if (e.cmd == 0xF6) {
                Chunks(v3, 0xF6, e.data, ' ', out);
            } else if (e.measure >= 0) {
                out.push_back("FC" + std::to_string(e.measure));  // resolved below
            } else {
                out.push_back(Encode(v3, e.cmd, e.step, e.gate, e.vel));
            }
        }
        return out;
    }
    // A measure ends at a measure end, and a reference is a measure of its
    // own, as the editors count them.
    static bool EndsMeasure(const std::string& e) {
        const auto cmd = static_cast<uint8_t>(e[0]);
        return cmd == 0xFD || cmd == 0xFC || e.rfind("FC", 0) == 0;
    }
    static void ResolveSameMeasures(bool v3, std::vector<std::string>& ev) {
        std::vector<size_t> starts = {0};
        for (size_t i = 0; i < ev.size(); ++i) {
            if (EndsMeasure(ev[i])) starts.push_back(i + 1);
        }
        for (std::string& e : ev) {
            if (e.rfind("FC", 0) != 0) continue;
            const int m = std::stoi(e.substr(2));
            const size_t idx = starts.at(static_cast<size_t>(m));
            if (v3) {
                e = Encode(true, 0xFC, static_cast<uint16_t>(m), static_cast<uint16_t>(idx + 0x30),
                           0);
            } else {
                const size_t off = 0x2C + idx * 4;
                e = Encode(false, 0xFC, static_cast<uint16_t>(m & 0xFF),
                           static_cast<uint16_t>((off & 0xFC) | ((m >> 8) & 3)),
                           static_cast<uint8_t>(off >> 8));
            }
        }
    }

    std::vector<Ev> events_;
};

struct RcpSongWriter {
    bool v3 = false;
    std::string title;
    std::vector<std::string> memo;
    int timebase = 48;
    int tempo = 120;
    int numerator = 4, denominator = 4;
    uint8_t key = 0;
    int8_t playBias = 0;
    std::string cm6, gsd, gsdPortB;
    std::vector<std::vector<uint8_t>> userExclusive;  // up to 8, data without F0
    std::vector<RcpTrackWriter> tracks;
    int trackCountField = -1;  // -1: the number of tracks

    std::string Bytes() const { return v3 ? Header3() + Tracks() : Header2() + Tracks(); }

  private:
    using W = RcpTrackWriter;
    std::string Count() const {
        return std::string(
            1, static_cast<char>(trackCountField < 0 ? tracks.size() : trackCountField));
    }
    std::string Memo(size_t line) const {
        return W::Field(line < memo.size() ? memo[line] : "", v3 ? 30 : 28);
    }
    std::string UserExclusive() const {
        std::string out;
        for (size_t i = 0; i < 8; ++i) {
            out += W::Field("USER " + std::to_string(i + 1), 24);
            std::string d;
            if (i < userExclusive.size())
                d.assign(userExclusive[i].begin(), userExclusive[i].end());
            out += W::Field(d, 24, '\xF7');
        }
        return out;
    }
    std::string Header2() const {
        std::string h = W::Field(std::string("RCM-PC98V2.0(C)COME ON MUSIC\r\n", 30), 32, '\0');
        h += W::Field(title, 0x40);
        for (size_t i = 0; i < 12; ++i) h += Memo(i);
        h += std::string(0x10, ' ');
        h += {static_cast<char>(timebase & 0xFF),
              static_cast<char>(tempo),
              static_cast<char>(numerator),
              static_cast<char>(denominator),
              static_cast<char>(key),
              static_cast<char>(playBias)};
        h += W::Field(cm6, 16) + W::Field(gsd, 16) + Count();
        h += static_cast<char>(timebase >> 8);
        h += std::string(0x1E, '\0') + std::string(0x200, ' ');
        return h + UserExclusive();
    }
    std::string Header3() const {
        std::string h = W::Field("COME ON MUSIC RECOMPOSER RCP3.0", 32, '\0');
        h += W::Field(title, 0x80);
        for (size_t i = 0; i < 12; ++i) h += Memo(i);
        W::Le(h, trackCountField < 0 ? tracks.size() : static_cast<size_t>(trackCountField), 2);
        W::Le(h, static_cast<size_t>(timebase), 2);
        W::Le(h, static_cast<size_t>(tempo), 2);
        h += {static_cast<char>(numerator), static_cast<char>(denominator), static_cast<char>(key),
              static_cast<char>(playBias)};
        h += std::string(0x298 - h.size(), '\0');
        h += W::Field(gsd, 16) + W::Field(gsdPortB, 16) + W::Field(cm6, 16);
        h += std::string(0xB18 - h.size(), '\0');
        return h + UserExclusive();
    }
    std::string Tracks() const {
        std::string out;
        for (size_t i = 0; i < tracks.size(); ++i)
            out += tracks[i].Bytes(v3, static_cast<int>(i + 1));
        return out;
    }
};

}  // namespace sonfara::files::test
