// Path splitting, name ordering, the player's text files and safe writes.
#include <sys/stat.h>

#include "tests/files/files_fixture.h"

namespace sonfara::files::test {
namespace {

TEST(Paths, TrimQuotesAndNameParts) {
    EXPECT_EQ(TrimQuotes("  \"/m/a b.mid\" "), "/m/a b.mid");
    EXPECT_EQ(TrimQuotes("\"x.mid"), "x.mid");
    EXPECT_EQ(PathFileName("/m/a.mid"), "a.mid");
    EXPECT_EQ(PathFolder("/m/a.mid"), "/m");
    EXPECT_EQ(PathFileName("C:\\m\\a.mid"), "a.mid");
    EXPECT_EQ(FileNameOf("a.mid"), "");
    EXPECT_EQ(platform::JoinPath("/m/", "a.mid"), "/m/a.mid");
    EXPECT_EQ(platform::JoinPath("/m", "a.mid"), "/m/a.mid");
}

TEST(Paths, SplitEntryPathThroughArchives) {
    FileEntry e = SplitEntryPath("/dir/pack.lzh/song.mid");
    EXPECT_EQ(e, (FileEntry{"song.mid", "/dir", "pack.lzh", ""}));
    e = SplitEntryPath("C:\\dir\\PACK.Zmd\\song.mid");
    EXPECT_EQ(e, (FileEntry{"song.mid", "C:\\dir", "PACK.Zmd", ""}));
    e = SplitEntryPath("/dir/plain/song.mid ");
    EXPECT_EQ(e, (FileEntry{"song.mid", "/dir/plain", "", ""}));
    // A member in a sub-folder of the archive keeps its inner path.
    e = SplitEntryPath("/dir/pack.zip/sub/song.mid");
    EXPECT_EQ(e, (FileEntry{"sub/song.mid", "/dir", "pack.zip", ""}));
    EXPECT_EQ(EntryPath(e), "/dir/pack.zip/sub/song.mid");
    // A folder named like an archive is a folder.
    TempDir dir;
    WriteBytes(dir / "old.zip/song.mid", "x");
    EXPECT_EQ(SplitEntryPath(dir / "old.zip/song.mid"),
              (FileEntry{"song.mid", dir / "old.zip", "", ""}));
    WriteBytes(dir / "old.zip/sub/new.lzh", "x");
    EXPECT_EQ(SplitEntryPath(dir / "old.zip/sub/new.lzh/a/song.mid"),
              (FileEntry{"a/song.mid", dir / "old.zip/sub", "new.lzh", ""}));
}

TEST(Paths, SortExampleKeepsEqualKeysInOrder) {
    std::vector<FileEntry> v{
        {"b.mid", "/m", "", ""}, {"A.mid", "/m", "", ""}, {"a.rmi", "/m", "", ""}};
    SortEntries(v, platform::SystemCodePage());
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].FileName, "A.mid");
    EXPECT_EQ(v[1].FileName, "a.rmi");
    EXPECT_EQ(v[2].FileName, "b.mid");
}

TEST(Paths, DoubleByteNamesSortFirstAndPrefixIsSmaller) {
    const platform::CodePage cp("CP932");
    // "曲" is a double-byte character: its negative code sorts before 'A'.
    EXPECT_TRUE(NameIsGreater("A", "曲", cp));
    EXPECT_FALSE(NameIsGreater("曲", "A", cp));
    EXPECT_TRUE(NameIsGreater("ab", "a", cp));
    EXPECT_FALSE(NameIsGreater("a", "A", cp));
    // Half-width katakana are single bytes above ASCII.
    EXPECT_TRUE(NameIsGreater("ｱ", "Z", cp));
    std::vector<FileEntry> v{{"z.mid", "", "", ""}, {"曲.mid", "", "", ""}, {"ab.mid", "", "", ""}};
    SortEntries(v, cp);
    EXPECT_EQ(v[0].FileName, "曲.mid");
    EXPECT_EQ(v[1].FileName, "ab.mid");
}

TEST(Paths, TextFilesUseTheCodePageUnlessItCannotHoldTheText) {
    const platform::CodePage cp("CP932");
    const std::string jp = EncodeTextFile({"[MIDIList]", "/曲/ソ.mid"}, cp);
    EXPECT_EQ(jp.substr(0, 12), "[MIDIList]\r\n");
    EXPECT_EQ(jp.find("\xEF\xBB\xBF"), std::string::npos);
    EXPECT_EQ(DecodeTextLines(jp, cp), (std::vector<std::string>{"[MIDIList]", "/曲/ソ.mid"}));
    // A name the code page cannot hold is kept whole through a UTF-8 file.
    const std::string uni = EncodeTextFile({"x", "/m/한국.mid"}, cp);
    EXPECT_EQ(uni.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(DecodeTextLines(uni, cp)[1], "/m/한국.mid");
}

TEST(Paths, FailedWriteLeavesThePreviousFile) {
    TempDir dir;
    const std::string path = dir / "list.mlt";
    ASSERT_TRUE(WriteFileReplacing(path, "old").ok());
    ASSERT_TRUE(WriteFileReplacing(path, "new").ok());
    EXPECT_EQ(ReadBytes(path), "new");
    if (::geteuid() != 0) {  // root writes into read-only folders anyway
        ::chmod(dir.Path().c_str(), 0500);
        const FileStatus lost = WriteFileReplacing(path, "lost");
        EXPECT_FALSE(lost.ok());
        EXPECT_EQ(lost.Message().rfind(msg::kSaveFailed, 0), 0u) << lost.Message();
        ::chmod(dir.Path().c_str(), 0700);
        EXPECT_EQ(ReadBytes(path), "new");
    }
    // Writing into a missing folder fails without creating anything.
    EXPECT_FALSE(WriteFileReplacing(dir / "no/such/list.mlt", "x").ok());
}

}  // namespace
}  // namespace sonfara::files::test
