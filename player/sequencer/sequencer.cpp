#include "player/sequencer/sequencer.h"

#include <algorithm>
#include <climits>

#include "player/platform/midi.h"
#include "player/platform/rounding.h"

namespace sonfara::sequencer {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int32_t kSlowestDelta = -90;  // 10 %
}  // namespace

void ManualUiScheduler::Post(std::function<void()> action) {
    std::lock_guard lk(mu_);
    queue_.push_back(std::move(action));
}

int ManualUiScheduler::RunPending() {
    int n = 0;
    for (;;) {
        std::function<void()> a;
        {
            std::lock_guard lk(mu_);
            if (queue_.empty()) return n;
            a = std::move(queue_.front());
            queue_.pop_front();
        }
        a();
        ++n;
    }
}

size_t ManualUiScheduler::Pending() const {
    std::lock_guard lk(mu_);
    return queue_.size();
}

Sequencer::Sequencer(const song::SongTable& song, SongCursors& cursors, OutputLayer& out,
                     const platform::Clock& clock, platform::TimerService& timers,
                     const PlaybackSettings& settings, PlayOrder& order, UiScheduler& ui,
                     TransportHooks& hooks)
    : song_(song),
      cursors_(cursors),
      out_(out),
      clock_(clock),
      timers_(timers),
      settings_(settings),
      order_(order),
      ui_(ui),
      hooks_(hooks) {}

Sequencer::~Sequencer() {
    shuttingDown_.store(true, kRelaxed);
    KillTimer();
}

void Sequencer::AddObserver(SequencerObserver* o) {
    const bool running = TimerRunning();
    KillTimer();
    observers_.push_back(o);
    if (running) ResumeTimer();
}

void Sequencer::RemoveObserver(SequencerObserver* o) {
    const bool running = TimerRunning();
    KillTimer();
    std::erase(observers_, o);
    if (running) ResumeTimer();
}

bool Sequencer::ExternalWrd() const {
    for (auto* o : observers_)
        if (o->ExternalWrdActive()) return true;
    return false;
}

bool Sequencer::BuiltinWrd() const {
    for (auto* o : observers_)
        if (o->BuiltinWrdActive()) return true;
    return false;
}

bool Sequencer::StartTimer() {
    // One timer at a time: a leftover one is stopped before the next exists.
    if (uint32_t old = ownTimer_.exchange(0, kRelaxed); old != 0) timers_.Kill(old);
    uint32_t id = timers_.Create(settings_.mainTimerMs, settings_.mainTimerMs,
                                 [this] { return SequencerTick(); });
    ownTimer_.store(id, kRelaxed);
    timerId_.store(id, kRelaxed);
    return id != 0;
}

void Sequencer::ResumeTimer() {
    (void)StartTimer();  // only a service that has quit refuses here (see the header)
}

void Sequencer::KillTimer() {
    timerId_.store(0, kRelaxed);
    // Also when the tick has already stopped its own timer: Kill still waits
    // until that tick has returned.
    uint32_t id = ownTimer_.exchange(0, kRelaxed);
    if (id != 0) timers_.Kill(id);
}

void Sequencer::StopOwnTimer() {
    // From inside the tick: the service removes the timer and lets the tick
    // finish. ownTimer_ stays for the UI thread's KillTimer to wait on.
    timerId_.store(0, kRelaxed);
    uint32_t id = ownTimer_.load(kRelaxed);
    if (id != 0) timers_.Kill(id);
}

void Sequencer::NoteUnplayableEntry() {
    emptyInRow_.fetch_add(1, kRelaxed);
}

int32_t Sequencer::EffectiveStartAt(int32_t now) const {
    // The song runs at (100 + speedDelta_) % of real time since the last change.
    int64_t sinceRef = int64_t{now} - speedRef_.load(kRelaxed);
    return static_cast<int32_t>(speedBase_.load(kRelaxed) -
                                sinceRef * speedDelta_.load(kRelaxed) / 100);
}

int32_t Sequencer::PositionMs() const {
    if (paused_.load(kRelaxed)) return pausedPosMs_.load(kRelaxed);
    int32_t now = clock_.NowMs();
    return now - EffectiveStartAt(now);
}

void Sequencer::PositionRule(int32_t p) {
    int32_t now = clock_.NowMs();
    effectiveStart_.store(now - p, kRelaxed);
    speedBase_.store(now - p, kRelaxed);
    speedRef_.store(now, kRelaxed);
}

int64_t Sequencer::WakeForDue(int32_t dueMs, int32_t nowMs) const {
    int32_t rate = 100 + speedDelta_.load(kRelaxed);
    if (rate <= 0) return platform::kNoWake;
    auto elapsedAt = [&](int32_t m) { return m - EffectiveStartAt(m); };
    // elapsed(m) ≈ (m - speedRef_) * rate / 100 + (speedRef_ - speedBase_)
    int64_t ref = speedRef_.load(kRelaxed), base = speedBase_.load(kRelaxed);
    int64_t m = ref + ((int64_t{dueMs} - (ref - base)) * 100 + rate - 1) / rate;
    m = std::max<int64_t>(m, int64_t{nowMs} + 1);
    int32_t mm = static_cast<int32_t>(m);
    while (elapsedAt(mm) < dueMs) ++mm;
    while (mm - 1 > nowMs && elapsedAt(mm - 1) >= dueMs) --mm;
    return int64_t{mm} * 1000;
}

void Sequencer::BeginRun() {
    CursorArray& next = cursors_.NextEvents();
    for (int t = 1; t <= CursorTracks(); ++t) next[t].store(1, kRelaxed);
    int32_t start = clock_.NowMs();
    effectiveStart_.store(start, kRelaxed);
    speedBase_.store(start, kRelaxed);
    speedRef_.store(start, kRelaxed);
    CursorArray& lists = cursors_.ListNexts();
    for (int k = 1; k <= lists.Size(); ++k) lists[k].store(1, kRelaxed);
    reachedMs_ = -1;
    loopsDone_.store(0, kRelaxed);
    songStarted_.store(true, kRelaxed);
}

int64_t Sequencer::SequencerTick() {
    if (shuttingDown_.load(kRelaxed)) return platform::kNoWake;
    if (cursors_.NextEvents()[1].load(kRelaxed) == 0) BeginRun();

    const int64_t nowUs = clock_.NowUs();
    const int32_t now = static_cast<int32_t>(nowUs / 1000);
    const int32_t es = EffectiveStartAt(now);
    effectiveStart_.store(es, kRelaxed);
    firstSentMs_ = INT32_MAX;
    const bool extWrd = ExternalWrd();
    const bool eventTicks = !extWrd && settings_.easyDeltaTime;
    const int32_t elapsed = JumpIfDue(now - es, eventTicks);
    elapsedSeconds_.store(platform::RoundHalfEven(elapsed / 1000.0), kRelaxed);
    out_.SetFadeLevel(FadeLevelAt(elapsed));

    // A tick that lands past the end (high speed, a late tick) still sends
    // everything due up to the end before the end-of-song handling.
    const int32_t endMs = EndMs();
    const bool ended = elapsed > endMs;
    if (!eventTicks && !ended) currentTick_.store(song_.TimeToTick(elapsed), kRelaxed);
    const int32_t upTo = ended ? endMs : elapsed;
    out_.FlushBacklog();
    int32_t nextDue = SendDueEvents(upTo, eventTicks);
    // A jump moved the time base: its first messages have no due time here.
    if (firstSentMs_ != INT32_MAX && effectiveStart_.load(kRelaxed) == es)
        lateness_.Record(std::max<int64_t>(0, nowUs - (int64_t{es} + firstSentMs_) * 1000));
    // Messages the port could not take yet go at the next millisecond.
    if (!out_.BacklogEmpty()) nextDue = std::min(nextDue, upTo + 1);
    reachedMs_ = upTo;

    CursorArray& lists = cursors_.ListNexts();
    for (int k = 1, n = CursorLists(); k <= n; ++k) {
        const int32_t count = song_.ListCount(k);
        if (count <= 0) continue;
        int32_t i = lists[k].load(kRelaxed);
        const int32_t from = i;
        while (i <= count && TimeOf(song_.ListEvent(k, i)) <= upTo) ++i;
        if (i != from) lists[k].store(i, kRelaxed);
    }

    if (ended) {
        EndOfSong(now);
        return platform::kNoWake;
    }
    if (!settings_.preciseTiming) return platform::kNoWake;
    // The jump and the fade's end are due like events.
    if (const auto sec = ActiveSection(); sec && elapsed < sec->end)
        nextDue = std::min(nextDue, sec->end);
    if (endMs < INT32_MAX) nextDue = std::min(nextDue, endMs + 1);
    return WakeForDue(nextDue, now);
}

// --- Loops and A-B repeat ---------------------------------------------------

bool Sequencer::RepeatActive() const {
    const int32_t a = abStart_.load(kRelaxed), b = abEnd_.load(kRelaxed);
    return a >= 0 && b - a >= song::kMinLoopMs;
}

void Sequencer::SetRepeatPoints(int32_t a, int32_t b) {
    const bool running = TimerRunning();
    KillTimer();
    const bool wasActive = RepeatActive();
    const bool changed = a != abStart_.load(kRelaxed) || b != abEnd_.load(kRelaxed);
    abStart_.store(a, kRelaxed);
    abEnd_.store(b, kRelaxed);
    // A new A-B section, or the song's loop again, counts from the first pass.
    if (changed && (wasActive || RepeatActive())) loopsDone_.store(0, kRelaxed);
    if (running) ResumeTimer();
}

void Sequencer::SetLoopSection(const song::LoopPoints& p) {
    const bool running = TimerRunning();
    KillTimer();
    loop_ = p.Valid() ? p : song::LoopPoints{};
    if (running) ResumeTimer();
}

bool Sequencer::FiniteLoopCount() const {
    return settings_.loopCount > 0 && settings_.loopCount < kEndlessLoops;
}

song::LoopPoints Sequencer::CountedSection() const {
    if (!RepeatActive()) return loop_;
    if (!FiniteLoopCount()) return {};
    const int32_t a = abStart_.load(kRelaxed), b = abEnd_.load(kRelaxed);
    return song::LoopPoints{a, b, b == song_.TotalMs};
}

// The A-B section while it is set (for ever without a finite count), else
// the counted section while the loop count (or the fade after it) asks for
// another pass.
std::optional<Sequencer::Section> Sequencer::ActiveSection() const {
    const bool ab = RepeatActive();
    if (ab && !FiniteLoopCount())
        return Section{abStart_.load(kRelaxed), abEnd_.load(kRelaxed), false, false, true};
    const song::LoopPoints sec = CountedSection();
    if (!sec.Valid() || !MoreLoops()) return std::nullopt;
    return Section{sec.startMs, sec.endMs, sec.toSongEnd, true, ab};
}

bool Sequencer::MoreLoops() const {
    const int n = settings_.loopCount;
    if (n <= 0) return false;
    if (n >= kEndlessLoops || loopsDone_.load(kRelaxed) < n) return true;
    // After the last loop the section goes on repeating while the fade runs.
    const std::optional<int64_t> fade = FadeStart();
    return fade && *fade + int64_t{settings_.loopFadeSeconds} * 1000 > CountedSection().endMs;
}

// At the end of the repeating section: its last events, then the jump back
// to its start inside this tick, with no gap: what sounds is released, the
// controllers are chased as a seek does, and the time base moves back so
// the overshoot is kept. Returns the position after the jump.
int32_t Sequencer::JumpIfDue(int32_t elapsed, bool eventTicks) {
    const std::optional<Section> sec = ActiveSection();
    if (!sec || elapsed < sec->end) return elapsed;
    // A song's loop is taken by playing into its end; a seek past it plays on.
    if (sec->counted && !sec->byHand && reachedMs_ >= sec->end) return elapsed;
    const int32_t from = std::max(sec->end, reachedMs_ + 1);
    SendDueEvents(sec->upToEnd ? sec->end : sec->end - 1, eventTicks);
    const int32_t length = sec->end - sec->start;
    const int32_t over = std::max(0, elapsed - from);
    const int32_t target = sec->start + over % length;
    out_.ReleaseForJump();
    ChaseTo(sec->start, true);
    const int32_t shift = elapsed - target;
    speedBase_.fetch_add(shift, kRelaxed);
    effectiveStart_.fetch_add(shift, kRelaxed);
    if (sec->counted) loopsDone_.fetch_add(1 + over / length, kRelaxed);
    const int32_t tick = song_.TimeToTick(sec->start);
    currentTick_.store(tick, kRelaxed);
    if (ExternalWrd()) {
        for (auto* o : observers_) o->OnExternalWrdRestart(tick);
    }
    return target;
}

// Where the fade after the last loop began, in this pass's song positions
// (the passes since counted back); nullopt while no fade runs.
std::optional<int64_t> Sequencer::FadeStart() const {
    const int n = settings_.loopCount;
    if (settings_.loopFadeSeconds <= 0 || n <= 0 || n >= kEndlessLoops) return std::nullopt;
    const int done = loopsDone_.load(kRelaxed);
    const song::LoopPoints sec = CountedSection();
    if (!sec.Valid() || done < n) return std::nullopt;
    return int64_t{sec.startMs} - int64_t{done - n} * sec.LengthMs();
}

// Per mille of full volume at song position pos.
int Sequencer::FadeLevelAt(int32_t pos) const {
    const std::optional<int64_t> start = FadeStart();
    if (!start || pos <= *start) return kFullVolume;
    const int64_t fadeMs = int64_t{settings_.loopFadeSeconds} * 1000;
    return static_cast<int>(
        std::max<int64_t>(0, kFullVolume - (pos - *start) * kFullVolume / fadeMs));
}

// Where this pass of the song ends: its end, or where the fade falls silent.
int32_t Sequencer::EndMs() const {
    const std::optional<int64_t> start = FadeStart();
    if (!start) return song_.TotalMs;
    const int64_t silent = *start + int64_t{settings_.loopFadeSeconds} * 1000;
    return static_cast<int32_t>(std::clamp<int64_t>(silent, 0, song_.TotalMs));
}

int32_t Sequencer::LoopedLengthMs() const {
    const int n = settings_.loopCount;
    if (RepeatActive() && !FiniteLoopCount()) return -1;
    const song::LoopPoints sec = CountedSection();
    if (sec.Valid() && n >= kEndlessLoops) return -1;
    if (!sec.Valid() || n <= 0) return song_.TotalMs;
    const int64_t loops = int64_t{n} * sec.LengthMs();
    // With a fade the section repeats until the fade falls silent.
    const int64_t length = settings_.loopFadeSeconds > 0
                               ? sec.startMs + loops + int64_t{settings_.loopFadeSeconds} * 1000
                               : song_.TotalMs + loops;
    return static_cast<int32_t>(std::min<int64_t>(length, INT32_MAX));
}

// Sends every event due up to upToMs, track by track; returns the earliest
// time still to come (just past the end when nothing is left).
int32_t Sequencer::SendDueEvents(int32_t upToMs, bool eventTicks) {
    int32_t nextDue = song_.TotalMs < INT32_MAX ? song_.TotalMs + 1 : INT32_MAX;
    CursorArray& next = cursors_.NextEvents();
    CursorArray& skip = cursors_.TrackPortSkips();
    for (int t = 1, n = CursorTracks(); t <= n; ++t) {
        if (skip[t].load(kRelaxed) != 0) continue;
        const int32_t count = song_.EventCount(t);
        int32_t e = next[t].load(kRelaxed);
        while (e <= count) {
            const song::EventView ev = song_.Event(t, e);
            const int32_t due = TimeOf(ev);
            if (due > upToMs) {
                nextDue = std::min(nextDue, due);
                break;
            }
            firstSentMs_ = std::min(firstSentMs_, due);
            if (eventTicks) currentTick_.store(ev.tick, kRelaxed);
            next[t].store(e + 1, kRelaxed);
            if (midi::StatusKind(ev.status) != midi::kSystem) {
                out_.SendShortMessage(ev.status, ev.data1, ev.data2);
            } else if (ev.status == midi::kSysExStart) {
                out_.SendSysExEvent(ev.ExtIndex(), t, e);
            } else if (ev.status == midi::kSysExEnd) {
                out_.SendEscapeEvent(ev.ExtIndex(), t, e);
            } else if (ev.status == midi::kMetaEvent) {
                out_.HandleMetaEvent(ev.ExtIndex(), t, e);
                if (skip[t].load(kRelaxed) != 0) break;
            }
            ++e;
        }
    }
    return nextDue;
}

// A song shorter than one timer period at the current speed: repeating or
// advancing after it would run at the timer's rate.
bool Sequencer::EndedEmpty() const {
    return int64_t{song_.TotalMs} * 100 <
           int64_t{settings_.mainTimerMs} * (100 + speedDelta_.load(kRelaxed));
}

void Sequencer::EndOfSong(int32_t now) {
    cursors_.TrackPortSkips().StoreAll(0);
    // Without a list the song counts as a list of one.
    const int n = std::max(1, order_.Count());
    const platform::RepeatMode m = settings_.repeatMode;
    const bool nextEntry =
        n != 1 && (m == platform::RepeatMode::kList || m == platform::RepeatMode::kRandom);
    // Empty songs stop: the song itself when it would repeat, the list once a
    // whole pass has brought nothing that played.
    bool stop = m == platform::RepeatMode::kStopAtEnd;
    if (!stop && EndedEmpty()) {
        const int inRow = emptyInRow_.fetch_add(1, kRelaxed) + 1;
        stop = !nextEntry || inRow >= n;
    } else {
        emptyInRow_.store(0, kRelaxed);
    }
    if (stop) emptyInRow_.store(0, kRelaxed);
    auto wrdReset = [&] {
        for (auto* o : observers_) o->OnWrdScreenReset();
    };
    if (stop) {
        StopOwnTimer();
        songEnded_.store(1, kRelaxed);
        ui_.Post([this] { hooks_.EtcSyrTimer(); });
    } else if (m == platform::RepeatMode::kList && nextEntry) {
        StopOwnTimer();
        out_.ResetOutput();
        cursors_.NextEvents()[1].store(0, kRelaxed);
        const int idx = order_.Index();
        order_.SetIndex(idx == n ? 1 : idx + 1);
        out_.ClearModuleFlags();
        wrdReset();
        ui_.Post([this] { hooks_.OpenSMFProc(); });
    } else if (nextEntry) {
        rng_ = static_cast<uint32_t>(clock_.NowUs()) * 2654435761u + 1u;
        StopOwnTimer();
        rng_ = rng_ * 1664525u + 1013904223u;
        const double frac = (rng_ >> 8) / 16777216.0;  // [0, 1)
        order_.SetIndex(platform::RoundHalfEven(frac * (n - 1) + 1));
        out_.ResetOutput();
        out_.ClearModuleFlags();
        cursors_.NextEvents()[1].store(0, kRelaxed);
        wrdReset();
        ui_.Post([this] { hooks_.OpenSMFProc(); });
    } else {
        // Repeat in place. The running timer goes on instead of a new one,
        // so a kill from the UI thread during this tick stays final.
        out_.DisplayText.Set(song_.FileKindLabel);
        out_.ResetOutput();
        if (ExternalWrd()) {
            currentTick_.store(0, kRelaxed);
            for (auto* o : observers_) o->OnExternalWrdRestart(0);
        }
        effectiveStart_.store(now, kRelaxed);
        speedBase_.store(now, kRelaxed);
        speedRef_.store(now, kRelaxed);
        cursors_.NextEvents()[1].store(0, kRelaxed);
        if (BuiltinWrd()) wrdReset();
    }
}

bool Sequencer::StartSong() {
    ForgetSong();
    out_.PrepareSounds();
    loop_ = song_.Loop;
    return StartTimer();
}

void Sequencer::ForgetSong() {
    KillTimer();
    cursors_.Fit(song_);
    paused_.store(false, kRelaxed);
    pausedPosMs_.store(0, kRelaxed);
    songEnded_.store(0, kRelaxed);
    songStarted_.store(false, kRelaxed);
    currentTick_.store(0, kRelaxed);
    elapsedSeconds_.store(0, kRelaxed);
    loop_ = {};
    loopsDone_.store(0, kRelaxed);
    abStart_.store(-1, kRelaxed);
    abEnd_.store(-1, kRelaxed);
}

void Sequencer::HoldForStep() {
    KillTimer();
    out_.AllNotesOff();
    out_.ClearNoteCounts();
}

int32_t Sequencer::StepBaseMs() const {
    if (paused_.load(kRelaxed)) return pausedPosMs_.load(kRelaxed);
    return clock_.NowMs() - effectiveStart_.load(kRelaxed);
}

void Sequencer::MoveHeld(int32_t posMs) {
    PositionRule(posMs);
}

void Sequencer::SeekTo(int32_t posMs) {
    if (!SongLoaded()) return;
    if (posMs < 0) posMs = 0;
    KillTimer();
    out_.CutSound();
    out_.ResetOutput();
    if (ExternalWrd() && !portChanging_.load(kRelaxed)) {
        currentTick_.store(0, kRelaxed);
        const int32_t tick = song_.TimeToTick(posMs);
        for (auto* o : observers_) o->OnExternalWrdRestart(tick);
    }
    effectiveStart_.store(clock_.NowMs() - posMs, kRelaxed);
    if (BuiltinWrd()) {
        for (auto* o : observers_) o->OnSeekRestart(posMs);
    }
    // Back before the loop start, the loops count again from the first.
    if (const song::LoopPoints sec = CountedSection(); sec.Valid() && posMs < sec.startMs)
        loopsDone_.store(0, kRelaxed);
    out_.SetFadeLevel(FadeLevelAt(posMs));
    ChaseTo(posMs, false);
    PositionRule(posMs);
    currentTick_.store(0, kRelaxed);
    if (paused_.load(kRelaxed)) {
        // The chase may have put a pedal down: up until the song resumes.
        out_.LiftPedals();
        pausedPosMs_.store(posMs, kRelaxed);
    } else {
        ResumeTimer();
    }
}

// The song's state at posMs without its notes: every controller, program,
// pitch bend, SysEx and meta event before it is sent, the cursors set and
// the programs sent again. A seek and a loop jump share it; a jump passes
// over the module resets, since it does not reset the device either.
void Sequencer::ChaseTo(int32_t posMs, bool atJump) {
    CursorArray& next = cursors_.NextEvents();
    CursorArray& skip = cursors_.TrackPortSkips();
    skip.StoreAll(0);
    for (int t = 1, n = CursorTracks(); t <= n; ++t) {
        const int32_t count = song_.EventCount(t);
        // Also a track without events gets a cursor, so the start mark of
        // track 1 is never left behind.
        next[t].store(count + 1, kRelaxed);
        if (skip[t].load(kRelaxed) != 0) continue;
        for (int32_t e = 1; e <= count; ++e) {
            const song::EventView ev = song_.Event(t, e);
            if (TimeOf(ev) >= posMs) {
                next[t].store(e, kRelaxed);
                break;
            }
            const int kind = midi::StatusKind(ev.status);
            bool stop = false;
            if (kind == midi::kPitchBend || kind == midi::kControlChange ||
                kind == midi::kProgramChange) {
                out_.SendShortMessage(ev.status, ev.data1, ev.data2);
            } else if (ev.status == midi::kSysExStart) {
                if (!atJump || !IsModuleReset(song_.ExtRow(ev.ExtIndex())))
                    out_.SendSysExEvent(ev.ExtIndex(), t, e);
            } else if (ev.status == midi::kMetaEvent) {
                out_.HandleMetaEvent(ev.ExtIndex(), t, e);
                stop = skip[t].load(kRelaxed) != 0;
            }
            next[t].store(e + 1, kRelaxed);
            if (stop) break;
        }
    }
    SetListCursors(posMs);
    out_.ResendPrograms();
    reachedMs_ = posMs - 1;
}

void Sequencer::SetListCursors(int32_t posMs) {
    CursorArray& lists = cursors_.ListNexts();
    for (int k = 1, n = CursorLists(); k <= n; ++k) {
        const int32_t count = song_.ListCount(k);
        if (count <= 0) continue;
        int32_t i = 1;
        while (i <= count && TimeOf(song_.ListEvent(k, i)) <= posMs) ++i;
        lists[k].store(i, kRelaxed);
    }
}

void Sequencer::StopSong() {
    if (!SongLoaded()) return;
    if (!paused_.load(kRelaxed)) {
        KillTimer();
        paused_.store(true, kRelaxed);
        out_.CutSound();
        out_.ResetOutput();
    }
    // Playing again starts from the beginning: pedals lifted at a pause stay up.
    out_.ForgetLiftedPedals();
    pausedPosMs_.store(0, kRelaxed);
    cursors_.NextEvents()[1].store(0, kRelaxed);
    songEnded_.store(0, kRelaxed);
    loopsDone_.store(0, kRelaxed);
    out_.SetFadeLevel(kFullVolume);  // stopped while paused in a fade: no reset brought it back
    if (ExternalWrd()) {
        currentTick_.store(0, kRelaxed);
        for (auto* o : observers_) o->OnExternalWrdRestart(0);
    }
}

void Sequencer::RestartSong() {
    StopSong();
    ResumeSong();
}

void Sequencer::PauseSong() {
    if (!SongLoaded() || paused_.load(kRelaxed)) return;
    paused_.store(true, kRelaxed);
    KillTimer();
    pausedPosMs_.store(clock_.NowMs() - EffectiveStartAt(clock_.NowMs()), kRelaxed);
    out_.AllNotesOff();
    // Held pedals would keep the released notes sounding through the pause.
    out_.LiftPedals();
    out_.ClearNoteCounts();
    for (auto* o : observers_) o->OnExternalWrdPause();
}

void Sequencer::ResumeSong() {
    if (!SongLoaded() || !paused_.load(kRelaxed)) return;
    paused_.store(false, kRelaxed);
    out_.RestorePedals();
    PositionRule(pausedPosMs_.load(kRelaxed));
    ResumeTimer();
    for (auto* o : observers_) o->OnExternalWrdResume();
}

PlaybackStatus Sequencer::ChangeOutputPort(int device) {
    PlaybackStatus opened;
    if (SongLoaded()) {
        const int32_t p = PositionMs();
        KillTimer();
        out_.AllNotesOff();
        out_.DeviceReset();
        out_.SendGMSystemOn();
        out_.CloseOutputPort();
        opened = out_.OpenOutputPort(device);
        portChanging_.store(true, kRelaxed);
        SeekTo(p);
        portChanging_.store(false, kRelaxed);
    } else {
        out_.CloseOutputPort();
        opened = out_.OpenOutputPort(device);
    }
    return opened;
}

void Sequencer::PlayNextSong() {
    const int n = order_.Count();
    if (n <= 1) return;
    const int i = order_.Index();
    order_.SetIndex(i == n ? 1 : i + 1);
    hooks_.OpenSMFProc();
}

void Sequencer::PlayPrevSong() {
    const int n = order_.Count();
    if (n <= 1) return;
    const int i = order_.Index();
    order_.SetIndex(i == 1 ? n : i - 1);
    hooks_.OpenSMFProc();
}

void Sequencer::RestartTimer() {
    // Only a running song: a song stopped at its end stays stopped.
    if (paused_.load(kRelaxed) || !TimerRunning()) return;
    KillTimer();
    ResumeTimer();
}

void Sequencer::SetSpeedDelta(int delta) {
    delta = std::max<int>(delta, kSlowestDelta);
    // The timer is held while the three time-base values change together.
    const bool running = TimerRunning();
    KillTimer();
    const int32_t now = clock_.NowMs();
    speedBase_.store(EffectiveStartAt(now), kRelaxed);
    speedRef_.store(now, kRelaxed);
    speedDelta_.store(delta, kRelaxed);
    if (running) ResumeTimer();
}

void Sequencer::SpeedUp() {
    SetSpeedDelta(speedDelta_.load(kRelaxed) + 10);
}

void Sequencer::SpeedDown() {
    if (speedDelta_.load(kRelaxed) <= kSlowestDelta) return;
    SetSpeedDelta(speedDelta_.load(kRelaxed) - 10);
}

}  // namespace sonfara::sequencer
