#include "player/song/song_table.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <utility>

namespace sonfara {

int32_t RoundHalfEven(double v) {
    // nearbyint follows the default rounding mode: to nearest, ties to even.
    double r = std::nearbyint(v);
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(r);
}

namespace {
const std::string kEmpty;
const SongEvent kNoEvent;
}  // namespace

SongTable::SongTable() {
    Clear();
}

void SongTable::Clear() {
    Format = 0;
    NTracks = 0;
    Division = 0;
    SongTitle.clear();
    TotalMs = 0;
    TotalSeconds = 0;
    BeatQuarters = 4;
    BeatNumerator = 4;
    BeatDenominator = 4;
    Loop = {};
    Loaded = false;
    trackNames_.assign(kMaxTrackNames + 1, std::string());
    tracks_.clear();
    extBytes_.clear();
    extOffset_.assign(1, 0);
    listsInUse_ = 16;
    explicitLists_ = false;
    for (auto& l : lists_) l.clear();
    smpteTicksPerSecond_ = 0;
    smpteFps_ = 0;
    ResetTempoMap();
    for (auto& c : nextEvent_) c.store(0, std::memory_order_relaxed);
    for (auto& c : listNext_) c.store(0, std::memory_order_relaxed);
    for (auto& c : trackPortSkip_) c.store(0, std::memory_order_relaxed);
}

void SongTable::TakeFrom(SongTable& other) {
    using std::swap;
    swap(Format, other.Format);
    swap(NTracks, other.NTracks);
    swap(Division, other.Division);
    swap(SongTitle, other.SongTitle);
    swap(FileKindLabel, other.FileKindLabel);
    swap(SongFileName, other.SongFileName);
    swap(TotalMs, other.TotalMs);
    swap(TotalSeconds, other.TotalSeconds);
    swap(BeatQuarters, other.BeatQuarters);
    swap(BeatNumerator, other.BeatNumerator);
    swap(BeatDenominator, other.BeatDenominator);
    swap(Loop, other.Loop);
    swap(Loaded, other.Loaded);
    swap(trackNames_, other.trackNames_);
    swap(tracks_, other.tracks_);
    swap(extBytes_, other.extBytes_);
    swap(extOffset_, other.extOffset_);
    swap(tempo_, other.tempo_);
    swap(tickToMsHint_, other.tickToMsHint_);
    swap(listsInUse_, other.listsInUse_);
    swap(explicitLists_, other.explicitLists_);
    swap(lists_, other.lists_);
    swap(smpteTicksPerSecond_, other.smpteTicksPerSecond_);
    swap(smpteFps_, other.smpteFps_);
    for (auto* table : {this, &other}) {
        for (auto& c : table->nextEvent_) c.store(0, std::memory_order_relaxed);
        for (auto& c : table->listNext_) c.store(0, std::memory_order_relaxed);
        for (auto& c : table->trackPortSkip_) c.store(0, std::memory_order_relaxed);
    }
}

const std::string& SongTable::TrackName(int t) const {
    if (t < 1 || t > kMaxTrackNames) return kEmpty;
    return trackNames_[t];
}

void SongTable::SetTrackName(int t, std::string name) {
    if (t < 1 || t > kMaxTrackNames) return;
    trackNames_[t] = std::move(name);
}

int32_t SongTable::EventCount(int t) const {
    if (t < 1 || t > static_cast<int>(tracks_.size())) return 0;
    return static_cast<int32_t>(tracks_[t - 1].size());
}

const SongEvent& SongTable::Event(int t, int e) const {
    assert(t >= 1 && t <= static_cast<int>(tracks_.size()));
    assert(e >= 1 && e <= static_cast<int>(tracks_[t - 1].size()));
    return tracks_[t - 1][e - 1];
}

std::span<const SongEvent> SongTable::TrackEvents(int t) const {
    if (t < 1 || t > static_cast<int>(tracks_.size())) return {};
    return tracks_[t - 1];
}

std::span<const uint8_t> SongTable::ExtRow(int extIndex) const {
    if (extIndex < 1 || extIndex > ExtCount()) return {};
    return std::span<const uint8_t>(extBytes_.data() + extOffset_[extIndex - 1],
                                    extOffset_[extIndex] - extOffset_[extIndex - 1]);
}

uint8_t SongTable::ExtendedData(int extIndex, int k) const {
    auto row = ExtRow(extIndex);
    if (k < 1 || k > static_cast<int>(row.size())) return 0;
    return row[k - 1];
}

void SongTable::ResetTempoMap() {
    tempo_.clear();
    tempo_.reserve(1000);
    TempoEntry first;
    first.tempo = 60000000 / 120;
    first.tick = 0;
    first.timeMs = 0;
    first.ticksPerMs = static_cast<float>(Division) * 1000.0f / static_cast<float>(first.tempo);
    tempo_.push_back(first);
    tickToMsHint_ = 0;
}

void SongTable::AddTempo(int32_t tempo, int32_t tick) {
    const TempoEntry& prev = tempo_.back();
    TempoEntry e;
    e.tempo = tempo;
    e.tick = tick;
    if (smpteTicksPerSecond_ > 0) {
        // SMPTE timing ignores the tempo; keep the entry for displays.
        e.timeMs = TickToMs(tick);
    } else {
        double ms =
            (static_cast<double>(tick) - prev.tick) / Division * prev.tempo / 1000.0 + prev.timeMs;
        e.timeMs = RoundHalfEven(ms);
    }
    e.ticksPerMs = static_cast<float>(Division) * 1000.0f / static_cast<float>(tempo);
    if (tempo_.size() == tempo_.capacity()) tempo_.reserve(tempo_.size() + 1000);
    tempo_.push_back(e);
}

int32_t SongTable::TickToMs(int32_t tick) const {
    if (smpteTicksPerSecond_ > 0) {
        if (tick <= 0) return 0;
        return RoundHalfEven(static_cast<double>(tick) * 1000.0 / smpteTicksPerSecond_);
    }
    const int32_t count = TempoCount();
    int32_t s = 1;
    if (tickToMsHint_ != 0 && tickToMsHint_ <= count && Tempo(tickToMsHint_).tick < tick)
        s = tickToMsHint_;
    int32_t i = s;
    while (i <= count && Tempo(i).tick < tick) ++i;
    const TempoEntry* seg;
    if (i == 1) {
        tickToMsHint_ = 0;
        return 0;
    } else if (i <= count) {
        seg = &Tempo(i - 1);
        tickToMsHint_ = i - 1;
    } else {
        seg = &Tempo(count);
        tickToMsHint_ = count - 1;
    }
    double ms = (static_cast<double>(tick) - seg->tick) / static_cast<double>(seg->ticksPerMs) +
                seg->timeMs;
    return RoundHalfEven(ms);
}

int32_t SongTable::TimeToTick(int32_t ms) const {
    if (ms <= 0) return 0;  // mirrors TickToMs, which maps ticks <= 0 to 0
    if (smpteTicksPerSecond_ > 0) {
        return RoundHalfEven(static_cast<double>(ms) * smpteTicksPerSecond_ / 1000.0);
    }
    const int32_t count = TempoCount();
    // Entry 0 stands for time 0; its term is always zero because entry 1
    // starts at 0 ms.
    int32_t n = 0;
    while (n < count && Tempo(n + 1).timeMs <= ms) ++n;
    auto timeAt = [&](int k) -> float {
        return k == 0 ? 0.0f : static_cast<float>(Tempo(k).timeMs);
    };
    auto tempoAt = [&](int k) -> float {
        return k == 0 ? 500.0f : static_cast<float>(Tempo(k).tempo);
    };
    float quarters = 0.0f;
    for (int k = 1; k <= n; ++k) {
        quarters += (timeAt(k) - timeAt(k - 1)) * 1000.0f / tempoAt(k - 1);
    }
    quarters += (static_cast<float>(ms) - timeAt(n)) * 1000.0f / tempoAt(n);
    return RoundHalfEven(static_cast<double>(static_cast<float>(Division) * quarters));
}

int32_t SongTable::TicksPerQuarter() const {
    if (Division > 0) return Division;
    if (smpteTicksPerSecond_ > 0) return std::max(1, smpteTicksPerSecond_ / 2);
    return 1;
}

int32_t SongTable::ListCount(int k) const {
    if (k < 1 || k > kMaxLists) return 0;
    if (explicitLists_) return static_cast<int32_t>(lists_[k].size());
    return EventCount(k);
}

ListEntry SongTable::ListAt(int k, int i) const {
    if (explicitLists_) return lists_[k][i - 1];
    return ListEntry{static_cast<uint8_t>(k), i};
}

const SongEvent& SongTable::ListEvent(int k, int i) const {
    if (k < 1 || k > kMaxLists || i < 1 || i > ListCount(k)) return kNoEvent;
    ListEntry le = ListAt(k, i);
    return Event(le.track, le.event);
}

size_t SongTable::MemoryBytes() const {
    size_t n = extBytes_.size() + extOffset_.size() * sizeof(uint32_t) +
               tempo_.size() * sizeof(TempoEntry);
    for (const auto& t : tracks_) n += t.size() * sizeof(SongEvent);
    for (const auto& l : lists_) n += l.size() * sizeof(ListEntry);
    return n;
}

}  // namespace sonfara
