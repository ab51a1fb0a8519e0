#include "player/sequencer/player.h"

namespace sonfara {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

void PathPlayList::Assign(std::vector<std::string> paths) {
    std::lock_guard lk(mu_);
    paths_ = std::move(paths);
    count_.store(static_cast<int>(paths_.size()), kRelaxed);
    index_.store(paths_.empty() ? 0 : 1, kRelaxed);
}

int PathPlayList::Count() const {
    return count_.load(kRelaxed);
}

std::string PathPlayList::PathAt(int index) const {
    std::lock_guard lk(mu_);
    if (index < 1 || index > static_cast<int>(paths_.size())) return {};
    return paths_[index - 1];
}

Player::Player(PlayerEnv env, PlaybackSettings settings)
    : env_(env),
      settings_(std::move(settings)),
      out_(song_, env.ports, settings_, shaping_, env.codePage),
      seq_(song_, out_, env.clock, env.timers, settings_, activeList_, env.ui, *this) {
    loader_ = [this](const std::string& path, SongTable& song, std::string* message) {
        LoadOptions opt;
        opt.codePage = &env_.codePage;
        opt.observers.push_back(this);
        LoadResult r = LoadSMF(path, song, opt);
        if (!r.ok) *message = "読み込みエラー（" + r.message + "）";
        return r.ok;
    };
}

Player::~Player() {
    Shutdown();
}

void Player::OnLoadStarted() {
    for (int c = 1; c <= 16; ++c) out_.Channel(c).Volume.store(100, kRelaxed);
}

int Player::OpenConfiguredPort() {
    lastError_.clear();
    int device = env_.ports.DeviceByName(settings_.MIDIOutPort);
    if (device == -2) {
        std::string m = "MIDIデバイスが開けません: \"" + settings_.MIDIOutPort +
                        "\" というポートはありません。使えるポート:";
        for (const auto& n : env_.ports.PortNames()) m += "\n  " + n;
        lastError_ = m;
        return static_cast<int>(PortError::kNoDevice);
    }
    int rc = out_.OpenOutputPort(device);
    if (rc > 0) {
        lastError_ = "MIDIデバイスが開けません";
        if (!out_.LastOpenError().empty()) lastError_ += "\n" + out_.LastOpenError();
    }
    return rc;
}

void Player::SetSongOpener(SongOpener* opener) {
    bool running = HoldTimer();
    opener_ = opener;
    activeList_.Use(opener ? &opener->Entries() : nullptr);
    ResumeTimer(running);
}

void Player::NotifyOpened(int index, bool ok) {
    for (auto* o : observers_) o->OnSongOpened(index, ok, ok ? std::string() : lastError_);
}

LoadResult Player::LoadSong(const std::string& path, const std::string& kindLabel,
                            const std::string& fileName) {
    LoadOptions opt;
    opt.codePage = &env_.codePage;
    opt.fileKindLabel = kindLabel;
    opt.songFileName = fileName;
    opt.observers.push_back(this);
    opt.observers.insert(opt.observers.end(), loadObservers_.begin(), loadObservers_.end());
    LoadResult r = LoadSMF(path, song_, opt);
    if (!r.ok) {
        // Nothing of the previous song may keep sounding.
        song_.Loaded = false;
        if (out_.PortOpen()) out_.ResetOutput();
        lastError_ = "読み込みエラー（" + r.message + "）";
    }
    return r;
}

bool Player::PlayEntry(int index) {
    seq_.KillTimer();
    lastError_.clear();
    if (opener_) {
        activeList_.SetIndex(index);
        const bool ok = opener_->OpenEntry(index);
        if (!ok) seq_.NoteUnplayableEntry();
        NotifyOpened(index, ok);
        return ok;
    }
    const std::string path = playList_.PathAt(index);
    playList_.SetIndex(index);
    OnLoadStarted();
    std::string message;
    bool ok = !path.empty() && loader_(path, song_, &message);
    if (!ok) {
        // Nothing of the previous song may keep sounding.
        song_.Loaded = false;
        out_.ResetOutput();
        seq_.NoteUnplayableEntry();
        lastError_ = message.empty() ? "読み込みエラー" : message;
        for (auto* o : observers_) o->OnSongOpened(index, false, lastError_);
        return false;
    }
    out_.ClearModuleFlags();
    if (!out_.PortOpen()) {
        if (OpenConfiguredPort() != 0) {
            for (auto* o : observers_) o->OnSongOpened(index, false, lastError_);
            return false;
        }
    } else {
        out_.ResetOutput();
    }
    out_.EnableAllChannels();
    out_.ResendPrograms();
    out_.DisplayText.Set(song_.FileKindLabel);
    if (!seq_.StartSong()) {
        lastError_ = "タイマーを作れません";
        for (auto* o : observers_) o->OnSongOpened(index, false, lastError_);
        return false;
    }
    for (auto* o : observers_) o->OnSongOpened(index, true, {});
    return true;
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
    PlayEntry(index);
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
    if (wasRunning) seq_.StartTimer();
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

void Player::SetChannelEnabled(int channel, bool enabled) {
    if (channel < 1 || channel > 16) return;
    out_.Channel(channel).Enabled.store(enabled ? -1 : 0, kRelaxed);
}

}  // namespace sonfara
