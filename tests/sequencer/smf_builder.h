// Builds Standard MIDI File bytes for tests. With division 500 and no tempo
// event one tick is one millisecond.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace sonfara::test {

class TrackBuilder {
  public:
    // An event at an absolute tick (ticks must not decrease).
    TrackBuilder& Ev(int tick, std::initializer_list<uint8_t> bytes) {
        Delta(tick);
        data_.insert(data_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    TrackBuilder& Meta(int tick, uint8_t type, std::vector<uint8_t> payload) {
        Delta(tick);
        data_.push_back(0xFF);
        data_.push_back(type);
        Vlq(static_cast<uint32_t>(payload.size()));
        data_.insert(data_.end(), payload.begin(), payload.end());
        return *this;
    }
    // body: the bytes after F0 (include the closing F7 when wanted).
    TrackBuilder& SysEx(int tick, std::vector<uint8_t> body) {
        Delta(tick);
        data_.push_back(0xF0);
        Vlq(static_cast<uint32_t>(body.size()));
        data_.insert(data_.end(), body.begin(), body.end());
        return *this;
    }
    // An F7 event: a SysEx continuation packet or an escape.
    TrackBuilder& Escape(int tick, std::vector<uint8_t> body) {
        Delta(tick);
        data_.push_back(0xF7);
        Vlq(static_cast<uint32_t>(body.size()));
        data_.insert(data_.end(), body.begin(), body.end());
        return *this;
    }
    std::vector<uint8_t> Bytes(int endTick) const {
        TrackBuilder t = *this;
        t.Meta(endTick < last_ ? last_ : endTick, 0x2F, {});
        return t.data_;
    }
    int Last() const { return last_; }

  private:
    void Delta(int tick) {
        Vlq(static_cast<uint32_t>(tick - last_));
        last_ = tick;
    }
    void Vlq(uint32_t v) {
        uint8_t tmp[5];
        int n = 0;
        tmp[n++] = v & 0x7F;
        while (v >>= 7) tmp[n++] = static_cast<uint8_t>(0x80 | (v & 0x7F));
        while (n) data_.push_back(tmp[--n]);
    }
    std::vector<uint8_t> data_;
    int last_ = 0;
};

inline std::vector<uint8_t> BuildSmf(int format, std::vector<TrackBuilder> tracks,
                                     int division = 500) {
    int end = 0;
    for (auto& t : tracks) end = t.Last() > end ? t.Last() : end;
    std::vector<uint8_t> f = {'M',
                              'T',
                              'h',
                              'd',
                              0,
                              0,
                              0,
                              6,
                              0,
                              static_cast<uint8_t>(format),
                              static_cast<uint8_t>(tracks.size() >> 8),
                              static_cast<uint8_t>(tracks.size() & 0xFF),
                              static_cast<uint8_t>(division >> 8),
                              static_cast<uint8_t>(division & 0xFF)};
    for (auto& t : tracks) {
        auto b = t.Bytes(t.Last());
        f.insert(f.end(), {'M', 'T', 'r', 'k'});
        uint32_t n = static_cast<uint32_t>(b.size());
        f.insert(f.end(), {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                           static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
        f.insert(f.end(), b.begin(), b.end());
    }
    (void)end;
    return f;
}

}  // namespace sonfara::test
