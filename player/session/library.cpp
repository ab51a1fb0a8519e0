#include <algorithm>
#include <filesystem>
#include <system_error>

#include "player/files/engine_settings.h"
#include "player/session/session.h"

namespace sonfara {

// The open pipeline's steps over the player, with the session told of each
// song that starts or fails and of the menus that change. UI thread.
class SessionLibrary::Target final : public files::PlaybackTarget {
  public:
    Target(PlaybackSession& s, SessionLibrary& lib) : s_(s), player_(s.player_), lib_(lib) {}

    void ClearSongCaption() override {
        ++lib_.openAttempts_;
        lib_.lastOpenOk_ = false;
        lib_.lastError_.clear();
    }
    void StopTimer() override { player_.Seq().KillTimer(); }
    PlaybackStatus OpenOrResetOutput() override {
        OutputLayer& out = player_.Output();
        lib_.portFailed_ = false;
        if (out.PortOpen()) {
            out.ResetOutput();
            return {};
        }
        PlaybackStatus opened = player_.OpenConfiguredPort();
        lib_.portFailed_ = !opened.ok();
        if (lib_.portFailed_) lib_.lastError_ = opened.Message();
        return opened;
    }
    void EnableAllChannels() override { player_.Output().EnableAllChannels(); }
    LoadResult LoadSong(const std::string& path, const std::string& kindLabel,
                        const std::string& fileName) override {
        LoadResult r = player_.LoadSong(path, kindLabel, fileName);
        if (!r.ok()) lib_.lastError_ = song::msg::LoadErrorCaption(r.Message());
        return r;
    }
    bool LoadSongLater(const std::string& path, const std::string& kindLabel,
                       const std::string& fileName) override {
        std::error_code ec;
        const uintmax_t size = std::filesystem::file_size(path, ec);
        if (ec || size < s_.env_.backgroundLoadBytes) return false;
        const auto finish = [this](const LoadResult& r) {
            PlaybackSession::StateChange change(s_);
            if (!r.ok()) lib_.lastError_ = song::msg::LoadErrorCaption(r.Message());
            const bool ok = lib_.fileOp_.FinishPendingEntry(r);
            FileListChanged();
            return ok;
        };
        const auto progressed = [this] {
            PlaybackSession::StateChange change(s_);
            s_.RefreshInfo();
        };
        player_.LoadSongInBackground(path, kindLabel, fileName, finish, progressed);
        return true;
    }
    void ResetSongDisplay() override {
        s_.presentation_.link_.SongUnloaded();
        lib_.lyrics_.reset();
    }
    void ResendPrograms() override { player_.Output().ResendPrograms(); }
    void LoadWrd(const std::string& songPath) override {
        const SettingsValues& v = s_.values_;
        s_.presentation_.link_.SongLoaded(songPath, wrd::WrdSettings{v.ShowWRD, v.MWRDEmulation},
                                          v.SWRDEmulation);
    }
    void ResetModuleFlags() override { player_.Output().ClearModuleFlags(); }
    bool StartTimer() override { return player_.Seq().StartSong(); }
    void RequestExit() override {
        s_.ForEachObserver([](SessionObserver* o) { o->OnFatalError(); });
    }
    void SongStarted(const files::SongSource&) override {
        // The song's own display text, not what the last song left there.
        player_.Output().DisplayText.Set(player_.Song().FileKindLabel);
        lib_.lyrics_ = std::make_shared<const Lyrics>(Lyrics::FromSong(player_.Song()));
        lib_.lastOpenOk_ = true;
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
    Player& player_;
    SessionLibrary& lib_;
};

namespace {
// Makes the file pipeline's play list the one the sequencer steps through,
// so the end of a song, next and previous open songs as the open command does.
class ListOpener final : public SongOpener {
  public:
    explicit ListOpener(files::FileOp& op) : op_(op), view_(op.List()) {}

    sonfara::PlayOrder& Entries() override { return view_; }
    bool OpenEntry(int index) override { return op_.PlayIndex(index); }

  private:
    class View final : public sonfara::PlayOrder {
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

SessionLibrary::SessionLibrary(PlaybackSession& s, const SessionEnv& env)
    : s_(s),
      target_(std::make_unique<Target>(s, *this)),
      fileOp_(*target_, files::FileContext{env.notifier, env.workFolder, env.codePage, env.libs}),
      opener_(std::make_unique<ListOpener>(fileOp_)) {
    fileOp_.Settings() = files::FileSettingsFromValues(s.values_);
    fileOp_.Recent().SetItems(s.values_.Recent);
}

SessionLibrary::~SessionLibrary() = default;

const SongTable& SessionLibrary::Song() const {
    return s_.player_.Song();
}

const SongCursors& SessionLibrary::Cursors() const {
    return s_.player_.Cursors();
}

// Opens the pipeline starts itself (not through the player) are reported here.
void SessionLibrary::AfterOpen(int attemptsBefore) {
    s_.RefreshInfo();
    // A song read in the background is told when it is in place.
    if (openAttempts_ == attemptsBefore || s_.player_.LoadPending()) return;
    s_.OnSongOpened(fileOp_.List().Index(), lastOpenOk_);
}

void SessionLibrary::OpenPaths(const std::vector<std::string>& paths, OpenMode mode) {
    PlaybackSession::StateChange change(s_);
    if (mode == OpenMode::kListOnly) {
        fileOp_.ListFiles(paths);
        return;
    }
    if (mode == OpenMode::kByFileOpenMode)
        mode = s_.values_.OpenModeSw != 0 ? OpenMode::kAppend : OpenMode::kReplace;
    const int before = openAttempts_;
    fileOp_.OpenFiles(paths, mode == OpenMode::kAppend);
    AfterOpen(before);
}

void SessionLibrary::OpenEntries(std::vector<files::FileEntry> entries, OpenMode mode) {
    PlaybackSession::StateChange change(s_);
    if (mode == OpenMode::kByFileOpenMode)
        mode = s_.values_.OpenModeSw != 0 ? OpenMode::kAppend : OpenMode::kReplace;
    const int before = openAttempts_;
    fileOp_.OpenEntries(std::move(entries), mode == OpenMode::kAppend);
    AfterOpen(before);
}

bool SessionLibrary::PlayEntry(int index) {
    PlaybackSession::StateChange change(s_);
    if (index < 1 || index > fileOp_.List().Count()) return false;
    return s_.player_.PlayEntry(index);
}

void SessionLibrary::Next() {
    PlaybackSession::StateChange change(s_);
    s_.player_.Seq().PlayNextSong();
    s_.RefreshInfo();
}

void SessionLibrary::Previous() {
    PlaybackSession::StateChange change(s_);
    s_.player_.Seq().PlayPrevSong();
    s_.RefreshInfo();
}

void SessionLibrary::FileListClick(int item) {
    PlaybackSession::StateChange change(s_);
    files::PlayList& list = fileOp_.List();
    const int k = item + 1;
    if (list.Count() == 0 || k < 1 || k > list.Count() || k == list.Index()) return;
    const int previous = list.Index();
    // Only an entry that starts becomes the current one.
    if (!s_.player_.PlayEntry(k)) {
        list.SetIndex(previous);
        s_.RefreshInfo();
    }
}

bool SessionLibrary::RemoveEntry(int index) {
    PlaybackSession::StateChange change(s_);
    files::PlayList& list = fileOp_.List();
    if (index < 1 || index > list.Count() || index == list.Index()) return false;
    list.Remove(index);
    s_.RefreshInfo();
    s_.ForEachObserver([](SessionObserver* o) { o->OnListChanged(); });
    return true;
}

files::SaveResult SessionLibrary::SaveList(const std::string& path) {
    return fileOp_.SaveListAs(path);
}

void SessionLibrary::OpenRecent(int item) {
    const auto& items = fileOp_.Recent().Items();
    if (item < 0 || item >= static_cast<int>(items.size()) || items[item].empty()) return;
    OpenPaths({items[item]});
}

void SessionLibrary::ClearRecent() {
    fileOp_.Recent().Clear();
    s_.ForEachObserver([](SessionObserver* o) { o->OnRecentChanged(); });
}

void SessionLibrary::ClearSong() {
    PlaybackSession::StateChange change(s_);
    s_.transport_.stepping_ = false;
    Player& player = s_.player_;
    player.Seq().ForgetSong();
    player.Song().Clear();
    player.Output().DisplayText.Set("");
    s_.presentation_.link_.SongUnloaded();
    lyrics_.reset();
    lastError_.clear();
    lastOpenOk_ = false;
    s_.RefreshInfo();
}

std::vector<files::PlayList::MenuItem> SessionLibrary::PlayListMenu() const {
    return fileOp_.List().MenuItems();
}

files::RecentList::Menu SessionLibrary::RecentMenu() const {
    return fileOp_.Recent().BuildMenu();
}

// --- Favourites --------------------------------------------------------------

void SessionLibrary::ReloadFavorites() {
    const SessionEnv& env = s_.env_;
    favorites_.clear();
    std::vector<std::string> unreadable;
    if (!env.favoriteFolder.empty())
        favorites_ = files::LoadFavorites(env.favoriteFolder, env.codePage, &unreadable);
    // Each file once: the folder is read again after every change.
    std::string told;
    for (const std::string& f : unreadable)
        if (toldUnreadable_.insert(f).second) told += (told.empty() ? "" : ", ") + f;
    if (!told.empty()) env.notifier.Error(files::msg::kFavoriteSkipped + told);
    s_.ForEachObserver([](SessionObserver* o) { o->OnFavoritesChanged(); });
}

std::optional<files::FavoriteProposal> SessionLibrary::BeginAddFavorite() {
    return fileOp_.BeginAddFavorite(s_.Snapshot().title);
}

bool SessionLibrary::FinishAddFavorite(const std::string& answer,
                                       const files::FavoriteProposal& proposal) {
    const std::string& folder = s_.env_.favoriteFolder;
    if (folder.empty() || !fileOp_.FinishAddFavorite(folder, answer, proposal)) return false;
    ReloadFavorites();
    return true;
}

bool SessionLibrary::RenameFavorite(int index, const std::string& newTitle) {
    if (index < 0 || index >= static_cast<int>(favorites_.size()) || newTitle.empty()) return false;
    const SessionEnv& env = s_.env_;
    const files::FileStatus renamed =
        files::RenameFavorite(env.favoriteFolder, favorites_[index], newTitle, env.codePage);
    if (!renamed.ok()) env.notifier.Error(renamed.Message());
    ReloadFavorites();
    return renamed.ok();
}

bool SessionLibrary::DeleteFavorite(int index) {
    if (index < 0 || index >= static_cast<int>(favorites_.size())) return false;
    const files::FileStatus deleted = files::DeleteFavorite(favorites_[index]);
    if (!deleted.ok()) s_.env_.notifier.Error(deleted.Message());
    ReloadFavorites();
    return deleted.ok();
}

void SessionLibrary::OpenFavorite(int index) {
    if (index < 0 || index >= static_cast<int>(favorites_.size())) return;
    OpenPaths({favorites_[index].Path});
}

}  // namespace sonfara
