#include "player/sequencer/player.h"

#include "player/platform/midi.h"

namespace sonfara::sequencer {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

Player::Player(PlayerEnv env, PlaybackSettings settings)
    : env_(env),
      settings_(std::move(settings)),
      out_(song_, cursors_, env.ports, settings_, shaping_, env.codePage),
      seq_(song_, cursors_, out_, env.clock, env.timers, settings_, activeList_, env.ui, *this) {
    out_.SetDisplayClock(&env.clock);
}

Player::~Player() {
    Shutdown();
}

void Player::OnLoadStarted() {
    cursors_.Rest();
    for (int c = 1; c <= midi::kChannelCount; ++c) out_.Channel(c).Volume.store(100, kRelaxed);
    out_.Shown().ShowAtOnce();
}

PlaybackStatus Player::OpenConfiguredPort() {
    const int device = env_.ports.DeviceByName(settings_.midiOutPort);
    if (device != platform::MidiOutputSystem::kUnknownDevice) return out_.OpenOutputPort(device);
    std::string names = settings_.midiOutPort;
    for (const auto& n : env_.ports.PortNames()) names += "\n  " + n;
    return {PlaybackError::kNoSuchPort, names};
}

void Player::SetSongOpener(SongOpener* opener) {
    bool running = HoldTimer();
    opener_ = opener;
    activeList_.Use(opener ? &opener->Entries() : nullptr);
    ResumeTimer(running);
}

void Player::NotifyOpened(int index, bool ok) {
    for (auto* o : observers_) o->OnSongOpened(index, ok);
}

song::LoadOptions Player::OptionsFor(const std::string& kindLabel, const std::string& fileName) {
    song::LoadOptions opt;
    opt.codePage = &env_.codePage;
    opt.fileKindLabel = kindLabel;
    opt.songFileName = fileName;
    opt.observers.push_back(this);
    opt.observers.insert(opt.observers.end(), loadObservers_.begin(), loadObservers_.end());
    return opt;
}

song::LoadStatus Player::LoadSong(const std::string& path, const std::string& kindLabel,
                                  const std::string& fileName) {
    loader_.Cancel();
    song::LoadStatus r = song::LoadSMF(path, song_, OptionsFor(kindLabel, fileName));
    cursors_.Fit(song_);
    if (!r.ok()) {
        // Nothing of the previous song may keep sounding.
        song_.Loaded = false;
        if (out_.PortOpen()) out_.ResetOutput();
    }
    return r;
}

void Player::LoadSongInBackground(const std::string& path, const std::string& kindLabel,
                                  const std::string& fileName,
                                  std::function<bool(const song::LoadStatus&)> finish,
                                  std::function<void()> progressed) {
    seq_.KillTimer();
    loadFraction_ = 0;
    const song::LoadOptions opt = OptionsFor(kindLabel, fileName);
    for (auto* ob : opt.observers) ob->OnLoadStarted();
    song_.Clear();  // nothing of the last song plays or shows meanwhile
    cursors_.Fit(song_);
    auto done = [this, opt, finish = std::move(finish)](const song::LoadStatus& r,
                                                        song::SongTable& read) {
        seq_.KillTimer();
        song_.TakeFrom(read);
        cursors_.Fit(song_);
        song::NotifyLoadResult(r, song_, opt);
        if (!r.ok()) {
            song_.Loaded = false;
            if (out_.PortOpen()) out_.ResetOutput();
        }
        const bool ok = finish(r);
        if (!ok) seq_.NoteUnplayableEntry();
        NotifyOpened(activeList_.Index(), ok);
    };
    auto progress = [this, progressed = std::move(progressed)](double fraction) {
        loadFraction_ = fraction;
        if (progressed) progressed();
    };
    loader_.Start(path, opt, std::move(done), std::move(progress));
}

bool Player::PlayEntry(int index) {
    seq_.KillTimer();
    if (!opener_) return false;
    activeList_.SetIndex(index);
    const bool ok = opener_->OpenEntry(index);
    if (ok && loader_.Busy()) return true;  // told once the song is in place
    if (!ok) seq_.NoteUnplayableEntry();
    NotifyOpened(index, ok);
    return ok;
}

void Player::OpenSMFProc() {
    const int index = activeList_.Index();
    for (auto* o : observers_) {
        if (!o->AllowAutoOpen(index)) {
            seq_.StopSong();
            for (auto* o2 : observers_) o2->OnStoppedAtEnd();
            return;
        }
    }
    // No caller to answer: a failure reaches the observers (NotifyOpened).
    (void)PlayEntry(index);
}

void Player::EtcSyrTimer() {
    seq_.StopSong();
    for (auto* o : observers_) o->OnStoppedAtEnd();
}

void Player::Shutdown() {
    seq_.KillTimer();
    if (out_.PortOpen()) {
        out_.ResetOutput();
        out_.CloseOutputPort();
    }
}

bool Player::HoldTimer() {
    bool running = seq_.TimerRunning();
    seq_.KillTimer();
    return running;
}

void Player::ResumeTimer(bool wasRunning) {
    if (wasRunning) seq_.ResumeTimer();
}

void Player::ApplySettings(const PlaybackSettings& s) {
    bool running = HoldTimer();
    settings_ = s;
    ResumeTimer(running);
}

void Player::SetSoundShaping(const SoundShaping& s) {
    bool running = HoldTimer();
    shaping_ = s;
    out_.ResendPrograms();
    ResumeTimer(running);
}

void Player::SetTranspose(int semitones) {
    bool running = HoldTimer();
    out_.SilenceAndTranspose(semitones);
    ResumeTimer(running);
}

void Player::SwitchChannel(int channel, bool on) {
    if (channel < 1 || channel > midi::kChannelCount) return;
    bool running = HoldTimer();
    out_.SwitchChannel(channel, on);
    ResumeTimer(running);
}

void Player::SwitchChannels(uint16_t onMask) {
    bool running = HoldTimer();
    for (int c = 1; c <= midi::kChannelCount; ++c) out_.SwitchChannel(c, (onMask >> (c - 1)) & 1);
    ResumeTimer(running);
}

void Player::SendProgramChange(int channel, int program) {
    if (channel < 1 || channel > midi::kChannelCount || program < 0 || program > midi::kMaxDataByte)
        return;
    bool running = HoldTimer();
    out_.SendShortMessage(midi::StatusByte(midi::kProgramChange, channel - 1),
                          static_cast<uint8_t>(program), 0);
    ResumeTimer(running);
}

void Player::RefreshEffects() {
    bool running = HoldTimer();
    out_.RefreshEffects();
    ResumeTimer(running);
}

}  // namespace sonfara::sequencer
