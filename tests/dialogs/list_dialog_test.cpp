#include "player/dialogs/list_dialog.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "player/dialogs/version_window.h"
#include "player/platform/sfrlib_binding.h"
#include "tests/dialogs/test_support.h"

namespace sonfara::dialogs {
namespace {

QStringList Rows(const ListDialog& d) {
    QStringList rows;
    for (int i = 0; i < d.List()->count(); ++i) rows << d.List()->item(i)->text();
    return rows;
}

void Click(ListDialog& d, const char* name) {
    QTest::mouseClick(d.findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
}

TEST(ListDialogFavorites, RenameRefusesBadTitlesAndDeletes) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const platform::CodePage& cp = platform::SystemCodePage();
    ASSERT_TRUE(files::AddFavorite(folder, "Old", "/music/a song.mid", cp).ok());
    ASSERT_TRUE(files::AddFavorite(folder, "Other", "/music/b.mlt", cp).ok());
    FavoritesListModel model(folder, cp);
    test::ScriptedPrompts prompts;
    ListDialog dialog(model, &prompts);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "お気に入りの整理 - Sonfara");
    EXPECT_EQ(dialog.findChild<QLabel*>("Label1")->text(),
              "整理するファイルを選び、処理内容を選択してください");
    EXPECT_EQ(Rows(dialog), (QStringList{"Old", "Other"}));

    Click(dialog, "Command1");  // nothing selected: nothing asked
    EXPECT_TRUE(prompts.asked.empty());

    dialog.SelectRow(0);
    prompts.answers = {QString("a/b"), QString(""), QString("New")};
    Click(dialog, "Command1");
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_TRUE(prompts.errors[0].startsWith("タイトル名に次の文字は使えません"));
    Click(dialog, "Command1");  // an empty answer changes nothing
    EXPECT_TRUE(QFile::exists(dir.filePath("Old.msf")));
    // Double click is the same as "編集".
    const QPoint row0 = dialog.List()->visualItemRect(dialog.List()->item(0)).center();
    QTest::mouseClick(dialog.List()->viewport(), Qt::LeftButton, {}, row0);
    QTest::mouseDClick(dialog.List()->viewport(), Qt::LeftButton, {}, row0);
    ASSERT_EQ(prompts.asked.size(), 3u);
    EXPECT_EQ(
        prompts.asked[0],
        "Sonfara|\"Old\"\rのタイトル名を変更します\r\r新しいタイトル名を入力してください|Old");
    EXPECT_FALSE(QFile::exists(dir.filePath("Old.msf")));
    ASSERT_EQ(model.Favorites().size(), 2u);
    EXPECT_EQ(model.Favorites()[0].Title, "New");
    EXPECT_EQ(model.Favorites()[0].Path, "/music/a song.mid");
    EXPECT_EQ(model.Favorites()[0].FilePath, dir.filePath("New.msf").toStdString());
    EXPECT_EQ(Rows(dialog), (QStringList{"New", "Other"}));

    dialog.SelectRow(1);
    Click(dialog, "Command2");
    EXPECT_FALSE(QFile::exists(dir.filePath("Other.msf")));
    EXPECT_EQ(Rows(dialog), (QStringList{"New"}));
}

TEST(ListDialogPlayList, RemoveKeepsThePlayingEntryCurrentAndPlayChecksIt) {
    files::PlayList list;
    std::vector<files::FileEntry> entries(4);
    for (int i = 0; i < 4; ++i) entries[i].FileName = "song" + std::to_string(i + 1) + ".mid";
    list.Replace(entries);
    list.SetIndex(3);
    list.SetChecked(3);
    std::vector<int> played;
    PlayListListModel model(list, [&](int k) {
        played.push_back(k);
        return list.Entry(k).FileName != "song4.mid";  // fails to load
    });
    test::ScriptedPrompts prompts;
    ListDialog dialog(model, &prompts);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "再生リストの整理 - Sonfara");
    EXPECT_EQ(dialog.findChild<QPushButton*>("Command1")->text(), "再生");

    dialog.SelectRow(1);
    EXPECT_EQ(dialog.SelectedRow(), 1);
    Click(dialog, "Command2");
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Index(), 2);
    EXPECT_EQ(list.Checked(), 2);
    EXPECT_EQ(list.Entry(2).FileName, "song3.mid");
    EXPECT_EQ(Rows(dialog), (QStringList{"song1.mid", "song3.mid", "song4.mid"}));

    dialog.SelectRow(1);  // the playing entry
    Click(dialog, "Command2");
    EXPECT_EQ(prompts.errors, (std::vector<QString>{"現在開いているファイルは削除できません"}));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(Rows(dialog).size(), 3);

    dialog.SelectRow(2);
    Click(dialog, "Command1");  // fails: current and check mark stay
    EXPECT_EQ(list.Index(), 2);
    dialog.SelectRow(0);
    Click(dialog, "Command1");
    EXPECT_EQ(played, (std::vector<int>{3, 1}));
    EXPECT_EQ(list.Index(), 1);
    EXPECT_EQ(list.Checked(), 1);
}

TEST(VersionWindow, ListsLibrariesAndPluginSlots) {
    platform::SfrLibBinding lib(SFRLIB_PATH);
    const auto rows = CollectVersions(lib);
    auto value = [&](const std::string& name) {
        for (const auto& r : rows)
            if (r.name == name) return r.version;
        return std::string("(missing)");
    };
    EXPECT_EQ(value("SfrLib"), "2.00");
    EXPECT_EQ(value("Qt"), qVersion());
    EXPECT_NE(value("FluidSynth"), "(missing)");
    EXPECT_NE(value("RtMidi"), "(missing)");
    EXPECT_NE(value("libarchive").find("libarchive"), std::string::npos);
    EXPECT_EQ(value("dswrd (WRD player)"), "Not Installed");
    platform::SfrLibBinding none("");
    EXPECT_EQ(CollectVersions(none)[1].version, "Not Installed");
    VersionWindow window(rows);
    window.show();
    EXPECT_EQ(window.findChild<QLabel*>("version:SfrLib")->text(), "2.00");
}

}  // namespace
}  // namespace sonfara::dialogs
