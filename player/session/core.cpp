#include "player/session/core.h"

#include <algorithm>

#include "player/platform/rounding.h"
#include "player/session/engine_settings.h"

namespace sonfara::session {

void SessionCore::GuardedUi::Post(std::function<void()> action) {
    // Actions queued before a shut-down find the token cleared and do nothing.
    ui_.Post([alive = alive_, a = std::move(action)] {
        if (alive->load()) a();
    });
}

namespace {
settings::SettingsValues LoadedValues(const SessionEnv& env, const files::ShapingCatalog& catalog,
                                      const std::vector<std::string>& ports) {
    if (!env.settingsStore) return {};
    return settings::LoadSettings(*env.settingsStore, MenusFor(catalog, ports), env.priority)
        .values;
}
}  // namespace

bool SessionCore::ReadStoredTextEncoding(const SessionEnv& env) {
    if (!env.settingsStore) return false;
    platform::SetSettingTextEncoding(
        platform::TextEncodingOfSetting(settings::StoredTextEncodingSetting(*env.settingsStore)));
    return true;
}

// A new encoding choice: the song's texts are read again here, its lyrics
// and the arrangement captions by the parts that keep them; the windows
// follow OnSettingsChanged and OnCatalogChanged.
void SessionCore::ApplyTextEncoding() {
    platform::SetSettingTextEncoding(platform::TextEncodingOfSetting(values_.textEncoding));
    song::SongTable& song = player_.Song();
    if (song.Loaded) song.SetTextCodePage(song::DecideSongTextCodePage(song));
}

void SessionCore::ValuesChanged(const settings::SettingsValues& before,
                                const settings::SettingsValues& now) {
    if (now.textEncoding != before.textEncoding) ApplyTextEncoding();
    for (SessionPart* p : parts_) p->ValuesChanged(before, now);
}

void SessionCore::SongLoadedAt(const std::string& path) {
    for (SessionPart* p : parts_) p->SongLoaded(path);
}

void SessionCore::SongUnloaded() {
    for (SessionPart* p : parts_) p->SongUnloaded();
}

void SessionCore::SongCleared() {
    for (SessionPart* p : parts_) p->SongCleared();
}

files::ShapingCatalog SessionCore::LoadCatalog(const files::ShapingFolders& folders) {
    files::ShapingCatalog c;
    c.Load(folders);
    return c;
}

SessionCore::SessionCore(SessionEnv env)
    : env_(std::move(env)),
      catalog_(LoadCatalog(env_.shapingFolders)),
      portNames_(env_.ports.PortNames()),
      values_(LoadedValues(env_, catalog_, portNames_)),
      player_(sequencer::PlayerEnv{env_.clock, env_.timers, env_.ports, ui_, env_.codePage},
              PlaybackSettingsFromValues(values_)) {
    env_.ports.SetSynthBufferFrames(values_.synthBufferFrames);
    player_.SetSoundShaping(SoundShapingFromValues(values_, catalog_));
    player_.AddObserver(this);
    player_.AddLoadObserver(this);
    player_.Output().AddObserver(this);
}

// The session shuts down before its parts go; nothing is left for here.
SessionCore::~SessionCore() = default;

void SessionCore::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    alive_->store(false);
    player_.Shutdown();
    for (SessionPart* p : parts_) p->ShutDown();
    SaveStoredSettings();
}

void SessionCore::Suspend() {
    if (shutDown_) return;
    player_.Shutdown();
    SaveStoredSettings();
}

void SessionCore::SaveStoredSettings() {
    if (!env_.settingsStore || !env_.saveSettings) return;
    values_.recentFiles = files_->Recent().Items();
    const settings::SettingsStatus saved =
        settings::SaveSettings(values_, MenusFor(catalog_, portNames_), *env_.settingsStore);
    // Every hide and the exit try again; the user hears of it once.
    if (saved.ok() || saveFailureTold_) return;
    saveFailureTold_ = true;
    env_.notifier.Error(saved.Message());
}

void SessionCore::ApplyShaping() {
    player_.SetSoundShaping(SoundShapingFromValues(values_, catalog_));
}

// --- Observers ---------------------------------------------------------------

void SessionCore::AddObserver(SessionObserver* o) {
    std::lock_guard lk(observersMu_);
    if (std::find(observers_.begin(), observers_.end(), o) == observers_.end())
        observers_.push_back(o);
}

void SessionCore::RemoveObserver(SessionObserver* o) {
    // Hooks of both kinds run under these locks, so none runs on `o` afterwards.
    std::lock_guard ui(uiHooksMu_);
    std::lock_guard lk(observersMu_);
    std::erase(observers_, o);
}

void SessionCore::ForEachObserver(const std::function<void(SessionObserver*)>& hook) {
    std::lock_guard ui(uiHooksMu_);
    std::vector<SessionObserver*> copy;
    {
        std::lock_guard lk(observersMu_);
        copy = observers_;
    }
    for (SessionObserver* o : copy) {
        {
            // A hook may remove another observer; skip it once it is gone.
            std::lock_guard lk(observersMu_);
            if (std::find(observers_.begin(), observers_.end(), o) == observers_.end()) continue;
        }
        hook(o);
    }
}

template <typename F>
void SessionCore::ForEachObserverLocked(F hook) {
    std::lock_guard lk(observersMu_);
    for (SessionObserver* o : observers_) hook(o);
}

void SessionCore::OnModuleIndicator() {
    ForEachObserverLocked([](SessionObserver* o) { o->OnModuleIndicator(); });
}
void SessionCore::OnDotPicture() {
    ForEachObserverLocked([](SessionObserver* o) { o->OnDotPicture(); });
}
void SessionCore::OnClearMeters() {
    ForEachObserverLocked([](SessionObserver* o) { o->OnClearMeters(); });
}
// The box opens on the UI thread, after the tick that noticed.
void SessionCore::OnNotesDropped(const std::string& text) {
    ui_.Post([this, text] { env_.notifier.Info(text); });
}

void SessionCore::OnLoadNotice(const std::string& noticeBytes) {
    ForEachObserver([&](SessionObserver* o) { o->OnNotice(noticeBytes); });
}

void SessionCore::OnSongOpened(int index, bool ok) {
    StateChange change(*this);
    RefreshInfo();
    const std::string text = ok ? Snapshot().title : lastError_;
    ForEachObserver([&](SessionObserver* o) { o->OnSongOpened(index, ok, text); });
}

void SessionCore::OnStoppedAtEnd() {
    StateChange change(*this);
    RefreshInfo();
    ForEachObserver([](SessionObserver* o) { o->OnStoppedAtEnd(); });
}

bool SessionCore::AllowAutoOpen(int index) {
    bool allow = true;
    ForEachObserver([&](SessionObserver* o) { allow = o->AllowAutoOpen(index) && allow; });
    return allow;
}

// Once per outermost operation, whatever it changed; observers compare.
SessionCore::StateChange::~StateChange() {
    if (--c_.stateDepth_ > 0 || c_.shutDown_) return;
    const SessionSnapshot snapshot = c_.Snapshot();
    c_.ForEachObserver([&](SessionObserver* o) { o->OnStateChanged(snapshot); });
}

// --- Reading -----------------------------------------------------------------

void SessionCore::RefreshInfo() {
    const song::SongTable& song = player_.Song();
    SessionInfo i;
    i.loaded = song.Loaded;
    i.loading = player_.LoadPending();
    i.loadFraction = player_.LoadFraction();
    if (song.Loaded) {
        i.totalMs = song.TotalMs;
        i.ticksPerQuarter = std::max<int32_t>(1, song.TicksPerQuarter());
        i.beatQuarters = song.BeatQuarters;
        i.fileKind = song.FileKindLabel;
        i.title = song.TextCodePage().ToUtf8(song.SongTitle);
        i.textCodePage = &song.TextCodePage();
    }
    i.repeatMode = values_.repeatMode;
    i.loop = player_.Seq().LoopSection();
    i.loopCount = player_.Settings().loopCount;
    i.loopedTotalMs = song.Loaded ? player_.Seq().LoopedLengthMs() : 0;
    for (const SessionPart* p : parts_) p->FillInfo(i);
    std::lock_guard lk(infoMu_);
    info_ = std::move(i);
}

// The output layer leaves the song's bytes there, a lyric behind the note
// mark in the system code page; peers get the whole text in that code page.
void SessionCore::ReadDisplayText(const std::string& bytes, const platform::CodePage& song,
                                  SessionSnapshot& s) const {
    const platform::CodePage& system = env_.codePage;
    const std::string mark = system.FromUtf8("♪");
    const bool lyric = bytes.starts_with(mark);
    s.displayTextUtf8 =
        lyric ? "♪" + song.ToUtf8(std::string_view(bytes).substr(mark.size())) : song.ToUtf8(bytes);
    s.displayText = song.Name() == system.Name() ? bytes : system.FromUtf8(s.displayTextUtf8);
}

SessionSnapshot SessionCore::Snapshot() const {
    SessionInfo i;
    {
        std::lock_guard lk(infoMu_);
        i = info_;
    }
    const sequencer::Sequencer& seq = player_.Seq();
    const sequencer::OutputLayer& out = player_.Output();
    SessionSnapshot s;
    s.loaded = i.loaded;
    s.loading = i.loading;
    s.loadFraction = i.loadFraction;
    s.totalMs = i.totalMs;
    s.stepping = i.stepping;
    s.paused = seq.Paused();
    s.started = seq.SongStarted();
    s.playing = seq.TimerRunning();
    // Until the first tick the time base still holds the previous run.
    if (i.loaded && (s.started || s.paused || i.stepping)) {
        s.positionMs = i.stepping ? i.stepTarget : std::clamp(seq.PositionMs(), 0, i.totalMs);
        // Paused, the song stands where the pause, the stop or a seek left it;
        // the tick's own values are those of its last pass until it runs again.
        s.elapsedSeconds = i.stepping ? i.stepTarget / 1000
                           : s.paused ? platform::RoundHalfEven(s.positionMs / 1000.0)
                                      : seq.ElapsedSeconds();
    }
    const bool atStart = s.paused && !i.stepping && s.positionMs == 0;
    s.currentTick = atStart ? 0 : seq.CurrentTick();
    // The position readout: quarter notes, bars of the time signature's length.
    const int32_t q = s.currentTick / i.ticksPerQuarter;
    const int32_t g = std::max<int32_t>(1, i.beatQuarters);
    s.bar = q / g;
    s.beat = q - s.bar * g + 1;
    s.bpmText = out.BPMText.Get();
    ReadDisplayText(out.DisplayText.Get(), *i.textCodePage, s);
    s.speedPercent = 100 + seq.SpeedDelta();
    s.transpose = i.transpose;
    s.flagGS = out.FlagGS();
    s.flagXG = out.FlagXG();
    s.flagGM = out.FlagGM();
    s.moduleName = out.ModuleName.Get();
    s.fileKind = i.fileKind;
    s.title = i.title;
    s.fileName = i.fileName;
    s.playListCount = i.listCount;
    s.playListIndex = i.listIndex;
    s.repeatMode = i.repeatMode;
    s.soloChannel = i.soloChannel;
    ReadLoops(i, s);
    for (const SessionPart* p : parts_) p->ReadLive(s);
    return s;
}

// The snapshot's loop fields (any thread): the A-B points, jumps and fade
// level from the sequencer's atomics, the rest as the UI thread left it.
void SessionCore::ReadLoops(const SessionInfo& i, SessionSnapshot& s) const {
    const sequencer::Sequencer& seq = player_.Seq();
    SessionSnapshot::Loops& l = s.loops;
    l.pointA = seq.RepeatA();
    l.pointB = seq.RepeatB();
    l.startMs = i.loop.Valid() ? i.loop.startMs : -1;
    l.endMs = i.loop.Valid() ? i.loop.endMs : -1;
    l.count = i.loopCount;
    l.done = seq.LoopsDone();
    l.fading = player_.Output().FadeLevel() < sequencer::kFullVolume;
    l.totalMs = i.loopedTotalMs;
    l.positionMs = s.positionMs;
    // The passes done of the counted section: a counted A-B one, else the song's loop.
    const bool finite = i.loopCount > 0 && i.loopCount < sequencer::kEndlessLoops;
    int64_t pass = 0;
    if (seq.RepeatActive())
        pass = finite ? int64_t{l.pointB} - l.pointA : 0;
    else if (i.loop.Valid())
        pass = i.loop.LengthMs();
    if (pass > 0)
        l.positionMs += static_cast<int32_t>(
            std::min<int64_t>(int64_t{l.done} * pass, INT32_MAX - s.positionMs));
}

}  // namespace sonfara::session
