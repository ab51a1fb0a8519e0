#include "player/library/library_store.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstring>
#include <set>

#include "player/files/archive.h"
#include "player/files/paths.h"
#include "player/library/fts_tokenizer.h"
#include "player/platform/user_files.h"

namespace sonfara::library {
namespace {

constexpr int kSchemaVersion = 1;
constexpr int kBusyWaitMs = 10000;

// Songs are narrow rows (what a search lists and filters on); their texts
// live apart, so a search that fetches thousands of rows reads few pages.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS folders(
    id INTEGER PRIMARY KEY, path TEXT NOT NULL UNIQUE, missing INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS songs(
    id INTEGER PRIMARY KEY, folder INTEGER NOT NULL,
    path TEXT NOT NULL, member TEXT NOT NULL DEFAULT '',
    size INTEGER NOT NULL, mtime INTEGER NOT NULL, title TEXT NOT NULL,
    module INTEGER NOT NULL, format TEXT NOT NULL, tracks INTEGER NOT NULL,
    length_ms INTEGER NOT NULL, tempo_min INTEGER NOT NULL, tempo_max INTEGER NOT NULL,
    timesig TEXT NOT NULL, notes INTEGER NOT NULL, programs BLOB,
    has_lyrics INTEGER NOT NULL, has_loop INTEGER NOT NULL, has_wrd INTEGER NOT NULL,
    has_doc INTEGER NOT NULL, error TEXT NOT NULL,
    UNIQUE(path, member));
CREATE INDEX IF NOT EXISTS songs_folder ON songs(folder);
CREATE INDEX IF NOT EXISTS songs_title ON songs(title COLLATE NOCASE);
CREATE INDEX IF NOT EXISTS songs_length ON songs(length_ms);
CREATE TABLE IF NOT EXISTS song_texts(
    id INTEGER PRIMARY KEY, names TEXT NOT NULL, texts TEXT NOT NULL, lyrics TEXT NOT NULL,
    rel TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS song_programs(
    program INTEGER NOT NULL, song INTEGER NOT NULL, PRIMARY KEY(program, song)) WITHOUT ROWID;
CREATE VIRTUAL TABLE IF NOT EXISTS song_index USING fts5(
    title, names, texts, lyrics, rel, content='', tokenize='sonfara_ngram');
CREATE TRIGGER IF NOT EXISTS song_texts_ai AFTER INSERT ON song_texts BEGIN
    INSERT INTO song_index(rowid, title, names, texts, lyrics, rel)
    VALUES (new.id, (SELECT title FROM songs WHERE id=new.id), new.names, new.texts, new.lyrics,
            new.rel);
END;
CREATE TRIGGER IF NOT EXISTS song_texts_ad AFTER DELETE ON song_texts BEGIN
    INSERT INTO song_index(song_index, rowid, title, names, texts, lyrics, rel)
    VALUES ('delete', old.id, (SELECT title FROM songs WHERE id=old.id), old.names, old.texts,
            old.lyrics, old.rel);
END;
)sql";

bool IsDamage(int rc) {
    rc &= 0xFF;
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

bool IsWriteFailure(int rc) {
    rc &= 0xFF;
    return rc == SQLITE_READONLY || rc == SQLITE_FULL || rc == SQLITE_IOERR ||
           rc == SQLITE_CANTOPEN || rc == SQLITE_PERM;
}

bool Exists(const std::string& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0;
}

std::string Text(sqlite3_stmt* st, int col) {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
    return t ? std::string(t, static_cast<size_t>(sqlite3_column_bytes(st, col))) : std::string();
}

void Bind(sqlite3_stmt* st, int i, const std::string& s) {
    sqlite3_bind_text(st, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

const char* kSortSql[] = {
    "s.title COLLATE NOCASE",
    "s.length_ms",
    "s.module",
    "s.path",
    "s.format",
    "s.tracks",
    "s.tempo_max",
    "s.notes",
    "s.mtime",
};

// LIKE pattern for "contains", with the pattern characters escaped.
std::string ContainsPattern(const std::string& text) {
    std::string p = "%";
    for (char c : text) {
        if (c == '%' || c == '_' || c == '\\') p += '\\';
        p += c;
    }
    return p + "%";
}

// The folder list is also kept in a small text file beside the database
// ("<db>.folders", one path a line), so a damaged database that is set
// aside does not take the user's folders with it.
std::string FolderListPath(const std::string& db) {
    return db + ".folders";
}

std::vector<std::string> ReadFolderList(const std::string& db) {
    std::string text;
    std::vector<std::string> out;
    if (platform::ReadWholeFile(FolderListPath(db), text, 1 << 20) != platform::ReadStatus::kOk)
        return out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

}  // namespace

std::string DefaultLibraryPath() {
    return platform::JoinPath(platform::JoinPath(platform::UserDataFolder(), "Tenmoor/Sonfara"),
                              "library.db");
}

bool IsLibrarySong(const std::string& name) {
    for (const std::string& p : files::SongPatterns()) {
        if (files::MemberMatches(p, name)) return true;
    }
    return false;
}

LibraryStore::LibraryStore() = default;
LibraryStore::~LibraryStore() {
    Close();
}

void LibraryStore::Close() {
    for (auto& [sql, st] : statements_) sqlite3_finalize(st);
    statements_.clear();
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

sqlite3_stmt* LibraryStore::Prepared(const char* sql) {
    auto it = statements_.find(sql);
    if (it != statements_.end()) {
        sqlite3_reset(it->second);
        sqlite3_clear_bindings(it->second);
        return it->second;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
        return nullptr;
    statements_[sql] = st;
    return st;
}

LibraryStatus LibraryStore::Fail(int rc, const char* what) {
    const std::string detail = path_ + " (" + (db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc)) +
                               (what ? std::string(", ") + what : std::string()) + ")";
    if (IsDamage(rc)) {
        lastError_ = {LibraryError::kDamaged, path_};
    } else if (IsWriteFailure(rc)) {
        lastError_ = {LibraryError::kCannotWrite, detail};
    } else {
        lastError_ = {LibraryError::kCannotOpen, detail};
    }
    return lastError_;
}

// Renames the damaged file (and its journal) out of the way.
LibraryStatus LibraryStore::SetAside() {
    Close();
    std::string target = path_ + ".damaged";
    for (int n = 2; Exists(target); ++n) target = path_ + ".damaged-" + std::to_string(n);
    if (::rename(path_.c_str(), target.c_str()) != 0)
        return {LibraryError::kCannotWrite, path_ + " (" + std::strerror(errno) + ")"};
    for (const char* side : {"-wal", "-shm"}) {
        const std::string from = path_ + side;
        if (Exists(from)) ::rename(from.c_str(), (target + side).c_str());
    }
    return {LibraryError::kDamaged, target};
}

LibraryStatus LibraryStore::Open(const std::string& path) {
    Close();
    path_ = path;
    lastError_ = {};
    const std::string folder = files::PathFolder(path);
    if (!folder.empty() && !platform::MakeFolders(folder))
        return lastError_ = {LibraryError::kCannotWrite, path + " (" + std::strerror(errno) + ")"};
    LibraryStatus notice;
    std::vector<LibraryFolder> salvaged;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int rc = sqlite3_open_v2(path.c_str(), &db_,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc != SQLITE_OK) {
            LibraryStatus s = Fail(rc, nullptr);
            Close();
            return s.code() == LibraryError::kCannotOpen
                       ? lastError_ = {LibraryError::kCannotWrite, s.detail()}
                       : s;
        }
        if (sqlite3_db_readonly(db_, "main") == 1) {
            Close();
            return lastError_ = {LibraryError::kCannotWrite, path + " (read-only)"};
        }
        sqlite3_busy_timeout(db_, kBusyWaitMs);
        RegisterTokenizer(db_);
        LibraryStatus s = CreateSchema();
        if (s.ok()) {
            // The folders of a damaged file: as far as they could be read,
            // and as the list beside it has them.
            if (notice.code() == LibraryError::kDamaged) {
                for (const std::string& f : ReadFolderList(path)) salvaged.push_back({0, f, false});
                for (const LibraryFolder& f : salvaged) (void)AddFolder(f.path);  // best effort
            }
            return lastError_ = notice;
        }
        if (s.code() != LibraryError::kDamaged || attempt > 0) {
            Close();
            return lastError_ = s;
        }
        salvaged = Folders();
        notice = SetAside();
        if (notice.code() != LibraryError::kDamaged) return lastError_ = notice;
    }
    return notice;
}

LibraryStatus LibraryStore::Rebuild() {
    std::vector<LibraryFolder> folders = db_ ? Folders() : std::vector<LibraryFolder>{};
    LibraryStatus aside = SetAside();
    if (aside.code() != LibraryError::kDamaged) return lastError_ = aside;
    LibraryStatus s = Open(path_);
    if (!s.ok()) return s;
    for (const LibraryFolder& f : folders)
        (void)AddFolder(f.path);  // best effort: the list is kept
    for (const std::string& f : ReadFolderList(path_)) (void)AddFolder(f);
    return lastError_ = aside;
}

LibraryStatus LibraryStore::CreateSchema() {
    char* err = nullptr;
    int rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr,
                          nullptr, &err);
    sqlite3_free(err);
    if (rc == SQLITE_OK) {
        // Reading the schema is where a file that is no database shows it.
        sqlite3_stmt* st = nullptr;
        rc = sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &st, nullptr);
        int version = 0;
        if (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
            version = sqlite3_column_int(st, 0);
            rc = SQLITE_OK;
        }
        sqlite3_finalize(st);
        // A newer program's database is left as it is, not taken for damage.
        if (rc == SQLITE_OK && version > kSchemaVersion)
            return lastError_ = {LibraryError::kCannotOpen, path_ + " (a newer version's library)"};
        // An existing database is only read here: an open never waits for a
        // scan that is writing.
        if (rc == SQLITE_OK && version == kSchemaVersion) return {};
    }
    if (rc == SQLITE_OK) rc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db_, ("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str(),
                          nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? LibraryStatus{} : Fail(rc, nullptr);
}

LibraryStatus LibraryStore::AddFolder(const std::string& folder, int64_t* id) {
    sqlite3_stmt* st = Prepared(
        "INSERT INTO folders(path) VALUES (?1) ON CONFLICT(path) DO UPDATE SET path=path "
        "RETURNING id");
    if (!st) return Fail(sqlite3_errcode(db_), "folders");
    Bind(st, 1, folder);
    const int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) return Fail(rc, "folders");
    if (id) *id = sqlite3_column_int64(st, 0);
    sqlite3_reset(st);
    SaveFolderList();
    return {};
}

void LibraryStore::SaveFolderList() {
    std::string text;
    for (const LibraryFolder& f : Folders()) text += f.path + "\n";
    // Only a spare copy: the database stays the record when it cannot be written.
    (void)platform::WriteFileReplacing(FolderListPath(path_), text);
}

LibraryStatus LibraryStore::RemoveFolder(const std::string& folder) {
    int64_t id = -1;
    for (const LibraryFolder& f : Folders()) {
        if (f.path == folder) id = f.id;
    }
    if (id < 0) return {LibraryError::kNoFolder, folder};
    LibraryStatus s = Begin();
    if (!s.ok()) return s;
    sqlite3_stmt* st = Prepared("SELECT id, programs FROM songs WHERE folder=?1");
    if (!st) return Fail(sqlite3_errcode(db_), nullptr);
    sqlite3_bind_int64(st, 1, id);
    std::vector<std::pair<int64_t, std::string>> songs;
    while (sqlite3_step(st) == SQLITE_ROW)
        songs.emplace_back(sqlite3_column_int64(st, 0), Text(st, 1));
    sqlite3_reset(st);
    for (const auto& [song, programs] : songs) {
        s = DeleteSong(song, programs.data(), static_cast<int>(programs.size()));
        if (!s.ok()) return s;
    }
    st = Prepared("DELETE FROM folders WHERE id=?1");
    sqlite3_bind_int64(st, 1, id);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) return Fail(rc, nullptr);
    s = Commit();
    if (s.ok()) SaveFolderList();
    return s;
}

std::vector<LibraryFolder> LibraryStore::Folders() {
    std::vector<LibraryFolder> out;
    sqlite3_stmt* st = Prepared("SELECT id, path, missing FROM folders ORDER BY path");
    if (!st) return out;
    while (sqlite3_step(st) == SQLITE_ROW)
        out.push_back({sqlite3_column_int64(st, 0), Text(st, 1), sqlite3_column_int(st, 2) != 0});
    sqlite3_reset(st);
    return out;
}

LibraryStatus LibraryStore::SetFolderMissing(int64_t folderId, bool missing) {
    sqlite3_stmt* st = Prepared("UPDATE folders SET missing=?2 WHERE id=?1");
    if (!st) return Fail(sqlite3_errcode(db_), nullptr);
    sqlite3_bind_int64(st, 1, folderId);
    sqlite3_bind_int(st, 2, missing ? 1 : 0);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_DONE ? LibraryStatus{} : Fail(rc, nullptr);
}

LibraryStatus LibraryStore::Begin() {
    const int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? LibraryStatus{} : Fail(rc, nullptr);
}

LibraryStatus LibraryStore::Commit() {
    const int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return {};
    LibraryStatus s = Fail(rc, nullptr);
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return s;
}

std::map<std::string, FileStamp> LibraryStore::KnownFiles(int64_t folderId) {
    std::map<std::string, FileStamp> out;
    sqlite3_stmt* st = Prepared(
        "SELECT DISTINCT path, size, mtime, member = '' AND has_wrd, member = '' AND has_doc "
        "FROM songs WHERE folder=?1");
    if (!st) return out;
    sqlite3_bind_int64(st, 1, folderId);
    while (sqlite3_step(st) == SQLITE_ROW)
        out[Text(st, 0)] = {sqlite3_column_int64(st, 1), sqlite3_column_int64(st, 2),
                            sqlite3_column_int(st, 3) != 0, sqlite3_column_int(st, 4) != 0};
    sqlite3_reset(st);
    return out;
}

LibraryStatus LibraryStore::DeleteSong(int64_t id, const void* programs, int bytes) {
    ProgramSet set{};
    if (bytes == sizeof(set)) std::memcpy(set.data(), programs, sizeof(set));
    sqlite3_stmt* del = Prepared("DELETE FROM song_programs WHERE program=?1 AND song=?2");
    for (int p = 0; p < 128; ++p) {
        if (!HasProgram(set, p)) continue;
        sqlite3_bind_int(del, 1, p);
        sqlite3_bind_int64(del, 2, id);
        const int rc = sqlite3_step(del);
        sqlite3_reset(del);
        if (rc != SQLITE_DONE) return Fail(rc, nullptr);
    }
    // The texts first: their index entry is removed with the title still there.
    for (const char* sql :
         {"DELETE FROM song_texts WHERE id=?1", "DELETE FROM songs WHERE id=?1"}) {
        sqlite3_stmt* st = Prepared(sql);
        sqlite3_bind_int64(st, 1, id);
        const int rc = sqlite3_step(st);
        sqlite3_reset(st);
        if (rc != SQLITE_DONE) return Fail(rc, nullptr);
    }
    return {};
}

LibraryStatus LibraryStore::RemoveFile(const std::string& path) {
    sqlite3_stmt* st = Prepared("SELECT id, programs FROM songs WHERE path=?1");
    if (!st) return Fail(sqlite3_errcode(db_), nullptr);
    Bind(st, 1, path);
    std::vector<std::pair<int64_t, std::string>> songs;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const auto* b = static_cast<const char*>(sqlite3_column_blob(st, 1));
        songs.emplace_back(
            sqlite3_column_int64(st, 0),
            std::string(b ? b : "", static_cast<size_t>(sqlite3_column_bytes(st, 1))));
    }
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) return Fail(rc, nullptr);
    for (const auto& [id, programs] : songs) {
        LibraryStatus s = DeleteSong(id, programs.data(), static_cast<int>(programs.size()));
        if (!s.ok()) return s;
    }
    return {};
}

LibraryStatus LibraryStore::Insert(const SongRecord& r, int64_t folderId, const std::string& rel) {
    LibraryStatus removed = RemoveSong(r.path, r.member);
    if (!removed.ok()) return removed;
    sqlite3_stmt* st = Prepared(
        "INSERT INTO songs(folder, path, member, size, mtime, title, module, format, tracks, "
        "length_ms, tempo_min, tempo_max, timesig, notes, programs, has_lyrics, has_loop, "
        "has_wrd, has_doc, error) VALUES "
        "(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14,?15,?16,?17,?18,?19,?20)");
    if (!st) return Fail(sqlite3_errcode(db_), nullptr);
    sqlite3_bind_int64(st, 1, folderId);
    Bind(st, 2, r.path);
    Bind(st, 3, r.member);
    sqlite3_bind_int64(st, 4, r.size);
    sqlite3_bind_int64(st, 5, r.mtime);
    Bind(st, 6, r.title);
    sqlite3_bind_int(st, 7, static_cast<int>(r.module));
    Bind(st, 8, r.format);
    sqlite3_bind_int(st, 9, r.tracks);
    sqlite3_bind_int(st, 10, r.lengthMs);
    sqlite3_bind_int(st, 11, r.tempoMin);
    sqlite3_bind_int(st, 12, r.tempoMax);
    Bind(st, 13, r.timeSignature);
    sqlite3_bind_int64(st, 14, r.notes);
    const bool anyProgram = r.programs[0] || r.programs[1];
    if (anyProgram)
        sqlite3_bind_blob(st, 15, r.programs.data(), sizeof(r.programs), SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 16, r.hasLyrics);
    sqlite3_bind_int(st, 17, r.hasLoop);
    sqlite3_bind_int(st, 18, r.hasWrd);
    sqlite3_bind_int(st, 19, r.hasDoc);
    Bind(st, 20, r.error);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) return Fail(rc, "insert");
    const int64_t id = sqlite3_last_insert_rowid(db_);
    st = Prepared("INSERT INTO song_texts(id, names, texts, lyrics, rel) VALUES (?1,?2,?3,?4,?5)");
    sqlite3_bind_int64(st, 1, id);
    Bind(st, 2, r.trackNames);
    Bind(st, 3, r.texts);
    Bind(st, 4, r.lyrics);
    Bind(st, 5, rel);
    rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) return Fail(rc, "insert");
    sqlite3_stmt* prog =
        Prepared("INSERT OR IGNORE INTO song_programs(program, song) VALUES (?1,?2)");
    for (int p = 0; p < 128 && anyProgram; ++p) {
        if (!HasProgram(r.programs, p)) continue;
        sqlite3_bind_int(prog, 1, p);
        sqlite3_bind_int64(prog, 2, id);
        rc = sqlite3_step(prog);
        sqlite3_reset(prog);
        if (rc != SQLITE_DONE) return Fail(rc, "insert");
    }
    return {};
}

LibraryStatus LibraryStore::RemoveSong(const std::string& path, const std::string& member) {
    sqlite3_stmt* st = Prepared("SELECT id, programs FROM songs WHERE path=?1 AND member=?2");
    if (!st) return Fail(sqlite3_errcode(db_), nullptr);
    Bind(st, 1, path);
    Bind(st, 2, member);
    if (sqlite3_step(st) != SQLITE_ROW) {
        sqlite3_reset(st);
        return {};
    }
    const int64_t id = sqlite3_column_int64(st, 0);
    const auto* b = static_cast<const char*>(sqlite3_column_blob(st, 1));
    const std::string programs(b ? b : "", static_cast<size_t>(sqlite3_column_bytes(st, 1)));
    sqlite3_reset(st);
    return DeleteSong(id, programs.data(), static_cast<int>(programs.size()));
}

LibraryStatus LibraryStore::Search(const std::string& text, std::vector<LibraryRow>& rows,
                                   size_t limit, bool* more) {
    LibraryQuery q;
    LibraryStatus s = ParseQuery(text, q);
    if (!s.ok()) return s;
    return Search(q, rows, limit, more);
}

std::string LibraryStore::SearchSql(const LibraryQuery& q, const std::string& match,
                                    bool walkTitles, std::vector<std::string>& texts,
                                    std::vector<int64_t>& numbers) {
    std::string sql =
        "SELECT s.id, s.path, s.member, s.title, s.length_ms, s.module, s.format, s.tracks, "
        "s.has_lyrics, s.has_wrd, s.folder, s.error FROM songs s";
    // Many matches in title order: walking the titles and stopping at the
    // limit beats fetching and sorting every match.
    if (walkTitles) sql += " INDEXED BY songs_title";
    sql += " WHERE 1";
    auto text = [&](const std::string& v) {
        texts.push_back(v);
        return " ?" + std::to_string(texts.size());
    };
    auto number = [&](int64_t v) {
        numbers.push_back(v);
        return " ?" + std::to_string(100 + numbers.size());
    };
    if (!match.empty())
        sql +=
            " AND s.id IN (SELECT rowid FROM song_index WHERE song_index MATCH" + text(match) + ")";
    if (q.module) sql += " AND s.module =" + number(static_cast<int>(*q.module));
    if (q.minMs) sql += " AND s.length_ms >=" + number(*q.minMs);
    if (q.maxMs) sql += " AND s.length_ms <=" + number(*q.maxMs);
    if (q.withLyrics) sql += " AND s.has_lyrics";
    if (q.withWrd) sql += " AND s.has_wrd";
    if (q.withDoc) sql += " AND s.has_doc";
    if (q.withLoop) sql += " AND s.has_loop";
    if (q.failed) sql += " AND s.error <> ''";
    if (q.missing) sql += " AND s.folder IN (SELECT id FROM folders WHERE missing)";
    for (int p : q.programs)
        sql += " AND s.id IN (SELECT song FROM song_programs WHERE program =" + number(p) + ")";
    if (!q.folders.empty()) {
        sql += " AND (0";
        for (const std::string& f : q.folders)
            sql += " OR s.path LIKE" + text(ContainsPattern(f)) + " ESCAPE '\\'";
        sql += ")";
    }
    sql += std::string(" ORDER BY ") + kSortSql[static_cast<int>(q.sort)] +
           (q.descending ? " DESC" : "") + ", s.path, s.member";
    return sql;
}

LibraryStatus LibraryStore::Search(const LibraryQuery& q, std::vector<LibraryRow>& rows,
                                   size_t limit, bool* more) {
    rows.clear();
    if (more) *more = false;
    if (!db_) return lastError_.ok() ? LibraryStatus{LibraryError::kCannotOpen, path_} : lastError_;
    const std::string match = MatchExpression(q.words);
    // Walk the titles when the words match many songs (counted only up to
    // what decides it) or when there are no words at all.
    bool walkTitles = q.sort == SortColumn::kTitle && limit > 0;
    if (walkTitles && !match.empty()) {
        sqlite3_stmt* count = Prepared(
            "SELECT count(*) FROM (SELECT rowid FROM song_index WHERE song_index MATCH ?1 "
            "LIMIT ?2)");
        if (!count) return Fail(sqlite3_errcode(db_), "search");
        const auto enough = static_cast<int64_t>(4 * limit);
        Bind(count, 1, match);
        sqlite3_bind_int64(count, 2, enough + 1);
        const int rc = sqlite3_step(count);
        const int64_t n = rc == SQLITE_ROW ? sqlite3_column_int64(count, 0) : 0;
        sqlite3_reset(count);
        if (rc != SQLITE_ROW) return Fail(rc, "search");
        walkTitles = n > enough;
    }
    std::vector<std::string> texts;
    std::vector<int64_t> numbers;
    std::string sql = SearchSql(q, match, walkTitles, texts, numbers);
    if (limit > 0) sql += " LIMIT " + std::to_string(limit + 1);

    std::set<int64_t> missing;
    for (const LibraryFolder& f : Folders())
        if (f.missing) missing.insert(f.id);
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr);
    if (rc != SQLITE_OK) return Fail(rc, "search");
    for (size_t i = 0; i < texts.size(); ++i) Bind(st, static_cast<int>(i + 1), texts[i]);
    for (size_t i = 0; i < numbers.size(); ++i)
        sqlite3_bind_int64(st, static_cast<int>(101 + i), numbers[i]);
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        if (limit > 0 && rows.size() == limit) {
            if (more) *more = true;
            break;
        }
        LibraryRow r;
        r.id = sqlite3_column_int64(st, 0);
        r.path = Text(st, 1);
        r.member = Text(st, 2);
        r.title = Text(st, 3);
        r.lengthMs = sqlite3_column_int(st, 4);
        r.module = static_cast<SongModule>(sqlite3_column_int(st, 5));
        r.format = Text(st, 6);
        r.tracks = sqlite3_column_int(st, 7);
        r.hasLyrics = sqlite3_column_int(st, 8) != 0;
        r.hasWrd = sqlite3_column_int(st, 9) != 0;
        r.missing = missing.count(sqlite3_column_int64(st, 10)) > 0;
        r.error = Text(st, 11);
        rows.push_back(std::move(r));
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return Fail(rc, "search");
    return {};
}

std::optional<SongRecord> LibraryStore::Song(int64_t id) {
    sqlite3_stmt* st = Prepared(
        "SELECT path, member, size, mtime, title, names, texts, lyrics, module, format, tracks, "
        "length_ms, tempo_min, tempo_max, timesig, notes, programs, has_lyrics, has_loop, has_wrd, "
        "has_doc, error FROM songs JOIN song_texts USING (id) WHERE id=?1");
    if (!st) return std::nullopt;
    sqlite3_bind_int64(st, 1, id);
    if (sqlite3_step(st) != SQLITE_ROW) {
        sqlite3_reset(st);
        return std::nullopt;
    }
    SongRecord r;
    r.path = Text(st, 0);
    r.member = Text(st, 1);
    r.size = sqlite3_column_int64(st, 2);
    r.mtime = sqlite3_column_int64(st, 3);
    r.title = Text(st, 4);
    r.trackNames = Text(st, 5);
    r.texts = Text(st, 6);
    r.lyrics = Text(st, 7);
    r.module = static_cast<SongModule>(sqlite3_column_int(st, 8));
    r.format = Text(st, 9);
    r.tracks = sqlite3_column_int(st, 10);
    r.lengthMs = sqlite3_column_int(st, 11);
    r.tempoMin = sqlite3_column_int(st, 12);
    r.tempoMax = sqlite3_column_int(st, 13);
    r.timeSignature = Text(st, 14);
    r.notes = sqlite3_column_int64(st, 15);
    if (sqlite3_column_bytes(st, 16) == sizeof(r.programs))
        std::memcpy(r.programs.data(), sqlite3_column_blob(st, 16), sizeof(r.programs));
    r.hasLyrics = sqlite3_column_int(st, 17) != 0;
    r.hasLoop = sqlite3_column_int(st, 18) != 0;
    r.hasWrd = sqlite3_column_int(st, 19) != 0;
    r.hasDoc = sqlite3_column_int(st, 20) != 0;
    r.error = Text(st, 21);
    sqlite3_reset(st);
    return r;
}

LibraryStats LibraryStore::Stats() {
    LibraryStats s;
    if (!db_) return s;
    sqlite3_stmt* st = Prepared(
        "SELECT count(*), sum(s.error <> ''), sum(f.missing), sum(s.has_lyrics), "
        "sum(s.member <> ''), sum(s.length_ms), sum(s.module=0), sum(s.module=1), "
        "sum(s.module=2), sum(s.module=3) FROM songs s JOIN folders f ON f.id=s.folder");
    if (st && sqlite3_step(st) == SQLITE_ROW) {
        int64_t* out[] = {&s.songs,       &s.failed,     &s.missing,     &s.withLyrics,
                          &s.archived,    &s.totalMs,    &s.byModule[0], &s.byModule[1],
                          &s.byModule[2], &s.byModule[3]};
        for (int i = 0; i < 10; ++i) *out[i] = sqlite3_column_int64(st, i);
    }
    if (st) sqlite3_reset(st);
    st = Prepared("SELECT page_count * page_size FROM pragma_page_count(), pragma_page_size()");
    if (st && sqlite3_step(st) == SQLITE_ROW) s.databaseBytes = sqlite3_column_int64(st, 0);
    if (st) sqlite3_reset(st);
    s.folders = Folders();
    return s;
}

}  // namespace sonfara::library
