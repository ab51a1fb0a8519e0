// The library over a temporary database: scanning folders and archives,
// rescans, every filter, Japanese short words and the bad states.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "player/files/lha_writer.h"
#include "player/library/library_store.h"
#include "player/library/scanner.h"
#include "tests/files/files_fixture.h"
#include "tests/files/rcp_writer.h"
#include "tests/library/song_maker.h"

namespace sonfara::library {
namespace {

namespace fs = std::filesystem;
using files::test::ReadBytes;
using files::test::TempDir;
using files::test::WriteBytes;
using files::test::WriteZip;
using test::MakeSong;
using test::SongPlan;

const platform::CodePage& Cp932() {
    static const platform::CodePage cp("CP932");
    return cp;
}

std::string Sjis(const std::string& utf8) {
    return Cp932().FromUtf8(utf8);
}

class LibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        music = dir / "music";
        fs::create_directories(music);
        ASSERT_TRUE(store.Open(dir / "db/library.db").ok());
        ASSERT_TRUE(store.AddFolder(music).ok());
    }

    void Song(const std::string& rel, const SongPlan& spec) {
        fs::create_directories(fs::path(music + "/" + rel).parent_path());
        WriteBytes(music + "/" + rel, MakeSong(spec));
    }

    ScanSummary Scan() {
        ScanSummary s;
        ScanOptions o;
        o.jobs = 2;
        o.codePage = &Cp932();
        const library::LibraryStatus st = ScanLibrary(store, o, s);
        EXPECT_TRUE(st.ok()) << st.Message();
        return s;
    }

    std::vector<std::string> Titles(const std::string& query) {
        std::vector<LibraryRow> rows;
        const library::LibraryStatus st = store.Search(query, rows, 0);
        EXPECT_TRUE(st.ok()) << query << ": " << st.Message();
        std::vector<std::string> out;
        for (const LibraryRow& r : rows) out.push_back(r.title);
        return out;
    }

    using V = std::vector<std::string>;
    TempDir dir;
    std::string music;
    LibraryStore store;
};

TEST_F(LibraryTest, ScanReadsSongsTextsAndValues) {
    SongPlan s;
    s.title = Sjis("夜空のムコウ");
    s.trackNames = {Sjis("ピアノ"), "Strings"};
    s.texts = {Sjis("作曲 テスト")};
    s.copyright = "(C) Tenmoor";
    s.lyrics = {Sjis("ほし"), Sjis("ぞら")};
    s.programs = {0, 19};
    s.reset = SongPlan::kGs;
    s.notes = 8;
    s.tempoBpm = 150;
    Song("a/night.mid", s);
    WriteBytes(music + "/a/night.WRD", "@WRD");
    const ScanSummary sum = Scan();
    EXPECT_EQ(sum.files, 1u);
    EXPECT_EQ(sum.songs, 1u);
    EXPECT_EQ(sum.failed, 0u);

    std::vector<LibraryRow> rows;
    ASSERT_TRUE(store.Search("", rows, 0).ok());
    ASSERT_EQ(rows.size(), 1u);
    const std::optional<SongRecord> r = store.Song(rows[0].id);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->path, music + "/a/night.mid");
    EXPECT_EQ(r->title, "夜空のムコウ");
    EXPECT_EQ(r->trackNames, "夜空のムコウ\nピアノ\nStrings");
    EXPECT_NE(r->texts.find("作曲 テスト"), std::string::npos);
    EXPECT_NE(r->texts.find("(C) Tenmoor"), std::string::npos);
    EXPECT_TRUE(r->hasLyrics);
    EXPECT_NE(r->lyrics.find("ほしぞら"), std::string::npos);
    EXPECT_EQ(r->module, SongModule::kGs);
    EXPECT_EQ(r->format, "SMF Format 1");
    EXPECT_EQ(r->tracks, 3);
    EXPECT_EQ(r->notes, 16);
    EXPECT_EQ(r->tempoMin, 15000);
    EXPECT_EQ(r->tempoMax, 15000);
    EXPECT_EQ(r->timeSignature, "3/4");
    EXPECT_NEAR(r->lengthMs, 8 * 400, 50);  // eight quarters at 150 BPM
    EXPECT_TRUE(HasProgram(r->programs, 0));
    EXPECT_TRUE(HasProgram(r->programs, 19));
    EXPECT_FALSE(HasProgram(r->programs, 1));
    EXPECT_TRUE(r->hasWrd);  // a script beside it, whatever the letter case
    EXPECT_FALSE(r->hasDoc);
}

TEST_F(LibraryTest, RescanReadsOnlyWhatChangedAndDropsWhatIsGone) {
    for (const char* name : {"one", "two", "three"}) {
        SongPlan s;
        s.title = name;
        Song(std::string(name) + ".mid", s);
    }
    EXPECT_EQ(Scan().read, 3u);
    // Nothing changed: nothing is read again.
    ScanSummary again = Scan();
    EXPECT_EQ(again.files, 3u);
    EXPECT_EQ(again.read, 0u);
    EXPECT_EQ(Titles(""), (V{"one", "three", "two"}));
    // A changed file is read again, a deleted one loses its row.
    SongPlan changed;
    changed.title = "two again";
    changed.notes = 40;
    Song("two.mid", changed);
    fs::remove(music + "/three.mid");
    again = Scan();
    EXPECT_EQ(again.read, 1u);
    EXPECT_EQ(again.removed, 1u);
    EXPECT_EQ(Titles(""), (V{"one", "two again"}));
    EXPECT_EQ(Titles("again"), V{"two again"});
    // The old text is out of the index as well.
    EXPECT_EQ(Titles("two"), V{"two again"});
    EXPECT_EQ(store.Stats().songs, 2);
    // A script put beside an unchanged song is noticed, and its going too.
    WriteBytes(music + "/one.wrd", "@WRD");
    again = Scan();
    EXPECT_EQ(again.read, 1u);
    EXPECT_EQ(Titles("has:wrd"), V{"one"});
    EXPECT_EQ(Scan().read, 0u);
    fs::remove(music + "/one.wrd");
    EXPECT_EQ(Scan().read, 1u);
    EXPECT_EQ(Titles("has:wrd"), V{});
}

TEST_F(LibraryTest, ArchivesAndRecomposerSongsAreRows) {
    SongPlan a, b;
    a.title = "zipped one";
    b.title = "zipped two";
    WriteZip(music + "/pack.zip", {{"disk1/a.mid", MakeSong(a)},
                                   {"disk1/a.txt", "notes"},
                                   {"b.MID", MakeSong(b)},
                                   {"readme.txt", "x"}});
    files::test::RcpSongWriter rcp;
    rcp.title = Sjis("レコンポーザの歌");
    files::test::RcpTrackWriter t;
    t.Note(60, 48, 40, 100).Note(62, 48, 40, 100).MeasureEnd();
    rcp.tracks.push_back(t);
    WriteBytes(music + "/old.rcp", rcp.Bytes());
    // An LHA archive of our own writer holding the Recomposer song.
    const files::FileStatus written =
        files::WriteLhaArchive(music + "/old.lzh", {{"OLD2.RCP", music + "/old.rcp"}}, Cp932());
    ASSERT_TRUE(written.ok()) << written.Message();
    const ScanSummary sum = Scan();
    EXPECT_EQ(sum.files, 3u);
    EXPECT_EQ(sum.songs, 4u);
    EXPECT_EQ(sum.failed, 0u);

    std::vector<LibraryRow> rows;
    ASSERT_TRUE(store.Search("zipped", rows, 0).ok());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].path, music + "/pack.zip");
    EXPECT_EQ(rows[0].member, "disk1/a.mid");
    EXPECT_EQ(store.Song(rows[0].id)->hasDoc, true);  // a.txt beside it in the archive
    EXPECT_EQ(rows[1].member, "b.MID");
    ASSERT_TRUE(store.Search("レコンポーザ", rows, 0).ok());
    ASSERT_EQ(rows.size(), 2u);
    for (const LibraryRow& r : rows) {
        EXPECT_EQ(r.title, "レコンポーザの歌");
        EXPECT_EQ(r.format.substr(0, 3), "RCM");
    }
    // Member and folder names are words too.
    EXPECT_EQ(Titles("disk1"), V{"zipped one"});
    // A changed archive is read again whole.
    WriteZip(music + "/pack.zip", {{"b.MID", MakeSong(b)}});
    EXPECT_EQ(Scan().read, 1u);
    EXPECT_EQ(Titles("zipped"), V{"zipped two"});
}

TEST_F(LibraryTest, FailedSongsAreKeptWithTheirMessage) {
    WriteBytes(music + "/broken.mid", "MThd garbage");
    WriteBytes(music + "/bad.zip", "PK\3\4 not really");
    SongPlan ok;
    ok.title = "fine";
    Song("fine.mid", ok);
    const ScanSummary sum = Scan();
    EXPECT_EQ(sum.failed, 2u);
    std::vector<LibraryRow> rows;
    ASSERT_TRUE(store.Search("has:error", rows, 0).ok());
    ASSERT_EQ(rows.size(), 2u);
    for (const LibraryRow& r : rows) {
        EXPECT_FALSE(r.error.empty()) << r.path;
        EXPECT_FALSE(r.title.empty()) << r.path;  // the file name stands in
    }
    EXPECT_EQ(Titles("broken"), V{"broken.mid"});
    EXPECT_EQ(store.Stats().failed, 2);
}

TEST_F(LibraryTest, EveryFilterNarrowsTheRows) {
    SongPlan gs, xg, gm, plain;
    gs.title = "gs organ";
    gs.reset = SongPlan::kGs;
    gs.programs = {19};
    gs.notes = 300;  // 2:30 at 120 BPM
    xg.title = "xg karaoke";
    xg.reset = SongPlan::kXg;
    xg.lyrics = {"la", "la"};
    xg.notes = 10;
    gm.title = "gm piano";
    gm.reset = SongPlan::kGm;
    gm.programs = {0};
    plain.title = "plain";
    plain.notes = 400;  // 3:20
    Song("games/gs.mid", gs);
    Song("pop/xg.mid", xg);
    Song("pop/gm.mid", gm);
    Song("plain.mid", plain);
    WriteBytes(music + "/pop/xg.wrd", "@WRD");
    Scan();
    EXPECT_EQ(Titles("module:gs"), V{"gs organ"});
    EXPECT_EQ(Titles("module:xg"), V{"xg karaoke"});
    EXPECT_EQ(Titles("module:gm"), V{"gm piano"});
    EXPECT_EQ(Titles("module:none"), V{"plain"});
    EXPECT_EQ(Titles("length:<3:00 sort:title"), (V{"gm piano", "gs organ", "xg karaoke"}));
    EXPECT_EQ(Titles("length:>3:00"), V{"plain"});
    EXPECT_EQ(Titles("length:2:00-3:00"), V{"gs organ"});
    EXPECT_EQ(Titles("has:lyrics"), V{"xg karaoke"});
    EXPECT_EQ(Titles("has:wrd"), V{"xg karaoke"});
    EXPECT_EQ(Titles("program:19"), V{"gs organ"});
    EXPECT_EQ(Titles("program:19 program:0"), V{});
    EXPECT_EQ(Titles("folder:POP"), (V{"gm piano", "xg karaoke"}));
    EXPECT_EQ(Titles("folder:pop module:gm"), V{"gm piano"});
    // Sorting by any column, both ways.
    EXPECT_EQ(Titles("sort:length"), (V{"xg karaoke", "gm piano", "gs organ", "plain"}));
    EXPECT_EQ(Titles("sort:-length"), (V{"plain", "gs organ", "gm piano", "xg karaoke"}));
    // A word and a filter together; a wrong filter is an error, not "all".
    EXPECT_EQ(Titles("organ module:gs"), V{"gs organ"});
    std::vector<LibraryRow> rows;
    EXPECT_EQ(store.Search("module:mt32", rows, 0).code(), library::LibraryError::kBadQuery);
    // The limit stops early and says there were more.
    bool more = false;
    ASSERT_TRUE(store.Search("", rows, 3, &more).ok());
    EXPECT_EQ(rows.size(), 3u);
    EXPECT_TRUE(more);
}

TEST_F(LibraryTest, JapaneseShortWordsAndWidthsMatch) {
    SongPlan a, b, c, d;
    a.title = Sjis("夜空に星");
    b.title = Sjis("空の色");
    c.title = Sjis("ﾖｿﾞﾗﾉﾑｺｳ");  // half-width katakana in the file
    d.title = Sjis("ＳＵＰＥＲ　Ｍａｒｉｏ");
    d.lyrics = {Sjis("あ"), Sjis("い")};
    Song("a.mid", a);
    Song("b.mid", b);
    Song("c.mid", c);
    Song("d.mid", d);
    Scan();
    // Two characters, one character, at the start, the middle and the end.
    EXPECT_EQ(Titles("夜空"), V{"夜空に星"});
    EXPECT_EQ(Titles("空"), (V{"夜空に星", "空の色"}));
    EXPECT_EQ(Titles("星"), V{"夜空に星"});
    EXPECT_EQ(Titles("色"), V{"空の色"});
    EXPECT_EQ(Titles("空 星"), V{"夜空に星"});
    EXPECT_EQ(Titles("空に星"), V{"夜空に星"});
    EXPECT_EQ(Titles("星空"), V{});
    // Full-width and half-width forms and letter case meet.
    EXPECT_EQ(Titles("ヨゾラ"), V{"ﾖｿﾞﾗﾉﾑｺｳ"});
    EXPECT_EQ(Titles("ﾑｺｳ"), V{"ﾖｿﾞﾗﾉﾑｺｳ"});
    EXPECT_EQ(Titles("mario"), V{"ＳＵＰＥＲ　Ｍａｒｉｏ"});
    EXPECT_EQ(Titles("ＭＡＲＩＯ"), V{"ＳＵＰＥＲ　Ｍａｒｉｏ"});
    EXPECT_EQ(Titles("super mario"), V{"ＳＵＰＥＲ　Ｍａｒｉｏ"});
    // Lyrics are words as well.
    EXPECT_EQ(Titles("あい"), V{"ＳＵＰＥＲ　Ｍａｒｉｏ"});
}

TEST_F(LibraryTest, MissingFolderKeepsItsRowsUntilItIsBackOrRemoved) {
    SongPlan s;
    s.title = "on the disk";
    Song("x.mid", s);
    Scan();
    fs::rename(music, dir / "away");
    ScanSummary sum = Scan();
    EXPECT_EQ(sum.missingFolders, V{music});
    EXPECT_EQ(sum.removed, 0u);
    std::vector<LibraryRow> rows;
    ASSERT_TRUE(store.Search("has:missing", rows, 0).ok());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].missing);
    EXPECT_EQ(store.Stats().missing, 1);
    fs::rename(dir / "away", music);
    sum = Scan();
    EXPECT_EQ(sum.read, 0u);  // as it was: nothing to read again
    ASSERT_TRUE(store.Search("", rows, 0).ok());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_FALSE(rows[0].missing);
    ASSERT_TRUE(store.RemoveFolder(music).ok());
    EXPECT_EQ(Titles(""), V{});
    EXPECT_EQ(Titles("disk"), V{});
    EXPECT_EQ(store.RemoveFolder(music).code(), library::LibraryError::kNoFolder);
}

TEST_F(LibraryTest, OnlyOneScanRunsAtATimeAndACancelledOneKeepsItsWork) {
    SongPlan s;
    for (int i = 0; i < 40; ++i) {
        s.title = "song " + std::to_string(i);
        Song("s" + std::to_string(i) + ".mid", s);
    }
    {
        ScanLock other(store.Path());  // another process's scan
        ASSERT_TRUE(other.Held());
        ScanSummary sum;
        EXPECT_EQ(ScanLibrary(store, {}, sum).code(), library::LibraryError::kScanRunning);
    }
    std::atomic<bool> cancel{true};
    ScanOptions o;
    o.cancel = &cancel;
    ScanSummary sum;
    EXPECT_EQ(ScanLibrary(store, o, sum).code(), library::LibraryError::kCancelled);
    EXPECT_LT(sum.read, 40u);
    // The next scan finishes the work.
    EXPECT_EQ(Scan().read, 40u - sum.read);
    EXPECT_EQ(store.Stats().songs, 40);
}

TEST(LibraryStoreBadStates, DamagedDatabaseIsSetAsideAndRebuilt) {
    TempDir dir;
    const std::string db = dir / "library.db";
    WriteBytes(db, std::string(8192, 'x'));
    LibraryStore store;
    const library::LibraryStatus s = store.Open(db);
    EXPECT_EQ(s.code(), library::LibraryError::kDamaged);
    EXPECT_EQ(s.detail(), db + ".damaged");
    EXPECT_NE(s.Message().find(db + ".damaged"), std::string::npos);
    EXPECT_EQ(ReadBytes(db + ".damaged"), std::string(8192, 'x'));  // kept as it was
    ASSERT_TRUE(store.IsOpen());
    ASSERT_TRUE(store.AddFolder(dir / "music").ok());
    store.Close();
    // The new one opens cleanly; a second damage does not overwrite the first.
    EXPECT_TRUE(store.Open(db).ok());
    store.Close();
    WriteBytes(db, "SQLite format 3");
    EXPECT_EQ(store.Open(db).detail(), db + ".damaged-2");
}

TEST_F(LibraryTest, DamageFoundInUseIsSetAsideAndTheScanRebuildsIt) {
    SongPlan s;
    for (int i = 0; i < 60; ++i) {
        s.title = "song " + std::to_string(i);
        s.texts = {std::string(300, static_cast<char>('a' + i % 26))};
        Song("s" + std::to_string(i) + ".mid", s);
    }
    Scan();
    const std::string db = store.Path();
    store.Close();
    // Pages past the first are overwritten; the header still reads.
    {
        std::fstream f(db, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4096);
        const std::string junk(fs::file_size(db) - 4096, '\xA5');
        f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    fs::remove(db + "-wal");
    fs::remove(db + "-shm");
    library::LibraryStatus opened = store.Open(db);
    ScanSummary sum;
    library::LibraryStatus scanned = ScanLibrary(store, {}, sum);
    // The damage shows at the open or during the scan; either way it is
    // named, the file is kept aside, and the songs are back afterwards.
    const library::LibraryStatus& told = opened.ok() ? scanned : opened;
    EXPECT_EQ(told.code(), library::LibraryError::kDamaged) << told.Message();
    EXPECT_TRUE(fs::exists(db + ".damaged"));
    // The folders come back from the list kept beside the database.
    if (!opened.ok()) {
        ASSERT_TRUE(ScanLibrary(store, {}, sum).ok());
    }
    ASSERT_EQ(store.Folders().size(), 1u);
    EXPECT_EQ(store.Stats().songs, 60);
    EXPECT_EQ(Titles("song"), Titles(""));
}

TEST_F(LibraryTest, AnotherConnectionOpensAndSearchesWhileAScanWrites) {
    SongPlan s;
    s.title = "already there";
    Song("a.mid", s);
    Scan();
    ASSERT_TRUE(store.Begin().ok());  // a scan's transaction holds the write lock
    ASSERT_TRUE(store.RemoveFile(music + "/a.mid").ok());
    LibraryStore window;
    ASSERT_TRUE(window.Open(store.Path()).ok());
    std::vector<LibraryRow> rows;
    ASSERT_TRUE(window.Search("already", rows, 0).ok());
    EXPECT_EQ(rows.size(), 1u);  // the last committed state
    ASSERT_TRUE(store.Commit().ok());
    ASSERT_TRUE(window.Search("already", rows, 0).ok());
    EXPECT_TRUE(rows.empty());
}

TEST(LibraryStoreBadStates, NewerVersionsDatabaseIsLeftAlone) {
    TempDir dir;
    const std::string db = dir / "library.db";
    {
        LibraryStore store;
        ASSERT_TRUE(store.Open(db).ok());
    }
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
    sqlite3_exec(raw, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    LibraryStore store;
    EXPECT_EQ(store.Open(db).code(), library::LibraryError::kCannotOpen);
    EXPECT_FALSE(store.IsOpen());
    EXPECT_FALSE(fs::exists(db + ".damaged"));
}

TEST(LibraryStoreBadStates, RelativeDatabasePathOpensInTheCurrentFolder) {
    TempDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.Path());
    LibraryStore store;
    EXPECT_TRUE(store.Open("library.db").ok());
    fs::current_path(before);
    EXPECT_TRUE(store.IsOpen());
    EXPECT_TRUE(fs::exists(dir / "library.db"));
}

TEST(LibraryStoreBadStates, DatabaseThatCannotBeWrittenGivesOneMessage) {
    // /proc is read-only even for root.
    LibraryStore store;
    library::LibraryStatus s = store.Open("/proc/sonfara-library/library.db");
    EXPECT_EQ(s.code(), library::LibraryError::kCannotWrite);
    EXPECT_NE(s.Message().find("/proc/sonfara-library/library.db"), std::string::npos);
    EXPECT_FALSE(store.IsOpen());
    std::vector<LibraryRow> rows;
    EXPECT_FALSE(store.Search("x", rows, 0).ok());
    ScanSummary sum;
    EXPECT_FALSE(ScanLibrary(store, {}, sum).ok());
    if (::geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
    TempDir dir;
    fs::create_directories(dir / "ro");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    s = store.Open(dir / "ro/library.db");
    EXPECT_EQ(s.code(), library::LibraryError::kCannotWrite);
    EXPECT_FALSE(store.IsOpen());
}

TEST_F(LibraryTest, ReadOnlyMusicFolderIsScannedWithoutWritingToIt) {
    SongPlan s;
    s.title = "read only";
    Song("ro/x.mid", s);
    fs::permissions(music + "/ro", fs::perms::owner_read | fs::perms::owner_exec);
    const auto before = std::distance(fs::directory_iterator(music + "/ro"), {});
    Scan();
    EXPECT_EQ(Titles("read"), V{"read only"});
    EXPECT_EQ(std::distance(fs::directory_iterator(music + "/ro"), {}), before);
    fs::permissions(music + "/ro", fs::perms::owner_all);
}

}  // namespace
}  // namespace sonfara::library
