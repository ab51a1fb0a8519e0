#include "player/dialogs/settings_dialog.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "player/platform/priority.h"
#include "player/platform/sfrlib_binding.h"
#include "tests/dialogs/test_support.h"

namespace sonfara::dialogs {
namespace {

using test::XdgRoot;

// The process priority is the platform's; this one records what is asked.
class RecordingPriority final : public platform::ProcessPriority {
  public:
    bool Set(platform::PriorityClass c) override {
        asked.push_back(c);
        return true;
    }
    std::vector<platform::PriorityClass> asked;
};

// The values in memory; each edit is counted, and a changed ThreadMode goes
// to the priority as the session does.
class MemorySettings final : public settings::SettingsEditor {
  public:
    explicit MemorySettings(platform::ProcessPriority& priority) : priority_(priority) {}
    const settings::SettingsValues& Values() const override { return values_; }
    void Edit(const std::function<void(settings::SettingsValues&)>& change) override {
        const int32_t threadMode = values_.threadMode;
        change(values_);
        ++edits;
        if (values_.threadMode != threadMode)
            platform::ApplyThreadMode(priority_, values_.threadMode);
    }
    int edits = 0;

  private:
    platform::ProcessPriority& priority_;
    settings::SettingsValues values_;
};

class SettingsDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QDir(XdgRoot()).removeRecursively();
        QDir().mkpath(XdgRoot() + "/config");
        dialog.show();
    }
    template <typename T>
    T* Find(const char* name) {
        T* w = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
    void Choose(const char* name) { Find<QRadioButton>(name)->setChecked(true); }
    QString MimeApps() {
        QFile f(XdgRoot() + "/config/mimeapps.list");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    void WriteMimeApps(const char* text) {
        QFile f(XdgRoot() + "/config/mimeapps.list");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    RecordingPriority priority;
    MemorySettings applier{priority};
    platform::FreedesktopShell shell{{}, {}, false};  // $XDG_DATA_HOME, $XDG_CONFIG_HOME
    platform::SfrLibBinding sfrlib{SFRLIB_PATH};
    test::ScriptedPrompts prompts;
    const QString root = XdgRoot();
    SettingsDialog dialog{applier,
                          shell,
                          sfrlib,
                          {"/opt/sonfara/bin/sonfara", (root + "/Desktop").toStdString(),
                           (root + "/data/applications").toStdString()},
                          &prompts};
};

TEST_F(SettingsDialogTest, PagesButtonsAndCancel) {
    EXPECT_EQ(dialog.windowTitle(), "Sonfara - 設定");
    QStringList tabs;
    for (int i = 0; i < dialog.Tabs()->count(); ++i) tabs << dialog.Tabs()->tabText(i);
    EXPECT_EQ(tabs,
              (QStringList{"演奏", "描画", "関連付け", "動作", "MIDIエミュレート", "ライブラリ"}));

    // Cancel throws away every edit, the association selection too.
    Find<QLineEdit>("MTimerInt")->setText("20");
    Find<QCheckBox>("SMFKBank")->setChecked(true);
    Find<QListWidget>("AssociationList")->item(1)->setSelected(true);
    Click("Command2");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(Find<QLineEdit>("MTimerInt")->text(), "5");
    EXPECT_FALSE(Find<QCheckBox>("SMFKBank")->isChecked());
    EXPECT_FALSE(Find<QListWidget>("AssociationList")->item(1)->isSelected());
    EXPECT_EQ(applier.edits, 0);

    // "適用" applies in one edit and stays; "OK" applies and hides; the close box hides.
    dialog.show();
    Find<QLineEdit>("MTimerInt")->setText(" 10 ");
    Click("Command3");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(applier.edits, 1);
    EXPECT_EQ(applier.Values().mainTimerMs, 10);
    Find<QLineEdit>("WRDInt")->setText("100");
    Click("Command1");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(applier.Values().wrdTimerMs, 100);
    dialog.show();
    EXPECT_FALSE(dialog.close());
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(SettingsDialogTest, PriorityResidentFlagAndEmulationFields) {
    Choose("ThreadPri2");  // やや高
    Click("Command3");
    Choose("ThreadPri3");  // 標準
    Click("Command3");
    Choose("ThreadPri0");  // 最高
    Click("Command3");
    // The first apply keeps the default (2): only the two changes reach the priority.
    ASSERT_EQ(priority.asked.size(), 2u);
    EXPECT_EQ(priority.asked[0], platform::PriorityClass::kNormal);
    EXPECT_EQ(priority.asked[1], platform::PriorityClass::kRealtime);
    EXPECT_EQ(platform::NiceValueFor(priority.asked[1]), -20);  // the highest a process may ask for
    EXPECT_EQ(applier.Values().threadMode, 0);

    // "常駐機能を無効にする" is AlwaysMove inverted.
    EXPECT_TRUE(Find<QCheckBox>("AlwaysMove")->isChecked());
    Find<QCheckBox>("AlwaysMove")->setChecked(false);
    Click("Command3");
    EXPECT_TRUE(applier.Values().stayResidentOnClose);
    Find<QCheckBox>("AlwaysMove")->setChecked(true);
    Choose("OSReturn4");
    Choose("MinWndStyle1");
    prompts.answers = {QString("/cfg/gs.cfg"), std::nullopt};
    Click("SMFKConfigFileSet0");
    Click("SMFKConfigFileSet1");  // cancelled: unchanged
    EXPECT_EQ(prompts.asked.front(),
              "SMFナイフコンフィグファイルの指定|SMFナイフコンフィグ(*.cfg)");
    Find<QCheckBox>("SMFKRythm")->setChecked(true);
    Click("Command3");
    EXPECT_FALSE(applier.Values().stayResidentOnClose);
    EXPECT_EQ(applier.Values().osReturn, 40);
    EXPECT_EQ(applier.Values().taskType, 1);
    EXPECT_EQ(applier.Values().moduleEmulation.gsConfig, "/cfg/gs.cfg");
    EXPECT_EQ(applier.Values().moduleEmulation.xgConfig, "");
    EXPECT_TRUE(applier.Values().moduleEmulation.smfkRhythm);
}

TEST_F(SettingsDialogTest, TimerTextsOutsideTheRangeAreRefused) {
    for (const char* text : {"abc", "0", "101", ""}) {
        Find<QLineEdit>("MTimerInt")->setText(text);
        EXPECT_FALSE(dialog.ApplyEdits()) << text;
        EXPECT_EQ(Find<QLineEdit>("MTimerInt")->text(), "5");
    }
    Find<QLineEdit>("WRDInt")->setText("5");
    Click("Command1");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Find<QLineEdit>("WRDInt")->text(), "50");
    ASSERT_EQ(prompts.errors.size(), 5u);
    EXPECT_TRUE(prompts.errors[0].contains("1から100まで")) << prompts.errors[0].toStdString();
    EXPECT_TRUE(prompts.errors[4].startsWith("WRD描画更新間隔には10から1000まで"));
    EXPECT_EQ(applier.edits, 0);  // nothing applied
    EXPECT_EQ(applier.Values().mainTimerMs, 5);
}

TEST_F(SettingsDialogTest, AssociationsFollowMimeappsList) {
    WriteMimeApps(
        "[Default Applications]\n"
        "audio/midi=other.desktop;\n"
        "application/x-sonfara-mlt=Sonfara.File.desktop;\n");
    dialog.Refill();
    auto* rows = Find<QListWidget>("AssociationList");
    ASSERT_EQ(rows->count(), 10);
    EXPECT_EQ(rows->item(0)->text(), ".MID    - 標準SMFファイル");
    for (int i = 0; i < 10; ++i) EXPECT_EQ(rows->item(i)->isSelected(), i == 7) << i;

    rows->item(0)->setSelected(true);
    rows->item(7)->setSelected(false);
    Click("Command3");
    EXPECT_TRUE(MimeApps().contains("audio/midi=Sonfara.File.desktop;"));
    EXPECT_FALSE(MimeApps().contains("application/x-sonfara-mlt="));  // nothing remembered
    EXPECT_EQ(applier.Values().launchPrograms[0], "other.desktop;");

    // Deselecting .mid gives the remembered application back.
    rows->item(0)->setSelected(false);
    Click("Command3");
    EXPECT_TRUE(MimeApps().contains("audio/midi=other.desktop;"));
    Click("Command4");
    Click("Command1");
    dialog.Refill();
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(rows->item(i)->isSelected()) << i;
}

TEST_F(SettingsDialogTest, LaunchersOnTheDesktopAndUnderOpenWith) {
    QDir().mkpath(root + "/Desktop");
    QDir().mkpath(root + "/data/applications");
    Click("Command6");
    Click("Command7");
    EXPECT_TRUE(prompts.errors.empty());
    QFile desktop(root + "/Desktop/Sonfara.desktop");
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
    EXPECT_TRUE(desktop.readAll().contains("Exec=\"/opt/sonfara/bin/sonfara\"\n"));
    QFile openWith(root + "/data/applications/Sonfara.desktop");
    ASSERT_TRUE(openWith.open(QIODevice::ReadOnly));
    const QByteArray entry = openWith.readAll();
    EXPECT_TRUE(entry.contains("Exec=\"/opt/sonfara/bin/sonfara\" %F\n"));
    EXPECT_TRUE(entry.contains("MimeType=audio/midi;audio/x-sonfara-rmi;"));
    EXPECT_TRUE(entry.contains("NoDisplay=true\n"));

    // A folder that cannot be written is reported, not passed over.
    SettingsDialog broken(applier, shell, sfrlib, {"/x", "/nonexistent/Desktop", "/nonexistent"},
                          &prompts);
    EXPECT_NE(broken.CreateDesktopShortcut(), 0);
    EXPECT_EQ(prompts.errors.back(), "ショートカットを作成できませんでした");
}

}  // namespace
}  // namespace sonfara::dialogs
