#include "player/files/recomposer.h"

#include <algorithm>
#include <cmath>

#include "player/files/paths.h"
#include "player/files/rcp_internal.h"
#include "player/platform/midi.h"

namespace sonfara::files {
namespace {

using rcp::SmfTrack;

// Recomposer songs are tens of kilobytes; a megabyte-sized one is no song.
constexpr size_t kMaxFileBytes = 8u << 20;
constexpr size_t kMaxControlFileBytes = 1u << 20;
using midi::kMetaKeySignature;
using midi::kMetaPort;
using midi::kMetaTempo;
using midi::kMetaText;
using midi::kMetaTimeSignature;
using midi::kMetaTrackName;
constexpr int kMaxGlideSteps = 32;
constexpr uint32_t kMaxTempo = 0xFFFFFF;

std::string TempoBytes(uint32_t us) {
    return {static_cast<char>(us >> 16), static_cast<char>((us >> 8) & 0xFF),
            static_cast<char>(us & 0xFF)};
}

uint32_t TempoOf(double bpm) {
    const double us = std::nearbyint(60'000'000.0 / bpm);
    return static_cast<uint32_t>(std::clamp(us, 1.0, double{kMaxTempo}));
}

// The key byte: bits 0-2 the number of accidentals, bit 3 flats, bit 4 minor.
std::string KeyBytes(uint8_t k) {
    const int count = std::min(k & 7, 7);
    const int sf = (k & 0x08) ? -count : count;
    return {static_cast<char>(static_cast<int8_t>(sf)), static_cast<char>((k >> 4) & 1)};
}

std::string TimeSignatureBytes(int numerator, int denominator) {
    int log2 = 0;
    while ((1 << log2) < denominator) ++log2;
    return {static_cast<char>(numerator), static_cast<char>(log2), 24, 8};
}

struct TempoPoint {
    uint32_t tick;
    uint32_t us;
};

// Tempo changes in tick order (by track where ticks tie); a gradual change
// steps from the tempo in force to its target over its span of ticks, and a
// later change cuts it short.
std::vector<TempoPoint> TempoMap(const rcp::Header& h, std::vector<rcp::TempoCommand> cmds) {
    std::stable_sort(cmds.begin(), cmds.end(),
                     [](const auto& a, const auto& b) { return a.tick < b.tick; });
    std::vector<TempoPoint> map = {{0, TempoOf(h.tempo)}};
    // One entry per tick (the last change there wins), none that changes nothing.
    auto put = [&map](uint32_t tick, double bpm) {
        const uint32_t us = TempoOf(bpm);
        if (map.back().tick == tick) map.pop_back();
        if (map.empty() || map.back().us != us) map.push_back({tick, us});
    };
    double bpm = h.tempo;
    for (size_t k = 0; k < cmds.size(); ++k) {
        const rcp::TempoCommand& c = cmds[k];
        const double target = h.tempo * c.rate / 64.0;
        const uint32_t limit = k + 1 < cmds.size() ? cmds[k + 1].tick : UINT32_MAX;
        const int steps = std::min<int>(c.span, kMaxGlideSteps);
        if (steps == 0) {
            put(c.tick, bpm = target);
            continue;
        }
        const double from = bpm;
        for (int s = 1; s <= steps; ++s) {
            const uint32_t at = c.tick + static_cast<uint32_t>(c.span * s / steps);
            if (at >= limit) break;
            put(at, bpm = from + (target - from) * s / steps);
        }
    }
    return map;
}

// Milliseconds up to `tick` under the map.
int64_t MsAt(const std::vector<TempoPoint>& map, uint32_t tick, int division) {
    double us = 0;
    for (size_t k = 0; k < map.size() && map[k].tick < tick; ++k) {
        const uint32_t end = k + 1 < map.size() ? std::min(map[k + 1].tick, tick) : tick;
        us += static_cast<double>(end - map[k].tick) * map[k].us / division;
    }
    return static_cast<int64_t>(us / 1000);
}

// A measure length as a time signature; the header's denominator first.
bool SignatureFor(uint32_t len, int timebase, int headerDenominator, int& num, int& den) {
    for (int d : {headerDenominator, 4, 8, 16, 2, 32}) {
        const uint64_t q = uint64_t{len} * d;
        const uint64_t unit = 4ull * timebase;
        if (q % unit != 0 || q / unit < 1 || q / unit > 255) continue;
        num = static_cast<int>(q / unit);
        den = d;
        return true;
    }
    return false;
}

// Time signatures follow the measure lengths of the track with the most
// measures (Recomposer has no time signature event; a measure is as long as
// its events make it).
void TimeSignatures(const rcp::Header& h, const std::vector<rcp::TrackResult>& tracks,
                    SmfTrack& out) {
    const rcp::TrackResult* longest = nullptr;
    for (const auto& t : tracks) {
        if (!longest || t.measureEnds.size() > longest->measureEnds.size()) longest = &t;
    }
    int curNum = h.beatNumerator, curDen = h.beatDenominator;
    uint32_t start = 0;
    bool atStart = false;  // the first measure's own signature replaces the header's
    for (const uint32_t end : longest ? longest->measureEnds : std::vector<uint32_t>{}) {
        int num = 0, den = 0;
        if (end > start && SignatureFor(end - start, h.timebase, h.beatDenominator, num, den) &&
            (num != curNum || den != curDen || (start == 0 && !atStart))) {
            out.Meta(start, kMetaTimeSignature, TimeSignatureBytes(num, den));
            atStart = atStart || start == 0;
            curNum = num;
            curDen = den;
        }
        start = end;
    }
    if (!atStart)
        out.Meta(0, kMetaTimeSignature, TimeSignatureBytes(h.beatNumerator, h.beatDenominator));
}

void KeySignatures(const rcp::Header& h, std::vector<rcp::KeyCommand> keys, SmfTrack& out) {
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.tick < b.tick; });
    uint8_t cur = h.key;
    out.Meta(0, kMetaKeySignature, KeyBytes(cur));
    for (const rcp::KeyCommand& k : keys) {
        if (k.key == cur) continue;
        out.Meta(k.tick, kMetaKeySignature, KeyBytes(k.key));
        cur = k.key;
    }
}

// A control file's messages at the start; a name that cannot be read is
// reported, never fatal.
void ControlFile(const std::string& name, bool gsd, const RcpOptions& options, SmfTrack& out,
                 std::vector<std::string>& missing) {
    if (name.empty()) return;
    std::optional<std::string> bytes;
    if (options.controlFile) bytes = options.controlFile(name);
    std::vector<std::string> messages;
    const std::span<const uint8_t> b =
        bytes ? std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes->data()),
                                         bytes->size())
              : std::span<const uint8_t>();
    const bool ok = bytes && (gsd ? rcp::GsdMessages(b, messages) : rcp::Cm6Messages(b, messages));
    if (!ok) {
        missing.push_back(name);
        return;
    }
    for (std::string& m : messages) out.SysEx(0, std::move(m));
}

SmfTrack Conductor(const rcp::Header& h, const rcp::WalkShared& shared,
                   const std::vector<rcp::TrackResult>& tracks,
                   const std::vector<TempoPoint>& tempo, const RcpOptions& options,
                   std::vector<std::string>& missing) {
    SmfTrack c;
    if (!h.title.empty()) c.Meta(0, kMetaTrackName, h.title);
    for (const std::string& line : h.memo) {
        if (!line.empty()) c.Meta(0, kMetaText, line);
    }
    TimeSignatures(h, tracks, c);
    KeySignatures(h, shared.keys, c);
    for (const TempoPoint& p : tempo) c.Meta(p.tick, kMetaTempo, TempoBytes(p.us));
    ControlFile(h.cm6, false, options, c, missing);
    ControlFile(h.gsd, true, options, c, missing);
    return c;
}

// The port B setup of a 3.0 song goes where port B's tracks go.
bool PortBControl(const rcp::Header& h, const RcpOptions& options, SmfTrack& out,
                  std::vector<std::string>& missing) {
    if (h.gsdPortB.empty()) return false;
    out.Meta(0, kMetaPort, std::string(1, '\x01'));
    ControlFile(h.gsdPortB, true, options, out, missing);
    return out.events.size() > 1;
}

// A song ends where its last measure ends (a closing rest counts), or at
// its last event when a gate or st+ carries one further.
uint32_t SongEnd(const std::vector<rcp::TrackResult>& tracks) {
    uint32_t last = 0;
    for (const auto& t : tracks) {
        last = std::max(last, t.endTick);
        for (const auto& e : t.smf.events) last = std::max(last, e.tick);
    }
    return last;
}

RcpProblem WalkAll(const rcp::Song& song, rcp::WalkShared& shared,
                   std::vector<rcp::TrackResult>& results) {
    results.resize(song.tracks.size());
    for (size_t i = 0; i < song.tracks.size(); ++i) {
        const RcpProblem p = rcp::WalkTrack(song.header, song.tracks[i], shared, results[i]);
        if (p != RcpProblem::kNone) return p;
    }
    return RcpProblem::kNone;
}

}  // namespace

bool IsRecomposerKind(const std::string& k) {
    return k == "RCP" || k == "R36" || k == "R18" || k == "G36" || k == "G18" || k == "MCP";
}

RcpConversion ConvertRecomposer(std::span<const uint8_t> bytes, const RcpOptions& options) {
    RcpConversion r;
    rcp::Song song;
    r.problem = bytes.size() > kMaxFileBytes ? RcpProblem::kTooBig : rcp::ParseSong(bytes, song);
    if (!r.Ok()) return r;
    const rcp::Header& h = song.header;
    r.title = h.title;
    r.formatText = h.gen == rcp::Generation::kV2 ? "RCM Ver 2.0" : "RCM for Windows95";
    rcp::WalkShared shared;
    shared.endlessLoops = std::clamp(options.endlessLoops, 1, kMaxEndlessLoops);
    std::vector<rcp::TrackResult> results;
    if ((r.problem = WalkAll(song, shared, results)) != RcpProblem::kNone) return r;

    const std::vector<TempoPoint> tempo = TempoMap(h, shared.tempos);
    const uint32_t end = SongEnd(results);
    if (MsAt(tempo, end, h.timebase) > rcp::kMaxSongMs) {
        r.problem = RcpProblem::kTooLong;
        return r;
    }
    std::vector<SmfTrack> smf;
    smf.push_back(Conductor(h, shared, results, tempo, options, r.missingControlFiles));
    smf.back().end = end;
    if (SmfTrack b; PortBControl(h, options, b, r.missingControlFiles)) smf.push_back(std::move(b));
    for (rcp::TrackResult& t : results) {
        if (!t.sounding) continue;
        t.smf.end = t.endTick;
        smf.push_back(std::move(t.smf));
    }
    size_t ext = 0;
    for (const SmfTrack& t : smf) ext += t.ExtCount();
    if (ext > rcp::kMaxExtEvents) {
        r.problem = RcpProblem::kTooManyEvents;
        return r;
    }
    r.smf = rcp::WriteSmf(h.timebase, smf);
    return r;
}

std::string RecomposerTitle(std::span<const uint8_t> head) {
    rcp::Generation gen;
    if (!rcp::DetectGeneration(head, gen)) return {};
    const size_t len = gen == rcp::Generation::kV2 ? 0x40 : 0x80;
    if (head.size() < 0x20 + len) return {};
    return rcp::HeaderText(head.subspan(0x20, len));
}

RcpConversion ConvertRecomposerFile(const std::string& path, int endlessLoops) {
    std::string bytes;
    RcpConversion r;
    const platform::ReadStatus st = platform::ReadWholeFile(path, bytes, kMaxFileBytes);
    if (st != platform::ReadStatus::kOk) {
        r.problem =
            st == platform::ReadStatus::kTooLarge ? RcpProblem::kTooBig : RcpProblem::kCannotRead;
        return r;
    }
    RcpOptions o;
    o.endlessLoops = endlessLoops;
    const std::string folder = PathFolder(path);
    o.controlFile = [&folder](const std::string& name) -> std::optional<std::string> {
        const std::string found = FindFileAnyCase(platform::JoinPath(folder, name));
        std::string data;
        if (found.empty() || !ReadFileBytes(found, data, kMaxControlFileBytes)) return std::nullopt;
        return data;
    };
    return ConvertRecomposer({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, o);
}

FileError RcpError(RcpProblem problem) {
    static_assert(
        static_cast<int>(FileError::kRcpTooLong) - static_cast<int>(FileError::kRcpCannotRead) ==
        static_cast<int>(RcpProblem::kTooLong) - static_cast<int>(RcpProblem::kCannotRead));
    if (problem == RcpProblem::kNone) return FileError::kNone;
    return static_cast<FileError>(static_cast<int>(FileError::kRcpCannotRead) +
                                  static_cast<int>(problem) -
                                  static_cast<int>(RcpProblem::kCannotRead));
}

std::string RcpProblemText(RcpProblem problem, const std::string& path) {
    // kNone never reaches a user; it reads as the first reason, as it always did.
    const FileStatus failed(problem == RcpProblem::kNone ? FileError::kRcpCannotRead
                                                         : RcpError(problem));
    return failed.Message() + ": " + path;
}

std::string RcpControlNotice(const std::vector<std::string>& names) {
    std::string text = msg::kRcpControlMissing;
    for (size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
    return text;
}

}  // namespace sonfara::files
