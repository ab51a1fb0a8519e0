#include "player/sequencer/shown_channels.h"

#include <algorithm>

#include "player/platform/midi.h"

namespace sonfara::sequencer {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;

template <typename T>
void Copy(std::atomic<T>& to, const std::atomic<T>& from) {
    to.store(from.load(kRelaxed), kRelaxed);
}
}  // namespace

ShownChannels::ShownChannels(Channels& live, std::atomic<int32_t>& liveSounding)
    : live_(live), liveSounding_(liveSounding), ring_(std::make_unique<Entry[]>(kCapacity)) {}

void ShownChannels::SetDelay(const platform::Clock* clock, int64_t delayUs) {
    const bool delayed = clock != nullptr && delayUs > 0;
    // A clock once set stays: a display thread may be reading it.
    if (clock) clock_.store(clock, std::memory_order_release);
    delayUs_.store(delayed ? delayUs : 0, kRelaxed);
    ShowAtOnce();
    delayed_.store(delayed, std::memory_order_release);
}

void ShownChannels::Push(uint8_t status, uint8_t d1, uint8_t d2) {
    if (!Delayed()) return;
    const uint64_t head = head_.load(kRelaxed);
    if (head - tail_.load(std::memory_order_acquire) >= kCapacity) {
        // The displays have not looked for a while: show what is live.
        ShowAtOnce();
        return;
    }
    const int64_t due = clock_.load(kRelaxed)->NowUs() + delayUs_.load(kRelaxed);
    const uint32_t packed = status | uint32_t{d1} << 8 | uint32_t{d2} << 16;
    ring_[head % kCapacity] = {due, packed, generation_.load(kRelaxed)};
    head_.store(head + 1, std::memory_order_release);
}

void ShownChannels::ShowAtOnce() {
    generation_.fetch_add(1, std::memory_order_release);
}

void ShownChannels::CatchUp() {
    if (!Delayed()) return;
    std::lock_guard lk(mu_);
    const uint32_t generation = generation_.load(std::memory_order_acquire);
    const int64_t now = clock_.load(std::memory_order_acquire)->NowUs();
    const uint64_t head = head_.load(std::memory_order_acquire);
    uint64_t tail = tail_.load(kRelaxed);
    if (generation != shownGeneration_) {
        shownGeneration_ = generation;
        CopyLive();
    }
    for (; tail != head; ++tail) {
        const Entry& e = ring_[tail % kCapacity];
        if (e.generation > generation) break;  // pushed after a change not yet shown
        if (e.generation < generation) continue;
        if (e.dueUs > now) break;
        TakeIntoState(shown_[midi::ChannelOf(e.packed)], shownSounding_,
                      static_cast<uint8_t>(e.packed), static_cast<uint8_t>(e.packed >> 8),
                      static_cast<uint8_t>(e.packed >> 16));
    }
    tail_.store(tail, std::memory_order_release);
}

// Levels are the displays' own (they decay there): a reset's 0 is taken,
// anything else keeps falling as it was.
void ShownChannels::CopyLive() {
    int32_t sounding = 0;
    for (size_t c = 0; c < shown_.size(); ++c) {
        ChannelState& to = shown_[c];
        const ChannelState& from = live_[c];
        Copy(to.Enabled, from.Enabled);
        for (size_t n = 0; n < to.NoteOn.size(); ++n) {
            Copy(to.NoteOn[n], from.NoteOn[n]);
            if (to.NoteOn[n].load(kRelaxed) != 0) ++sounding;
        }
        Copy(to.NoteCount, from.NoteCount);
        to.Level.store(std::min(to.Level.load(kRelaxed), from.Level.load(kRelaxed)), kRelaxed);
        Copy(to.Volume, from.Volume);
        Copy(to.Pan, from.Pan);
        Copy(to.Reverb, from.Reverb);
        Copy(to.Chorus, from.Chorus);
        Copy(to.Expression, from.Expression);
        Copy(to.Modulation, from.Modulation);
        Copy(to.PitchBend, from.PitchBend);
        Copy(to.Program, from.Program);
        Copy(to.BankMSB, from.BankMSB);
        Copy(to.BankLSB, from.BankLSB);
        to.KeyDirty.store(-1, kRelaxed);
        to.Dirty.store(-1, kRelaxed);
    }
    shownSounding_.store(sounding, kRelaxed);
}

int ShownChannels::SoundingNotes() const {
    return (Delayed() ? shownSounding_ : liveSounding_).load(kRelaxed);
}

}  // namespace sonfara::sequencer
