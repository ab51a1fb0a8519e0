// Recomposer headers and track blocks of both generations.
#include <algorithm>
#include <cstring>

#include "player/files/rcp_internal.h"

namespace sonfara::files::rcp {
namespace {

using Bytes = std::span<const uint8_t>;

// Where the two generations keep their fields.
struct Layout {
    size_t title, titleLen, memo, memoLine, userExclusive, tracks, trackHeader, eventSize;
};
constexpr Layout kV2{0x20, 0x40, 0x60, 0x1C, 0x406, 0x586, 0x2C, 4};
constexpr Layout kV3{0x20, 0x80, 0xA0, 0x1E, 0xB18, 0xC98, 0x2E, 6};
constexpr int kMemoLines = 12;
constexpr int kMaxTracks = 36;
// The largest tick base the sequencers offered; a larger value in the v2
// header's high byte is taken for stray data of an older file.
constexpr int kMaxTimebase = 960;

bool StartsWith(Bytes b, std::string_view s) {
    return b.size() >= s.size() && std::memcmp(b.data(), s.data(), s.size()) == 0;
}

uint16_t Le16(Bytes b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t Le32(Bytes b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

std::string FileNameField(Bytes field) {
    std::string name = HeaderText(field);
    // Only the name counts; the folder was the author's.
    const size_t cut = name.find_last_of("\\/:");
    if (cut != std::string::npos) name.erase(0, cut + 1);
    return name;
}

void ReadCommon(Bytes b, const Layout& l, Header& h) {
    h.title = HeaderText(b.subspan(l.title, l.titleLen));
    for (int i = 0; i < kMemoLines; ++i) {
        h.memo.push_back(HeaderText(b.subspan(l.memo + i * l.memoLine, l.memoLine)));
    }
    while (!h.memo.empty() && h.memo.back().empty()) h.memo.pop_back();
    for (size_t i = 0; i < 8; ++i) {
        std::memcpy(h.userExclusive[i].data(), b.data() + l.userExclusive + i * 48 + 24, 24);
    }
}

void ReadV2(Bytes b, Header& h) {
    ReadCommon(b, kV2, h);
    int timebase = b[0x1C0] | (b[0x1E7] << 8);
    if (timebase > kMaxTimebase) timebase = b[0x1C0];
    h.timebase = timebase;
    h.tempo = b[0x1C1];
    h.beatNumerator = b[0x1C2];
    h.beatDenominator = b[0x1C3];
    h.key = b[0x1C4];
    h.playBias = static_cast<int8_t>(b[0x1C5]);
    h.cm6 = FileNameField(b.subspan(0x1C6, 16));
    h.gsd = FileNameField(b.subspan(0x1D6, 16));
    h.trackCount = b[0x1E6];
}

void ReadV3(Bytes b, Header& h) {
    ReadCommon(b, kV3, h);
    h.trackCount = Le16(b, 0x208);
    h.timebase = Le16(b, 0x20A);
    h.tempo = Le16(b, 0x20C);
    h.beatNumerator = b[0x20E];
    h.beatDenominator = b[0x20F];
    h.key = b[0x210];
    h.playBias = static_cast<int8_t>(b[0x211]);
    h.gsd = FileNameField(b.subspan(0x298, 16));
    h.gsdPortB = FileNameField(b.subspan(0x2A8, 16));
    h.cm6 = FileNameField(b.subspan(0x2B8, 16));
}

// Values no song has are refused; zeros get the sequencer's defaults.
bool SettleHeader(Header& h) {
    if (h.trackCount == 0) h.trackCount = 18;
    if (h.trackCount > kMaxTracks) return false;
    if (h.timebase == 0) h.timebase = 48;
    if (h.timebase > 0x7FFF) return false;
    if (h.tempo == 0) h.tempo = 120;
    const int d = h.beatDenominator;
    if (h.beatNumerator == 0 || d == 0 || (d & (d - 1)) != 0 || d > 64) {
        h.beatNumerator = 4;
        h.beatDenominator = 4;
    }
    return true;
}

Event DecodeEvent(Bytes e, Generation gen) {
    Event ev;
    ev.cmd = e[0];
    std::copy(e.begin() + 1, e.end(), ev.raw.begin());
    if (gen == Generation::kV2) {
        ev.step = e[1];
        ev.gate = e[2];
        ev.vel = e[3];
    } else {
        ev.vel = e[1];
        ev.step = Le16(e, 2);
        ev.gate = Le16(e, 4);
    }
    return ev;
}

constexpr uint8_t kTrackEnd = 0xFE;

// Offset just past the track-end event scanned from `from`, or 0 when the
// bytes up to `limit` hold none.
size_t ScanTrackEnd(Bytes b, size_t from, size_t limit, size_t eventSize) {
    for (size_t at = from; at + eventSize <= limit; at += eventSize) {
        if (b[at] == kTrackEnd) return at + eventSize;
    }
    return 0;
}

// The block length of a v2 track. Its 16-bit length field wraps for tracks
// beyond 64 KiB; such a track is recognised by its end event lying past the
// stated length, and the length is taken modulo 64 KiB.
size_t V2BlockLength(Bytes b, size_t start, size_t stated) {
    const size_t from = start + kV2.trackHeader;
    const size_t inBlock = stated >= kV2.trackHeader && start + stated <= b.size()
                               ? ScanTrackEnd(b, from, start + stated, kV2.eventSize)
                               : 0;
    if (inBlock) return stated;
    const size_t end = ScanTrackEnd(b, from, b.size(), kV2.eventSize);
    if (end == 0) return stated;
    size_t len = stated;
    while (start + len < end) len += 0x10000;
    return start + len <= b.size() ? len : stated;
}

// DOS tools padded files with NUL or Ctrl-Z; such a tail is no cut track.
bool IsPadding(Bytes tail) {
    return std::all_of(tail.begin(), tail.end(), [](uint8_t c) { return c == 0x00 || c == 0x1A; });
}

RcpProblem ReadTrack(Bytes b, const Layout& l, Generation gen, size_t& at, Track& t) {
    if (b.size() - at < l.trackHeader) return RcpProblem::kTruncated;
    size_t len = gen == Generation::kV2 ? V2BlockLength(b, at, Le16(b, at)) : Le32(b, at);
    if (len < l.trackHeader || len > b.size() - at) return RcpProblem::kTruncated;
    const size_t h = gen == Generation::kV2 ? at + 2 : at + 4;
    t.rhythm = b[h + 1];
    t.channel = b[h + 2];
    t.key = b[h + 3];
    t.stepShift = static_cast<int8_t>(b[h + 4]);
    t.mode = b[h + 5];
    t.name = HeaderText(b.subspan(h + 6, 36));
    const size_t end = at + len;
    t.events.reserve((len - l.trackHeader) / l.eventSize);
    for (size_t e = at + l.trackHeader; e + l.eventSize <= end; e += l.eventSize) {
        t.events.push_back(DecodeEvent(b.subspan(e, l.eventSize), gen));
        if (t.events.back().cmd == kTrackEnd) break;
    }
    at = end;
    return RcpProblem::kNone;
}

}  // namespace

bool DetectGeneration(Bytes b, Generation& gen) {
    if (StartsWith(b, "RCM-PC98V2.0(C)COME ON MUSIC")) {
        gen = Generation::kV2;
        return true;
    }
    if (StartsWith(b, "COME ON MUSIC RECOMPOSER RCP3.0")) {
        gen = Generation::kV3;
        return true;
    }
    return false;
}

RcpProblem ParseSong(Bytes b, Song& song) {
    Header& h = song.header;
    if (!DetectGeneration(b, h.gen)) return RcpProblem::kUnknownHeader;
    const Layout& l = h.gen == Generation::kV2 ? kV2 : kV3;
    if (b.size() < l.tracks) return RcpProblem::kTruncated;
    h.gen == Generation::kV2 ? ReadV2(b, h) : ReadV3(b, h);
    if (!SettleHeader(h)) return RcpProblem::kUnknownHeader;
    size_t at = l.tracks;
    for (int i = 0; i < h.trackCount && at < b.size(); ++i) {
        if (b.size() - at < l.trackHeader && IsPadding(b.subspan(at))) break;
        Track t;
        if (RcpProblem p = ReadTrack(b, l, h.gen, at, t); p != RcpProblem::kNone) return p;
        song.tracks.push_back(std::move(t));
    }
    return RcpProblem::kNone;
}

std::string HeaderText(Bytes field) {
    size_t n = 0;
    while (n < field.size() && field[n] != 0) ++n;
    while (n > 0 && (field[n - 1] == ' ' || field[n - 1] == '\t')) --n;
    return Pc98ToCp932(std::string_view(reinterpret_cast<const char*>(field.data()), n));
}

}  // namespace sonfara::files::rcp
