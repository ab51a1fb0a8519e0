// The song library's database: one SQLite file with a row per song (also
// per song inside an archive), the folders the user added, and the search
// index. One store is one connection: use it on one thread at a time; a
// scan and the window each open their own (the file is in WAL mode, so
// searching goes on while a scan writes).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "player/library/messages.h"
#include "player/library/query.h"
#include "player/library/song_record.h"

struct sqlite3;
struct sqlite3_stmt;

namespace sonfara::library {

// $XDG_DATA_HOME/Tenmoor/Sonfara/library.db
std::string DefaultLibraryPath();

struct LibraryFolder {
    int64_t id = 0;
    std::string path;
    bool missing = false;  // not there at the last scan (an unmounted disk)
};

// One song as a search lists it.
struct LibraryRow {
    int64_t id = 0;
    std::string path;
    std::string member;  // archive member, empty for a plain file
    std::string title;
    int32_t lengthMs = 0;
    SongModule module = SongModule::kNone;
    std::string format;
    int tracks = 0;
    bool hasLyrics = false;
    bool hasWrd = false;
    bool missing = false;
    std::string error;
};

struct LibraryStats {
    int64_t songs = 0;
    int64_t failed = 0;
    int64_t missing = 0;
    int64_t withLyrics = 0;
    int64_t archived = 0;
    int64_t totalMs = 0;
    int64_t byModule[4] = {};  // indexed by SongModule
    int64_t databaseBytes = 0;
    std::vector<LibraryFolder> folders;
};

// The size and time a file had when it was last read.
struct FileStamp {
    int64_t size = 0;
    int64_t mtime = 0;
    // A WRD script, a document beside a plain file (archives: always false).
    bool wrd = false;
    bool doc = false;
    bool operator==(const FileStamp&) const = default;
};

class LibraryStore {
  public:
    LibraryStore();
    ~LibraryStore();
    LibraryStore(const LibraryStore&) = delete;
    LibraryStore& operator=(const LibraryStore&) = delete;

    // Opens or creates the database (and its folder). A damaged file is
    // renamed to "<path>.damaged" (a number added when taken) and a new one
    // created: the store is open then, and the status is kDamaged naming
    // the old file. A file that cannot be written (read-only disk or
    // folder, full disk) is kCannotOpen or kCannotWrite and the store stays
    // closed.
    LibraryStatus Open(const std::string& path);
    bool IsOpen() const { return db_ != nullptr; }
    const std::string& Path() const { return path_; }
    void Close();
    // Sets a database found damaged while in use aside and starts a new
    // one with the same folders (as far as they can still be read);
    // kDamaged naming the old file, or why it could not be done.
    LibraryStatus Rebuild();

    // --- Folders ------------------------------------------------------------
    // Adds a folder (an absolute path); an existing one keeps its songs.
    LibraryStatus AddFolder(const std::string& folder, int64_t* id = nullptr);
    // Forgets the folder and all its songs.
    LibraryStatus RemoveFolder(const std::string& folder);
    std::vector<LibraryFolder> Folders();
    LibraryStatus SetFolderMissing(int64_t folderId, bool missing);

    // --- Writing songs (a scan) -----------------------------------------------
    LibraryStatus Begin();
    LibraryStatus Commit();
    // The files of a folder with the stamp they were read at.
    std::map<std::string, FileStamp> KnownFiles(int64_t folderId);
    // Removes every row of a file (all members of an archive).
    LibraryStatus RemoveFile(const std::string& path);
    // Adds one song; `rel` is its path below the folder (and member), searched
    // as words.
    LibraryStatus Insert(const SongRecord& song, int64_t folderId, const std::string& rel);

    // --- Reading ------------------------------------------------------------
    // At most `limit` rows (0: all); `more` tells whether others matched.
    LibraryStatus Search(const LibraryQuery& query, std::vector<LibraryRow>& rows, size_t limit,
                         bool* more = nullptr);
    LibraryStatus Search(const std::string& text, std::vector<LibraryRow>& rows, size_t limit,
                         bool* more = nullptr);
    std::optional<SongRecord> Song(int64_t id);
    LibraryStats Stats();

    // The status of the last failure seen on this connection (a damaged
    // file found while reading also sets it; Open then starts afresh).
    const LibraryStatus& LastError() const { return lastError_; }

  private:
    class Statement;
    LibraryStatus CreateSchema();
    LibraryStatus Fail(int rc, const char* what);
    LibraryStatus SetAside();
    sqlite3_stmt* Prepared(const char* sql);
    LibraryStatus DeleteSong(int64_t id, const void* programs, int bytes);
    LibraryStatus RemoveSong(const std::string& path, const std::string& member);
    void SaveFolderList();
    std::string SearchSql(const LibraryQuery& q, const std::string& match, bool walkTitles,
                          std::vector<std::string>& texts, std::vector<int64_t>& numbers);

    sqlite3* db_ = nullptr;
    std::string path_;
    std::map<std::string, sqlite3_stmt*> statements_;
    LibraryStatus lastError_;
};

// True for the extensions of songs the library reads (what the folder and
// archive commands open).
bool IsLibrarySong(const std::string& name);

}  // namespace sonfara::library
