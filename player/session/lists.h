// The lists part of a playback session: the play list's menu and entries,
// the recent list and the favourites. UI thread; the menus read them.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "player/files/favorites.h"
#include "player/files/file_op.h"
#include "player/session/core.h"

namespace sonfara::session {

class SessionSongs;

// It edits the lists of the file pipeline the songs part runs, and opens
// their entries through that part.
class SessionLists {
  public:
    SessionLists(SessionCore& core, SessionSongs& songs);
    SessionLists(const SessionLists&) = delete;
    SessionLists& operator=(const SessionLists&) = delete;

    // File-list menu item (0-based): nothing for the playing entry.
    void FileListClick(int item);
    // Removes entry `index` (1-based): later entries move up and the current
    // index follows its entry. The playing entry is kept (false).
    bool RemoveEntry(int index);
    files::SaveResult SaveList(const std::string& path);
    void OpenRecent(int item);  // 0-based
    void ClearRecent();

    // What "add" proposes (title and prompt); nullopt with the message
    // shown when no song is loaded.
    std::optional<files::FavoriteProposal> BeginAddFavorite();
    bool FinishAddFavorite(const std::string& answer, const files::FavoriteProposal& proposal);
    bool RenameFavorite(int index, const std::string& newTitle);  // 0-based
    bool DeleteFavorite(int index);
    void OpenFavorite(int index);
    const std::vector<files::FavoriteEntry>& Favorites() const { return favorites_; }

    std::vector<files::PlayList::MenuItem> PlayListMenu() const;
    files::RecentList::Menu RecentMenu() const;
    const files::PlayList& List() const;
    const files::RecentList& Recent() const;

  private:
    void ReloadFavorites();

    SessionCore& core_;
    SessionSongs& songs_;
    std::vector<files::FavoriteEntry> favorites_;
    std::set<std::string> toldUnreadable_;  // favourite files already reported
};

}  // namespace sonfara::session
