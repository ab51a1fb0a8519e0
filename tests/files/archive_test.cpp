// Archives: listing order, extraction with companions, hostile member names,
// our LHA writer against libarchive and lhasa, the real LHA corpus.
#include "player/files/archive.h"

#include <sys/wait.h>

#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include "player/files/companion.h"
#include "player/files/lha_writer.h"
#include "player/files/work_folder.h"
#include "tests/files/files_fixture.h"

namespace sonfara::files::test {
namespace {

TEST(Archive, SongsAreGroupedByPatternOrder) {
    TempDir dir;
    const std::string zip = dir / "pack.zip";
    WriteZip(zip, {{"x.mid", "a"},
                   {"readme.txt", "b"},
                   {"y.rcp", "c"},
                   {"z.RMI", "d"},
                   {"sub/w.mid", "e"},
                   {"v.r36", "f"}});
    EXPECT_EQ(ListArchiveSongs(zip),
              (std::vector<std::string>{"y.rcp", "x.mid", "sub/w.mid", "z.RMI", "v.r36"}));
    // A member in a sub-folder lands in the work folder by its own name.
    TempDir work;
    RecordingNotifier n;
    EXPECT_EQ(ExtractEntry({"sub/w.mid", dir.Path(), "pack.zip", ""}, work.Path(), n),
              work / "w.mid");
    EXPECT_EQ(ReadBytes(work / "w.mid"), "e");
    // The same members in an LHA archive of our own writer.
    const std::string lzh = dir / "pack.lzh";
    WriteBytes(dir / "x.mid", "a");
    WriteBytes(dir / "y.rcp", "c");
    ASSERT_TRUE(WriteLhaArchive(lzh, {{"x.mid", dir / "x.mid"}, {"y.rcp", dir / "y.rcp"}},
                                platform::SystemCodePage())
                    .ok());
    EXPECT_EQ(ListArchiveSongs(lzh), (std::vector<std::string>{"y.rcp", "x.mid"}));
}

TEST(Archive, ExtractsMemberWithCompanionsAndZmdIsZip) {
    TempDir dir, work;
    const std::string zmd = dir / "x.ZMD";
    WriteZip(zmd, {{"song.mid", SongBytes()},
                   {"song.wrd", "wrd"},
                   {"song.txt", "notes"},
                   {"pic.PNG", "png"},
                   {"other.mid", "o"},
                   {"other.txt", "no"}});
    EXPECT_EQ(ArchiveKindOf(zmd), ArchiveKind::kZip);
    RecordingNotifier n;
    const FileEntry e{"song.mid", dir.Path(), "x.ZMD", ""};
    const std::string out = ExtractEntry(e, work.Path(), n);
    EXPECT_EQ(out, work / "song.mid");
    EXPECT_EQ(ReadBytes(work / "song.mid"), SongBytes());
    EXPECT_EQ(ReadBytes(work / "song.wrd"), "wrd");
    EXPECT_EQ(ReadBytes(work / "song.txt"), "notes");
    EXPECT_EQ(ReadBytes(work / "pic.PNG"), "png");
    EXPECT_FALSE(FileExists(work / "other.mid"));
    EXPECT_FALSE(FileExists(work / "other.txt"));
    EXPECT_TRUE(n.messages.empty());  // no song.doc: nothing to say
}

TEST(Archive, MissingMemberLeavesNoStaleCopy) {
    TempDir dir, work;
    WriteZip(dir / "a.zip", {{"other.mid", "x"}});
    WriteBytes(work / "song.mid", "from an earlier archive");
    RecordingNotifier n;
    const std::string out = ExtractEntry({"song.mid", dir.Path(), "a.zip", ""}, work.Path(), n);
    EXPECT_FALSE(FileExists(out));
}

TEST(Archive, HostileMemberNamesStayInsideTheWorkFolder) {
    TempDir dir, root;
    const std::string work = root / "work";
    fs::create_directories(work);
    WriteZip(dir / "evil.zip", {{"../evil.png", "x"},
                                {"/tmp/sonfara-abs.png", "y"},
                                {"a/../../up.png", "z"},
                                {"song.mid", SongBytes()}});
    EXPECT_TRUE(IsUnsafeMemberName("../evil.png"));
    EXPECT_TRUE(IsUnsafeMemberName("/abs.mid"));
    EXPECT_TRUE(IsUnsafeMemberName("C:\\abs.mid"));
    EXPECT_TRUE(IsUnsafeMemberName("a\\..\\..\\x.mid"));
    EXPECT_FALSE(IsUnsafeMemberName("a/..b/x.mid"));
    RecordingNotifier n;
    ExtractEntry({"song.mid", dir.Path(), "evil.zip", ""}, work, n);
    EXPECT_TRUE(FileExists(work + "/song.mid"));
    EXPECT_FALSE(fs::exists(root / "evil.png"));
    EXPECT_FALSE(fs::exists(root / "up.png"));
    EXPECT_FALSE(fs::exists("/tmp/sonfara-abs.png"));
    ASSERT_EQ(n.messages.size(), 1u);
    EXPECT_NE(n.messages[0].find(msg::kUnsafeMember), std::string::npos);
    EXPECT_NE(n.messages[0].find("../evil.png"), std::string::npos);
    // Listing leaves hostile songs out.
    WriteZip(dir / "evil2.zip", {{"../x.mid", "x"}, {"ok.mid", "y"}});
    EXPECT_EQ(ListArchiveSongs(dir / "evil2.zip"), (std::vector<std::string>{"ok.mid"}));
}

// A stored LHA member with a level-2 header and the name's bytes as given.
std::string RawLhaMember(const std::string& name, const std::string& data) {
    auto le = [](std::string& s, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    std::string h;
    le(h, 0, 2);
    h += "-lh0-";
    le(h, static_cast<uint32_t>(data.size()), 4), le(h, static_cast<uint32_t>(data.size()), 4);
    le(h, 0, 4);
    h += "\x20\x02";
    le(h, LhaCrc16(data.data(), data.size()), 2);
    h += 'M';
    const size_t crcAt = h.size() + 3;
    le(h, 5, 2), h += '\0', le(h, 0, 2);
    le(h, static_cast<uint32_t>(3 + name.size()), 2), h += '\x01', h += name;
    le(h, 0, 2);
    h[0] = static_cast<char>(h.size() & 0xFF), h[1] = static_cast<char>(h.size() >> 8);
    const uint16_t crc = LhaCrc16(h.data(), h.size());
    h[crcAt] = static_cast<char>(crc & 0xFF), h[crcAt + 1] = static_cast<char>(crc >> 8);
    return h + data;
}

// Names stored as UTF-8 without a mark (Info-ZIP on Unix) or as CP932 all
// list right; one name that is neither, or an empty one, costs only itself
// and is reported.
TEST(Archive, EveryMemberIsListedOrReported) {
    TempDir dir;
    WriteBytes(dir / "unix.zip", RawZip({{"曲.mid", "a"}, {"ok.mid", "b"}}));
    WriteBytes(dir / "dos.zip", RawZip({{"\x8B\xC8.mid", "a"}, {"ok.mid", "b"}}));
    EXPECT_EQ(ArchiveMembers(dir / "unix.zip"), (std::vector<std::string>{"曲.mid", "ok.mid"}));
    EXPECT_EQ(ArchiveMembers(dir / "dos.zip"), (std::vector<std::string>{"曲.mid", "ok.mid"}));

    WriteBytes(dir / "bad.zip", RawZip({{"bad\x81.mid", "a"}, {"ok.mid", "b"}}));
    WriteBytes(dir / "empty.zip", RawZip({{"", "a"}, {"ok.mid", "b"}}));
    WriteBytes(dir / "bad.lzh", RawLhaMember("bad\x81.mid", "a") + RawLhaMember("ok.mid", "b") +
                                    RawLhaMember("\x8B\xC8.mid", "c") + '\0');
    for (const char* name : {"bad.zip", "empty.zip", "bad.lzh"}) {
        RecordingNotifier n;
        const std::vector<std::string> songs = ListArchiveSongs(dir / name, &n);
        ASSERT_FALSE(songs.empty()) << name;
        EXPECT_EQ(songs[0], "ok.mid") << name;
        ASSERT_EQ(n.messages.size(), 1u) << name;
        EXPECT_EQ(n.messages[0].rfind(msg::kSkippedMembers, 0), 0u) << n.messages[0];
        EXPECT_NE(n.messages[0].find(name == std::string("empty.zip") ? "\"\"" : "bad\\x81.mid"),
                  std::string::npos)
            << n.messages[0];
    }
    // Past the bad LHA name the others keep their own names and their data.
    EXPECT_EQ(ArchiveMembers(dir / "bad.lzh"), (std::vector<std::string>{"ok.mid", "曲.mid"}));
    TempDir work;
    RecordingNotifier n;
    EXPECT_EQ(ReadBytes(ExtractEntry({"曲.mid", dir.Path(), "bad.lzh", ""}, work.Path(), n)), "c");
}

// DOS archives pair SONG.MID with SONG.TXT; and a second archive's song
// must not show the first one's notes, lyrics or pictures.
TEST(Archive, CompanionsInAnyCaseAndNoneLeftFromTheLastArchive) {
    TempDir dir, work;
    WriteZip(dir / "one.zip", {{"song.mid", SongBytes()},
                               {"SONG.TXT", "one's notes"},
                               {"song.wrd", "one's lyrics"},
                               {"pic.png", "p"}});
    WriteZip(dir / "two.zip", {{"song.mid", SongBytes(61)}});
    RecordingNotifier n;
    const std::string one = ExtractEntry({"song.mid", dir.Path(), "one.zip", ""}, work.Path(), n);
    EXPECT_EQ(ReadCompanionDocument(one).text, "one's notes\r\n");
    const std::string two = ExtractEntry({"song.mid", dir.Path(), "two.zip", ""}, work.Path(), n);
    EXPECT_EQ(ReadBytes(two), SongBytes(61));
    EXPECT_TRUE(ReadCompanionDocument(two).fileName.empty());
    for (const char* stale : {"SONG.TXT", "song.wrd", "pic.png"})
        EXPECT_FALSE(FileExists(work / stale));
    // Beside a plain file too.
    WriteBytes(dir / "DOS/SONG.MID", SongBytes());
    WriteBytes(dir / "DOS/Song.Doc", "doc");
    EXPECT_EQ(ReadCompanionDocument(dir / "DOS/SONG.MID").fileName, dir / "DOS/Song.Doc");
}

TEST(Archive, OurLhaArchivesReadBackWithJapaneseNames) {
    TempDir dir, work;
    WriteBytes(dir / "1.mid", SongBytes(60));
    WriteBytes(dir / "2.mid", std::string(70000, 'q'));  // larger than one read block
    const std::string lzh = dir / "out.lzh";
    const FileStatus written = WriteLhaArchive(
        lzh, {{"曲.mid", dir / "1.mid"}, {"big.mid", dir / "2.mid"}}, platform::CodePage("CP932"));
    ASSERT_TRUE(written.ok()) << written.Message();
    EXPECT_EQ(ArchiveMembers(lzh), (std::vector<std::string>{"曲.mid", "big.mid"}));
    RecordingNotifier n;
    EXPECT_EQ(ReadBytes(ExtractEntry({"曲.mid", dir.Path(), "out.lzh", ""}, work.Path(), n)),
              SongBytes(60));
    EXPECT_EQ(ReadBytes(ExtractEntry({"big.mid", dir.Path(), "out.lzh", ""}, work.Path(), n)),
              std::string(70000, 'q'));
}

#ifdef SONFARA_LHASA_PROGRAM
TEST(Archive, LhasaExtractsOurArchives) {
    TempDir dir;
    WriteBytes(dir / "src/a.mid", SongBytes(61));
    WriteBytes(dir / "src/b.txt", "text");
    const std::string lzh = dir / "out.lzh";
    ASSERT_TRUE(WriteLhaArchive(lzh, {{"a.mid", dir / "src/a.mid"}, {"b.txt", dir / "src/b.txt"}},
                                platform::SystemCodePage())
                    .ok());
    fs::create_directories(dir / "x");
    const std::string cmd = "cd '" + (dir / "x") + "' && " SONFARA_LHASA_PROGRAM " -tq '" + lzh +
                            "' >/dev/null 2>&1 && " SONFARA_LHASA_PROGRAM " -xq '" + lzh +
                            "' >/dev/null 2>&1";
    const int st = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << cmd;
    EXPECT_EQ(ReadBytes(dir / "x/a.mid"), SongBytes(61));
    EXPECT_EQ(ReadBytes(dir / "x/b.txt"), "text");
}
#endif

TEST(Archive, RealLhaCorpusListsAndExtractsWithoutHarm) {
    const fs::path corpus = fs::path(SONFARA_CORPUS_DIR) / "lha";
    if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    TempDir root;
    const std::string work = root / "work";
    fs::create_directories(work);
    int files = 0, extracted = 0;
    for (const auto& de : fs::directory_iterator(corpus)) {
        if (de.path().extension() != ".lzh") continue;
        ++files;
        const std::string path = de.path().string();
        for (const std::string& m : ArchiveMembers(path)) {
            RecordingNotifier n;
            const std::string out = ExtractEntry(
                {m, de.path().parent_path().string(), de.path().filename().string(), ""}, work, n);
            if (IsUnsafeMemberName(m)) {
                EXPECT_FALSE(n.messages.empty()) << path << " " << m;
            } else if (FileExists(out)) {
                ++extracted;
            }
        }
        ListArchiveSongs(path);
    }
    EXPECT_GT(files, 10);
    EXPECT_GT(extracted, 5);
    // Nothing was written beside the work folder.
    for (const auto& de : fs::directory_iterator(root.Path()))
        EXPECT_EQ(de.path().filename(), "work");
}

TEST(WorkFolder, PrivateAndRefusesPlantedLinks) {
    TempDir base;
    WorkFolder w = WorkFolder::Create(base.Path());
    ASSERT_TRUE(w.Ok()) << w.Error();
    struct stat st {};
    ASSERT_EQ(::lstat((base / "sonfara").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(FolderExists(w.ArcTemp()));
    // A folder opened up to others is closed again.
    ::chmod((base / "sonfara").c_str(), 0777);
    ASSERT_TRUE(WorkFolder::Create(base.Path()).Ok());
    ::lstat((base / "sonfara").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A link planted in the folder's place is refused, not followed.
    TempDir other, base2;
    fs::create_directory_symlink(other.Path(), base2 / "sonfara");
    WorkFolder planted = WorkFolder::Create(base2.Path());
    EXPECT_FALSE(planted.Ok());
    EXPECT_FALSE(planted.Error().empty());
    EXPECT_FALSE(fs::exists(other / "ArcTemp"));
    // So is a plain file.
    TempDir base3;
    WriteBytes(base3 / "sonfara", "x");
    EXPECT_FALSE(WorkFolder::Create(base3.Path()).Ok());
    // And a folder that belongs to someone else (only root can plant one here).
    if (::geteuid() == 0) {
        TempDir base4;
        fs::create_directory(base4 / "sonfara");
        ASSERT_EQ(::chown((base4 / "sonfara").c_str(), 65534, 65534), 0);
        EXPECT_FALSE(WorkFolder::Create(base4.Path()).Ok());
    }
}

// Sets environment variables for one test and puts them back after it.
class ScopedEnv {
  public:
    void Set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                ::unsetenv(it->first.c_str());
        }
    }

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// The default place taken (a link, another user's folder): the work folder
// moves to the user's cache folder rather than the program giving up, and
// what is in the way is left as it is.
TEST(WorkFolder, DefaultPlaceTakenFallsBackToTheCache) {
    TempDir tmp, cache, elsewhere;
    ScopedEnv env;
    env.Set("XDG_RUNTIME_DIR", nullptr);
    env.Set("TMPDIR", tmp.Path().c_str());
    env.Set("XDG_CACHE_HOME", (cache / "made").c_str());  // created as needed
    const std::string taken = tmp / ("sonfara-" + std::to_string(::geteuid()));
    fs::create_directory_symlink(elsewhere.Path(), taken);
    {
        WorkFolder w = WorkFolder::Create();
        ASSERT_TRUE(w.Ok()) << w.Error();
        EXPECT_EQ(w.Path(), cache / "made/sonfara-work/");
        EXPECT_TRUE(FolderExists(w.ArcTemp()));
        EXPECT_FALSE(fs::exists(elsewhere / "ArcTemp"));
    }
    EXPECT_TRUE(fs::is_symlink(taken));
    if (::geteuid() == 0) {
        fs::remove(taken);
        fs::create_directory(taken);
        ASSERT_EQ(::chown(taken.c_str(), 65534, 65534), 0);
        WorkFolder w = WorkFolder::Create();
        ASSERT_TRUE(w.Ok()) << w.Error();
        EXPECT_EQ(w.Path(), cache / "made/sonfara-work/");
        struct stat st {};
        ASSERT_EQ(::stat(taken.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
    }
}

// Extracted members do not outlive the program, a crashed run's are cleared
// at the next start, and neither touches what is not a file of ours or what
// another running program still uses.
TEST(WorkFolder, EmptiedAtTheEndAndAfterACrash) {
    TempDir base, outside;
    WriteBytes(outside / "keep.mid", "k");
    const std::string dir = base / "sonfara/";
    {
        WorkFolder w = WorkFolder::Create(base.Path());
        ASSERT_TRUE(w.Ok()) << w.Error();
        WriteBytes(dir + "song.mid", "s");
        WriteBytes(dir + "ArcTemp/0.song", "a");
        fs::create_symlink(outside / "keep.mid", dir + "link.mid");
        {
            // A second program meanwhile: it neither clears at its start
            // nor at its end what the first one is playing.
            WorkFolder other = WorkFolder::Create(base.Path());
            ASSERT_TRUE(other.Ok());
            EXPECT_TRUE(FileExists(dir + "song.mid"));
        }
        EXPECT_TRUE(FileExists(dir + "song.mid"));
    }
    EXPECT_FALSE(FileExists(dir + "song.mid"));
    EXPECT_FALSE(FileExists(dir + "ArcTemp/0.song"));
    EXPECT_TRUE(fs::is_symlink(dir + "link.mid"));
    EXPECT_EQ(ReadBytes(outside / "keep.mid"), "k");
    // What a crashed run left behind goes when the next one starts.
    WriteBytes(dir + "crashed.mid", "c");
    WorkFolder next = WorkFolder::Create(base.Path());
    EXPECT_FALSE(FileExists(dir + "crashed.mid"));
}

}  // namespace
}  // namespace sonfara::files::test
