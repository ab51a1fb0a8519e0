#include "player/session/session.h"
#include "player/platform/midi.h"

#include <algorithm>

#include "player/files/engine_settings.h"
#include "player/sequencer/messages.h"
#include "player/session/messages.h"

namespace sonfara {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int32_t kStepMs = 1000;
constexpr int kSlowestPercent = 10;

// A menu caption by 1-based item, empty for none.
std::string CaptionAt(const std::vector<std::string>& captions, int item) {
    return item >= 1 && static_cast<size_t>(item) <= captions.size() ? captions[item - 1]
                                                                       : std::string();
}
}  // namespace

// The open pipeline's steps over the player, with the session told of each
// song that starts or fails and of the menus that change. UI thread.
class PlaybackSession::Target final : public files::PlayerTarget {
  public:
    Target(Player& player, PlaybackSession& s) : PlayerTarget(player), s_(s) {}

    void ClearSongCaption() override {
        ++s_.openAttempts_;
        s_.lastOpenOk_ = false;
        s_.lastError_.clear();
    }
    bool OpenOrResetOutput() override {
        const bool ok = PlayerTarget::OpenOrResetOutput();
        if (!ok) s_.lastError_ = player_.LastError();
        return ok;
    }
    LoadResult LoadSong(const std::string& path, const std::string& kindLabel,
                        const std::string& fileName) override {
        LoadResult r = PlayerTarget::LoadSong(path, kindLabel, fileName);
        if (!r.ok) s_.lastError_ = player_.LastError();
        return r;
    }
    void ResetSongDisplay() override { s_.link_.SongUnloaded(); }
    void LoadWrd(const std::string& songPath) override {
        const SettingsValues& v = s_.values_;
        s_.link_.SongLoaded(songPath, wrd::WrdSettings{v.ShowWRD, v.MWRDEmulation},
                            v.SWRDEmulation);
    }
    void SongStarted(const files::SongSource& song) override {
        PlayerTarget::SongStarted(song);
        s_.lastOpenOk_ = true;
        s_.RefreshInfo();
    }
    void FileListChanged() override {
        s_.RefreshInfo();
        s_.ForEachObserver([](SessionObserver* o) { o->OnListChanged(); });
    }
    void RecentChanged() override {
        s_.ForEachObserver([](SessionObserver* o) { o->OnRecentChanged(); });
    }

  private:
    PlaybackSession& s_;
};

void PlaybackSession::GuardedUi::Post(std::function<void()> action) {
    // Actions queued before a shut-down find the token cleared and do nothing.
    ui_.Post([alive = alive_, a = std::move(action)] {
        if (alive->load()) a();
    });
}

namespace {
SettingsValues LoadedValues(SettingsStore* store, const ShapingCatalog& catalog,
                            const std::vector<std::string>& ports) {
    if (!store) return {};
    return LoadSettings(*store, files::MenusFor(catalog, ports), nullptr).values;
}

ShapingCatalog LoadedCatalog(const ShapingFolders& folders) {
    ShapingCatalog c;
    c.Load(folders);
    return c;
}

wrd::WrdWindow& WrdWindowOf(const SessionEnv& env, wrd::WrdWindow& headless) {
    return env.wrdWindow ? *env.wrdWindow : headless;
}
}  // namespace

PlaybackSession::PlaybackSession(SessionEnv env)
    : env_(std::move(env)),
      catalog_(LoadedCatalog(env_.shapingFolders)),
      portNames_(env_.ports.PortNames()),
      values_(LoadedValues(env_.settingsStore, catalog_, portNames_)),
      player_(PlayerEnv{env_.clock, env_.timers, env_.ports, ui_, env_.codePage},
              files::PlaybackSettingsFromValues(values_)),
      targetOwner_(std::make_unique<Target>(player_, *this)),
      target_(*targetOwner_),
      fileOp_(target_, files::FileContext{env_.notifier, env_.workFolder, env_.codePage, env_.libs}),
      externalWrd_(env_.wrdPlugin ? std::make_unique<wrd::ExternalWrdPlayer>(
                                        *env_.wrdPlugin, WrdWindowOf(env_, headlessWrd_),
                                        env_.wrdWindowHandle)
                                  : nullptr),
      link_(player_.Seq(), player_.Song(), WrdWindowOf(env_, headlessWrd_), externalWrd_.get(),
            &glyphs_) {
    if (externalWrd_) externalWrd_->Attach();
    player_.SetSoundShaping(files::SoundShapingFromValues(values_, catalog_));
    fileOp_.Settings() = files::FileSettingsFromValues(values_);
    fileOp_.Recent().SetItems(values_.Recent);
    player_.SetSongOpener(&opener_);
    player_.AddObserver(this);
    player_.AddLoadObserver(this);
    player_.Output().AddObserver(this);
    ReloadFavorites();
    RefreshInfo();
}

PlaybackSession::~PlaybackSession() {
    Shutdown();
}

void PlaybackSession::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    alive_->store(false);
    player_.Shutdown();
    player_.SetSongOpener(nullptr);
    if (externalWrd_) externalWrd_->Detach();
    SaveStoredSettings();
}

void PlaybackSession::Suspend() {
    if (shutDown_) return;
    player_.Shutdown();
    SaveStoredSettings();
}

void PlaybackSession::SaveStoredSettings() {
    if (!env_.settingsStore || !env_.saveSettings) return;
    SyncValuesForSave();
    std::string error;
    if (SaveSettings(values_, files::MenusFor(catalog_, portNames_), *env_.settingsStore, &error))
        return;
    // Every hide and the exit try again; the user hears of it once.
    if (saveFailureTold_) return;
    saveFailureTold_ = true;
    env_.notifier.Error(session::msg::kSettingsSaveFailed + error);
}

void PlaybackSession::SetWindowPlacement(int32_t ctlTop, int32_t ctlLeft, int32_t mainTop,
                                         int32_t mainLeft) {
    values_.CtlTop = ctlTop;
    values_.CtlLeft = ctlLeft;
    values_.MainTop = mainTop;
    values_.MainLeft = mainLeft;
}

void PlaybackSession::SetMainWindowLayout(int32_t panel, bool full) {
    values_.WindowType = panel;
    values_.WindowStyle = full;
}

void PlaybackSession::SyncValuesForSave() {
    values_.Recent = fileOp_.Recent().Items();
    const files::FileSettings& f = fileOp_.Settings();
    values_.OpenModeSw = f.OpenModeSw;
    values_.FileSort = f.FileSort;
}

// --- Observers ---------------------------------------------------------------

void PlaybackSession::AddObserver(SessionObserver* o) {
    std::lock_guard lk(observersMu_);
    if (std::find(observers_.begin(), observers_.end(), o) == observers_.end())
        observers_.push_back(o);
}

void PlaybackSession::RemoveObserver(SessionObserver* o) {
    // Hooks of both kinds run under these locks, so none runs on `o` afterwards.
    std::lock_guard ui(uiHooksMu_);
    std::lock_guard lk(observersMu_);
    std::erase(observers_, o);
}

template <typename F>
void PlaybackSession::ForEachObserver(F hook) {
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
void PlaybackSession::ForEachObserverLocked(F hook) {
    std::lock_guard lk(observersMu_);
    for (SessionObserver* o : observers_) hook(o);
}

void PlaybackSession::OnModuleIndicator() {
    ForEachObserverLocked([](SessionObserver* o) { o->OnModuleIndicator(); });
}
void PlaybackSession::OnDotPicture() {
    ForEachObserverLocked([](SessionObserver* o) { o->OnDotPicture(); });
}
void PlaybackSession::OnClearMeters() {
    ForEachObserverLocked([](SessionObserver* o) { o->OnClearMeters(); });
}
void PlaybackSession::OnClearKeyboard() {
    ForEachObserverLocked([](SessionObserver* o) { o->OnClearKeyboard(); });
}

void PlaybackSession::OnLoadNotice(const std::string& noticeBytes) {
    ForEachObserver([&](SessionObserver* o) { o->OnNotice(noticeBytes); });
}

void PlaybackSession::OnSongOpened(int index, bool ok, const std::string& message) {
    StateChange change(*this);
    RefreshInfo();
    if (!ok && lastError_.empty()) lastError_ = message;
    const std::string text = ok ? Snapshot().title : lastError_;
    if (!ok && !lastError_.empty())
        ForEachObserver([&](SessionObserver* o) { o->OnLoadFailed(text); });
    ForEachObserver([&](SessionObserver* o) { o->OnSongOpened(index, ok, text); });
}

void PlaybackSession::OnStoppedAtEnd() {
    StateChange change(*this);
    RefreshInfo();
    ForEachObserver([](SessionObserver* o) { o->OnStoppedAtEnd(); });
}

bool PlaybackSession::AllowAutoOpen(int index) {
    bool allow = true;
    ForEachObserver([&](SessionObserver* o) { allow = o->AllowAutoOpen(index) && allow; });
    return allow;
}

// Opens FileOp starts itself (not through the player) are reported here.
void PlaybackSession::AfterFileOpOpen(int attemptsBefore) {
    RefreshInfo();
    if (openAttempts_ == attemptsBefore) return;
    OnSongOpened(fileOp_.List().Index(), lastOpenOk_, {});
}

// Once per outermost operation, whatever it changed; observers compare.
PlaybackSession::StateChange::~StateChange() {
    if (--s_.stateDepth_ > 0 || s_.shutDown_) return;
    const SessionSnapshot snapshot = s_.Snapshot();
    s_.ForEachObserver([&](SessionObserver* o) { o->OnStateChanged(snapshot); });
}

// --- Files and the play list -------------------------------------------------

void PlaybackSession::OpenPaths(const std::vector<std::string>& paths, OpenMode mode) {
    StateChange change(*this);
    if (mode == OpenMode::kListOnly) {
        fileOp_.ListFiles(paths);
        return;
    }
    files::FileSettings& f = fileOp_.Settings();
    const int32_t stored = f.OpenModeSw;
    if (mode != OpenMode::kByFileOpenMode) f.OpenModeSw = mode == OpenMode::kAppend ? 1 : 0;
    const int before = openAttempts_;
    fileOp_.OpenFiles(paths);
    f.OpenModeSw = stored;
    AfterFileOpOpen(before);
}

bool PlaybackSession::PlayEntry(int index) {
    StateChange change(*this);
    if (index < 1 || index > fileOp_.List().Count()) return false;
    return player_.PlayEntry(index);
}

void PlaybackSession::Next() {
    StateChange change(*this);
    player_.Seq().PlayNextSong();
    RefreshInfo();
}

void PlaybackSession::Previous() {
    StateChange change(*this);
    player_.Seq().PlayPrevSong();
    RefreshInfo();
}

void PlaybackSession::FileListClick(int item) {
    StateChange change(*this);
    files::PlayList& list = fileOp_.List();
    const int k = item + 1;
    if (list.Count() == 0 || k < 1 || k > list.Count() || k == list.Index()) return;
    const int previous = list.Index();
    // Only an entry that starts becomes the current one.
    if (!player_.PlayEntry(k)) {
        list.SetIndex(previous);
        RefreshInfo();
    }
}

bool PlaybackSession::RemoveEntry(int index) {
    StateChange change(*this);
    files::PlayList& list = fileOp_.List();
    if (index < 1 || index > list.Count() || index == list.Index()) return false;
    list.Remove(index);
    RefreshInfo();
    ForEachObserver([](SessionObserver* o) { o->OnListChanged(); });
    return true;
}

files::SaveResult PlaybackSession::SaveList(const std::string& path) {
    return fileOp_.SaveListAs(path);
}

void PlaybackSession::OpenRecent(int item) {
    StateChange change(*this);
    const auto& items = fileOp_.Recent().Items();
    if (item < 0 || item >= static_cast<int>(items.size()) || items[item].empty()) return;
    OpenPaths({items[item]});
}

void PlaybackSession::ClearRecent() {
    fileOp_.Recent().Clear();
    ForEachObserver([](SessionObserver* o) { o->OnRecentChanged(); });
}

std::vector<files::PlayList::MenuItem> PlaybackSession::PlayListMenu() const {
    return fileOp_.List().MenuItems();
}

files::RecentList::Menu PlaybackSession::RecentMenu() const {
    return fileOp_.Recent().BuildMenu();
}

// --- Transport ---------------------------------------------------------------

void PlaybackSession::Play() {
    StateChange change(*this);
    player_.Seq().ResumeSong();
    RefreshInfo();
}

void PlaybackSession::Pause() {
    StateChange change(*this);
    player_.Seq().PauseSong();
    RefreshInfo();
}

void PlaybackSession::Stop() {
    StateChange change(*this);
    player_.Seq().StopSong();
    RefreshInfo();
}

void PlaybackSession::Restart() {
    StateChange change(*this);
    if (!SongLoaded()) return;
    player_.Seq().RestartSong();
    RefreshInfo();
}

void PlaybackSession::SeekTo(int32_t ms) {
    StateChange change(*this);
    player_.Seq().SeekTo(std::clamp(ms, 0, player_.Song().TotalMs));
    RefreshInfo();
}

void PlaybackSession::SpeedUp() {
    StateChange change(*this);
    player_.Seq().SpeedUp();
}

void PlaybackSession::SpeedDown() {
    StateChange change(*this);
    player_.Seq().SpeedDown();
}

void PlaybackSession::SetSpeedPercent(int percent) {
    StateChange change(*this);
    player_.Seq().SetSpeedDelta(std::max(percent, kSlowestPercent) - 100);
}

void PlaybackSession::KeyUp() {
    StateChange change(*this);
    SetTranspose(transpose_ + 1);
}

void PlaybackSession::KeyDown() {
    StateChange change(*this);
    SetTranspose(transpose_ - 1);
}

void PlaybackSession::SetTranspose(int semitones) {
    StateChange change(*this);
    transpose_ = semitones;
    player_.SetTranspose(semitones);
    RefreshInfo();
}

void PlaybackSession::BeginStep(bool forward) {
    StateChange change(*this);
    player_.Seq().HoldForStep();
    seekStep_ = forward ? -kStepMs : kStepMs;
    seekOffset_ = 0;
    seekTarget_ = player_.Seq().StepBaseMs();
    stepping_ = true;
    Step();
}

void PlaybackSession::Step() {
    if (!stepping_ || !SongLoaded()) return;
    // Paused, the base stays put and each step adds one second; playing, the
    // base follows the moved time base, so the k-th step moves k seconds
    // plus the real time since the previous one.
    seekOffset_ += seekStep_;
    const int32_t base = player_.Seq().StepBaseMs();
    seekTarget_ = std::clamp(base - seekOffset_, 0, player_.Song().TotalMs);
    player_.Seq().MoveHeld(seekTarget_);
    RefreshInfo();
}

void PlaybackSession::EndStep() {
    StateChange change(*this);
    if (!stepping_) return;
    stepping_ = false;
    if (SongLoaded()) player_.Seq().SeekTo(seekTarget_);
    RefreshInfo();
}

// --- Output and sound --------------------------------------------------------

int PlaybackSession::ChangePort(int device) {
    OutputLayer& out = player_.Output();
    if (out.PortOpen() && out.OutDevice() == device) return 0;
    const int rc = player_.Seq().ChangeOutputPort(device);
    if (rc != 0) {
        lastError_ = sequencer::msg::kCannotOpenDevice;
        if (!out.LastOpenError().empty()) lastError_ += "\n" + out.LastOpenError();
    }
    values_.OutDevice = device;
    values_.MIDIOutPort = device >= 0 && static_cast<size_t>(device) < portNames_.size()
                              ? portNames_[device]
                              : std::string(kMidiMapper);
    player_.ApplySettings(files::PlaybackSettingsFromValues(values_));
    return rc;
}

void PlaybackSession::SetChannelEnabled(int channel, bool enabled) {
    if (channel < 1 || channel > midi::kChannelCount) return;
    player_.SwitchChannel(channel, enabled);
}

void PlaybackSession::ToggleSolo(int channel) {
    if (channel < 1 || channel > midi::kChannelCount) return;
    if (solo_ == channel - 1) {
        solo_ = -1;
        player_.SwitchChannels(0xFFFF);
    } else {
        solo_ = channel - 1;
        player_.SwitchChannels(static_cast<uint16_t>(1u << (channel - 1)));
    }
    RefreshInfo();
}

void PlaybackSession::ChangeProgram(int channel, int program) {
    player_.SendProgramChange(channel, program);
}

void PlaybackSession::ApplyShaping() {
    player_.SetSoundShaping(files::SoundShapingFromValues(values_, catalog_));
}

void PlaybackSession::ReloadShapingCatalog() {
    const std::string arr = CaptionAt(catalog_.ArrangementCaptions(), values_.ArrMode);
    const std::string eq = values_.EqActive ? CaptionAt(catalog_.EqCaptions(), values_.EqItem) : "";
    catalog_ = LoadedCatalog(env_.shapingFolders);
    auto indexOf = [](const std::vector<std::string>& captions, const std::string& caption) {
        const auto it = std::find(captions.begin(), captions.end(), caption);
        return caption.empty() || it == captions.end() ? 0 : static_cast<int>(it - captions.begin()) + 1;
    };
    values_.ArrMode = indexOf(catalog_.ArrangementCaptions(), arr);
    values_.ArrModeCap = values_.ArrMode ? arr : std::string();
    values_.EqItem = indexOf(catalog_.EqCaptions(), eq);
    values_.EqActive = values_.EqItem != 0;
    ApplyShaping();
    ForEachObserver([](SessionObserver* o) { o->OnCatalogChanged(); });
}

void PlaybackSession::ClearSong() {
    StateChange change(*this);
    stepping_ = false;
    player_.Seq().ForgetSong();
    player_.Song().Clear();
    player_.Output().DisplayText.Set("");
    link_.SongUnloaded();
    lastError_.clear();
    lastOpenOk_ = false;
    RefreshInfo();
}

void PlaybackSession::SelectArrangement(int item) {
    const auto captions = catalog_.ArrangementCaptions();
    if (item < 0 || static_cast<size_t>(item) > captions.size()) return;
    values_.ArrMode = item;
    values_.ArrModeCap = CaptionAt(captions, item);
    ApplyShaping();
}

void PlaybackSession::SelectEq(int item) {
    const auto captions = catalog_.EqCaptions();
    if (item < 0 || static_cast<size_t>(item) > captions.size()) return;
    values_.EqItem = item;
    values_.EqActive = item != 0;
    values_.EqMode = CaptionAt(captions, item);
    ApplyShaping();
}

void PlaybackSession::SelectReverb(int item) {
    if (item < 0 || item > 2) return;
    values_.EffectReverb = EffectValueForItem(item);
    player_.ApplySettings(files::PlaybackSettingsFromValues(values_));
    player_.RefreshEffects();
}

void PlaybackSession::SelectChorus(int item) {
    if (item < 0 || item > 2) return;
    values_.EffectChorus = EffectValueForItem(item);
    player_.ApplySettings(files::PlaybackSettingsFromValues(values_));
    player_.RefreshEffects();
}

void PlaybackSession::SetRepeatMode(RepeatMode mode) {
    StateChange change(*this);
    values_.RepeatMode = mode;
    player_.ApplySettings(files::PlaybackSettingsFromValues(values_));
    RefreshInfo();
}

void PlaybackSession::ApplySettings(const SettingsValues& values) {
    StateChange change(*this);
    values_ = values;
    // Held timer: the new period takes effect when the timer is created again.
    player_.ApplySettings(files::PlaybackSettingsFromValues(values_));
    ApplyShaping();
    fileOp_.Settings() = files::FileSettingsFromValues(values_);
    RefreshInfo();
}

// --- Favourites --------------------------------------------------------------

void PlaybackSession::ReloadFavorites() {
    favorites_.clear();
    std::vector<std::string> unreadable;
    if (!env_.favoriteFolder.empty())
        favorites_ = files::LoadFavorites(env_.favoriteFolder, env_.codePage, &unreadable);
    // Each file once: the folder is read again after every change.
    std::string told;
    for (const std::string& f : unreadable)
        if (toldUnreadable_.insert(f).second) told += (told.empty() ? "" : ", ") + f;
    if (!told.empty()) env_.notifier.Error(files::msg::kFavoriteSkipped + told);
    ForEachObserver([](SessionObserver* o) { o->OnFavoritesChanged(); });
}

std::optional<files::FavoriteProposal> PlaybackSession::BeginAddFavorite() {
    return fileOp_.BeginAddFavorite(Snapshot().title);
}

bool PlaybackSession::FinishAddFavorite(const std::string& answer,
                                        const files::FavoriteProposal& proposal) {
    if (env_.favoriteFolder.empty()) return false;
    if (!fileOp_.FinishAddFavorite(env_.favoriteFolder, answer, proposal)) return false;
    ReloadFavorites();
    return true;
}

bool PlaybackSession::RenameFavorite(int index, const std::string& newTitle) {
    if (index < 0 || index >= static_cast<int>(favorites_.size()) || newTitle.empty()) return false;
    std::string error;
    const bool ok = files::RenameFavorite(env_.favoriteFolder, favorites_[index], newTitle,
                                          env_.codePage, &error);
    if (!ok) env_.notifier.Error(error);
    ReloadFavorites();
    return ok;
}

bool PlaybackSession::DeleteFavorite(int index) {
    if (index < 0 || index >= static_cast<int>(favorites_.size())) return false;
    std::string error;
    const bool ok = files::DeleteFavorite(favorites_[index], &error);
    if (!ok) env_.notifier.Error(error);
    ReloadFavorites();
    return ok;
}

void PlaybackSession::OpenFavorite(int index) {
    StateChange change(*this);
    if (index < 0 || index >= static_cast<int>(favorites_.size())) return;
    OpenPaths({favorites_[index].Path});
}

// --- WRD ---------------------------------------------------------------------

void PlaybackSession::WrdTick() {
    link_.Tick();
}

void PlaybackSession::PresentWrdFrame() {
    if (link_.BuiltinWrdActive()) link_.Runtime().PresentWrdFrame();
}

void PlaybackSession::AttachWrdPlugin() {
    if (externalWrd_ && !externalWrd_->Attached()) externalWrd_->Attach();
}

bool PlaybackSession::RepaintExternalWrd(void* dc) {
    return externalWrd_ && externalWrd_->Repaint(dc);  // it knows whether it presents
}

const wrd::Surface& PlaybackSession::WrdFrame() {
    return link_.Runtime().ComposeFrame();
}

bool PlaybackSession::PortFailed() const {
    return target_.PortFailed();
}

// --- Reading -----------------------------------------------------------------

void PlaybackSession::RefreshInfo() {
    const SongTable& song = player_.Song();
    const files::PlayList& list = fileOp_.List();
    SongInfo i;
    i.loaded = song.Loaded;
    if (song.Loaded) {
        i.totalMs = song.TotalMs;
        i.ticksPerQuarter = std::max<int32_t>(1, song.TicksPerQuarter());
        i.beatQuarters = song.BeatQuarters;
        i.fileKind = song.FileKindLabel;
        i.title = env_.codePage.ToUtf8(song.SongTitle);
        i.fileName = fileOp_.Current().FileName;
    }
    i.listCount = list.Count();
    i.listIndex = list.Index();
    i.repeatMode = values_.RepeatMode;
    i.transpose = transpose_;
    i.soloChannel = solo_;
    i.stepping = stepping_;
    i.stepTarget = seekTarget_;
    std::lock_guard lk(infoMu_);
    info_ = std::move(i);
}

SessionSnapshot PlaybackSession::Snapshot() const {
    SongInfo i;
    {
        std::lock_guard lk(infoMu_);
        i = info_;
    }
    const Sequencer& seq = player_.Seq();
    const OutputLayer& out = player_.Output();
    SessionSnapshot s;
    s.loaded = i.loaded;
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
                           : s.paused ? RoundHalfEven(s.positionMs / 1000.0)
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
    s.displayText = out.DisplayText.Get();
    s.displayTextUtf8 = env_.codePage.ToUtf8(s.displayText);
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
    s.wrdActive = link_.BuiltinWrdActive() || link_.ExternalWrdActive();
    s.soloChannel = i.soloChannel;
    return s;
}

const ChannelState& PlaybackSession::Channel(int channel) const {
    return player_.Output().Channel(std::clamp(channel, 1, midi::kChannelCount));
}

bool PlaybackSession::TakeDirty(int channel) {
    return player_.Output().Channel(std::clamp(channel, 1, midi::kChannelCount)).Dirty.exchange(0, kRelaxed) != 0;
}

bool PlaybackSession::TakeKeyDirty(int channel) {
    return player_.Output().Channel(std::clamp(channel, 1, midi::kChannelCount)).KeyDirty.exchange(0, kRelaxed) !=
           0;
}

bool PlaybackSession::TakeNoteFlag(int channel) {
    return player_.Output().Channel(std::clamp(channel, 1, midi::kChannelCount)).NoteOnFlag.exchange(0, kRelaxed) !=
           0;
}

uint32_t PlaybackSession::DotRow(int row) const {
    return player_.Output().DotRows[std::clamp(row, 1, kDotRows) - 1].load(kRelaxed);
}

int PlaybackSession::SoundingNotes() const {
    return player_.Output().SoundingNotes.load(kRelaxed);
}

void PlaybackSession::DecayLevels() {
    for (int c = 1; c <= midi::kChannelCount; ++c) {
        ChannelState& ch = player_.Output().Channel(c);
        if (ch.NoteCount.load(kRelaxed) != 0) continue;
        // A note-off that sets a new level meanwhile wins over this step.
        int level = ch.Level.load(kRelaxed);
        while (level > 0 && !ch.Level.compare_exchange_weak(level, level - 1, kRelaxed)) {
        }
    }
}

}  // namespace sonfara
