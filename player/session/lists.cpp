#include "player/session/lists.h"

#include "player/session/songs.h"

namespace sonfara::session {

SessionLists::SessionLists(SessionCore& core, SessionSongs& songs) : core_(core), songs_(songs) {
    ReloadFavorites();
}

const files::PlayList& SessionLists::List() const {
    return core_.Files().List();
}

const files::RecentList& SessionLists::Recent() const {
    return core_.Files().Recent();
}

void SessionLists::FileListClick(int item) {
    SessionCore::StateChange change(core_);
    files::PlayList& list = core_.Files().List();
    const int k = item + 1;
    if (list.Count() == 0 || k < 1 || k > list.Count() || k == list.Index()) return;
    const int previous = list.Index();
    // Only an entry that starts becomes the current one.
    if (!core_.GetPlayer().PlayEntry(k)) {
        list.SetIndex(previous);
        core_.RefreshInfo();
    }
}

bool SessionLists::RemoveEntry(int index) {
    SessionCore::StateChange change(core_);
    files::PlayList& list = core_.Files().List();
    if (index < 1 || index > list.Count() || index == list.Index()) return false;
    list.Remove(index);
    core_.RefreshInfo();
    core_.ForEachObserver([](SessionObserver* o) { o->OnListChanged(SessionList::kPlayList); });
    return true;
}

files::SaveResult SessionLists::SaveList(const std::string& path) {
    return core_.Files().SaveListAs(path);
}

void SessionLists::OpenRecent(int item) {
    const auto& items = core_.Files().Recent().Items();
    if (item < 0 || item >= static_cast<int>(items.size()) || items[item].empty()) return;
    songs_.OpenPaths({items[item]});
}

void SessionLists::ClearRecent() {
    core_.Files().Recent().Clear();
    core_.ForEachObserver([](SessionObserver* o) { o->OnListChanged(SessionList::kRecent); });
}

std::vector<files::PlayList::MenuItem> SessionLists::PlayListMenu() const {
    return core_.Files().List().MenuItems();
}

files::RecentList::Menu SessionLists::RecentMenu() const {
    return core_.Files().Recent().BuildMenu();
}

// --- Favourites --------------------------------------------------------------

void SessionLists::ReloadFavorites() {
    const SessionEnv& env = core_.Env();
    favorites_.clear();
    std::vector<std::string> unreadable;
    if (!env.favoriteFolder.empty())
        favorites_ = files::LoadFavorites(env.favoriteFolder, env.codePage, &unreadable);
    // Each file once: the folder is read again after every change.
    std::string told;
    for (const std::string& f : unreadable)
        if (toldUnreadable_.insert(f).second) told += (told.empty() ? "" : ", ") + f;
    if (!told.empty()) env.notifier.Error(files::msg::kFavoriteSkipped + told);
    core_.ForEachObserver([](SessionObserver* o) { o->OnListChanged(SessionList::kFavorites); });
}

std::optional<files::FavoriteProposal> SessionLists::BeginAddFavorite() {
    return core_.Files().BeginAddFavorite(core_.Snapshot().title);
}

bool SessionLists::FinishAddFavorite(const std::string& answer,
                                     const files::FavoriteProposal& proposal) {
    const std::string& folder = core_.Env().favoriteFolder;
    if (folder.empty() || !core_.Files().FinishAddFavorite(folder, answer, proposal)) return false;
    ReloadFavorites();
    return true;
}

bool SessionLists::RenameFavorite(int index, const std::string& newTitle) {
    if (index < 0 || index >= static_cast<int>(favorites_.size()) || newTitle.empty()) return false;
    const SessionEnv& env = core_.Env();
    const files::FileStatus renamed =
        files::RenameFavorite(env.favoriteFolder, favorites_[index], newTitle, env.codePage);
    if (!renamed.ok()) env.notifier.Error(renamed.Message());
    ReloadFavorites();
    return renamed.ok();
}

bool SessionLists::DeleteFavorite(int index) {
    if (index < 0 || index >= static_cast<int>(favorites_.size())) return false;
    const files::FileStatus deleted = files::DeleteFavorite(favorites_[index]);
    if (!deleted.ok()) core_.Env().notifier.Error(deleted.Message());
    ReloadFavorites();
    return deleted.ok();
}

void SessionLists::OpenFavorite(int index) {
    if (index < 0 || index >= static_cast<int>(favorites_.size())) return;
    songs_.OpenPaths({favorites_[index].Path});
}

}  // namespace sonfara::session
