// The one in-memory song: decoded events per track, the payload store of
// SysEx and meta events, the tempo map, the display lists and the song-wide
// values. Filled by LoadSMF in one pass; playback only reads it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "player/platform/codepage.h"
#include "player/platform/large_memory.h"
#include "player/platform/midi.h"

namespace sonfara::song {

// The shortest section that loops: a shorter one would send the chase of
// controllers at the timer's rate.
inline constexpr int32_t kMinLoopMs = 100;

// The section a song marks for repeating (found by FindLoop, loop_points.h).
struct LoopPoints {
    int32_t startMs = -1;  // -1: the song has no loop
    int32_t endMs = -1;
    // The section ends with the song: the events at its last moment still
    // play before the jump (a marked end is the first moment after it).
    bool toSongEnd = false;

    bool Valid() const { return startMs >= 0 && endMs - startMs >= kMinLoopMs; }
    int32_t LengthMs() const { return endMs - startMs; }
    bool operator==(const LoopPoints&) const = default;
};

// The largest track count a header can name.
inline constexpr int kMaxTracks = 65535;

// One decoded event as stored: 8 bytes. Channel events keep their data
// bytes; F0, F7 and FF events keep none here, their payload row is found
// through the track's row table (SongTable::ExtIndexOf). Times in
// milliseconds are not stored: they follow from the tick and the tempo map.
struct SongEvent {
    int32_t tick = 0;
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
    uint8_t spare = 0;
};
static_assert(sizeof(SongEvent) == 8);

class SongTable;

// An event as readers see it: the stored bytes plus what follows from the
// table. For F0, F7 and FF events data1/data2 are the low 16 bits of the
// payload row number (high byte, low byte), as the event list and the
// command line have always shown them. Cheap to copy; valid while the
// table holds the song.
class EventView {
  public:
    EventView() = default;
    EventView(const SongTable& song, int track, int32_t index, const SongEvent& ev)
        : tick(ev.tick),
          status(ev.status),
          data1(ev.data1),
          data2(ev.data2),
          song_(&song),
          track_(track),
          index_(index) {
        if (status >= midi::kSysExStart) FindRow();  // the side table, only for SysEx and meta
    }

    int32_t tick = 0;
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;

    bool IsExtended() const { return status >= midi::kSysExStart; }
    int32_t TimeMs() const;  // from the tempo map
    // Data bytes of a channel event; the payload length of F0, F7 and FF
    // events (without the meta type).
    int32_t Length() const;
    int32_t ExtIndex() const { return extIndex_; }  // payload row, 0 for channel events
    int Track() const { return track_; }            // 1-based
    int32_t Index() const { return index_; }        // 1-based within the track

  private:
    void FindRow();

    const SongTable* song_ = nullptr;
    int track_ = 0;
    int32_t index_ = 0;
    int32_t extIndex_ = 0;
};

// The events of one track as views, for range-for and indexing.
class TrackEventRange {
  public:
    class Iterator {
      public:
        using value_type = EventView;
        using difference_type = std::ptrdiff_t;
        Iterator() = default;
        Iterator(const TrackEventRange* r, size_t i) : r_(r), i_(i) {}
        EventView operator*() const { return (*r_)[i_]; }
        Iterator& operator++() {
            ++i_;
            return *this;
        }
        Iterator operator++(int) {
            Iterator old = *this;
            ++i_;
            return old;
        }
        bool operator==(const Iterator& o) const { return i_ == o.i_; }

      private:
        const TrackEventRange* r_ = nullptr;
        size_t i_ = 0;
    };

    TrackEventRange() = default;
    TrackEventRange(const SongTable* song, int track, std::span<const SongEvent> events)
        : song_(song), track_(track), events_(events) {}
    size_t size() const { return events_.size(); }
    bool empty() const { return events_.empty(); }
    EventView operator[](size_t i) const {
        return EventView(*song_, track_, static_cast<int32_t>(i + 1), events_[i]);
    }
    EventView back() const { return (*this)[events_.size() - 1]; }
    Iterator begin() const { return {this, 0}; }
    Iterator end() const { return {this, events_.size()}; }
    std::span<const SongEvent> Stored() const { return events_; }

  private:
    const SongTable* song_ = nullptr;
    int track_ = 0;
    std::span<const SongEvent> events_;
};

// 12 bytes: a song may hold millions. Ticks per millisecond follow from
// the tempo and the division (SongTable::TicksPerMs).
struct TempoEntry {
    int32_t tempo = 500000;  // µs per quarter note
    int32_t tick = 0;
    int32_t timeMs = 0;
};

// One entry of a display list: which event of which track (both 1-based).
struct ListEntry {
    uint16_t track = 0;
    int32_t event = 0;
};

class SongTable {
  public:
    SongTable();
    SongTable(const SongTable&) = delete;
    SongTable& operator=(const SongTable&) = delete;

    // --- Header -----------------------------------------------------------
    int16_t Format = 0;
    int32_t NTracks = 0;   // 0..65535
    int16_t Division = 0;  // ticks per quarter; negative: SMPTE frames

    // --- Song information (texts are code-page bytes) ----------------------
    std::string SongTitle;
    std::string FileKindLabel;  // "SMF Format 1", "RMI Format 0", ...
    std::string SongFileName;   // display name used as fallback title
    int32_t TotalMs = 0;
    int32_t TotalSeconds = 0;
    uint8_t BeatQuarters = 4;
    uint8_t BeatNumerator = 4;
    uint8_t BeatDenominator = 4;
    LoopPoints Loop;      // the section the song marks for repeating
    bool Loaded = false;  // true only after a successful load

    const std::string& TrackName(int t) const;  // 1..NTracks, empty outside
    void SetTrackName(int t, std::string name);

    // The code page all of the song's texts are in, decided once at load
    // (CP932 for the empty song). A program-lifetime object.
    const platform::CodePage& TextCodePage() const { return *textCodePage_; }
    void SetTextCodePage(const platform::CodePage& cp) { textCodePage_ = &cp; }
    // The payloads of the text meta events (text to cue point) in file
    // order, at most about maxBytes of them; views into the payload store.
    std::vector<std::string_view> MetaTexts(size_t maxBytes) const;

    // --- Events -----------------------------------------------------------
    int32_t EventCount(int t) const;  // 0 for t outside 1..NTracks
    // 1-based track and event; no bounds check beyond a debug assertion.
    EventView Event(int t, int e) const;
    TrackEventRange TrackEvents(int t) const;  // empty for t outside 1..NTracks
    // Payload row of event e of track t; 0 for channel events.
    int32_t ExtIndexOf(int t, int32_t e) const;
    // The 0-based numbers of track t's SysEx and meta events, in order.
    std::span<const uint32_t> ExtEventsOf(int t) const;

    // --- Payload store ----------------------------------------------------
    int32_t ExtCount() const { return static_cast<int32_t>(extEnd_.size()); }
    // Stored bytes of row extIndex (1-based): FF rows start with the meta type.
    std::span<const uint8_t> ExtRow(int extIndex) const;
    // Byte k (1-based) of row extIndex; 0 outside the stored bytes, like
    // the zero-filled rows of a fixed-width store.
    uint8_t ExtendedData(int extIndex, int k) const;

    // --- Tempo map --------------------------------------------------------
    int32_t TempoCount() const { return static_cast<int32_t>(tempo_.size()); }
    const TempoEntry& Tempo(int i) const { return tempo_[i - 1]; }  // 1-based
    void ResetTempoMap();
    void AddTempo(int32_t tempo, int32_t tick);
    // The time AddTempo gives a change at `tick` after `prev`; reads only
    // the header.
    int32_t TempoTimeMs(const TempoEntry& prev, int32_t tick) const;
    // Safe from any thread: a binary search over the map, no shared state.
    int32_t TickToMs(int32_t tick) const;
    // The same for callers that walk forward in tick order: `hint` (0 at
    // first) remembers the tempo segment, so the walk costs O(1) per call.
    int32_t TickToMs(int32_t tick, int32_t& hint) const;
    int32_t TimeToTick(int32_t ms) const;
    // The rate a tempo plays ticks at, as the map times them.
    float TicksPerMs(int32_t tempo) const {
        return static_cast<float>(Division) * 1000.0f / static_cast<float>(tempo);
    }
    bool IsSmpte() const { return Division < 0; }
    // Ticks per quarter note used for bar/beat texts; for SMPTE timing one
    // quarter is taken as half a second.
    int32_t TicksPerQuarter() const;

    // --- Display lists ----------------------------------------------------
    int ListsInUse() const { return listsInUse_; }  // max(16, NTracks)
    int32_t ListCount(int k) const;                 // 0 outside 1..ListsInUse()
    ListEntry ListAt(int k, int i) const;           // entry i (1-based) of list k
    EventView ListEvent(int k, int i) const;

    // Resets everything to the empty song.
    void Clear();
    // Takes the song of `other` (loaded elsewhere, e.g. on a worker thread),
    // which gets this one's. Nothing may read either meanwhile (the
    // sequencer's timer is stopped).
    void TakeFrom(SongTable& other);

    // Bytes held by the event grid, list index and payload store.
    size_t MemoryBytes() const;

    // --- Used by the loader -----------------------------------------------
    // Arrays that may hold millions of entries; the loader fills them and
    // the table adopts them whole.
    using ByteRun = std::vector<uint8_t, platform::LargeAllocator<uint8_t>>;
    using RowRun = std::vector<uint32_t, platform::LargeAllocator<uint32_t>>;
    using TempoRun = std::vector<TempoEntry, platform::LargeAllocator<TempoEntry>>;
    struct Builder;
    friend struct Builder;

  private:
    void SizeForTracks(int tracks);

    std::vector<std::string> trackNames_;
    const platform::CodePage* textCodePage_ = nullptr;
    using EventRun = std::vector<SongEvent, platform::LargeFillAllocator<SongEvent>>;
    using ListRun = std::vector<ListEntry, platform::LargeFillAllocator<ListEntry>>;
    std::vector<EventRun> tracks_;
    // Payload rows in one contiguous store, numbered in file order; row i
    // ends at extEnd_[i-1] and starts where row i-1 ends (row 1 at 0).
    // extEvent_[i-1] is the 0-based index of row i's event in its track;
    // the rows of track t are extFirst_[t-1] + 1 .. extFirst_[t].
    ByteRun extBytes_;
    RowRun extEnd_;
    RowRun extEvent_;
    std::vector<int32_t> extFirst_{0};
    // The rows (0-based) of the text meta events, text to cue point, with
    // text in them; MetaTexts need not pass over millions of other rows.
    std::vector<uint32_t> textRows_;
    TempoRun tempo_;
    int listsInUse_ = 16;
    // Format 0 keeps explicit lists (1..16, by channel); for other formats
    // list k is track k.
    bool explicitLists_ = false;
    std::vector<ListRun> lists_;
    int smpteTicksPerSecond_ = 0;
    double smpteFps_ = 0;
};

}  // namespace sonfara::song
