// List files, list saving, favourites, the recent list, companion documents.
#include "player/files/list_file.h"

#include <sys/stat.h>

#include <cstdlib>

#include "player/files/archive.h"
#include "player/files/companion.h"
#include "player/files/favorites.h"
#include "tests/files/files_fixture.h"

namespace sonfara::files::test {
namespace {

std::vector<FileEntry> Parse(const std::string& text, const std::string& listPath,
                             bool* ok = nullptr) {
    return ParseListFile(text, listPath, platform::CodePage("CP932"), ok);
}

TEST(ListFile, HeadersCommentsAndAppDirectives) {
    bool ok = false;
    auto e = Parse("[midilist]\r\n// comment\r\nAPP HERE\r\na.mid\r\nEND APP\r\n/abs/b.mid\r\n",
                   "/lists/x.mlt", &ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0], (FileEntry{"a.mid", "/lists", "", "/lists/x.mlt"}));
    // After END APP entries stand as written.
    EXPECT_EQ(e[1], (FileEntry{"b.mid", "/abs", "", "/lists/x.mlt"}));

    e = Parse(
        "MultiListFile Copyright(C)Studio Dolphin\r\nAPP C:\\songs\r\npack.lzh\\s.mid\r\n"
        "Apple.mid\r\n\r\n",
        "/l/y.mlt", &ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0], (FileEntry{"s.mid", "C:/songs", "pack.lzh", "/l/y.mlt"}));
    // "APP" must stand alone to be a directive.
    EXPECT_EQ(e[1].FileName, "Apple.mid");
    EXPECT_EQ(e[1].Folder, "C:/songs");

    EXPECT_TRUE(Parse("[MIDI LIST]\r\na.mid\r\n", "/x.mlt", &ok).empty());
    EXPECT_FALSE(ok);
}

TEST(ListFile, CodePageNamesWithBackslashTrailBytes) {
    // "ソ" is 0x83 0x5C in CP932: its second byte must not become a separator.
    const std::string text = "[MIDIList]\r\nD:\\\x83\x5C\\\x83\x5C.mid\r\n";
    const auto e = Parse(text, "/l.mlt");
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].Folder, "D:/ソ");
    EXPECT_EQ(e[0].FileName, "ソ.mid");
}

TEST(ListFile, UnreadableHeaderShowsTheMessage) {
    TempDir dir;
    WriteBytes(dir / "bad.mlt", "hello\r\na.mid\r\n");
    RecordingNotifier n;
    EXPECT_TRUE(ReadListFile(dir / "bad.mlt", n, platform::SystemCodePage()).empty());
    ASSERT_EQ(n.messages.size(), 1u);
    EXPECT_EQ(n.messages[0], dir / "bad.mlt" + "\r\nこのリストファイルは解析不能です");
}

TEST(ListFile, SavedListReadsBackWithArchiveMembers) {
    TempDir dir, work;
    const std::vector<FileEntry> entries{{"a.mid", dir / "m", "", ""},
                                         {"曲.mid", dir / "m", "pack.lzh", ""},
                                         {"sub/c.mid", dir.Path(), "p.zip", ""}};
    RecordingNotifier n;
    EXPECT_EQ(SaveList(dir / "out.MLT", entries, work.Path(), n, platform::CodePage("CP932")),
              SaveResult::kListFile);
    const std::string bytes = ReadBytes(dir / "out.MLT");
    EXPECT_EQ(bytes.substr(0, 12), "[MIDIList]\r\n");
    auto back = ReadListFile(dir / "out.MLT", n, platform::CodePage("CP932"));
    ASSERT_EQ(back.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        FileEntry want = entries[i];
        want.ListFile = dir / "out.MLT";
        EXPECT_EQ(back[i], want);
    }
    // Any other extension writes nothing; an empty list says so.
    EXPECT_EQ(SaveList(dir / "songs.txt", entries, work.Path(), n, platform::SystemCodePage()),
              SaveResult::kNothing);
    EXPECT_FALSE(FileExists(dir / "songs.txt"));
    EXPECT_EQ(SaveList(dir / "e.mlt", {}, work.Path(), n, platform::SystemCodePage()),
              SaveResult::kNothing);
    EXPECT_EQ(n.messages.back(), "ファイルがありません");
}

TEST(ListFile, ArchiveFormHoldsTheSongsOnly) {
    TempDir dir, work;
    fs::create_directories(work / "ArcTemp");
    WriteBytes(dir / "a.mid", SongBytes(60));
    WriteZip(dir / "p.zip", {{"b.mid", SongBytes(62)}, {"b.txt", "t"}});
    const std::vector<FileEntry> entries{{"a.mid", dir.Path(), "", ""},
                                         {"b.mid", dir.Path(), "p.zip", ""},
                                         {"gone.mid", dir.Path(), "", ""}};
    RecordingNotifier n;
    // A song that cannot be read is left out, and the save says so.
    ASSERT_EQ(SaveList(dir / "out.lzh", entries, work.Path(), n, platform::SystemCodePage()),
              SaveResult::kArchiveIncomplete);
    EXPECT_EQ(n.messages, (std::vector<std::string>{msg::kSaveIncomplete + dir / "gone.mid"}));
    EXPECT_EQ(ArchiveMembers(dir / "out.lzh"), (std::vector<std::string>{"a.mid", "b.mid"}));
    EXPECT_TRUE(fs::is_empty(work / "ArcTemp"));
    EXPECT_EQ(ReadBytes(ExtractEntry({"b.mid", dir.Path(), "out.lzh", ""}, work.Path(), n)),
              SongBytes(62));
}

// Names the code page cannot hold read back as they were; two songs of one
// name stay two; lhasa and libarchive agree on the names.
TEST(ListFile, ArchiveFormKeepsEveryNameAndEverySong) {
    TempDir dir, work;
    fs::create_directories(work / "ArcTemp");
    const std::vector<std::string> names{"한국.mid", "서울.mid", "é.mid", "曲.mid"};
    std::vector<FileEntry> entries;
    for (size_t i = 0; i < names.size(); ++i) {
        WriteBytes(dir / names[i], SongBytes(static_cast<uint8_t>(60 + i)));
        entries.push_back({names[i], dir.Path(), "", ""});
    }
    WriteBytes(dir / "a/x.mid", "from a");
    WriteBytes(dir / "b/X.MID", "from b");
    entries.push_back({"x.mid", dir / "a", "", ""});
    entries.push_back({"X.MID", dir / "b", "", ""});
    entries.push_back({"x.mid", dir / "a", "", ""});  // the same song twice: stored once
    RecordingNotifier n;
    ASSERT_EQ(SaveList(dir / "out.lzh", entries, work.Path(), n, platform::CodePage("CP932")),
              SaveResult::kArchive);
    EXPECT_TRUE(n.messages.empty());
    const std::vector<std::string> want{"한국.mid", "서울.mid", "é.mid",
                                        "曲.mid",   "x.mid",    "X(2).MID"};
    EXPECT_EQ(ArchiveMembers(dir / "out.lzh"), want);
    EXPECT_EQ(ReadBytes(ExtractEntry({"X(2).MID", dir.Path(), "out.lzh", ""}, work.Path(), n)),
              "from b");
    EXPECT_EQ(ReadBytes(ExtractEntry({"é.mid", dir.Path(), "out.lzh", ""}, work.Path(), n)),
              SongBytes(62));
#ifdef SONFARA_LHASA_PROGRAM
    fs::create_directories(dir / "x");
    const std::string cmd = "cd '" + (dir / "x") + "' && " SONFARA_LHASA_PROGRAM " -xq '" +
                            (dir / "out.lzh") + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    // lhasa writes names as stored: the UTF-8 ones are right on Linux.
    for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(FileExists(dir / ("x/" + want[i]))) << want[i];
#endif
}

// Files written on Linux are UTF-8 without a mark; code-page files still read.
TEST(ListFile, Utf8WithoutMarkStaysUtf8) {
    const platform::CodePage cp("CP932");
    auto first = [&](std::string_view bytes) {
        const auto e = ParseListFile(bytes, "/l/list.mlt", cp);
        return e.empty() ? std::string() : e[0].FileName;
    };
    EXPECT_EQ(first("[MIDIList]\n/m/曲.mid\n"), "曲.mid");
    EXPECT_EQ(first("[MIDIList]\r\n/m/\x8B\xC8.mid\r\n"), "曲.mid");
    FavoriteEntry f;
    ASSERT_TRUE(ParseFavorite("[sonfara favorite file]\n\"曲集\"\n\"/m/曲.mlt\"\n", cp, f));
    EXPECT_EQ(f.Title, "曲集");
    EXPECT_EQ(f.Path, "/m/曲.mlt");
}

TEST(Favorites, CommasInTitlesAndPathsSurvive) {
    TempDir dir;
    const std::string folder = dir / "Sonfara/Favorite";
    const platform::CodePage cp("CP932");
    ASSERT_TRUE(AddFavorite(folder, "a,b", "/m/x, y.mid", cp).ok());
    ASSERT_TRUE(AddFavorite(folder, "曲集", "/m/曲.mlt", cp).ok());
    auto favs = LoadFavorites(folder, cp);
    ASSERT_EQ(favs.size(), 2u);
    EXPECT_EQ(favs[0].Title, "a,b");
    EXPECT_EQ(favs[0].Path, "/m/x, y.mid");
    EXPECT_EQ(favs[1].Title, "曲集");
    // An older file written without quotes reads as the delimited format says.
    WriteBytes(folder + "/old.msf", "[sonfara favorite file]\r\na,b\r\n/m/z.mid\r\n");
    FavoriteEntry f;
    ASSERT_TRUE(ParseFavorite(ReadBytes(folder + "/old.msf"), cp, f));
    EXPECT_EQ(f.Title, "a");
    EXPECT_EQ(f.Path, "b");
    EXPECT_EQ(ReadDelimitedFields("  x , \"q,r\" tail,\r\n\r\nz"),
              (std::vector<std::string>{"x", "q,r", "", "", "z"}));
}

TEST(Favorites, AddRenameDeleteAndHostileTitles) {
    TempDir dir;
    const std::string folder = dir / "Favorite";
    const platform::CodePage& cp = platform::SystemCodePage();
    ASSERT_TRUE(AddFavorite(folder, "../../escape", "/m/a.mid", cp).ok());
    EXPECT_FALSE(fs::exists(dir / "escape.msf"));
    auto favs = LoadFavorites(folder, cp);
    ASSERT_EQ(favs.size(), 1u);
    EXPECT_EQ(favs[0].Title, "../../escape");
    ASSERT_TRUE(RenameFavorite(folder, favs[0], "new", cp).ok());
    favs = LoadFavorites(folder, cp);
    ASSERT_EQ(favs.size(), 1u);
    EXPECT_EQ(favs[0].Title, "new");
    EXPECT_EQ(favs[0].Path, "/m/a.mid");
    EXPECT_FALSE(BuildFavoritesMenu(favs).placeholderVisible);
    ASSERT_TRUE(DeleteFavorite(favs[0]).ok());
    favs = LoadFavorites(folder, cp);
    EXPECT_TRUE(favs.empty());
    EXPECT_TRUE(BuildFavoritesMenu(favs).placeholderVisible);
    // A file without the header is ignored.
    WriteBytes(folder + "/x.msf", "title\r\npath\r\n");
    EXPECT_TRUE(LoadFavorites(folder, cp).empty());
}

// Titles whose file names coincide ("a/b" and "a:b" both give a_b.msf):
// the second never replaces the first, and nothing is lost on the way.
TEST(Favorites, TakenFileNameIsRefusedAndEveryFileStays) {
    TempDir dir;
    const std::string folder = dir / "Favorite";
    const platform::CodePage& cp = platform::SystemCodePage();
    ASSERT_TRUE(AddFavorite(folder, "a/b", "/m/a.mid", cp).ok());
    ASSERT_TRUE(AddFavorite(folder, "other", "/m/o.mid", cp).ok());
    const std::string a = ReadBytes(folder + "/a_b.msf"), o = ReadBytes(folder + "/other.msf");
    EXPECT_EQ(AddFavorite(folder, "a:b", "/m/new.mid", cp).Message(),
              std::string(msg::kFavoriteExists) + "a:b");
    auto favs = LoadFavorites(folder, cp);
    ASSERT_EQ(favs.size(), 2u);
    EXPECT_EQ(RenameFavorite(folder, favs[1], "a:b", cp).Message(),
              std::string(msg::kFavoriteExists) + "a:b");
    EXPECT_EQ(ReadBytes(folder + "/a_b.msf"), a);
    EXPECT_EQ(ReadBytes(folder + "/other.msf"), o);
    // Renaming to a title of its own file name rewrites that file.
    const FileStatus renamed = RenameFavorite(folder, favs[0], "a:b", cp);
    ASSERT_TRUE(renamed.ok()) << renamed.Message();
    favs = LoadFavorites(folder, cp);
    ASSERT_EQ(favs.size(), 2u);
    EXPECT_EQ(favs[0].Title, "a:b");
    EXPECT_EQ(favs[0].Path, "/m/a.mid");
    // A delete that fails says so.
    fs::remove(favs[1].FilePath);
    const std::string err = DeleteFavorite(favs[1]).Message();
    EXPECT_EQ(err.rfind(std::string(msg::kFavoriteDeleteFailed) + favs[1].FilePath, 0), 0u) << err;
}

// A FIFO named like a favourite is passed over, not waited on.
TEST(Favorites, NonRegularFilesAreListedAndSkipped) {
    TempDir dir;
    const std::string folder = dir / "Favorite";
    const platform::CodePage& cp = platform::SystemCodePage();
    ASSERT_TRUE(AddFavorite(folder, "kept", "/m/k.mid", cp).ok());
    ASSERT_EQ(::mkfifo((folder + "/fifo.msf").c_str(), 0600), 0);
    fs::create_directories(folder + "/folder.msf");
    std::vector<std::string> unreadable;
    const auto favs = LoadFavorites(folder, cp, &unreadable);
    ASSERT_EQ(favs.size(), 1u);
    EXPECT_EQ(favs[0].Title, "kept");
    EXPECT_EQ(unreadable, (std::vector<std::string>{folder + "/fifo.msf", folder + "/folder.msf"}));
    EXPECT_TRUE(fs::is_fifo(folder + "/fifo.msf"));
}

TEST(Favorites, ProposalFollowsTheSongsOrigin) {
    SongSource s;
    s.FullPath = "/w/a.mid";
    EXPECT_EQ(ProposeFavorite(s, "Title").path, "/w/a.mid");
    EXPECT_EQ(ProposeFavorite(s, "Title").title, "Title");
    s.ArchivePath = "/m/p.lzh";
    EXPECT_EQ(ProposeFavorite(s, "Title").title, "/m/p.lzh");
    s.ListFile = "/m/l.mlt";
    const auto p = ProposeFavorite(s, "Title");
    EXPECT_EQ(p.path, "/m/l.mlt");
    EXPECT_EQ(p.prompt, "\"/m/l.mlt\"\r をお気に入りに追加します\r\r タイトルを入力してください");
}

TEST(RecentList, MovesShiftsAndClears) {
    RecentList r;
    for (int i = 1; i <= 11; ++i) r.Touch("/m/" + std::to_string(i));
    EXPECT_EQ(r.Items()[0], "/m/11");
    EXPECT_EQ(r.Items()[9], "/m/2");  // the first fell off
    r.Touch("/m/5");
    EXPECT_EQ(r.Items()[0], "/m/5");
    EXPECT_EQ(r.Items()[1], "/m/11");
    EXPECT_EQ(std::count(r.Items().begin(), r.Items().end(), "/m/5"), 1);
    auto m = r.BuildMenu();
    EXPECT_FALSE(m.placeholderVisible);
    r.Clear();
    m = r.BuildMenu();
    EXPECT_TRUE(m.placeholderVisible);
    EXPECT_EQ(std::count(m.visible.begin(), m.visible.end(), true), 0);
}

TEST(Companion, TxtBeforeDocAndAddresses) {
    TempDir dir;
    WriteBytes(dir / "a.txt",
               "see http://ab.example/x_y and http://second\r\nshort http://q\r\n"
               "http://c.example:80/~u?x=1\r\n");
    WriteBytes(dir / "a.doc", "doc");
    CompanionDocument d = ReadCompanionDocument(dir / "a.mid");
    EXPECT_EQ(d.fileName, dir / "a.txt");
    EXPECT_TRUE(d.shellTextEnabled);
    EXPECT_EQ(d.urls,
              (std::vector<std::string>{"http://ab.example/x", "http://c.example:80/~u?x"}));
    EXPECT_EQ(d.text.substr(d.text.size() - 2), "\r\n");
    fs::remove(dir / "a.txt");
    d = ReadCompanionDocument(dir / "a.mid");
    EXPECT_EQ(d.fileName, dir / "a.doc");
    EXPECT_EQ(d.text, "doc\r\n");
    fs::remove(dir / "a.doc");
    d = ReadCompanionDocument(dir / "a.mid");
    EXPECT_FALSE(d.shellTextEnabled);
    EXPECT_TRUE(d.text.empty() && d.fileName.empty() && d.urls.empty());
    EXPECT_FALSE(ReadCompanionDocument("ab").shellTextEnabled);
}

}  // namespace
}  // namespace sonfara::files::test
