#include "player/song/smf_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <optional>

namespace sonfara {

// The loader's access to the table's private storage.
struct SongTable::Builder {
    SongTable& s;

    void SetSmpte(int ticksPerSecond) { s.smpteTicksPerSecond_ = ticksPerSecond; }
    void SetDefaultTempoRate() {
        s.tempo_[0].ticksPerMs =
            static_cast<float>(s.Division) * 1000.0f / static_cast<float>(s.tempo_[0].tempo);
    }
    SongTable::EventRun& NewTrack(size_t reserveEvents) {
        s.tracks_.emplace_back();
        s.tracks_.back().reserve(reserveEvents);
        return s.tracks_.back();
    }
    void AddExtRow(const uint8_t* metaType, const uint8_t* data, size_t n) {
        if (metaType) s.extBytes_.push_back(*metaType);
        s.extBytes_.insert(s.extBytes_.end(), data, data + n);
        s.extOffset_.push_back(static_cast<uint32_t>(s.extBytes_.size()));
    }
    SongTable::EventRun& Track(int t) { return s.tracks_[t - 1]; }
    void SetLists(int inUse, bool explicitLists) {
        s.listsInUse_ = inUse;
        s.explicitLists_ = explicitLists;
    }
    // Format 0: channel events to list channel+1, SysEx and meta to list 1,
    // in parse order (track by track, event by event).
    void BuildChannelLists() {
        std::array<size_t, kMaxLists + 1> counts{};
        auto listOf = [](const SongEvent& ev) {
            return ev.status >= 0xF0 ? 1 : (ev.status & 0x0F) + 1;
        };
        for (const auto& t : s.tracks_)
            for (const auto& ev : t) ++counts[listOf(ev)];
        for (int k = 1; k <= kMaxLists; ++k) s.lists_[k].reserve(counts[k]);
        for (size_t t = 0; t < s.tracks_.size(); ++t) {
            const auto& evs = s.tracks_[t];
            for (size_t e = 0; e < evs.size(); ++e) {
                s.lists_[listOf(evs[e])].push_back(
                    ListEntry{static_cast<uint8_t>(t + 1), static_cast<int32_t>(e + 1)});
            }
        }
    }
};

namespace {

std::string Hex(unsigned v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", v);
    return buf;
}

uint32_t ReadBE32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
int16_t ReadBE16(const uint8_t* p) {
    return static_cast<int16_t>((p[0] << 8) | p[1]);
}

// Reads a variable-length quantity at d[p..len); false when it runs past the
// end or exceeds 31 bits.
bool ReadVlq(const uint8_t* d, size_t len, size_t& p, int32_t& value) {
    uint64_t v = 0;
    while (true) {
        if (p >= len) return false;
        uint8_t b = d[p++];
        v = (v << 7) | (b & 0x7F);
        if (v > 0x7FFFFFFFull) return false;
        if (b < 0x80) break;
    }
    value = static_cast<int32_t>(v);
    return true;
}

class Decoder {
  public:
    explicit Decoder(SongTable& song) : song_(song), b_{song} {}

    bool Run(std::span<const uint8_t> file, LoadResult& fail) {
        const uint8_t* f = file.data();
        const size_t size = file.size();
        if (size < 4 || f[0] != 'M' || f[1] != 'T' || f[2] != 'h' || f[3] != 'd') {
            fail = LoadError::kHeader;
            return false;
        }
        if (size < 14) return Fail(fail, LoadError::kShortHeader);
        song_.Format = ReadBE16(f + 8);
        song_.NTracks = ReadBE16(f + 10);
        song_.Division = ReadBE16(f + 12);
        if (song_.NTracks < 1 || song_.NTracks > kMaxTracks)
            return Fail(fail, LoadError::kTrackCount);
        if (song_.Division == 0) return Fail(fail, LoadError::kBadDivision);
        if (song_.Division < 0) {
            // SMPTE: high byte is minus the frame rate, low byte ticks per frame.
            int fps = -static_cast<int8_t>(static_cast<uint16_t>(song_.Division) >> 8);
            int tpf = static_cast<uint16_t>(song_.Division) & 0xFF;
            if (fps <= 0 || tpf == 0) return Fail(fail, LoadError::kBadDivision);
            // 29 stands for 29.97 drop-frame; whole ticks per second suffice here
            // only for 24, 25 and 30, so keep the exact rate in hundredths.
            int ticksPerSecond = fps * tpf;
            b_.SetSmpte(fps == 29 ? static_cast<int>(std::lround(29.97 * tpf)) : ticksPerSecond);
        }
        song_.BeatQuarters = 4;
        b_.SetDefaultTempoRate();

        // Chunk walk: NTracks track chunks from offset 14. Chunks of other
        // types are passed over without counting, as the file format asks
        // readers to do; decoding them as tracks would refuse valid files.
        struct Chunk {
            size_t offset;
            size_t length;
        };
        std::vector<Chunk> chunks;
        size_t off = 14;
        int seenChunks = 0;
        while (static_cast<int>(chunks.size()) < song_.NTracks) {
            if (off > size || size - off < 8) return Fail(fail, LoadError::kMissingChunks);
            if (++seenChunks > 4 * kMaxTracks) return Fail(fail, LoadError::kTrackCount);
            uint32_t len = ReadBE32(f + off + 4);
            if (len > 0x7FFFFFFFu || len > size - off - 8)
                return Fail(fail, LoadError::kChunkPastEnd);
            const bool track =
                f[off] == 'M' && f[off + 1] == 'T' && f[off + 2] == 'r' && f[off + 3] == 'k';
            if (track) chunks.push_back({off + 8, len});
            off += 8 + static_cast<size_t>(len);
        }

        b_.SetLists(std::max<int>(16, song_.NTracks), song_.Format == 0);
        int32_t lastTick = 0;
        for (int t = 1; t <= song_.NTracks; ++t) {
            const Chunk& c = chunks[t - 1];
            if (!DecodeTrack(t, f + c.offset, c.length, lastTick, fail)) return false;
        }
        if (song_.Format == 2 && song_.NTracks > 1) {
            if (!PatternsInSequence(lastTick, fail)) return false;
        } else if (!laterTempos_.empty()) {
            MergeTempoMap();
        }
        if (song_.Format == 0) b_.BuildChannelLists();

        song_.TotalMs = song_.TickToMs(lastTick);
        // Rounding in the tempo map must not put an event after the end.
        for (int t = 1; t <= song_.NTracks; ++t) {
            auto& events = b_.Track(t);
            if (!events.empty()) song_.TotalMs = std::max(song_.TotalMs, events.back().timeMs);
        }
        song_.TotalSeconds = RoundHalfEven(song_.TotalMs / 1000.0);
        song_.Loop = FindLoopPoints(song_);
        return true;
    }

  private:
    struct PendingTempo {
        int32_t tick;
        int32_t tempo;
        int track;
    };

    static bool Fail(LoadResult& fail, LoadError e) {
        fail = e;
        return false;
    }

    // Track 1's tempo events as they entered the map while it was read.
    std::vector<PendingTempo> FirstTrackTempos() const {
        std::vector<PendingTempo> v;
        for (int i = 2; i <= song_.TempoCount(); ++i)
            v.push_back({song_.Tempo(i).tick, song_.Tempo(i).tempo, 1});
        return v;
    }

    void RebuildTempoMap(const std::vector<PendingTempo>& tempos) {
        song_.ResetTempoMap();
        for (const auto& p : tempos) song_.AddTempo(p.tempo, p.tick);
        for (int t = 1; t <= song_.NTracks; ++t)
            for (auto& ev : b_.Track(t)) ev.timeMs = song_.TickToMs(ev.tick);
    }

    // Formats 0 and 1: one tempo map from the tempo events of every track,
    // by tick; at equal ticks in track order, then file order, so the last
    // of them sets the tempo. Only files with tempo events outside track 1
    // pay for the second timing pass.
    void MergeTempoMap() {
        std::vector<PendingTempo> all = FirstTrackTempos();
        all.insert(all.end(), laterTempos_.begin(), laterTempos_.end());
        std::stable_sort(all.begin(), all.end(), [](const PendingTempo& a, const PendingTempo& b) {
            return a.tick < b.tick;
        });
        RebuildTempoMap(all);
    }

    // Format 2: every track is a pattern of its own. They play one after
    // another, each from the default tempo with only its own tempo events;
    // ticks become positions on that one line.
    bool PatternsInSequence(int32_t& lastTick, LoadResult& fail) {
        std::vector<PendingTempo> all = FirstTrackTempos();
        int64_t offset = 0;
        for (int t = 1; t <= song_.NTracks; ++t) {
            auto& events = b_.Track(t);
            const int64_t length = events.empty() ? 0 : events.back().tick;
            if (offset + length > 0x7FFFFFFF) return Fail(fail, LoadError::kNumberTooLarge);
            if (t > 1) {
                all.push_back({static_cast<int32_t>(offset), kDefaultTempo, t});
                for (const auto& p : laterTempos_)
                    if (p.track == t)
                        all.push_back({static_cast<int32_t>(offset + p.tick), p.tempo, t});
                for (auto& ev : events) ev.tick += static_cast<int32_t>(offset);
            }
            offset += length;
        }
        lastTick = static_cast<int32_t>(offset);
        RebuildTempoMap(all);
        return true;
    }

    bool DecodeTrack(int track, const uint8_t* d, size_t len, int32_t& lastTick, LoadResult& fail) {
        // Every event takes at least two bytes (delta and one data byte), so
        // half the chunk bounds its events; untouched capacity costs nothing.
        auto& events = b_.NewTrack(len / 2 + 1);
        // Large tracks: the array's first touch overlaps the decoding.
        std::optional<PrefaultAhead> prefault;
        if (len >= kPrefaultTrackBytes)
            prefault.emplace(events.data(), events.capacity() * sizeof(SongEvent));
        size_t p = 0;
        int64_t pendingDelta = 0;
        bool haveDeltaBytes = false;
        bool runningAllowed = false;
        int32_t prevTick = 0;
        while (p < len) {
            uint8_t byte = d[p];
            if (byte >= 0x80) {
                pendingDelta = (pendingDelta << 7) | (byte & 0x7F);
                haveDeltaBytes = true;
                if (pendingDelta > 0x7FFFFFFF) return Fail(fail, LoadError::kNumberTooLarge);
                ++p;
                continue;
            }
            int64_t delta = (pendingDelta << 7) | byte;
            pendingDelta = 0;
            haveDeltaBytes = false;
            int64_t tick = int64_t{prevTick} + delta;
            if (tick > 0x7FFFFFFF) return Fail(fail, LoadError::kNumberTooLarge);
            SongEvent ev;
            ev.tick = static_cast<int32_t>(tick);
            ev.timeMs = song_.TickToMs(ev.tick);
            prevTick = ev.tick;
            ++p;
            if (p >= len) return Fail(fail, LoadError::kEventPastChunk);
            uint8_t st = d[p];
            bool endOfTrack = false;
            if (st >= 0x80 || !runningAllowed) {
                runningAllowed = true;
                ev.status = st;
                switch (st >> 4) {
                    case 0x8:
                    case 0x9:
                    case 0xA:
                    case 0xB:
                    case 0xE:
                        if (len - p < 3) return Fail(fail, LoadError::kEventPastChunk);
                        ev.data1 = d[p + 1];
                        ev.data2 = d[p + 2];
                        ev.length = 2;
                        p += 3;
                        break;
                    case 0xC:
                    case 0xD:
                        if (len - p < 2) return Fail(fail, LoadError::kEventPastChunk);
                        ev.data1 = d[p + 1];
                        ev.length = 1;
                        p += 2;
                        break;
                    case 0xF:
                        runningAllowed = false;
                        if (!DecodeExtended(track, d, len, p, ev, endOfTrack, fail)) return false;
                        break;
                    default: {
                        // A data byte where a status byte is required.
                        SongEvent prev;
                        if (!events.empty()) prev = events.back();
                        fail = {LoadError::kEvent, Hex(prev.status) + " " + Hex(prev.data1) + " " +
                                                       Hex(prev.data2) + " " + Hex(st)};
                        return false;
                    }
                }
            } else {
                ev.status = events.back().status;
                if ((ev.status >> 4) == 0xC || (ev.status >> 4) == 0xD) {
                    ev.data1 = d[p];
                    ev.length = 1;
                    p += 1;
                } else {
                    if (len - p < 2) return Fail(fail, LoadError::kEventPastChunk);
                    ev.data1 = d[p];
                    ev.data2 = d[p + 1];
                    ev.length = 2;
                    p += 2;
                }
            }
            events.push_back(ev);
            if (prefault && (events.size() & kPrefaultReportMask) == 0)
                prefault->Advance(events.size() * sizeof(SongEvent));
            if (endOfTrack) break;
        }
        if (prefault) prefault->Finish(events.size() * sizeof(SongEvent));
        // Delta bytes cut off by the chunk end.
        if (haveDeltaBytes) return Fail(fail, LoadError::kEventPastChunk);
        lastTick = std::max(lastTick, prevTick);
        return true;
    }

    // F0, F7 and FF events; p is on the status byte and moves past the payload.
    bool DecodeExtended(int track, const uint8_t* d, size_t len, size_t& p, SongEvent& ev,
                        bool& endOfTrack, LoadResult& fail) {
        uint8_t st = ev.status;
        if (st != 0xF0 && st != 0xF7 && st != 0xFF) {
            fail = LoadError::kSysEx;
            return false;
        }
        if (++extIndex_ > kMaxExtIndex) return Fail(fail, LoadError::kTooManyExtEvents);
        size_t q = p + 1;
        const uint8_t* metaType = nullptr;
        if (st == 0xFF) {
            if (q >= len) return Fail(fail, LoadError::kEventPastChunk);
            metaType = d + q;
            ++q;
        }
        int32_t length = 0;
        if (!ReadVlq(d, len, q, length)) {
            // Distinguish a length cut off by the chunk end from an oversized one.
            return Fail(fail, q >= len ? LoadError::kEventPastChunk : LoadError::kNumberTooLarge);
        }
        if (static_cast<size_t>(length) > len - q) return Fail(fail, LoadError::kEventPastChunk);
        const uint8_t* payload = d + q;
        b_.AddExtRow(metaType, payload, static_cast<size_t>(length));
        if (metaType) {
            switch (*metaType) {
                case 0x51:
                    if (length >= 3) {
                        int32_t tempo = (payload[0] << 16) | (payload[1] << 8) | payload[2];
                        // A zero tempo would divide by zero; such an event is only stored.
                        // Later tracks' tempos join the map once every track is read.
                        if (tempo > 0 && track == 1) song_.AddTempo(tempo, ev.tick);
                        if (tempo > 0 && track > 1) laterTempos_.push_back({ev.tick, tempo, track});
                    }
                    break;
                case 0x58:
                    if (length >= 2 && payload[1] <= 7) {
                        int den = 1 << payload[1];
                        song_.BeatNumerator = payload[0];
                        song_.BeatDenominator = static_cast<uint8_t>(den);
                        song_.BeatQuarters = static_cast<uint8_t>(
                            std::clamp(RoundHalfEven(4.0 / den * payload[0]), 0, 255));
                    }
                    break;
                case 0x2F:
                    endOfTrack = true;
                    break;
                case 0x01:
                    if (length > 0 && song_.SongTitle.empty())
                        song_.SongTitle.assign(reinterpret_cast<const char*>(payload), length);
                    break;
                case 0x03:
                    if (length > 0) {
                        std::string name(reinterpret_cast<const char*>(payload), length);
                        if (song_.SongTitle.empty() && track == 1) song_.SongTitle = name;
                        song_.SetTrackName(track, std::move(name));
                    }
                    break;
                default:
                    break;
            }
        }
        ev.length = length;
        ev.data1 = static_cast<uint8_t>(extIndex_ >> 8);
        ev.data2 = static_cast<uint8_t>(extIndex_ & 0xFF);
        p = q + static_cast<size_t>(length);
        return true;
    }

    static constexpr int32_t kDefaultTempo = 500000;  // 120 beats per minute
    static constexpr size_t kPrefaultTrackBytes = size_t{4} << 20;
    static constexpr size_t kPrefaultReportMask = (size_t{1} << 14) - 1;  // every 256 KiB of events

    SongTable& song_;
    SongTable::Builder b_;
    int extIndex_ = 0;
    std::vector<PendingTempo> laterTempos_;
};

void NotifyFailed(const LoadOptions& o, const std::string& message) {
    const std::string cap = song::msg::LoadErrorCaption(message);
    for (auto* ob : o.observers) ob->OnLoadFailed(cap, message);
}

}  // namespace

size_t FindSmfStart(std::span<const uint8_t> b) {
    for (size_t i = 0; i + 4 <= b.size(); ++i) {
        if (b[i] == 'M' && b[i + 1] == 'T' && b[i + 2] == 'h' && b[i + 3] == 'd') return i;
    }
    return static_cast<size_t>(-1);
}

std::string LoadNoticeText(const std::string& titleBytes, const CodePage& cp) {
    // The backslash pairs are the recipient's own escapes, sent literally.
    return cp.FromUtf8("あっ、\\n") + titleBytes +
           cp.FromUtf8("\\nって曲が再生されるみたい。\\uそうか。");
}

namespace {

// Decodes the image and completes the table; observers are not told here.
LoadResult Decode(std::span<const uint8_t> file, SongTable& song, const LoadOptions& options,
                  const CodePage& cp) {
    LoadResult fail;
    bool ok = false;
    song.Clear();
    try {
        Decoder dec(song);
        ok = dec.Run(file, fail);
    } catch (const std::bad_alloc&) {
        fail = LoadError::kOutOfMemory;
    } catch (const std::length_error&) {
        fail = LoadError::kOutOfMemory;
    }
    if (!ok) return fail;
    std::string kind = options.fileKindLabel;
    if (kind == "SMF Format " || kind == "RMI Format ") kind += std::to_string(song.Format);
    song.FileKindLabel = kind;
    song.SongFileName = options.songFileName;
    if (song.SongTitle.empty()) song.SongTitle = cp.FromUtf8(options.songFileName);
    song.Loaded = true;
    return {};
}

const CodePage& CodePageOf(const LoadOptions& o) {
    return o.codePage ? *o.codePage : SystemCodePage();
}

void NotifyResult(const LoadResult& r, const SongTable& song, const LoadOptions& options,
                  const CodePage& cp) {
    if (!r.ok()) {
        NotifyFailed(options, r.Message());
        return;
    }
    for (auto* ob : options.observers) ob->OnLoadCompleted(song);
    std::string notice = LoadNoticeText(song.SongTitle, cp);
    for (auto* ob : options.observers) ob->OnLoadNotice(notice);
}

}  // namespace

void NotifyLoadResult(const LoadResult& result, const SongTable& song, const LoadOptions& options) {
    NotifyResult(result, song, options, CodePageOf(options));
}

LoadResult LoadSMFBytes(std::span<const uint8_t> file, SongTable& song,
                        const LoadOptions& options) {
    for (auto* ob : options.observers) ob->OnLoadStarted();
    LoadResult r = Decode(file, song, options, CodePageOf(options));
    NotifyResult(r, song, options, CodePageOf(options));
    return r;
}

namespace {

// What the first bytes and the size already tell; ok for files that are
// fit to be read whole (and for pipes, whose bytes a look would consume).
LoadResult RefusedUnread(const std::string& path) {
    const FileHead head = ReadFileHead(path, 4);
    if (!head.regular) return {};
    if (head.size > kMaxSmfFileBytes) return LoadError::kFileTooLarge;
    const uint8_t mthd[4] = {'M', 'T', 'h', 'd'};
    if (head.bytes.size() < 4 || !std::equal(mthd, mthd + 4, head.bytes.begin()))
        return LoadError::kHeader;
    return {};
}

}  // namespace

LoadResult LoadSMF(const std::string& path, SongTable& song, const LoadOptions& options) {
    for (auto* ob : options.observers) ob->OnLoadStarted();
    LoadResult r = RefusedUnread(path);
    if (!r.ok()) {
        song.Clear();
    } else {
        FileImage image;
        bool readOk = false;
        try {
            readOk = image.Open(path, kMaxSmfFileBytes);
        } catch (const std::bad_alloc&) {
            readOk = false;
        }
        if (readOk) {
            r = Decode(image.Bytes(), song, options, CodePageOf(options));
        } else {
            song.Clear();
            r = LoadError::kCannotRead;
        }
    }  // the file image is freed before anyone looks at the song
    NotifyResult(r, song, options, CodePageOf(options));
    return r;
}

}  // namespace sonfara
