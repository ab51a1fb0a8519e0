// Where playback stands in the loaded song: per track the next event to
// send and the port its meta event named, per display list the next entry.
// The player owns the set; the sequencer and the output layer move it while
// displays read it on any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "player/song/event_list.h"
#include "player/song/song_table.h"

namespace sonfara::sequencer {

// Relaxed atomics 1..n. They never move in memory while sized, so readers on
// other threads may load them while the owner writes.
class CursorArray {
  public:
    explicit CursorArray(int n = 0) { Reset(n); }
    void Reset(int n) {
        v_ = std::make_unique<std::atomic<int32_t>[]>(static_cast<size_t>(n) + 1);
        n_ = n;
    }
    int Size() const { return n_; }  // highest valid index
    // Unchecked: for the sequencer's loops, which stay within Size().
    std::atomic<int32_t>& operator[](int i) { return v_[i]; }
    int32_t Load(int i) const {
        return i >= 0 && i <= n_ ? v_[i].load(std::memory_order_relaxed) : 0;
    }
    void Store(int i, int32_t value) {
        if (i >= 0 && i <= n_) v_[i].store(value, std::memory_order_relaxed);
    }
    void StoreAll(int32_t value) {
        for (int i = 0; i <= n_; ++i) v_[i].store(value, std::memory_order_relaxed);
    }

  private:
    std::unique_ptr<std::atomic<int32_t>[]> v_;
    int n_ = 0;
};

class SongCursors final : public song::ListPlayback {
  public:
    SongCursors();
    SongCursors(const SongCursors&) = delete;
    SongCursors& operator=(const SongCursors&) = delete;

    // Sized for `song` (at least 16 tracks and lists, as the empty song) and
    // all at rest (0). UI thread with the timer killed: an array moves only
    // when its size changes.
    void Fit(const song::SongTable& song);
    // All at rest, sizes kept (a load has begun).
    void Rest();

    // --- Read access (relaxed loads; any thread); 0 outside the range -------
    // Next event (1-based) of track t; 0: no run has begun.
    int32_t NextEvent(int t) const { return nextEvent_.Load(t); }
    // Next entry of display list k.
    int32_t ListNext(int k) const override { return listNext_.Load(k); }
    // The port a track's port meta event named; not 0: the track is skipped.
    int32_t TrackPortSkip(int t) const { return trackPortSkip_.Load(t); }

    // --- Writers: the timer thread, or the UI thread with the timer killed.
    // The setters check the range; the arrays are for the sequencer's loops.
    void SetNextEvent(int t, int32_t v) { nextEvent_.Store(t, v); }
    void SetListNext(int k, int32_t v) { listNext_.Store(k, v); }
    void SetTrackPortSkip(int t, int32_t v) { trackPortSkip_.Store(t, v); }
    CursorArray& NextEvents() { return nextEvent_; }
    CursorArray& ListNexts() { return listNext_; }
    CursorArray& TrackPortSkips() { return trackPortSkip_; }

  private:
    CursorArray nextEvent_;
    CursorArray listNext_;
    CursorArray trackPortSkip_;
};

}  // namespace sonfara::sequencer
