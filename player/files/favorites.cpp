#include "player/files/favorites.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "player/files/paths.h"

namespace sonfara::files {
namespace {

bool MakeFolders(const std::string& folder) {
    if (folder.empty() || FolderExists(folder)) return true;
    const std::string parent = PathFolder(folder);
    if (!parent.empty() && parent != folder && !MakeFolders(parent)) return false;
    return ::mkdir(folder.c_str(), 0755) == 0 || errno == EEXIST;
}

}  // namespace

std::string DefaultFavoriteFolder() {
    std::string base;
    if (const char* d = std::getenv("XDG_DATA_HOME"); d && d[0] == '/') {
        base = d;
    } else if (const char* h = std::getenv("HOME"); h && *h) {
        base = std::string(h) + "/.local/share";
    } else {
        base = ".";
    }
    return base + "/Sonfara/Favorite";
}

std::vector<std::string> ReadDelimitedFields(std::string_view text) {
    std::vector<std::string> fields;
    size_t i = 0;
    const size_t n = text.size();
    auto atLineEnd = [&](size_t k) { return text[k] == '\r' || text[k] == '\n'; };
    while (i < n) {
        while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
        std::string field;
        if (i < n && text[i] == '"') {
            const size_t close = text.find('"', i + 1);
            const size_t end = close == std::string_view::npos ? n : close;
            field = std::string(text.substr(i + 1, end - i - 1));
            i = close == std::string_view::npos ? n : close + 1;
            while (i < n && text[i] != ',' && !atLineEnd(i)) ++i;  // text after the quote
        } else {
            const size_t start = i;
            while (i < n && text[i] != ',' && !atLineEnd(i)) ++i;
            field = Trim(text.substr(start, i - start));
        }
        if (i < n) {
            if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
            ++i;
        }
        fields.push_back(std::move(field));
    }
    return fields;
}

std::string DelimitedField(const std::string& text) {
    std::string t = text;
    const bool needsQuotes =
        t.find_first_of(",\r\n") != std::string::npos ||
        (!t.empty() && (t.front() == ' ' || t.front() == '\t' || t.back() == ' ' ||
                        t.back() == '\t' || t.front() == '"'));
    if (!needsQuotes) return t;
    // A quoted field cannot hold a double quote.
    std::replace(t.begin(), t.end(), '"', '\'');
    return "\"" + t + "\"";
}

bool ParseFavorite(std::string_view bytes, const platform::CodePage& cp, FavoriteEntry& out) {
    const std::vector<std::string> f = ReadDelimitedFields(DecodeText(bytes, cp));
    if (f.empty() || Upper(f[0]) != kFavoriteHeader) return false;
    size_t i = 1;
    while (i < f.size() && f[i].empty()) ++i;
    if (i + 1 >= f.size()) return false;
    out.Title = f[i];
    out.Path = f[i + 1];
    return !out.Path.empty();
}

std::vector<FavoriteEntry> LoadFavorites(const std::string& folder, const platform::CodePage& cp,
                                         std::vector<std::string>* unreadable) {
    std::vector<FavoriteEntry> favs;
    (void)MakeFolders(folder);  // a folder that cannot be made lists nothing below
    DIR* d = ::opendir(folder.c_str());
    if (!d) return favs;
    std::vector<std::string> names;
    while (dirent* de = ::readdir(d)) {
        const std::string name = de->d_name;
        if (name.size() > 4 && UpperTail(name, 4) == ".MSF" && name[0] != '.')
            names.push_back(name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        FavoriteEntry e;
        std::string bytes;
        const std::string path = platform::JoinPath(folder, name);
        if (platform::ReadWholeFile(path, bytes, kMaxFavoriteFileBytes) !=
            platform::ReadStatus::kOk) {
            if (unreadable) unreadable->push_back(path);
        } else if (ParseFavorite(bytes, cp, e)) {
            e.FilePath = path;
            favs.push_back(std::move(e));
        }
    }
    return favs;
}

std::string FavoriteFileName(const std::string& title) {
    std::string n = title;
    for (char& c : n) {
        if (std::strchr("/\\:*?\"<>|", c) || static_cast<unsigned char>(c) < 0x20) c = '_';
    }
    if (n.empty() || n[0] == '.') n.insert(0, "_");
    if (n.size() > 200) {
        n.resize(200);
        while (!n.empty() && (static_cast<unsigned char>(n.back()) & 0xC0) == 0x80) n.pop_back();
        if (!n.empty() && (static_cast<unsigned char>(n.back()) & 0x80)) n.pop_back();
    }
    return n + ".msf";
}

namespace {

std::string FavoriteText(const std::string& title, const std::string& path,
                         const platform::CodePage& cp) {
    return EncodeTextFile({kFavoriteHeader, DelimitedField(title), DelimitedField(path)}, cp);
}

// Writes a favourite file under a name no other favourite holds.
FileStatus WriteNewFavorite(const std::string& file, const std::string& title,
                            const std::string& path, const platform::CodePage& cp) {
    const platform::PlatformStatus written =
        platform::WriteNewFile(file, FavoriteText(title, path, cp));
    if (written.ok()) return {};
    if (written.code() == platform::PlatformError::kExists)
        return {FileError::kFavoriteExists, title};
    return {FileError::kCannotSave, written.Message()};
}

}  // namespace

FileStatus AddFavorite(const std::string& folder, const std::string& title, const std::string& path,
                       const platform::CodePage& cp) {
    if (!MakeFolders(folder)) return {FileError::kCannotSave, folder + ": " + std::strerror(errno)};
    return WriteNewFavorite(platform::JoinPath(folder, FavoriteFileName(title)), title, path, cp);
}

FileStatus RenameFavorite(const std::string& folder, const FavoriteEntry& fav,
                          const std::string& newTitle, const platform::CodePage& cp) {
    const std::string newFile = platform::JoinPath(folder, FavoriteFileName(newTitle));
    // A new title that gives the same file name rewrites its own file.
    if (newFile == fav.FilePath) {
        return WriteFileReplacing(newFile, FavoriteText(newTitle, fav.Path, cp));
    }
    FileStatus written = WriteNewFavorite(newFile, newTitle, fav.Path, cp);
    // An old file that cannot go stays listed beside the new one.
    if (written.ok() && !fav.FilePath.empty()) ::unlink(fav.FilePath.c_str());
    return written;
}

FileStatus DeleteFavorite(const FavoriteEntry& fav) {
    if (::unlink(fav.FilePath.c_str()) == 0) return {};
    return {FileError::kCannotDeleteFavorite, fav.FilePath + ": " + std::strerror(errno)};
}

FavoriteProposal ProposeFavorite(const SongSource& song, const std::string& songTitle) {
    FavoriteProposal p;
    if (!song.ListFile.empty()) {
        p.path = p.title = song.ListFile;
    } else if (!song.ArchivePath.empty()) {
        p.path = p.title = song.ArchivePath;
    } else {
        p.path = song.FullPath;
        p.title = songTitle;
    }
    p.prompt = "\"" + p.path + platform::Localized(msg::kFavoritePromptTail);
    return p;
}

FavoritesMenu BuildFavoritesMenu(const std::vector<FavoriteEntry>& favorites) {
    FavoritesMenu m;
    for (const auto& f : favorites) m.captions.push_back(f.Title);
    m.placeholderVisible = favorites.empty();
    return m;
}

}  // namespace sonfara::files
