// The SMF side of the converter: the event store, the file writer and the
// exclusive message builders.
#include <algorithm>

#include "player/files/rcp_internal.h"
#include "player/platform/midi.h"

namespace sonfara::files::rcp {
namespace {

using midi::kNoteOff;
constexpr uint8_t kSysEx = midi::kSysExStart;
constexpr uint8_t kMeta = midi::kMetaEvent;
constexpr uint8_t kEox = midi::kSysExEnd;
constexpr uint8_t kRolandId = midi::kRoland;
constexpr uint8_t kDataSet1 = midi::kRolandDataSet;
constexpr size_t kMaxDt1Data = 128;

void PutVlq(std::string& out, uint32_t v) {
    char buf[5];
    int n = 0;
    buf[n++] = static_cast<char>(v & 0x7F);
    while (v >>= 7) buf[n++] = static_cast<char>(0x80 | (v & 0x7F));
    while (n > 0) out += buf[--n];
}

void PutBe32(std::string& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out += static_cast<char>((v >> s) & 0xFF);
}

bool IsNoteOff(const SmfEvent& e) {
    return midi::StatusKind(e.status) == kNoteOff;
}

void SortTrack(std::vector<SmfEvent>& ev) {
    std::sort(ev.begin(), ev.end(), [](const SmfEvent& a, const SmfEvent& b) {
        if (a.tick != b.tick) return a.tick < b.tick;
        if (IsNoteOff(a) != IsNoteOff(b)) return IsNoteOff(a);
        return a.seq < b.seq;
    });
}

void PutEvent(std::string& out, const SmfEvent& e, const SmfTrack& t) {
    out += static_cast<char>(e.status);
    if (e.status == kSysEx) {
        const std::string& body = t.payloads[e.payload];
        PutVlq(out, static_cast<uint32_t>(body.size()));
        out += body;
    } else if (e.status == kMeta) {
        const std::string& data = t.payloads[e.payload];
        out += static_cast<char>(e.d1);
        PutVlq(out, static_cast<uint32_t>(data.size()));
        out += data;
    } else {
        out += static_cast<char>(e.d1);
        const uint8_t kind = midi::StatusKind(e.status);
        if (kind != midi::kProgramChange && kind != midi::kChannelPressure)
            out += static_cast<char>(e.d2);
    }
}

void PutTrackChunk(std::string& out, SmfTrack& t) {
    SortTrack(t.events);
    out += "MTrk";
    const size_t lengthAt = out.size();
    PutBe32(out, 0);
    uint32_t last = 0;
    for (const SmfEvent& e : t.events) {
        PutVlq(out, e.tick - last);
        last = e.tick;
        PutEvent(out, e, t);
    }
    PutVlq(out, std::max(t.end, last) - last);
    out += std::string_view("\xFF\x2F\x00", 3);
    const auto n = static_cast<uint32_t>(out.size() - lengthAt - 4);
    for (int i = 0; i < 4; ++i) out[lengthAt + i] = static_cast<char>((n >> (24 - 8 * i)) & 0xFF);
}

}  // namespace

size_t SmfTrack::Channel(uint32_t tick, uint8_t status, uint8_t d1, uint8_t d2) {
    events.push_back({tick, static_cast<uint32_t>(events.size()), status,
                      static_cast<uint8_t>(d1 & 0x7F), static_cast<uint8_t>(d2 & 0x7F),
                      kNoPayload});
    return events.size() - 1;
}

void SmfTrack::Meta(uint32_t tick, uint8_t type, std::string data) {
    payloads.push_back(std::move(data));
    events.push_back({tick, static_cast<uint32_t>(events.size()), kMeta, type, 0,
                      static_cast<uint32_t>(payloads.size() - 1)});
}

void SmfTrack::SysEx(uint32_t tick, std::string bodyWithF7) {
    payloads.push_back(std::move(bodyWithF7));
    events.push_back({tick, static_cast<uint32_t>(events.size()), kSysEx, 0, 0,
                      static_cast<uint32_t>(payloads.size() - 1)});
}

std::string WriteSmf(int division, std::vector<SmfTrack>& tracks) {
    std::string out = "MThd";
    PutBe32(out, 6);
    const auto n = static_cast<uint16_t>(tracks.size());
    const auto d = static_cast<uint16_t>(division);
    for (uint16_t v : {uint16_t{1}, n, d}) {
        out += static_cast<char>(v >> 8);
        out += static_cast<char>(v & 0xFF);
    }
    size_t estimate = 0;
    for (const SmfTrack& t : tracks) {
        estimate += 12 + t.events.size() * 5;
        for (const std::string& p : t.payloads) estimate += p.size() + 4;
    }
    out.reserve(out.size() + estimate);
    for (SmfTrack& t : tracks) PutTrackChunk(out, t);
    return out;
}

std::string ExpandExclusive(std::span<const uint8_t> data, uint8_t gt, uint8_t ve, uint8_t ch) {
    std::string out;
    unsigned sum = 0;
    for (uint8_t b : data) {
        if (b == kEox) break;
        uint8_t v = b;
        if (b == 0x80)
            v = gt;
        else if (b == 0x81)
            v = ve;
        else if (b == 0x82)
            v = ch;
        else if (b == 0x83) {
            sum = 0;
            continue;
        } else if (b == 0x84) {
            v = static_cast<uint8_t>((0x80 - (sum & 0x7F)) & 0x7F);
        } else if (b > 0x7F) {
            continue;  // no data byte: left out rather than break the message
        }
        v &= 0x7F;
        out += static_cast<char>(v);
        sum += v;
    }
    if (out.empty()) return out;
    out += static_cast<char>(kEox);
    return out;
}

uint8_t RolandChecksum(std::span<const uint8_t> addressAndData) {
    unsigned sum = 0;
    for (uint8_t b : addressAndData) sum += b;
    return static_cast<uint8_t>((0x80 - (sum & 0x7F)) & 0x7F);
}

std::vector<std::string> RolandBlock(uint8_t dev, uint8_t model, uint32_t address,
                                     std::span<const uint8_t> data) {
    std::vector<std::string> out;
    for (size_t at = 0; at < data.size(); at += kMaxDt1Data) {
        const size_t n = std::min(kMaxDt1Data, data.size() - at);
        const uint32_t a = address + static_cast<uint32_t>(at);
        std::vector<uint8_t> sum = {static_cast<uint8_t>((a >> 14) & 0x7F),
                                    static_cast<uint8_t>((a >> 7) & 0x7F),
                                    static_cast<uint8_t>(a & 0x7F)};
        for (size_t i = at; i < at + n; ++i) sum.push_back(data[i] & 0x7F);
        std::string m = {static_cast<char>(kRolandId), static_cast<char>(dev),
                         static_cast<char>(model), static_cast<char>(kDataSet1)};
        m.append(sum.begin(), sum.end());
        m += static_cast<char>(RolandChecksum(sum));
        m += static_cast<char>(kEox);
        out.push_back(std::move(m));
    }
    return out;
}

}  // namespace sonfara::files::rcp
