// Archives: listing order, extraction with companions, hostile member names,
// our LHA writer against libarchive and lhasa, the real LHA corpus.
#include "player/files/archive.h"

#include <sys/wait.h>

#include <cstdlib>

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
    std::string err;
    ASSERT_TRUE(WriteLhaArchive(lzh, {{"x.mid", dir / "x.mid"}, {"y.rcp", dir / "y.rcp"}},
                                SystemCodePage(), &err));
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

TEST(Archive, OurLhaArchivesReadBackWithJapaneseNames) {
    TempDir dir, work;
    WriteBytes(dir / "1.mid", SongBytes(60));
    WriteBytes(dir / "2.mid", std::string(70000, 'q'));  // larger than one read block
    std::string err;
    const std::string lzh = dir / "out.lzh";
    ASSERT_TRUE(WriteLhaArchive(lzh, {{"曲.mid", dir / "1.mid"}, {"big.mid", dir / "2.mid"}},
                                CodePage("CP932"), &err))
        << err;
    EXPECT_EQ(ArchiveMembers(lzh), (std::vector<std::string>{"曲.mid", "big.mid"}));
    RecordingNotifier n;
    EXPECT_EQ(ReadBytes(ExtractEntry({"曲.mid", dir.Path(), "out.lzh", ""}, work.Path(), n)),
              SongBytes(60));
    EXPECT_EQ(ReadBytes(ExtractEntry({"big.mid", dir.Path(), "out.lzh", ""}, work.Path(), n)),
              std::string(70000, 'q'));
}

#ifdef SONFARA_LHA_PROGRAM
TEST(Archive, LhasaExtractsOurArchives) {
    TempDir dir;
    WriteBytes(dir / "src/a.mid", SongBytes(61));
    WriteBytes(dir / "src/b.txt", "text");
    std::string err;
    const std::string lzh = dir / "out.lzh";
    ASSERT_TRUE(WriteLhaArchive(lzh, {{"a.mid", dir / "src/a.mid"}, {"b.txt", dir / "src/b.txt"}},
                                SystemCodePage(), &err));
    fs::create_directories(dir / "x");
    const std::string cmd = "cd '" + (dir / "x") + "' && " SONFARA_LHA_PROGRAM " -tq '" + lzh +
                            "' >/dev/null 2>&1 && " SONFARA_LHA_PROGRAM " -xq '" + lzh +
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

}  // namespace
}  // namespace sonfara::files::test
