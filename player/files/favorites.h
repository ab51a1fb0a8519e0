// Favourites: one small text file per favourite (<title>.msf) in the user's
// data folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "player/files/file_entry.h"
#include "player/platform/codepage.h"

namespace sonfara::files {

inline constexpr const char* kFavoriteHeader = "[SONFARA FAVORITE FILE]";
// A favourite is three short lines; anything larger is not one.
inline constexpr uintmax_t kMaxFavoriteFileBytes = 1 << 20;

struct FavoriteEntry {
    std::string Title;     // menu caption (UTF-8)
    std::string Path;      // what is opened: a song, an archive or a list file
    std::string FilePath;  // the .msf file it was read from
};

// $XDG_DATA_HOME/Sonfara/Favorite, else ~/.local/share/Sonfara/Favorite.
std::string DefaultFavoriteFolder();

// Delimited fields: a field ends at a comma or a line end, leading blanks
// are skipped, a field in double quotes keeps its commas.
std::vector<std::string> ReadDelimitedFields(std::string_view text);
// One field as the writer puts it: quoted when it would not read back as is.
std::string DelimitedField(const std::string& text);

// Reads a favourite file's text; false when the header does not match or
// title and path are not both there.
bool ParseFavorite(std::string_view bytes, const platform::CodePage& cp, FavoriteEntry& out);

// Creates the folder when missing and reads every *.msf file in it, ordered
// by file name. Files that cannot be read (a FIFO or a folder of that name,
// no permission, over 1 MiB) are left out and listed in `unreadable`; files
// without the header are left out silently.
std::vector<FavoriteEntry> LoadFavorites(const std::string& folder, const platform::CodePage& cp,
                                         std::vector<std::string>* unreadable = nullptr);

// The file name for a title: characters that cannot be in a file name (and
// a leading dot) become '_', so a title never names a file outside the folder.
std::string FavoriteFileName(const std::string& title);

// Writes <folder>/<title>.msf through a temporary file. A file of that name
// (another favourite whose title gives the same file name) is never
// replaced: kFavoriteExists; kCannotSave when the file cannot be written.
FileStatus AddFavorite(const std::string& folder, const std::string& title, const std::string& path,
                       const platform::CodePage& cp);
// Gives a favourite a new title: the new file is written before the old one
// is removed; a title whose file belongs to another favourite is refused
// as above.
FileStatus RenameFavorite(const std::string& folder, const FavoriteEntry& fav,
                          const std::string& newTitle, const platform::CodePage& cp);
// kCannotDeleteFavorite when the file stays.
FileStatus DeleteFavorite(const FavoriteEntry& fav);

// What the add-favourite command remembers for the current song, the title
// it proposes and the prompt of its input box.
struct FavoriteProposal {
    std::string path;
    std::string title;
    std::string prompt;
};
FavoriteProposal ProposeFavorite(const SongSource& song, const std::string& songTitle);

// The favourites menu: the placeholder shows only without favourites.
struct FavoritesMenu {
    bool placeholderVisible = true;
    std::vector<std::string> captions;
};
FavoritesMenu BuildFavoritesMenu(const std::vector<FavoriteEntry>& favorites);

}  // namespace sonfara::files
