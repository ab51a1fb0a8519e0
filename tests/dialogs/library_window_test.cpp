// The library window over a real database: searching as the user types,
// Enter and the context menu's requests, a scan on its own thread that
// reports back, and the settings page of folders.
#include "player/dialogs/library_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "player/library/scanner.h"
#include "tests/library/song_maker.h"

namespace sonfara::dialogs {
namespace {

namespace fs = std::filesystem;

class LibraryWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = dir.path().toStdString();
        db = root + "/library.db";
        fs::create_directories(root + "/music/sub");
        Song("music/sub/night.mid", "夜空のうた", library::test::SongPlan::kGs);
        Song("music/day.mid", "昼の歌", library::test::SongPlan::kXg);
        std::ofstream(root + "/music/broken.mid") << "MThd";
    }
    void Song(const std::string& rel, const std::string& title,
              library::test::SongPlan::Reset reset) {
        library::test::SongPlan s;
        s.title = platform::CodePage("CP932").FromUtf8(title);
        s.reset = reset;
        std::ofstream(root + "/" + rel, std::ios::binary) << library::test::MakeSong(s);
    }
    void AddFolderAndScan() {
        library::LibraryStore store;
        ASSERT_TRUE(store.Open(db).ok());
        ASSERT_TRUE(store.AddFolder(root + "/music").ok());
        library::ScanSummary sum;
        ASSERT_TRUE(library::ScanLibrary(store, {}, sum).ok());
    }
    QStringList Titles(const LibraryWindow& w) {
        QStringList out;
        for (int i = 0; i < w.RowCount(); ++i) out << QString::fromStdString(w.RowAt(i)->title);
        return out;
    }

    QTemporaryDir dir;
    std::string root, db;
};

TEST_F(LibraryWindowTest, TypingSearchesAndEnterPlaysTheChosenRow) {
    AddFolderAndScan();
    LibraryWindow w(db);
    w.autoScan = false;
    w.show();
    EXPECT_EQ(w.RowCount(), 3);  // everything before a word is typed
    EXPECT_TRUE(w.StatusText().contains(QStringLiteral("3")));
    // Japanese arrives from the input method as committed text.
    QInputMethodEvent typed;
    typed.setCommitString(QStringLiteral("夜空"));
    QApplication::sendEvent(w.SearchBox(), &typed);
    EXPECT_EQ(Titles(w), QStringList{QStringLiteral("夜空のうた")});
    QSignalSpy play(&w, &LibraryWindow::playRequested);
    QTest::keyClick(w.SearchBox(), Qt::Key_Return);
    ASSERT_EQ(play.size(), 1);
    const auto entry = play[0][0].value<files::FileEntry>();
    EXPECT_EQ(entry.FileName, "night.mid");
    EXPECT_EQ(entry.Folder, root + "/music/sub");
    EXPECT_TRUE(entry.ArchiveName.empty());
    // A filter, a wrong filter (the rows stay, the status says why), the order.
    w.SearchBox()->setText(QStringLiteral("module:xg"));
    EXPECT_EQ(Titles(w), QStringList{QStringLiteral("昼の歌")});
    w.SearchBox()->setText(QStringLiteral("module:mt32"));
    EXPECT_EQ(w.RowCount(), 1);
    EXPECT_TRUE(w.StatusText().contains(QStringLiteral("module:mt32")));
    w.SearchBox()->setText(QString());
    w.Table()->horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);
    EXPECT_EQ(Titles(w), (QStringList{QStringLiteral("昼の歌"), QStringLiteral("夜空のうた"),
                                      QStringLiteral("broken.mid")}));
    // The failed song is listed as such.
    w.SearchBox()->setText(QStringLiteral("has:error"));
    ASSERT_EQ(w.RowCount(), 1);
    const QModelIndex title = w.Table()->model()->index(0, 0);
    EXPECT_TRUE(
        title.data(Qt::ToolTipRole).toString().startsWith(QStringLiteral("読み込めません: ")));
    EXPECT_EQ(w.Table()->model()->index(0, 2).data().toString(), QStringLiteral("エラー"));
}

TEST_F(LibraryWindowTest, ScanRunsOnItsOwnThreadAndReportsBack) {
    {
        library::LibraryStore store;
        ASSERT_TRUE(store.Open(db).ok());
        ASSERT_TRUE(store.AddFolder(root + "/music").ok());
    }
    LibraryWindow w(db);
    QSignalSpy done(&w, &LibraryWindow::scanFinished);
    w.show();  // the first showing scans
    EXPECT_TRUE(w.Scanning());
    EXPECT_TRUE(w.Progress()->isVisible());
    w.StartScan();  // a second one is refused while the first runs
    ASSERT_TRUE(done.wait(20000));
    EXPECT_FALSE(w.Scanning());
    EXPECT_FALSE(w.Progress()->isVisible());
    EXPECT_TRUE(done[0][0].toString().contains(QStringLiteral("3曲")));
    EXPECT_EQ(w.RowCount(), 3);
}

TEST_F(LibraryWindowTest, ArchiveMemberRowsOpenAsArchiveEntriesAndColumnsRoundTrip) {
    library::LibraryRow r;
    r.path = "/songs/pack.lzh";
    r.member = "disk1/a.mid";
    const files::FileEntry e = EntryOfRow(r);
    EXPECT_EQ(e.FileName, "disk1/a.mid");
    EXPECT_EQ(e.Folder, "/songs");
    EXPECT_EQ(e.ArchiveName, "pack.lzh");
    LibraryWindow w(db);
    w.SetColumnWidths("200,70,40,500");
    EXPECT_EQ(w.ColumnWidths(), "200,70,40,500");
    w.SetColumnWidths("garbage");  // the defaults, never a zero width
    for (int c = 0; c < 4; ++c) EXPECT_GT(w.Table()->columnWidth(c), 8);
}

TEST_F(LibraryWindowTest, UnwritableDatabaseLeavesAnEmptyWindowThatSaysWhy) {
    {
        // A library without folders says where they are added.
        LibraryWindow empty(db);
        empty.show();
        EXPECT_TRUE(empty.StatusText().contains(QStringLiteral("ライブラリ")));
        EXPECT_FALSE(empty.Scanning());
    }
    LibraryWindow w("/proc/sonfara-library/library.db");
    w.show();
    EXPECT_EQ(w.RowCount(), 0);
    EXPECT_TRUE(w.StatusText().contains(QStringLiteral("/proc/sonfara-library/library.db")));
    QTest::keyClicks(w.SearchBox(), QStringLiteral("abc"));  // no crash, nothing found
    EXPECT_EQ(w.RowCount(), 0);
}

TEST_F(LibraryWindowTest, FoldersPageAddsAndRemovesOnApply) {
    LibraryFoldersPage page(db);
    page.Refill();
    EXPECT_TRUE(page.Folders().empty());
    EXPECT_FALSE(fs::exists(db));  // nothing created by looking
    page.chooseFolder = [this](QWidget*) { return QString::fromStdString(root + "/music/"); };
    page.AddFolder(QString::fromStdString(root + "/music/"));
    page.AddFolder(QString::fromStdString(root + "/music"));  // the same folder once
    EXPECT_EQ(page.Folders(), std::vector<std::string>{root + "/music"});
    EXPECT_TRUE(page.Apply().isEmpty());
    {
        library::LibraryStore store;
        ASSERT_TRUE(store.Open(db).ok());
        ASSERT_EQ(store.Folders().size(), 1u);
        EXPECT_EQ(store.Folders()[0].path, root + "/music");
    }
    page.Refill();
    page.findChild<QListWidget*>()->setCurrentRow(0);
    page.RemoveSelected();
    EXPECT_TRUE(page.Apply().isEmpty());
    library::LibraryStore store;
    ASSERT_TRUE(store.Open(db).ok());
    EXPECT_TRUE(store.Folders().empty());
}

}  // namespace
}  // namespace sonfara::dialogs
