#include "player/song/song_table.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <utility>

#include "player/platform/midi.h"
#include "player/platform/rounding.h"
#include "player/platform/text_decoding.h"

namespace sonfara::song {

namespace {
const std::string kEmpty;
}  // namespace

void EventView::FindRow() {
    extIndex_ = song_->ExtIndexOf(track_, index_);
    data1 = static_cast<uint8_t>(extIndex_ >> 8);
    data2 = static_cast<uint8_t>(extIndex_ & 0xFF);
}

int32_t EventView::TimeMs() const {
    return song_ ? song_->TickToMs(tick) : 0;
}

int32_t EventView::Length() const {
    if (status < midi::kSysExStart) {
        const uint8_t kind = midi::StatusKind(status);
        return kind == midi::kProgramChange || kind == midi::kChannelPressure ? 1 : 2;
    }
    const auto row = song_->ExtRow(extIndex_);
    return static_cast<int32_t>(row.size()) - (status == midi::kMetaEvent && !row.empty() ? 1 : 0);
}

SongTable::SongTable() {
    Clear();
}

void SongTable::SizeForTracks(int tracks) {
    const int lists = std::max(16, tracks);
    trackNames_.assign(static_cast<size_t>(std::max(1, tracks)) + 1, std::string());
    listsInUse_ = lists;
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
    textCodePage_ = &platform::CodePageNamed(platform::CodePage::kDefaultName);
    tracks_.clear();
    // Given back, not kept: a loaded song's arrays may be large.
    extBytes_ = {};
    extEnd_ = {};
    extEvent_ = {};
    textRows_ = {};
    extFirst_.assign(1, 0);
    explicitLists_ = false;
    lists_.clear();
    smpteTicksPerSecond_ = 0;
    smpteFps_ = 0;
    ResetTempoMap();
    SizeForTracks(0);
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
    swap(textCodePage_, other.textCodePage_);
    swap(tracks_, other.tracks_);
    swap(extBytes_, other.extBytes_);
    swap(extEnd_, other.extEnd_);
    swap(extEvent_, other.extEvent_);
    swap(textRows_, other.textRows_);
    swap(extFirst_, other.extFirst_);
    swap(tempo_, other.tempo_);
    swap(listsInUse_, other.listsInUse_);
    swap(explicitLists_, other.explicitLists_);
    swap(lists_, other.lists_);
    swap(smpteTicksPerSecond_, other.smpteTicksPerSecond_);
    swap(smpteFps_, other.smpteFps_);
}

const std::string& SongTable::TrackName(int t) const {
    if (t < 1 || t >= static_cast<int>(trackNames_.size())) return kEmpty;
    return trackNames_[t];
}

void SongTable::SetTrackName(int t, std::string name) {
    if (t < 1 || t >= static_cast<int>(trackNames_.size())) return;
    trackNames_[t] = std::move(name);
}

int32_t SongTable::EventCount(int t) const {
    if (t < 1 || t > static_cast<int>(tracks_.size())) return 0;
    return static_cast<int32_t>(tracks_[t - 1].size());
}

EventView SongTable::Event(int t, int e) const {
    assert(t >= 1 && t <= static_cast<int>(tracks_.size()));
    assert(e >= 1 && e <= static_cast<int>(tracks_[t - 1].size()));
    return EventView(*this, t, e, tracks_[t - 1][e - 1]);
}

TrackEventRange SongTable::TrackEvents(int t) const {
    if (t < 1 || t > static_cast<int>(tracks_.size())) return {};
    return TrackEventRange(this, t, tracks_[t - 1]);
}

std::span<const uint32_t> SongTable::ExtEventsOf(int t) const {
    if (t < 1 || t >= static_cast<int>(extFirst_.size())) return {};
    return std::span<const uint32_t>(extEvent_).subspan(
        static_cast<size_t>(extFirst_[t - 1]),
        static_cast<size_t>(extFirst_[t] - extFirst_[t - 1]));
}

int32_t SongTable::ExtIndexOf(int t, int32_t e) const {
    if (t < 1 || t >= static_cast<int>(extFirst_.size())) return 0;
    const auto first = extEvent_.begin() + extFirst_[t - 1];
    const auto last = extEvent_.begin() + extFirst_[t];
    const auto it = std::lower_bound(first, last, static_cast<uint32_t>(e - 1));
    if (it == last || *it != static_cast<uint32_t>(e - 1)) return 0;
    return static_cast<int32_t>(it - extEvent_.begin()) + 1;
}

std::vector<std::string_view> SongTable::MetaTexts(size_t maxBytes) const {
    std::vector<std::string_view> texts;
    size_t total = 0;
    for (size_t i = 0; i < textRows_.size() && total < maxBytes; ++i) {
        const auto row = ExtRow(static_cast<int>(textRows_[i]) + 1);
        texts.emplace_back(reinterpret_cast<const char*>(row.data()) + 1, row.size() - 1);
        total += row.size();
    }
    return texts;
}

std::span<const uint8_t> SongTable::ExtRow(int extIndex) const {
    if (extIndex < 1 || extIndex > ExtCount()) return {};
    const uint32_t begin = extIndex > 1 ? extEnd_[extIndex - 2] : 0;
    return std::span<const uint8_t>(extBytes_.data() + begin, extEnd_[extIndex - 1] - begin);
}

uint8_t SongTable::ExtendedData(int extIndex, int k) const {
    auto row = ExtRow(extIndex);
    if (k < 1 || k > static_cast<int>(row.size())) return 0;
    return row[k - 1];
}

void SongTable::ResetTempoMap() {
    tempo_ = {};
    tempo_.reserve(1000);
    TempoEntry first;
    first.tempo = 60000000 / 120;
    first.tick = 0;
    first.timeMs = 0;
    tempo_.push_back(first);
}

void SongTable::AddTempo(int32_t tempo, int32_t tick) {
    TempoEntry e;
    e.tempo = tempo;
    e.tick = tick;
    e.timeMs = TempoTimeMs(tempo_.back(), tick);
    tempo_.push_back(e);  // grows geometrically
}

int32_t SongTable::TempoTimeMs(const TempoEntry& prev, int32_t tick) const {
    // SMPTE timing ignores the tempo; the entry is kept for displays.
    if (smpteTicksPerSecond_ > 0) return TickToMs(tick);
    double ms =
        (static_cast<double>(tick) - prev.tick) / Division * prev.tempo / 1000.0 + prev.timeMs;
    return platform::RoundHalfEven(ms);
}

int32_t SongTable::TickToMs(int32_t tick) const {
    int32_t hint = 0;
    return TickToMs(tick, hint);
}

int32_t SongTable::TickToMs(int32_t tick, int32_t& hint) const {
    if (smpteTicksPerSecond_ > 0) {
        if (tick <= 0) return 0;
        return platform::RoundHalfEven(static_cast<double>(tick) * 1000.0 / smpteTicksPerSecond_);
    }
    // i: the first entry (1-based) at or after the tick; the segment is the
    // one before it. A hint just behind the tick is followed a few entries,
    // anything else is a binary search.
    const int32_t count = TempoCount();
    int32_t i = 0;
    if (hint >= 1 && hint <= count && Tempo(hint).tick < tick) {
        i = hint + 1;
        for (int step = 0; step < 8 && i <= count && Tempo(i).tick < tick; ++step) ++i;
        if (i <= count && Tempo(i).tick < tick) i = 0;
    }
    if (i == 0) {
        const auto at = std::lower_bound(tempo_.begin(), tempo_.end(), tick,
                                         [](const TempoEntry& e, int32_t t) { return e.tick < t; });
        i = static_cast<int32_t>(at - tempo_.begin()) + 1;
    }
    if (i == 1) {
        hint = 0;
        return 0;
    }
    const TempoEntry& seg = Tempo(i - 1);
    hint = i - 1;
    double ms =
        (static_cast<double>(tick) - seg.tick) / static_cast<double>(TicksPerMs(seg.tempo)) +
        seg.timeMs;
    return platform::RoundHalfEven(ms);
}

int32_t SongTable::TimeToTick(int32_t ms) const {
    if (ms <= 0) return 0;  // mirrors TickToMs, which maps ticks <= 0 to 0
    if (smpteTicksPerSecond_ > 0) {
        return platform::RoundHalfEven(static_cast<double>(ms) * smpteTicksPerSecond_ / 1000.0);
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
    return platform::RoundHalfEven(static_cast<double>(static_cast<float>(Division) * quarters));
}

int32_t SongTable::TicksPerQuarter() const {
    if (Division > 0) return Division;
    if (smpteTicksPerSecond_ > 0) return std::max(1, smpteTicksPerSecond_ / 2);
    return 1;
}

int32_t SongTable::ListCount(int k) const {
    if (k < 1 || k > listsInUse_) return 0;
    if (explicitLists_)
        return k < static_cast<int>(lists_.size()) ? static_cast<int32_t>(lists_[k].size()) : 0;
    return EventCount(k);
}

ListEntry SongTable::ListAt(int k, int i) const {
    if (explicitLists_) return lists_[k][i - 1];
    return ListEntry{static_cast<uint16_t>(k), i};
}

EventView SongTable::ListEvent(int k, int i) const {
    if (k < 1 || k > listsInUse_ || i < 1 || i > ListCount(k)) return {};
    ListEntry le = ListAt(k, i);
    return Event(le.track, le.event);
}

size_t SongTable::MemoryBytes() const {
    size_t n = extBytes_.size() + extEnd_.size() * sizeof(uint32_t) +
               (extEvent_.size() + textRows_.size()) * sizeof(uint32_t) +
               extFirst_.size() * sizeof(int32_t) + tempo_.size() * sizeof(TempoEntry);
    for (const auto& t : tracks_) n += t.size() * sizeof(SongEvent);
    for (const auto& l : lists_) n += l.size() * sizeof(ListEntry);
    return n;
}

}  // namespace sonfara::song
