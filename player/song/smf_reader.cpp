#include "player/song/smf_reader.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "player/platform/midi.h"
#include "player/platform/rounding.h"
#include "player/platform/text_decoding.h"
#include "player/song/loop_points.h"

namespace sonfara::song {

namespace {

// What one track chunk decodes to, before the tracks are joined in file
// order. Tracks decode independently, each on whichever thread takes it.
struct DecodedTrack {
    // Sized for the most events the chunk can hold; trimmed once decoded.
    std::vector<SongEvent, platform::LargeFillAllocator<SongEvent>> events;
    size_t eventCount = 0;  // events decoded so far
    // This track's payload rows: bytes, the end of each row and the 0-based
    // index of its event in the track. The table adopts them.
    SongTable::ByteRun extBytes;
    SongTable::RowRun extEnds;
    SongTable::RowRun extEvents;
    // The track's tempo changes in file order, after the map's first entry,
    // timed as if no other track had any: the track that holds all of a
    // song's tempo changes becomes its tempo map as it is.
    SongTable::TempoRun tempos;
    std::vector<uint32_t> textRows;  // the rows of text meta events with text
    std::string name;                // the last track name
    std::string title;               // the first text that can title the song
    int beatNumerator = -1;          // the last valid time signature
    int beatExponent = 0;
    int32_t lastTick = 0;
    bool mayMarkLoop = false;  // a controller 111 or a marker: FindLoopPoints reads it
    bool ok = false;
    LoadStatus fail;
    // An "Event Error" right after an extended event: that event's row
    // within this track (1-based), renumbered for the file once joined.
    int32_t failRow = 0;
};

// Where a decoder starts: the track's first byte, or an event boundary
// further on with what the events before it left.
struct StartPoint {
    size_t offset = 0;      // in the chunk
    size_t firstEvent = 0;  // the index its first event gets
    int32_t tick = 0;       // the tick its first delta counts from
    SongEvent prev;         // the event before it (status 0: none)
};

}  // namespace

// The loader's access to the table's private storage.
struct SongTable::Builder {
    SongTable& s;

    void SetSmpte(int ticksPerSecond) { s.smpteTicksPerSecond_ = ticksPerSecond; }
    void SizeForTracks(int tracks, bool explicitLists) {
        s.SizeForTracks(tracks);
        s.explicitLists_ = explicitLists;
        s.tracks_.reserve(static_cast<size_t>(tracks));
        s.extFirst_.reserve(static_cast<size_t>(tracks) + 1);
    }
    // Room for every track's rows at once, so adopting them copies each
    // row once; the rows of a song whose SysEx and meta events sit in one
    // track are moved rather than copied.
    void Reserve(const std::vector<DecodedTrack>& decoded) {
        size_t rows = 0, bytes = 0, tracksWithRows = 0;
        for (const DecodedTrack& d : decoded) {
            rows += d.extEvents.size();
            bytes += d.extBytes.size();
            tracksWithRows += d.extEvents.empty() ? 0 : 1;
        }
        if (tracksWithRows > 1) {
            s.extEnd_.reserve(rows);
            s.extEvent_.reserve(rows);
            s.extBytes_.reserve(bytes);
        }
    }
    // Appends the next track in file order; its rows get the next numbers.
    void Adopt(DecodedTrack& d) {
        const auto base = static_cast<uint32_t>(s.extBytes_.size());
        const auto rowBase = static_cast<uint32_t>(s.extEnd_.size());
        for (uint32_t r : d.textRows) s.textRows_.push_back(rowBase + r);
        if (s.extBytes_.empty() && s.extBytes_.capacity() < d.extBytes.size()) {
            s.extBytes_ = std::move(d.extBytes);
        } else {
            s.extBytes_.insert(s.extBytes_.end(), d.extBytes.begin(), d.extBytes.end());
        }
        if (s.extEnd_.empty() && s.extEnd_.capacity() < d.extEnds.size()) {
            s.extEnd_ = std::move(d.extEnds);  // no rows before: base is 0
        } else {
            for (uint32_t end : d.extEnds) s.extEnd_.push_back(base + end);
        }
        if (s.extEvent_.empty() && s.extEvent_.capacity() < d.extEvents.size()) {
            s.extEvent_ = std::move(d.extEvents);
        } else {
            s.extEvent_.insert(s.extEvent_.end(), d.extEvents.begin(), d.extEvents.end());
        }
        s.extFirst_.push_back(static_cast<int32_t>(s.extEvent_.size()));
        d.events.resize(d.eventCount);
        s.tracks_.push_back(std::move(d.events));
        d = DecodedTrack{};
    }
    SongTable::EventRun& Track(int t) { return s.tracks_[t - 1]; }
    // Makes `run` the tempo map: entry 0 becomes the song's first entry;
    // the others hold tempo and tick, in tick order, and unless `timed`,
    // the rest is filled in.
    void SetTempoMap(SongTable::TempoRun&& run, bool timed = false) {
        s.ResetTempoMap();
        if (run.empty()) return;
        run[0] = s.tempo_[0];
        if (!timed) {
            for (size_t i = 1; i < run.size(); ++i)
                run[i].timeMs = s.TempoTimeMs(run[i - 1], run[i].tick);
        }
        s.tempo_ = std::move(run);
    }
    // Format 0: channel events to list channel+1, SysEx and meta to list 1,
    // in parse order (track by track, event by event). `parallel(n, fn)`
    // runs fn(0..n-1) on the loader's threads: ranges of events are counted,
    // then each range fills its own part of every list.
    template <class ParallelFor>
    void BuildChannelLists(ParallelFor&& parallel) {
        constexpr int kChannelLists = 16;
        constexpr size_t kRangeEvents = size_t{1} << 20;
        struct Range {
            size_t track, begin, end;
            std::array<size_t, kChannelLists + 1> at{};  // count, then first slot per list
        };
        std::vector<Range> ranges;
        for (size_t t = 0; t < s.tracks_.size(); ++t) {
            for (size_t b = 0; b < s.tracks_[t].size(); b += kRangeEvents)
                ranges.push_back({t, b, std::min(s.tracks_[t].size(), b + kRangeEvents)});
        }
        auto listOf = [](const SongEvent& ev) {
            return ev.status >= midi::kSysExStart ? 1 : midi::ChannelOf(ev.status) + 1;
        };
        parallel(ranges.size(), [&](size_t r) {
            Range& g = ranges[r];
            for (size_t e = g.begin; e < g.end; ++e) ++g.at[listOf(s.tracks_[g.track][e])];
        });
        std::array<size_t, kChannelLists + 1> total{};
        for (Range& g : ranges) {
            for (int k = 1; k <= kChannelLists; ++k) {
                const size_t count = g.at[k];
                g.at[k] = total[k];
                total[k] += count;
            }
        }
        s.lists_.resize(kChannelLists + 1);
        for (int k = 1; k <= kChannelLists; ++k) s.lists_[k].resize(total[k]);  // no page touched
        parallel(ranges.size(), [&](size_t r) {
            Range& g = ranges[r];
            const auto& evs = s.tracks_[g.track];
            for (size_t e = g.begin; e < g.end; ++e) {
                const int k = listOf(evs[e]);
                s.lists_[k][g.at[k]++] =
                    ListEntry{static_cast<uint16_t>(g.track + 1), static_cast<int32_t>(e + 1)};
            }
        });
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

constexpr int32_t kDefaultTempo = 500000;  // 120 beats per minute
constexpr uint8_t kLoopController = 111;   // see loop_points.h
constexpr size_t kPrefaultTrackBytes = size_t{4} << 20;
constexpr size_t kPrefaultReportMask = (size_t{1} << 14) - 1;  // every 128 KiB of events
constexpr size_t kProgressBytes = size_t{1} << 20;
// A track with this many payload rows (or tempo changes) gets its arrays
// for them reserved for the rest of the chunk at once.
constexpr size_t kDenseRows = size_t{1} << 14;
// Tracks from this long may be decoded in two parts at once.
constexpr size_t kSplitTrackBytes = size_t{4} << 20;
constexpr size_t kMeetStepBytes = size_t{64} << 10;
constexpr auto kProgressInterval = std::chrono::milliseconds(20);

// Shared by the threads of one load: progress in bytes and the cancel flag,
// and the song whose header (read only) times the tempo changes.
struct DecodeShared {
    explicit DecodeShared(const SongTable& s) : song(s) {}
    std::atomic<size_t> bytesDone{0};
    std::atomic<bool> cancelled{false};
    const SongTable& song;
};

// Where the decoder of a track's second part stood now and then: a place
// where the decoder from the track's start may meet it. From the same byte
// with the same running status, the two decode the same events.
struct MeetPoint {
    size_t p = 0;
    uint8_t running = 0;  // 0: no running status allowed
    int32_t tick = 0;     // counted from the guess
    size_t event = 0;     // the second part's events before it
    size_t rows = 0;      // its payload rows before it
    size_t rowBytes = 0;  // and their bytes
};

// The second part of a long track, decoded from a guessed event boundary
// in the middle into an array of its own while the first part decodes from
// the start; where they meet, the rest of this one is taken over.
struct SecondPart {
    size_t track = 0;  // 0-based
    size_t from = 0;   // the guessed boundary
    size_t step = 0;   // bytes between meeting points
    std::vector<SongEvent, platform::LargeFillAllocator<SongEvent>> events;
    DecodedTrack out;
    std::atomic<bool> taken{false};
    std::mutex m;
    std::condition_variable cv;
    std::vector<MeetPoint> points;  // guarded by m
    bool done = false;              // guarded by m: `out` is complete
    bool resolved = false;          // guarded by m: the copy below is set, or none is needed
    // The copy of this part's events into the track's array, shared by the
    // threads that come by once the first part has met it.
    static constexpr size_t kCopyChunk = size_t{1} << 18;  // events
    SongEvent* copyTo = nullptr;
    size_t copyCount = 0;
    int64_t shift = 0;  // added to every tick
    std::atomic<size_t> nextChunk{0};

    // The second part's thread, as it decodes.
    void Note(const MeetPoint& at) {
        std::lock_guard lock(m);
        points.push_back(at);
    }
    // The second part's thread, once it has decoded all it could.
    void Finish() {
        {
            std::lock_guard lock(m);
            done = true;
        }
        cv.notify_all();
    }
    // The first part's thread, once it has met this part.
    void WaitDone() {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return done; });
    }
    // The first part's thread: the copy is set (or with nothing to copy, none).
    void Resolve(SongEvent* to = nullptr, size_t count = 0, int64_t tickShift = 0) {
        {
            std::lock_guard lock(m);
            if (resolved) return;
            copyTo = to;
            copyCount = count;
            shift = tickShift;
            resolved = true;
        }
        cv.notify_all();
    }
    // Any thread with nothing else to do: waits for the meeting, then copies.
    void HelpCopy(const DecodeShared& shared) {
        {
            std::unique_lock lock(m);
            while (!resolved && !shared.cancelled.load(std::memory_order_relaxed))
                cv.wait_for(lock, std::chrono::milliseconds(20));
            if (!resolved) return;
        }
        Copy();
    }
    // Any thread, after Resolve: copies chunks until none is left.
    void Copy() {
        for (size_t i; (i = nextChunk.fetch_add(1) * kCopyChunk) < copyCount;) {
            const size_t end = std::min(copyCount, i + kCopyChunk);
            for (; i < end; ++i) {
                copyTo[i] = events[meetEvent + i];
                copyTo[i].tick = static_cast<int32_t>(copyTo[i].tick + shift);
            }
        }
    }
    size_t meetEvent = 0;  // the second part's event the copy starts from
};

// One of a track's payload arrays once the track proves dense with SysEx
// and meta events (a song may hold millions of tempo changes): reserved
// then for the most entries the rest of the chunk can hold, so it grows
// without copies, and, in a track long enough, filled behind a PrefaultAhead
// like the event array, so its first touch overlaps the decoding.
template <class Run>
class DenseArray {
  public:
    // minFileBytes: the fewest bytes of the file that one entry takes.
    DenseArray(Run& v, size_t minFileBytes) : v_(v), minFileBytes_(minFileBytes) {}
    ~DenseArray() { Finish(); }
    DenseArray(const DenseArray&) = delete;
    DenseArray& operator=(const DenseArray&) = delete;

    // Now and then while decoding, at byte p of len (counted from the
    // chunk's start when `prefault`).
    void Step(size_t p, size_t len, bool prefault) {
        if (!reserved_ && v_.size() >= kDenseRows) {
            v_.reserve(v_.size() + (len - p) / minFileBytes_ + 1);
            reserved_ = true;
            if (prefault) prefault_.emplace(v_.data(), v_.capacity() * sizeof(v_[0]));
        }
        if (!prefault_) return;
        const size_t bytes = v_.size() * sizeof(v_[0]);
        // The rest of a track is mostly like what went before; an eighth to
        // spare for the rest only, so that little is touched in vain.
        const double rest = static_cast<double>(bytes) / p * static_cast<double>(len - p) * 1.125;
        prefault_->Advance(bytes, bytes + static_cast<size_t>(rest));
    }
    void Finish() {
        if (prefault_) prefault_->Finish(v_.size() * sizeof(v_[0]));
        prefault_.reset();
    }

  private:
    Run& v_;
    size_t minFileBytes_;
    bool reserved_ = false;
    std::optional<platform::PrefaultAhead> prefault_;
};

// Decodes one track chunk, or the rest of it from a StartPoint, into a
// DecodedTrack; needs nothing but the bytes. Events go to `events` from
// from.firstEvent on.
class TrackDecoder {
  public:
    // part: for a split track, the second part this decoder notes meeting
    // points for (noting) or looks for them in (the first part).
    TrackDecoder(int track, DecodedTrack& out, DecodeShared& shared, SongEvent* events,
                 SecondPart* part = nullptr, bool noting = false)
        : track_(track), out_(out), shared_(shared), events_(events), part_(part), noting_(noting) {
        if (part_) watch_ = part_->from;
    }

    // The first part stopped where the second part stood: at part->points[met].
    std::optional<size_t> Met() const { return met_; }

    // Gives the file's pages back as the decoding passes them: the chunk
    // starts at `chunkOffset` in `image`. Nothing decoded later reads them.
    void ReleaseBehind(const platform::FileImage* image, size_t chunkOffset) {
        image_ = image;
        base_ = chunkOffset;
    }

    // Decodes d[from.offset, len); the whole track when len is its length.
    bool Run(const uint8_t* d, size_t len, const StartPoint& from) {
        SongEvent* out = events_ + from.firstEvent;
        // Large tracks decoded whole: the array's first touch overlaps the decoding.
        std::optional<platform::PrefaultAhead> prefault;
        const bool prefaulting = from.offset == 0 && len >= kPrefaultTrackBytes;
        if (prefaulting && !out_.events.empty())
            prefault.emplace(out_.events.data(), out_.events.size() * sizeof(SongEvent));
        // A payload byte takes a byte of the file, a row 3 (delta, F0, length)
        // and a tempo change 7.
        DenseArray rowBytes(out_.extBytes, 1);
        DenseArray rowEnds(out_.extEnds, 3);
        DenseArray rowEvents(out_.extEvents, 3);
        DenseArray tempos(out_.tempos, 7);
        size_t n = 0;
        size_t p = from.offset;
        size_t reported = p;
        size_t released = p;  // the file's pages before this are given back
        int64_t pendingDelta = 0;
        bool haveDeltaBytes = false;
        uint8_t running = from.prev.status;
        bool runningAllowed = running >= 0x80 && running < 0xF0;
        int32_t prevTick = from.tick;
        while (p < len) {
            uint8_t byte = d[p];
            if (byte >= 0x80) {
                pendingDelta = (pendingDelta << 7) | (byte & 0x7F);
                haveDeltaBytes = true;
                if (pendingDelta > 0x7FFFFFFF) return Fail(LoadError::kNumberTooLarge);
                ++p;
                continue;
            }
            int64_t delta = (pendingDelta << 7) | byte;
            pendingDelta = 0;
            haveDeltaBytes = false;
            int64_t tick = int64_t{prevTick} + delta;
            if (tick > 0x7FFFFFFF) return Fail(LoadError::kNumberTooLarge);
            SongEvent ev;
            ev.tick = static_cast<int32_t>(tick);
            prevTick = ev.tick;
            ++p;
            if (p >= len) return Fail(LoadError::kEventPastChunk);
            uint8_t st = d[p];
            bool endOfTrack = false;
            if (midi::IsStatusByte(st) || !runningAllowed) {
                runningAllowed = true;
                ev.status = st;
                switch (midi::StatusKind(st)) {
                    case midi::kNoteOff:
                    case midi::kNoteOn:
                    case midi::kPolyPressure:
                    case midi::kControlChange:
                    case midi::kPitchBend:
                        if (len - p < 3) return Fail(LoadError::kEventPastChunk);
                        ev.data1 = d[p + 1];
                        ev.data2 = d[p + 2];
                        p += 3;
                        out_.mayMarkLoop |= midi::StatusKind(st) == midi::kControlChange &&
                                            ev.data1 == kLoopController;
                        break;
                    case midi::kProgramChange:
                    case midi::kChannelPressure:
                        if (len - p < 2) return Fail(LoadError::kEventPastChunk);
                        ev.data1 = d[p + 1];
                        p += 2;
                        break;
                    case midi::kSystem:
                        runningAllowed = false;
                        if (!DecodeExtended(d, len, p, ev, from.firstEvent + n, endOfTrack))
                            return false;
                        break;
                    default:
                        return BadStatus(n ? out[n - 1] : from.prev, st);
                }
                running = st;
            } else {
                ev.status = running;
                if (const uint8_t kind = midi::StatusKind(ev.status);
                    kind == midi::kProgramChange || kind == midi::kChannelPressure) {
                    ev.data1 = d[p];
                    p += 1;
                } else {
                    if (len - p < 2) return Fail(LoadError::kEventPastChunk);
                    ev.data1 = d[p];
                    ev.data2 = d[p + 1];
                    p += 2;
                    out_.mayMarkLoop |= midi::StatusKind(ev.status) == midi::kControlChange &&
                                        ev.data1 == kLoopController;
                }
            }
            out[n++] = ev;
            if (p >= watch_ &&
                Watch(p, runningAllowed ? running : 0, prevTick, from.firstEvent + n))
                break;
            if ((n & kPrefaultReportMask) == 0) {
                if (prefault) prefault->Advance(n * sizeof(SongEvent), ExpectedBytes(n, p, len));
                rowBytes.Step(p, len, prefaulting);
                rowEnds.Step(p, len, prefaulting);
                rowEvents.Step(p, len, prefaulting);
                tempos.Step(p, len, prefaulting);
                if (p - reported >= kProgressBytes) {
                    shared_.bytesDone.fetch_add(p - reported, std::memory_order_relaxed);
                    if (image_) released = image_->Release(base_ + released, p - released) - base_;
                    reported = p;
                    if (shared_.cancelled.load(std::memory_order_relaxed)) return false;
                }
            }
            if (endOfTrack) break;
        }
        shared_.bytesDone.fetch_add((met_ ? p : len) - reported, std::memory_order_relaxed);
        if (prefault) prefault->Finish(n * sizeof(SongEvent));
        out_.eventCount = from.firstEvent + n;
        if (met_) {
            out_.lastTick = prevTick;
            return true;
        }
        // Delta bytes cut off by the chunk end.
        if (haveDeltaBytes) return Fail(LoadError::kEventPastChunk);
        out_.lastTick = prevTick;
        out_.ok = true;
        return true;
    }

    // The meta event of the row last added.
    void Meta(uint8_t type, const uint8_t* payload, int32_t length, int32_t tick,
              bool& endOfTrack) {
        if (type >= midi::kMetaText && type <= midi::kMetaCuePoint && length > 0 && !noting_)
            out_.textRows.push_back(static_cast<uint32_t>(out_.extEvents.size() - 1));
        switch (type) {
            case 0x51:
                if (length >= 3) {
                    int32_t tempo = (payload[0] << 16) | (payload[1] << 8) | payload[2];
                    // A zero tempo would divide by zero; such an event is only
                    // stored. A second part's are never read: AdoptRows takes
                    // them anew.
                    if (tempo > 0 && !noting_) AddTempo(tempo, tick);
                }
                break;
            case 0x58:
                if (length >= 2 && payload[1] <= 7) {
                    out_.beatNumerator = payload[0];
                    out_.beatExponent = payload[1];
                }
                break;
            case 0x2F:
                endOfTrack = true;
                break;
            case 0x06:
                out_.mayMarkLoop = true;
                break;
            case 0x01:
                if (length > 0 && out_.title.empty())
                    out_.title.assign(reinterpret_cast<const char*>(payload), length);
                break;
            case 0x03:
                if (length > 0) {
                    out_.name.assign(reinterpret_cast<const char*>(payload), length);
                    if (out_.title.empty() && track_ == 1) out_.title = out_.name;
                }
                break;
            default:
                break;
        }
    }

  private:
    // Entered as the tempo map would have it, in case this track holds all
    // of the song's tempo changes.
    void AddTempo(int32_t tempo, int32_t tick) {
        auto& run = out_.tempos;
        if (run.empty()) run.push_back(shared_.song.Tempo(1));  // the map's first entry
        TempoEntry e;
        e.tempo = tempo;
        e.tick = tick;
        e.timeMs = shared_.song.TempoTimeMs(run.back(), tick);
        run.push_back(e);
    }

    // At an event boundary at or past watch_: notes a meeting point, or
    // looks for one; true when the first part meets the second here.
    bool Watch(size_t p, uint8_t running, int32_t tick, size_t event) {
        if (noting_) {
            part_->Note({p, running, tick, event, out_.extEvents.size(), out_.extBytes.size()});
            watch_ = p + part_->step;
            return false;
        }
        std::lock_guard lock(part_->m);
        const auto& points = part_->points;
        while (next_ < points.size() && points[next_].p < p) ++next_;
        if (next_ < points.size()) {
            if (points[next_].p == p && points[next_].running == running) {
                met_ = next_;
                return true;
            }
            watch_ = std::max(p + 1, points[next_].p);
        } else {
            watch_ = part_->done ? SIZE_MAX : p + part_->step;  // none yet: look again later
        }
        return false;
    }

    bool Fail(LoadError e) {
        out_.fail = e;
        return false;
    }

    // The event array's final size as the part decoded so far suggests,
    // with an eighth to spare: the rest of a track is mostly like its start.
    static size_t ExpectedBytes(size_t events, size_t p, size_t len) {
        if (p == 0) return SIZE_MAX;
        const double perByte = static_cast<double>(events) * sizeof(SongEvent) / p;
        return static_cast<size_t>(perByte * static_cast<double>(len) * 1.125);
    }

    // A data byte where a status byte is required: the previous event's
    // bytes as the table showed them, then that byte.
    bool BadStatus(const SongEvent& prev, uint8_t st) {
        if (prev.status >= midi::kSysExStart)
            out_.failRow = static_cast<int32_t>(out_.extEvents.size());
        out_.fail = {LoadError::kEvent, Hex(prev.status) + " " + Hex(prev.data1) + " " +
                                            Hex(prev.data2) + " " + Hex(st)};
        return false;
    }

    // F0, F7 and FF events; p is on the status byte and moves past the payload.
    bool DecodeExtended(const uint8_t* d, size_t len, size_t& p, const SongEvent& ev, size_t index,
                        bool& endOfTrack) {
        uint8_t st = ev.status;
        if (st != midi::kSysExStart && st != midi::kSysExEnd && st != midi::kMetaEvent) {
            out_.fail = LoadError::kSysEx;
            return false;
        }
        size_t q = p + 1;
        const uint8_t* metaType = nullptr;
        if (st == midi::kMetaEvent) {
            if (q >= len) return Fail(LoadError::kEventPastChunk);
            metaType = d + q;
            ++q;
        }
        int32_t length = 0;
        if (!ReadVlq(d, len, q, length)) {
            // Distinguish a length cut off by the chunk end from an oversized one.
            return Fail(q >= len ? LoadError::kEventPastChunk : LoadError::kNumberTooLarge);
        }
        if (static_cast<size_t>(length) > len - q) return Fail(LoadError::kEventPastChunk);
        const uint8_t* payload = d + q;
        if (metaType) out_.extBytes.push_back(*metaType);
        out_.extBytes.insert(out_.extBytes.end(), payload, payload + length);
        out_.extEnds.push_back(static_cast<uint32_t>(out_.extBytes.size()));
        out_.extEvents.push_back(static_cast<uint32_t>(index));
        if (metaType) Meta(*metaType, payload, length, ev.tick, endOfTrack);
        p = q + static_cast<size_t>(length);
        return true;
    }

    int track_;
    DecodedTrack& out_;
    DecodeShared& shared_;
    SongEvent* events_;
    SecondPart* part_;
    bool noting_;
    size_t watch_ = SIZE_MAX;  // the next boundary to call Watch at
    size_t next_ = 0;          // the first meeting point not passed yet
    std::optional<size_t> met_;
    const platform::FileImage* image_ = nullptr;  // ReleaseBehind
    size_t base_ = 0;
};

// A guess at an event boundary from byte `from` on: a status byte right
// after a byte that may end a delta; the event is taken to start at that
// delta. Right or wrong, the meeting test decides.
size_t GuessBoundary(const uint8_t* d, size_t from, size_t len) {
    for (size_t q = from + 1; q < len; ++q) {
        const uint8_t b = d[q];
        if (d[q - 1] < 0x80 && b >= 0x80 && (b < 0xF0 || b == 0xF0 || b == 0xF7 || b == 0xFF))
            return q - 1;
    }
    return len;
}

// Whether the first events of a track are mostly SysEx and meta events (a
// track of tempo changes): such a track is decoded whole, as taking over a
// second part's rows costs more than decoding them. Reads at most
// kSampleEvents events; a track that cannot be read that far says no.
bool MostlyExtended(const uint8_t* d, size_t len) {
    constexpr size_t kSampleEvents = 4096;
    size_t p = 0, events = 0, extended = 0;
    uint8_t running = 0;
    int32_t v = 0;
    for (; events < kSampleEvents && p < len; ++events) {
        if (!ReadVlq(d, len, p, v) || p >= len) return false;
        uint8_t st = d[p];
        if (st >= midi::kSysExStart) {
            p += st == midi::kMetaEvent ? 2 : 1;  // status, meta type
            if (p > len || !ReadVlq(d, len, p, v)) return false;
            p += static_cast<size_t>(v);
            running = 0;
            ++extended;
            continue;
        }
        if (midi::IsStatusByte(st)) {
            running = st;
            ++p;
        } else if (running == 0) {
            return false;
        }
        const uint8_t kind = midi::StatusKind(running);
        p += kind == midi::kProgramChange || kind == midi::kChannelPressure ? 1 : 2;
    }
    return events > 0 && extended * 2 > events;
}

class Decoder {
  public:
    // image: when given, each track's bytes are given back once decoded.
    Decoder(SongTable& song, const LoadOptions& options, const platform::FileImage* image)
        : song_(song), b_{song}, options_(options), image_(image) {}

    bool Run(std::span<const uint8_t> file, LoadStatus& fail) {
        const uint8_t* f = file.data();
        const size_t size = file.size();
        if (size < 4 || f[0] != 'M' || f[1] != 'T' || f[2] != 'h' || f[3] != 'd') {
            fail = LoadError::kHeader;
            return false;
        }
        if (size < 14) return Fail(fail, LoadError::kShortHeader);
        song_.Format = ReadBE16(f + 8);
        song_.NTracks = static_cast<uint16_t>(ReadBE16(f + 10));
        song_.Division = ReadBE16(f + 12);
        if (song_.NTracks < 1) return Fail(fail, LoadError::kTrackCount);
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

        std::vector<Chunk> chunks;
        if (!FindTrackChunks(f, size, chunks, fail)) return false;
        b_.SizeForTracks(song_.NTracks, song_.Format == 0);
        std::vector<DecodedTrack> decoded(chunks.size());
        if (!DecodeAll(f, chunks, decoded, fail)) return false;
        int32_t lastTick = 0;
        std::vector<SongTable::TempoRun> tempos(decoded.size());  // per track
        std::vector<bool> mayMarkLoop(decoded.size());
        for (int t = 1; t <= song_.NTracks; ++t) {
            Absorb(t, decoded[t - 1], tempos[t - 1]);
            lastTick = std::max(lastTick, decoded[t - 1].lastTick);
            mayMarkLoop[t - 1] = decoded[t - 1].mayMarkLoop;
        }
        b_.Reserve(decoded);
        for (int t = 1; t <= song_.NTracks; ++t) b_.Adopt(decoded[t - 1]);
        if (song_.Format == 2 && song_.NTracks > 1) {
            if (!PatternsInSequence(tempos, lastTick, fail)) return false;
        } else {
            MergeTempoMap(tempos);
        }
        if (song_.Format == 0)
            b_.BuildChannelLists([this](size_t n, auto fn) { ParallelFor(n, fn); });

        song_.TotalMs = song_.TickToMs(lastTick);
        // Rounding in the tempo map must not put an event after the end.
        for (int t = 1; t <= song_.NTracks; ++t) {
            auto& events = b_.Track(t);
            if (!events.empty())
                song_.TotalMs = std::max(song_.TotalMs, song_.TickToMs(events.back().tick));
        }
        song_.TotalSeconds = platform::RoundHalfEven(song_.TotalMs / 1000.0);
        song_.Loop = FindLoopPoints(song_, mayMarkLoop);
        return true;
    }

  private:
    struct Chunk {
        size_t offset;
        size_t length;
    };

    static bool Fail(LoadStatus& fail, LoadError e) {
        fail = e;
        return false;
    }

    // NTracks track chunks from offset 14. Chunks of other types are passed
    // over without counting, as the file format asks readers to do; decoding
    // them as tracks would refuse valid files.
    bool FindTrackChunks(const uint8_t* f, size_t size, std::vector<Chunk>& chunks,
                         LoadStatus& fail) const {
        size_t off = 14;
        while (static_cast<int>(chunks.size()) < song_.NTracks) {
            if (off > size || size - off < 8) return Fail(fail, LoadError::kMissingChunks);
            uint32_t len = ReadBE32(f + off + 4);
            if (len > 0x7FFFFFFFu || len > size - off - 8)
                return Fail(fail, LoadError::kChunkPastEnd);
            const bool track =
                f[off] == 'M' && f[off + 1] == 'T' && f[off + 2] == 'r' && f[off + 3] == 'k';
            if (track) chunks.push_back({off + 8, len});
            off += 8 + static_cast<size_t>(len);
        }
        return true;
    }

    // Decodes every track, on up to options_.threads threads (this one
    // included); the first failing track in file order decides the result,
    // as if they were read one after another. A track too long to share the
    // work out evenly is decoded in two parts at once.
    bool DecodeAll(const uint8_t* f, const std::vector<Chunk>& chunks,
                   std::vector<DecodedTrack>& decoded, LoadStatus& fail) {
        size_t total = 0;
        for (const auto& c : chunks) total += c.length;
        std::deque<SecondPart> parts;
        std::vector<SecondPart*> partOf(chunks.size());
        for (size_t t = 0; t < chunks.size(); ++t) {
            const size_t step = SplitStep(f + chunks[t].offset, chunks[t].length, total);
            if (step == 0) continue;
            SecondPart& part = parts.emplace_back();
            part.track = t;
            part.from = GuessBoundary(f + chunks[t].offset, chunks[t].length / 2, chunks[t].length);
            part.step = step;
            partOf[t] = &part;
        }
        // Longest first, so the last track taken is a short one.
        std::vector<size_t> order(chunks.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return chunks[a].length > chunks[b].length; });
        DecodeShared shared(song_);
        std::atomic<size_t> next{0};
        auto work = [&] {
            for (auto& part : parts) {
                if (!part.taken.exchange(true))
                    DecodeSecondPart(f, chunks[part.track], part, shared);
            }
            for (size_t i; (i = next.fetch_add(1)) < order.size();) {
                if (shared.cancelled.load(std::memory_order_relaxed)) return;
                const size_t t = order[i];
                DecodeWhole(f, chunks[t], t, decoded[t], partOf[t], shared);
            }
            for (auto& part : parts) part.HelpCopy(shared);
        };
        const int items = static_cast<int>(order.size() + parts.size());
        RunOnThreads(work, shared, total, std::max(1, std::min(ThreadCount(), items)));
        if (shared.cancelled.load()) return Fail(fail, LoadError::kCancelled);
        for (size_t t = 0; t < decoded.size(); ++t) {
            if (decoded[t].ok) continue;
            fail = decoded[t].fail;
            if (fail.code() == LoadError::kEvent && decoded[t].failRow > 0)
                fail = {LoadError::kEvent, RowDetail(decoded, t)};
            return false;
        }
        return true;
    }

    // Bytes between meeting points when track bytes d[0, len) out of
    // `total` are decoded in two parts; 0: the track is decoded whole.
    size_t SplitStep(const uint8_t* d, size_t len, size_t total) const {
        if (options_.splitStepBytes > 0) return options_.splitStepBytes;
        const auto threads = static_cast<size_t>(ThreadCount());
        // Worth it only when the track alone would keep a core idle.
        if (threads < 2 || len < kSplitTrackBytes || len * threads <= total) return 0;
        return MostlyExtended(d, len) ? 0 : kMeetStepBytes;
    }

    // The whole track, or its first part until it meets `part`.
    void DecodeWhole(const uint8_t* f, const Chunk& c, size_t t, DecodedTrack& d, SecondPart* part,
                     DecodeShared& shared) {
        try {
            // Every event takes two bytes at least, so half the chunk bounds
            // its events; the growth touches no page.
            d.events.resize(c.length / 2 + 1);
            TrackDecoder dec(static_cast<int>(t) + 1, d, shared, d.events.data(), part);
            dec.ReleaseBehind(image_, c.offset);
            (void)dec.Run(f + c.offset, c.length, StartPoint{});  // result in d
            if (dec.Met()) JoinSecondPart(f + c.offset, c.length, *part, *dec.Met(), d, shared);
        } catch (const std::bad_alloc&) {
            d.fail = LoadError::kOutOfMemory;
        } catch (const std::length_error&) {
            d.fail = LoadError::kOutOfMemory;
        }
        if (part) part->Resolve();  // whatever happened, no thread waits for a copy
        if (image_) image_->Release(c.offset, c.length);
    }

    void DecodeSecondPart(const uint8_t* f, const Chunk& c, SecondPart& part,
                          DecodeShared& shared) {
        try {
            part.events.resize((c.length - part.from) / 2 + 1);
            TrackDecoder dec(static_cast<int>(part.track) + 1, part.out, shared, part.events.data(),
                             &part, true);
            dec.ReleaseBehind(image_, c.offset);
            StartPoint from;
            from.offset = part.from;
            (void)dec.Run(f + c.offset, c.length, from);  // result in part.out
        } catch (const std::bad_alloc&) {
            part.out.ok = false;  // the first part decodes on alone
        }
        part.Finish();
    }

    // The first part (in d, up to where it met `part` at point k) takes the
    // rest of the second part's events and rows; where that part failed or
    // its ticks would overflow, the first part decodes the rest itself.
    void JoinSecondPart(const uint8_t* d, size_t len, SecondPart& part, size_t k,
                        DecodedTrack& whole, DecodeShared& shared) {
        part.WaitDone();
        const MeetPoint& at = part.points[k];
        const int64_t shift = int64_t{whole.lastTick} - at.tick;
        if (!part.out.ok || part.out.lastTick + shift > 0x7FFFFFFF) {
            StartPoint from{at.p, whole.eventCount, whole.lastTick,
                            whole.events[whole.eventCount - 1]};
            TrackDecoder(static_cast<int>(part.track) + 1, whole, shared, whole.events.data())
                .Run(d, len, from);
            return;
        }
        const size_t base = whole.eventCount;
        const size_t count = part.out.eventCount - at.event;
        part.meetEvent = at.event;
        part.Resolve(whole.events.data() + base, count, shift);
        part.Copy();  // with any thread that is free
        AdoptRows(part, at, shift, whole, shared);
        whole.mayMarkLoop |= part.out.mayMarkLoop;
        whole.lastTick = static_cast<int32_t>(part.out.lastTick + shift);
        whole.eventCount = base + count;
        whole.ok = true;
    }

    // The second part's payload rows from meeting point `at` on, numbered on
    // from the first part's; their meta events count as if decoded here.
    static void AdoptRows(const SecondPart& part, const MeetPoint& at, int64_t shift,
                          DecodedTrack& whole, DecodeShared& shared) {
        const DecodedTrack& o = part.out;
        const size_t base = whole.eventCount;
        const auto byteBase = static_cast<uint32_t>(whole.extBytes.size() - at.rowBytes);
        whole.extBytes.insert(whole.extBytes.end(), o.extBytes.begin() + at.rowBytes,
                              o.extBytes.end());
        TrackDecoder metas(static_cast<int>(part.track) + 1, whole, shared, nullptr);
        for (size_t r = at.rows; r < o.extEvents.size(); ++r) {
            const uint32_t end = o.extEnds[r];
            const uint32_t begin = r > 0 ? o.extEnds[r - 1] : 0;
            whole.extEnds.push_back(byteBase + end);
            whole.extEvents.push_back(static_cast<uint32_t>(o.extEvents[r] - at.event + base));
            const SongEvent& ev = part.events[o.extEvents[r]];  // may not be copied yet
            if (ev.status != midi::kMetaEvent) continue;
            bool endOfTrack = false;
            metas.Meta(o.extBytes[begin], o.extBytes.data() + begin + 1,
                       static_cast<int32_t>(end - begin - 1), static_cast<int32_t>(ev.tick + shift),
                       endOfTrack);
        }
    }

    int ThreadCount() const {
        if (options_.threads > 0) return options_.threads;
        return std::max(1u, std::thread::hardware_concurrency());
    }

    // Runs fn(0..n-1) on up to ThreadCount() threads, this one included.
    template <class Fn>
    void ParallelFor(size_t n, Fn& fn) const {
        std::atomic<size_t> next{0};
        auto work = [&] {
            for (size_t i; (i = next.fetch_add(1)) < n;) fn(i);
        };
        std::vector<std::thread> helpers;
        for (size_t i = 1; i < std::min(n, static_cast<size_t>(ThreadCount())); ++i)
            helpers.emplace_back(work);
        work();
        for (auto& h : helpers) h.join();
    }

    // Runs `work` on n threads. Without a progress callback this thread is
    // one of them; with one, it only reports until the others are done.
    template <class Work>
    void RunOnThreads(Work& work, DecodeShared& shared, size_t total, int n) {
        const bool report = static_cast<bool>(options_.progress);
        std::atomic<int> running{n};
        auto counted = [&] {
            work();
            running.fetch_sub(1);
        };
        std::vector<std::thread> helpers;
        for (int i = report ? 0 : 1; i < n; ++i) helpers.emplace_back(counted);
        if (!report) counted();
        while (report) {
            const bool last = running.load() == 0;
            const size_t done = shared.bytesDone.load(std::memory_order_relaxed);
            const double fraction = total ? std::min(1.0, static_cast<double>(done) / total) : 1.0;
            if (!options_.progress(fraction)) shared.cancelled.store(true);
            if (last) break;
            std::this_thread::sleep_for(kProgressInterval);
        }
        for (auto& h : helpers) h.join();
    }

    // "Event Error" after an extended event: the row number as the whole
    // file counts it, low 16 bits as the table shows it.
    std::string RowDetail(const std::vector<DecodedTrack>& decoded, size_t t) const {
        size_t before = 0;
        for (size_t i = 0; i < t; ++i) before += decoded[i].extEvents.size();
        const auto row = static_cast<uint32_t>(before + decoded[t].failRow);
        const std::string& detail = decoded[t].fail.detail();
        // The detail reads "<status> <data1> <data2> <byte>"; data bytes are rewritten.
        const size_t s1 = detail.find(' ');
        const size_t s3 = detail.rfind(' ');
        return detail.substr(0, s1) + " " + Hex((row >> 8) & 0xFF) + " " + Hex(row & 0xFF) +
               detail.substr(s3);
    }

    // The song-wide values a track sets, in file order.
    void Absorb(int t, DecodedTrack& d, SongTable::TempoRun& tempos) {
        if (song_.SongTitle.empty() && !d.title.empty()) song_.SongTitle = d.title;
        if (!d.name.empty()) song_.SetTrackName(t, std::move(d.name));
        tempos = std::move(d.tempos);
        if (d.beatNumerator >= 0) {
            const int den = 1 << d.beatExponent;
            song_.BeatNumerator = static_cast<uint8_t>(d.beatNumerator);
            song_.BeatDenominator = static_cast<uint8_t>(den);
            song_.BeatQuarters = static_cast<uint8_t>(
                std::clamp(platform::RoundHalfEven(4.0 / den * d.beatNumerator), 0, 255));
        }
    }

    // A track's tempo changes, without the entry left free at the front.
    static std::span<const TempoEntry> TempoChanges(const SongTable::TempoRun& run) {
        return run.empty() ? std::span<const TempoEntry>() : std::span(run).subspan(1);
    }

    // Formats 0 and 1: one tempo map from the tempo events of every track,
    // by tick; at equal ticks in track order, then file order, so the last
    // of them sets the tempo.
    void MergeTempoMap(std::vector<SongTable::TempoRun>& tempos) {
        size_t tracksWith = 0, changes = 0;
        SongTable::TempoRun* only = nullptr;
        for (auto& run : tempos) {
            if (TempoChanges(run).empty()) continue;
            ++tracksWith;
            changes += TempoChanges(run).size();
            only = &run;
        }
        // Mostly one track holds them all (a tempo track, or format 0); its
        // ticks never go back, so it is the map as it stands.
        if (tracksWith == 1) return b_.SetTempoMap(std::move(*only), true);
        SongTable::TempoRun all;
        all.reserve(changes + 1);
        all.emplace_back();
        for (const auto& run : tempos) {
            const auto changes = TempoChanges(run);
            all.insert(all.end(), changes.begin(), changes.end());
        }
        std::stable_sort(all.begin() + 1, all.end(),
                         [](const TempoEntry& a, const TempoEntry& b) { return a.tick < b.tick; });
        b_.SetTempoMap(std::move(all));
    }

    // Format 2: every track is a pattern of its own. They play one after
    // another, each from the default tempo with only its own tempo events;
    // ticks become positions on that one line.
    bool PatternsInSequence(const std::vector<SongTable::TempoRun>& tempos, int32_t& lastTick,
                            LoadStatus& fail) {
        size_t changes = 0;
        for (const auto& run : tempos) changes += TempoChanges(run).size();
        SongTable::TempoRun all;
        all.reserve(changes + tempos.size());
        all.emplace_back();
        int64_t offset = 0;
        for (int t = 1; t <= song_.NTracks; ++t) {
            auto& events = b_.Track(t);
            const int64_t length = events.empty() ? 0 : events.back().tick;
            if (offset + length > 0x7FFFFFFF) return Fail(fail, LoadError::kNumberTooLarge);
            TempoEntry e;
            if (t > 1) {
                e.tempo = kDefaultTempo;
                e.tick = static_cast<int32_t>(offset);
                all.push_back(e);
            }
            for (const TempoEntry& p : TempoChanges(tempos[t - 1])) {
                e.tempo = p.tempo;
                e.tick = static_cast<int32_t>(offset + p.tick);
                all.push_back(e);
            }
            if (t > 1)
                for (auto& ev : events) ev.tick += static_cast<int32_t>(offset);
            offset += length;
        }
        lastTick = static_cast<int32_t>(offset);
        b_.SetTempoMap(std::move(all));
        return true;
    }

    SongTable& song_;
    SongTable::Builder b_;
    const LoadOptions& options_;
    const platform::FileImage* image_;
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

const platform::CodePage& DecideSongTextCodePage(const SongTable& song) {
    // Enough text to judge by; a song with megabytes of lyrics says no more.
    constexpr size_t kJudgedBytes = 1 << 20;
    const std::vector<std::string_view> texts = song.MetaTexts(kJudgedBytes);
    return platform::DecideTextEncoding(texts);
}

std::string LoadNoticeText(const std::string& titleBytes, const platform::CodePage& cp) {
    // The backslash pairs are the recipient's own escapes, sent literally.
    return cp.FromUtf8("あっ、\\n") + titleBytes +
           cp.FromUtf8("\\nって曲が再生されるみたい。\\uそうか。");
}

namespace {

// Decodes the image and completes the table; observers are not told here.
LoadStatus Decode(std::span<const uint8_t> file, SongTable& song, const LoadOptions& options,
                  const platform::FileImage* image = nullptr) {
    LoadStatus fail;
    bool ok = false;
    song.Clear();
    try {
        Decoder dec(song, options, image);
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
    song.SetTextCodePage(DecideSongTextCodePage(song));
    if (song.SongTitle.empty()) song.SongTitle = song.TextCodePage().FromUtf8(options.songFileName);
    song.Loaded = true;
    return {};
}

const platform::CodePage& CodePageOf(const LoadOptions& o) {
    return o.codePage ? *o.codePage : platform::SystemCodePage();
}

void NotifyResult(const LoadStatus& r, const SongTable& song, const LoadOptions& options,
                  const platform::CodePage& cp) {
    if (!r.ok()) {
        NotifyFailed(options, r.Message());
        return;
    }
    for (auto* ob : options.observers) ob->OnLoadCompleted(song);
    std::string notice =
        LoadNoticeText(platform::Recode(song.SongTitle, song.TextCodePage(), cp), cp);
    for (auto* ob : options.observers) ob->OnLoadNotice(notice);
}

}  // namespace

void NotifyLoadResult(const LoadStatus& result, const SongTable& song, const LoadOptions& options) {
    NotifyResult(result, song, options, CodePageOf(options));
}

LoadStatus LoadSMFBytes(std::span<const uint8_t> file, SongTable& song,
                        const LoadOptions& options) {
    for (auto* ob : options.observers) ob->OnLoadStarted();
    LoadStatus r = Decode(file, song, options);
    NotifyResult(r, song, options, CodePageOf(options));
    return r;
}

namespace {

// What the first bytes and the size already tell; ok for files that are
// fit to be read whole (and for pipes, whose bytes a look would consume).
LoadStatus RefusedUnread(const std::string& path) {
    const platform::FileHead head = platform::ReadFileHead(path, 4);
    if (!head.regular) return {};
    if (head.size > kMaxSmfFileBytes) return LoadError::kFileTooLarge;
    const uint8_t mthd[4] = {'M', 'T', 'h', 'd'};
    if (head.bytes.size() < 4 || !std::equal(mthd, mthd + 4, head.bytes.begin()))
        return LoadError::kHeader;
    return {};
}

}  // namespace

LoadStatus LoadSMF(const std::string& path, SongTable& song, const LoadOptions& options) {
    for (auto* ob : options.observers) ob->OnLoadStarted();
    LoadStatus r = RefusedUnread(path);
    if (!r.ok()) {
        song.Clear();
    } else {
        platform::FileImage image;
        bool readOk = false;
        try {
            readOk = image.Open(path, kMaxSmfFileBytes);
        } catch (const std::bad_alloc&) {
            readOk = false;
        }
        if (readOk) {
            r = Decode(image.Bytes(), song, options, &image);
        } else {
            song.Clear();
            r = LoadError::kCannotRead;
        }
    }  // the file image is freed before anyone looks at the song
    NotifyResult(r, song, options, CodePageOf(options));
    return r;
}

}  // namespace sonfara::song
