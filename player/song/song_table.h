// The one in-memory song: decoded events per track, the payload store of
// SysEx and meta events, the tempo map, the display lists and the song-wide
// values. Filled by LoadSMF in one pass; playback only moves the cursors.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "player/platform/large_memory.h"
#include "player/song/loop_points.h"

namespace sonfara {

inline constexpr int kMaxTracks = 64;
inline constexpr int kMaxLists = 64;
inline constexpr int kMaxTrackNames = 256;
inline constexpr int kMaxExtIndex = 32767;

// One decoded event. For F0, F7 and FF events data1/data2 hold extIndex
// (high byte, low byte) and length is the payload length.
struct SongEvent {
    int32_t tick = 0;
    int32_t timeMs = 0;
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
    // Payload lengths beyond 16 bits are kept whole rather than wrapped.
    int32_t length = 0;

    int ExtIndex() const { return static_cast<int16_t>((data1 << 8) | data2); }
};
static_assert(sizeof(SongEvent) == 16);

struct TempoEntry {
    int32_t tempo = 500000;  // µs per quarter note
    int32_t tick = 0;
    int32_t timeMs = 0;
    float ticksPerMs = 0.0f;
};

// One entry of a display list: which event of which track (both 1-based).
struct ListEntry {
    uint8_t track = 0;
    int32_t event = 0;
};

// Rounds to the nearest integer, halves to the even neighbour.
int32_t RoundHalfEven(double v);

class SongTable {
  public:
    SongTable();
    SongTable(const SongTable&) = delete;
    SongTable& operator=(const SongTable&) = delete;

    // --- Header -----------------------------------------------------------
    int16_t Format = 0;
    int16_t NTracks = 0;
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

    const std::string& TrackName(int t) const;  // 1..256, empty outside
    void SetTrackName(int t, std::string name);

    // --- Events -----------------------------------------------------------
    int32_t EventCount(int t) const;  // 0 for t outside 1..NTracks
    // 1-based track and event; no bounds check beyond a debug assertion.
    const SongEvent& Event(int t, int e) const;
    std::span<const SongEvent> TrackEvents(int t) const;

    // --- Payload store ----------------------------------------------------
    int32_t ExtCount() const { return static_cast<int32_t>(extOffset_.size()) - 1; }
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
    int32_t TickToMs(int32_t tick) const;
    int32_t TimeToTick(int32_t ms) const;
    bool IsSmpte() const { return Division < 0; }
    // Ticks per quarter note used for bar/beat texts; for SMPTE timing one
    // quarter is taken as half a second.
    int32_t TicksPerQuarter() const;

    // --- Display lists ----------------------------------------------------
    int ListsInUse() const { return listsInUse_; }  // max(16, NTracks)
    int32_t ListCount(int k) const;                 // 0 outside 1..64
    ListEntry ListAt(int k, int i) const;           // entry i (1-based) of list k
    const SongEvent& ListEvent(int k, int i) const;

    // --- Playback cursors (written by the sequencer and the output layer,
    // read by displays on any thread) --------------------------------------
    int32_t NextEvent(int t) const {
        return nextEvent_[t].load(std::memory_order_relaxed);
    }                                                                                       // 0..64
    int32_t ListNext(int k) const { return listNext_[k].load(std::memory_order_relaxed); }  // 1..64
    int32_t TrackPortSkip(int t) const {  // 1..256
        return trackPortSkip_[t].load(std::memory_order_relaxed);
    }

    // Resets everything to the empty song.
    void Clear();
    // Takes the song of `other` (loaded elsewhere, e.g. on a worker thread),
    // which gets this one's; the cursors start over. No cursor may move
    // meanwhile (the sequencer's timer is stopped).
    void TakeFrom(SongTable& other);

    // Bytes held by the event grid, list index and payload store.
    size_t MemoryBytes() const;

    // --- Used by the loader -----------------------------------------------
    struct Builder;
    friend struct Builder;

  private:
    friend class Sequencer;
    friend class OutputLayer;
    friend struct SongCursorTestAccess;  // tests that place a cursor by hand
    std::array<std::atomic<int32_t>, kMaxTracks + 1> nextEvent_{};
    std::array<std::atomic<int32_t>, kMaxLists + 1> listNext_{};
    std::array<std::atomic<int32_t>, kMaxTrackNames + 1> trackPortSkip_{};
    std::vector<std::string> trackNames_;
    using EventRun = std::vector<SongEvent, LargeAllocator<SongEvent>>;
    using ListRun = std::vector<ListEntry, LargeAllocator<ListEntry>>;
    std::vector<EventRun> tracks_;
    // Payload rows in one contiguous store; row i spans
    // [extOffset_[i-1], extOffset_[i]).
    std::vector<uint8_t> extBytes_;
    std::vector<uint32_t> extOffset_{0};
    std::vector<TempoEntry> tempo_;
    mutable int32_t tickToMsHint_ = 0;
    int listsInUse_ = 16;
    // Format 0 keeps explicit lists; for other formats list k is track k.
    bool explicitLists_ = false;
    std::array<ListRun, kMaxLists + 1> lists_;
    int smpteTicksPerSecond_ = 0;
    double smpteFps_ = 0;
};

}  // namespace sonfara
