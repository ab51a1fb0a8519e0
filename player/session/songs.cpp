#include "player/session/songs.h"

#include <filesystem>
#include <system_error>

#include "player/session/engine_settings.h"

namespace sonfara::session {

// The open pipeline's steps over the player, with the session told of each
// song that starts or fails and of the menus that change. UI thread.
class SessionSongs::Target final : public files::PlaybackTarget {
  public:
    Target(SessionCore& core, SessionSongs& songs)
        : core_(core), player_(core.GetPlayer()), songs_(songs) {}

    void ClearSongCaption() override {
        ++songs_.openAttempts_;
        songs_.lastOpenOk_ = false;
        core_.SetLastError({});
    }
    void StopTimer() override { player_.Seq().KillTimer(); }
    sequencer::PlaybackStatus OpenOrResetOutput() override {
        sequencer::OutputLayer& out = player_.Output();
        songs_.portFailed_ = false;
        if (out.PortOpen()) {
            out.ResetOutput();
            return {};
        }
        sequencer::PlaybackStatus opened = player_.OpenConfiguredPort();
        songs_.portFailed_ = !opened.ok();
        if (songs_.portFailed_) core_.SetLastError(opened.Message());
        return opened;
    }
    void EnableAllChannels() override { player_.Output().EnableAllChannels(); }
    song::LoadStatus LoadSong(const std::string& path, const std::string& kindLabel,
                              const std::string& fileName) override {
        song::LoadStatus r = player_.LoadSong(path, kindLabel, fileName);
        if (!r.ok()) core_.SetLastError(song::msg::LoadErrorCaption(r.Message()));
        return r;
    }
    bool LoadSongLater(const std::string& path, const std::string& kindLabel,
                       const std::string& fileName) override {
        std::error_code ec;
        const uintmax_t size = std::filesystem::file_size(path, ec);
        if (ec || size < core_.Env().backgroundLoadBytes) return false;
        const auto finish = [this](const song::LoadStatus& r) {
            SessionCore::StateChange change(core_);
            if (!r.ok()) core_.SetLastError(song::msg::LoadErrorCaption(r.Message()));
            const bool ok = songs_.fileOp_.FinishPendingEntry(r);
            FileListChanged();
            return ok;
        };
        const auto progressed = [this] {
            SessionCore::StateChange change(core_);
            core_.RefreshInfo();
        };
        player_.LoadSongInBackground(path, kindLabel, fileName, finish, progressed);
        return true;
    }
    void ResetSongDisplay() override {
        core_.SongUnloaded();
        songs_.lyrics_.reset();
    }
    void ResendPrograms() override { player_.Output().ResendPrograms(); }
    void LoadWrd(const std::string& songPath) override { core_.SongLoadedAt(songPath); }
    void ResetModuleFlags() override { player_.Output().ClearModuleFlags(); }
    bool StartTimer() override { return player_.Seq().StartSong(); }
    void RequestExit() override {
        core_.ForEachObserver([](SessionObserver* o) { o->OnFatalError(); });
    }
    void SongStarted(const files::SongSource&) override {
        // The song's own display text, not what the last song left there.
        player_.Output().DisplayText.Set(player_.Song().FileKindLabel);
        songs_.lyrics_ =
            std::make_shared<const song::Lyrics>(song::Lyrics::FromSong(player_.Song()));
        songs_.lastOpenOk_ = true;
        core_.RefreshInfo();
    }
    void FileListChanged() override {
        core_.RefreshInfo();
        core_.ForEachObserver([](SessionObserver* o) { o->OnListChanged(SessionList::kPlayList); });
    }
    void RecentChanged() override {
        core_.ForEachObserver([](SessionObserver* o) { o->OnListChanged(SessionList::kRecent); });
    }

  private:
    SessionCore& core_;
    sequencer::Player& player_;
    SessionSongs& songs_;
};

namespace {
files::FileContext FileContextOf(const SessionEnv& env) {
    return files::FileContext{env.notifier, env.workFolder, env.codePage, env.libs};
}

// Makes the file pipeline's play list the one the sequencer steps through,
// so the end of a song, next and previous open songs as the open command does.
class ListOpener final : public sequencer::SongOpener {
  public:
    explicit ListOpener(files::FileOp& op) : op_(op), view_(op.List()) {}

    sonfara::sequencer::PlayOrder& Entries() override { return view_; }
    bool OpenEntry(int index) override { return op_.PlayIndex(index); }

  private:
    class View final : public sonfara::sequencer::PlayOrder {
      public:
        explicit View(files::PlayList& list) : list_(list) {}
        int Count() const override { return list_.Count(); }
        int Index() const override { return list_.Index(); }
        void SetIndex(int index) override { list_.SetIndex(index); }

      private:
        files::PlayList& list_;
    };
    files::FileOp& op_;
    View view_;
};
}  // namespace

SessionSongs::SessionSongs(SessionCore& core)
    : core_(core),
      target_(std::make_unique<Target>(core, *this)),
      fileOp_(*target_, FileContextOf(core.Env())),
      opener_(std::make_unique<ListOpener>(fileOp_)) {
    fileOp_.Settings() = FileSettingsFromValues(core_.Values());
    fileOp_.Recent().SetItems(core_.Values().recentFiles);
    core_.SetFiles(fileOp_);
    core_.GetPlayer().SetSongOpener(opener_.get());
    core_.AddPart(*this);
}

SessionSongs::~SessionSongs() = default;

void SessionSongs::FillInfo(SessionInfo& info) const {
    if (info.loaded) info.fileName = fileOp_.Current().FileName;
    info.listCount = fileOp_.List().Count();
    info.listIndex = fileOp_.List().Index();
}

// The file switches follow the values; a new encoding reads the lyrics again.
void SessionSongs::ValuesChanged(const settings::SettingsValues& before,
                                 const settings::SettingsValues& now) {
    fileOp_.Settings() = FileSettingsFromValues(now);
    const song::SongTable& song = core_.GetPlayer().Song();
    if (now.textEncoding != before.textEncoding && song.Loaded)
        lyrics_ = std::make_shared<const song::Lyrics>(song::Lyrics::FromSong(song));
}

// The opener goes before the pipeline it hands out.
void SessionSongs::ShutDown() {
    core_.GetPlayer().SetSongOpener(nullptr);
}

const song::SongTable& SessionSongs::Song() const {
    return core_.GetPlayer().Song();
}

const sequencer::SongCursors& SessionSongs::Cursors() const {
    return core_.GetPlayer().Cursors();
}

// Opens the pipeline starts itself (not through the player) are reported here.
void SessionSongs::AfterOpen(int attemptsBefore) {
    core_.RefreshInfo();
    // A song read in the background is told when it is in place.
    if (openAttempts_ == attemptsBefore || core_.GetPlayer().LoadPending()) return;
    core_.ReportSongOpened(fileOp_.List().Index(), lastOpenOk_);
}

void SessionSongs::OpenPaths(const std::vector<std::string>& paths, OpenMode mode) {
    SessionCore::StateChange change(core_);
    if (mode == OpenMode::kListOnly) {
        fileOp_.ListFiles(paths);
        return;
    }
    if (mode == OpenMode::kByFileOpenMode)
        mode = core_.Values().openMode != 0 ? OpenMode::kAppend : OpenMode::kReplace;
    const int before = openAttempts_;
    fileOp_.OpenFiles(paths, mode == OpenMode::kAppend);
    AfterOpen(before);
}

void SessionSongs::OpenEntries(std::vector<files::FileEntry> entries, OpenMode mode) {
    SessionCore::StateChange change(core_);
    if (mode == OpenMode::kByFileOpenMode)
        mode = core_.Values().openMode != 0 ? OpenMode::kAppend : OpenMode::kReplace;
    const int before = openAttempts_;
    fileOp_.OpenEntries(std::move(entries), mode == OpenMode::kAppend);
    AfterOpen(before);
}

bool SessionSongs::PlayEntry(int index) {
    SessionCore::StateChange change(core_);
    if (index < 1 || index > fileOp_.List().Count()) return false;
    return core_.GetPlayer().PlayEntry(index);
}

void SessionSongs::Next() {
    SessionCore::StateChange change(core_);
    core_.GetPlayer().Seq().PlayNextSong();
    core_.RefreshInfo();
}

void SessionSongs::Previous() {
    SessionCore::StateChange change(core_);
    core_.GetPlayer().Seq().PlayPrevSong();
    core_.RefreshInfo();
}

void SessionSongs::ClearSong() {
    SessionCore::StateChange change(core_);
    core_.SongCleared();
    sequencer::Player& player = core_.GetPlayer();
    player.Seq().ForgetSong();
    player.Song().Clear();
    player.Output().DisplayText.Set("");
    core_.SongUnloaded();
    lyrics_.reset();
    core_.SetLastError({});
    lastOpenOk_ = false;
    core_.RefreshInfo();
}

}  // namespace sonfara::session
