// Builds Standard MIDI File bytes in tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace sonfara::test {

using Bytes = std::vector<uint8_t>;

inline Bytes Vlq(uint32_t v) {
    Bytes out;
    out.push_back(v & 0x7F);
    while (v >>= 7) out.insert(out.begin(), static_cast<uint8_t>(0x80 | (v & 0x7F)));
    return out;
}

// A track body assembled from raw pieces.
class Track {
  public:
    Track& Raw(std::initializer_list<uint8_t> b) {
        data_.insert(data_.end(), b);
        return *this;
    }
    Track& Raw(const Bytes& b) {
        data_.insert(data_.end(), b.begin(), b.end());
        return *this;
    }
    Track& Delta(uint32_t d) { return Raw(Vlq(d)); }
    // A delta then a channel message.
    Track& Msg(uint32_t delta, std::initializer_list<uint8_t> msg) { return Delta(delta).Raw(msg); }
    Track& Meta(uint32_t delta, uint8_t type, const std::string& payload) {
        Delta(delta).Raw({0xFF, type}).Raw(Vlq(static_cast<uint32_t>(payload.size())));
        data_.insert(data_.end(), payload.begin(), payload.end());
        return *this;
    }
    Track& Meta(uint32_t delta, uint8_t type, const Bytes& payload) {
        return Meta(delta, type, std::string(payload.begin(), payload.end()));
    }
    Track& Tempo(uint32_t delta, uint32_t usPerQuarter) {
        return Meta(
            delta, 0x51,
            Bytes{static_cast<uint8_t>(usPerQuarter >> 16), static_cast<uint8_t>(usPerQuarter >> 8),
                  static_cast<uint8_t>(usPerQuarter)});
    }
    // F0 event: body is what follows the length (normally ending with F7).
    Track& SysEx(uint32_t delta, const Bytes& body) {
        Delta(delta).Raw({0xF0}).Raw(Vlq(static_cast<uint32_t>(body.size()))).Raw(body);
        return *this;
    }
    Track& End(uint32_t delta = 0) { return Delta(delta).Raw({0xFF, 0x2F, 0x00}); }
    const Bytes& Data() const { return data_; }

  private:
    Bytes data_;
};

inline Bytes Header(int format, int ntracks, int division) {
    return Bytes{'M',
                 'T',
                 'h',
                 'd',
                 0,
                 0,
                 0,
                 6,
                 static_cast<uint8_t>(format >> 8),
                 static_cast<uint8_t>(format),
                 static_cast<uint8_t>(ntracks >> 8),
                 static_cast<uint8_t>(ntracks),
                 static_cast<uint8_t>(division >> 8),
                 static_cast<uint8_t>(division)};
}

inline void AppendChunk(Bytes& file, const char* type, const Bytes& body) {
    file.reserve(file.size() + 8 + body.size());
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(type[i]));
    uint32_t n = static_cast<uint32_t>(body.size());
    file.insert(file.end(), {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                             static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    file.insert(file.end(), body.begin(), body.end());
}

inline Bytes Smf(int format, int division, std::initializer_list<Track> tracks) {
    Bytes f = Header(format, static_cast<int>(tracks.size()), division);
    for (const Track& t : tracks) AppendChunk(f, "MTrk", t.Data());
    return f;
}

}  // namespace sonfara::test
