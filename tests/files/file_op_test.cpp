// The open pipeline through a recording playback target: modes, sorting,
// every failure message, RMI unwrapping, the recent list.
#include "player/files/file_op.h"

#include "player/files/favorites.h"
#include "player/files/work_folder.h"
#include "tests/files/files_fixture.h"

namespace sonfara::files::test {
namespace {

class FileOpTest : public ::testing::Test {
  protected:
    FileOpTest()
        : work_(WorkFolder::Create(base_.Path())),
          op_(target_, FileContext{notifier_, work_.Path(), platform::SystemCodePage()}) {}

    std::string Song(const std::string& name, uint8_t note = 60) {
        WriteBytes(songs_ / name, SongBytes(note));
        return songs_ / name;
    }
    std::vector<std::string> Captions() {
        std::vector<std::string> c;
        for (const auto& i : op_.List().MenuItems()) c.push_back(i.caption);
        return c;
    }

    TempDir base_, songs_;
    WorkFolder work_;
    RecordingNotifier notifier_;
    RecordingTarget target_;
    FileOp op_;
};

TEST_F(FileOpTest, ReplaceModePlaysTheFirstAndSortsByName) {
    op_.Settings().fileSort = 1;
    op_.OpenFiles({Song("b.mid"), "\"" + Song("A.mid") + "\"", Song("a.rmi")});
    EXPECT_EQ(Captions(), (std::vector<std::string>{"A.mid", "a.rmi", "b.mid"}));
    EXPECT_EQ(op_.List().Index(), 1);
    EXPECT_EQ(op_.List().Checked(), 1);
    EXPECT_TRUE(target_.timerRunning);
    EXPECT_EQ(op_.Current().FullPath, songs_ / "A.mid");
    EXPECT_EQ(op_.Recent().Items()[0], songs_ / "A.mid");
    EXPECT_TRUE(notifier_.messages.empty());
    // The steps in their order.
    EXPECT_EQ(target_.calls, (std::vector<std::string>{
                                 "ClearSongCaption", "StopTimer", "OpenOrResetOutput",
                                 "EnableAllChannels", "LoadSong", "ResendPrograms", "StartTimer"}));
}

TEST_F(FileOpTest, AppendModeAddsWithoutInterruptingPlayback) {
    op_.OpenFiles({Song("one.mid")}, true);  // an empty list opens in replace mode
    ASSERT_TRUE(target_.timerRunning);
    const size_t callsBefore = target_.calls.size();
    op_.OpenFiles({Song("two.mid"), Song("three.mid")}, true);
    EXPECT_EQ(target_.calls.size(), callsBefore);  // no stop, no load
    EXPECT_TRUE(target_.timerRunning);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"one.mid", "two.mid", "three.mid"}));
    EXPECT_EQ(op_.List().Checked(), 1);
    // With FileSort only the added entries are sorted.
    op_.Settings().fileSort = 1;
    op_.OpenFiles({Song("z.mid"), Song("c.mid")}, true);
    EXPECT_EQ(Captions().back(), "z.mid");
    EXPECT_EQ(Captions()[3], "c.mid");
}

TEST_F(FileOpTest, OpenFailureMessages) {
    op_.OpenFiles({songs_ / "missing.mid"});
    op_.OpenFiles({Song("x.txt")});
    // The missing file is named, as the desktop's open names it.
    EXPECT_EQ(notifier_.messages,
              (std::vector<std::string>{"ファイルが見つかりません: " + (songs_ / "missing.mid"),
                                        "対応ファイルではありません"}));
    EXPECT_EQ(op_.List().Count(), 0);
    EXPECT_EQ(op_.List().MenuItems()[0].caption, "なし");
    EXPECT_TRUE(target_.calls.empty());
    // Without the plug-in the built-in converter takes a sequencer file; one
    // it cannot read is named with what is wrong, and nothing is stopped.
    WriteBytes(songs_ / "s.rcp", "RCM");
    op_.OpenFiles({songs_ / "s.rcp"});
    EXPECT_EQ(notifier_.messages.back(),
              "レコンポーザ形式のファイルを変換できませんでした（レコンポーザ形式のヘッダではありま"
              "せん）: " +
                  songs_ / "s.rcp");
    EXPECT_EQ(op_.List().Count(), 1);
    EXPECT_EQ(target_.calls, std::vector<std::string>{"ClearSongCaption"});
    // Mixed-case extensions are accepted, and karaoke files are songs.
    op_.OpenFiles({Song("x.Mid"), Song("k.KAR")});
    EXPECT_EQ(op_.List().Count(), 2);
}

TEST_F(FileOpTest, PlayEntryFailureMessages) {
    RecordingTarget& t = target_;
    // Entry whose file vanished after listing.
    EXPECT_FALSE(op_.PlayEntry({"gone.mid", songs_.Path(), "", ""}));
    EXPECT_EQ(notifier_.messages.back(), "ファイルが存在しません");
    // Unknown kind, and a sequencer file that vanished.
    EXPECT_FALSE(op_.PlayEntry({"x.txt", songs_.Path(), "", ""}));
    EXPECT_EQ(notifier_.messages.back(), "対応ファイルではありません");
    EXPECT_FALSE(op_.PlayEntry({"x.g36", songs_.Path(), "", ""}));
    EXPECT_EQ(notifier_.messages.back(), "ファイルが存在しません");
    EXPECT_TRUE(t.calls.end() == std::find(t.calls.begin(), t.calls.end(), "StopTimer"));
    // The output cannot be opened.
    t.outputOk = false;
    EXPECT_FALSE(op_.PlayEntry({"a.mid", PathFolder(Song("a.mid")), "", ""}));
    EXPECT_EQ(notifier_.messages.back(), "MIDIデバイスが開けません");
    t.outputOk = true;
    // The loader rejects the file: its own message, the display is reset.
    WriteBytes(songs_ / "bad.mid", "not a song");
    t.calls.clear();
    const size_t before = notifier_.messages.size();
    EXPECT_FALSE(op_.PlayEntry({"bad.mid", songs_.Path(), "", ""}));
    EXPECT_EQ(notifier_.messages.size(), before);
    EXPECT_EQ(t.calls.back(), "ResetSongDisplay");
    // The archiver missing while extracting.
    WriteZip(songs_ / "p.lzh", {{"a.mid", SongBytes()}});
    op_.Context().libs.archiver = [](ArchiveKind) { return false; };
    t.calls.clear();
    EXPECT_FALSE(op_.PlayEntry({"a.mid", songs_.Path(), "p.lzh", ""}));
    EXPECT_EQ(notifier_.messages.back(), "書庫を操作するために必要なUNLHA32.DLLが見つかりません");
    EXPECT_EQ(t.calls.back(), "ResetSongDisplay");
    // ... and while listing: silent, nothing added.
    const size_t n = notifier_.messages.size();
    op_.OpenFiles({songs_ / "p.lzh"});
    EXPECT_EQ(notifier_.messages.size(), n);
    EXPECT_EQ(op_.List().Count(), 0);
    // The timer cannot be created: fatal message, the program ends.
    op_.Context().libs = Libraries::Detect();
    t.timerOk = false;
    EXPECT_FALSE(op_.PlayEntry({"a.mid", songs_.Path(), "", ""}));
    EXPECT_EQ(notifier_.messages.back(),
              "フェイタル・エラー\rマルチメディアタイマーが作成できません。終了します");
    EXPECT_TRUE(t.exitRequested);
}

TEST_F(FileOpTest, FailedFirstEntryLeavesAUsableIndex) {
    op_.OpenFiles({Song("1.mid"), Song("2.mid"), Song("3.mid")});
    op_.List().SetIndex(3);
    ASSERT_TRUE(op_.PlayIndex(3));
    WriteBytes(songs_ / "bad.mid", "junk");
    op_.OpenFiles({songs_ / "bad.mid", Song("4.mid")});
    EXPECT_EQ(op_.List().Index(), 1);
    EXPECT_EQ(op_.List().Checked(), 0);
    // The end of the song steps on from the entry tried.
    op_.List().SetIndex(op_.List().NextIndex());
    op_.PlayIndex(op_.List().Index());
    EXPECT_EQ(op_.Current().FileName, "4.mid");
}

TEST_F(FileOpTest, ArchivesListsAndRmi) {
    WriteZip(songs_ / "pack.zip", {{"z.kar", SongBytes(66)},
                                   {"x.mid", SongBytes(64)},
                                   {"y.rmi", "RIFF....RMIDdata" + SongBytes(65)}});
    WriteBytes(songs_ / "list.mlt", "[MIDIList]\r\nAPP HERE\r\npack.zip\\y.rmi\r\n");
    op_.OpenFiles({songs_ / "list.mlt"});
    ASSERT_EQ(op_.List().Count(), 1);
    // The RMI came out of the archive and was unwrapped in the work folder.
    ASSERT_EQ(target_.loadedPaths.size(), 1u);
    EXPECT_EQ(target_.loadedPaths[0], work_.Path() + "y.rmi.mid");
    EXPECT_EQ(ReadBytes(target_.loadedPaths[0]), SongBytes(65));
    EXPECT_EQ(op_.Current().FormatText, "RMI Format ");
    EXPECT_EQ(op_.Current().ArchivePath, songs_ / "pack.zip");
    EXPECT_EQ(op_.Recent().Items()[0], songs_ / "list.mlt");
    // Playing the same list again keeps one recent entry at the top.
    op_.OpenFiles({songs_ / "list.mlt"});
    EXPECT_EQ(op_.Recent().Items()[0], songs_ / "list.mlt");
    EXPECT_TRUE(op_.Recent().Items()[1].empty());
    // An archive straight from the open path.
    op_.OpenFiles({songs_ / "pack.zip"});
    EXPECT_EQ(Captions(), (std::vector<std::string>{"x.mid", "y.rmi", "z.kar"}));
    EXPECT_EQ(op_.Recent().Items()[0], songs_ / "pack.zip");
    EXPECT_EQ(target_.song.FileKindLabel.substr(0, 11), "SMF Format ");
}

TEST_F(FileOpTest, RmiWithoutSmfLeavesAnEmptyTarget) {
    WriteBytes(songs_ / "r.rmi", "RIFFxxxxRMID");
    EXPECT_FALSE(op_.PlayEntry({"r.rmi", songs_.Path(), "", ""}));
    EXPECT_TRUE(FileExists(work_.Path() + "r.rmi.mid"));
    EXPECT_TRUE(ReadBytes(work_.Path() + "r.rmi.mid").empty());
}

TEST_F(FileOpTest, ListCapacityDropsTheRestWithOneMessage) {
    std::vector<std::string> paths;
    Song("s.mid");
    for (int i = 0; i < PlayList::kMaxEntries + 20; ++i) paths.push_back(songs_ / "s.mid");
    op_.OpenFiles(paths);
    EXPECT_EQ(op_.List().Count(), PlayList::kMaxEntries);
    EXPECT_EQ(std::count(notifier_.messages.begin(), notifier_.messages.end(),
                         std::string(msg::kListFull)),
              1);
}

TEST_F(FileOpTest, AddFavoriteCommand) {
    EXPECT_FALSE(op_.BeginAddFavorite("t").has_value());
    EXPECT_EQ(notifier_.messages.back(), "ファイルがありません");
    WriteBytes(songs_ / "l.mlt", "[MIDIList]\r\nAPP HERE\r\na.mid\r\n");
    Song("a.mid");
    op_.OpenFiles({songs_ / "l.mlt"});
    const auto p = op_.BeginAddFavorite("Title");
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->path, songs_ / "l.mlt");
    TempDir fav;
    EXPECT_FALSE(op_.FinishAddFavorite(fav.Path(), "", *p));
    ASSERT_TRUE(op_.FinishAddFavorite(fav.Path(), "My list", *p));
    const auto favs = LoadFavorites(fav.Path(), platform::SystemCodePage());
    ASSERT_EQ(favs.size(), 1u);
    EXPECT_EQ(favs[0].Path, songs_ / "l.mlt");
    // The favourite opens like any path.
    op_.OpenFiles({favs[0].Path});
    EXPECT_EQ(op_.Current().FileName, "a.mid");
}

TEST(FolderScan, ExtensionOrderAndDialogHelpers) {
    TempDir d;
    for (const char* n : {"b.mid", "a.MID", "c.rmi", "d.rcp", "e.txt", "f.kar"})
        WriteBytes(d / n, "x");
    fs::create_directories(d / "sub.mid");
    EXPECT_EQ(ScanFolder(d.Path(), false),
              (std::vector<std::string>{d / "a.MID", d / "b.mid", d / "c.rmi", d / "f.kar"}));
    EXPECT_EQ(ScanFolder(d.Path(), true).back(), d / "d.rcp");
    EXPECT_EQ(DialogFolder(d.Path()), d.Path());
    EXPECT_NE(DialogFolder("0"), "0");
    EXPECT_EQ(DialogSelection({"/m", "\"a.mid\"", "b.mid"}),
              (std::vector<std::string>{"/m/a.mid", "/m/b.mid"}));
    EXPECT_EQ(DialogSelection({"/m/a.mid"}), (std::vector<std::string>{"/m/a.mid"}));
    EXPECT_EQ(SaveDialogFilter(true),
              "リストファイル(*.mlt) |*.mlt|圧縮ファイル(*.lzh)|*.lzh|圧縮ファイル(*.lmd)|*.lmd|");
}

}  // namespace
}  // namespace sonfara::files::test
