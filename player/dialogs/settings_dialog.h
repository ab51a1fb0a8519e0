// The settings dialog "Sonfara - 設定": six pages that edit a part of the
// settings, the file associations, the launchers, the module-emulation
// configuration files and the song library's folders. It lives for the whole run; closing it hides
// it. UI thread only.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "player/platform/file_types.h"
#include "player/settings/settings_apply.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QTabWidget;

namespace sonfara::platform {
class SfrLibBinding;
}  // namespace sonfara::platform
namespace sonfara::dialogs {
class LibraryFoldersPage;
}

namespace sonfara::dialogs {

class Prompts;

// Where the two shortcut buttons put their launchers.
struct ShortcutPlaces {
    std::string launcher;      // the program the launchers start
    std::string desktop;       // the desktop folder
    std::string applications;  // $XDG_DATA_HOME/applications: "Open With" entries
};
// The running program, the user's desktop and applications folders.
ShortcutPlaces DefaultShortcutPlaces();

// User texts of the dialog.
namespace settings_text {
inline constexpr const char* kTitle =
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "Sonfara - 設定");
inline constexpr const char* kBrowseTitle =
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "SMFナイフコンフィグファイルの指定");
inline constexpr const char* kBrowseFilter =
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "SMFナイフコンフィグ(*.cfg)");
inline constexpr const char* kShortcutFailed =
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "ショートカットを作成できませんでした");
}  // namespace settings_text

class SettingsDialog final : public QDialog {
    Q_OBJECT
  public:
    // `prompts` null: the real message boxes and file dialog.
    SettingsDialog(settings::SettingsEditor& settings, platform::ShellIntegration& shell,
                   platform::SfrLibBinding& sfrlib, ShortcutPlaces places,
                   Prompts* prompts = nullptr, QWidget* parent = nullptr);

    // Every control from the settings in effect and the associations as the
    // desktop has them now (also what the shell calls before showing it).
    void Refill();
    // Applies the edits; false (nothing applied) when a timer text was
    // refused, with a message naming the range.
    bool ApplyEdits();

    // The buttons: "OK", "適用(&A)", "キャンセル".
    void Ok();
    void ApplyAndStay() { ApplyEdits(); }
    void Cancel();

    // The association rows' selection (row i = extension i).
    std::array<bool, platform::kAssociableCount> SelectedAssociations() const;
    void SelectAllAssociations(bool selected);
    // The shortcut buttons; CreateLink's result.
    int CreateDesktopShortcut();
    int CreateOpenWithEntry();
    // "参照" with index i (0 GS, 1 XG).
    void Browse(int index);

    QTabWidget* Tabs() const { return tabs_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;  // Esc is the cancel button

  private:
    QWidget* PlayPage();
    QWidget* DrawPage();
    QWidget* AssociationPage();
    QWidget* BehaviourPage();
    QWidget* EmulationPage();
    bool ReadTimer(QLineEdit* box, const char* label, const char* key, int32_t current,
                   int32_t& out);
    int ReportShortcut(int result);

    settings::SettingsEditor& settings_;
    platform::ShellIntegration& shell_;
    platform::SfrLibBinding& sfrlib_;
    ShortcutPlaces places_;
    Prompts& prompts_;

    QTabWidget* tabs_;
    QLineEdit* mTimer_;
    QCheckBox* easyDelta_;
    QComboBox* synthBuffer_;
    QComboBox* textEncoding_;
    QLineEdit* gTimer_;
    QLineEdit* wrdTimer_;
    QCheckBox* showWrd_;
    QListWidget* associations_;
    QButtonGroup* threadPri_;
    QButtonGroup* minWndStyle_;
    QButtonGroup* osReturn_;
    QCheckBox* alwaysMove_;
    QCheckBox* sstp_;
    QButtonGroup* language_;
    QCheckBox* midiEmu_;
    std::array<QLineEdit*, 2> configFile_{};
    QCheckBox* smfkBank_;
    QCheckBox* smfkRythm_;
    LibraryFoldersPage* libraryPage_;
};

// Turns a launcher written by CreateLink into an application entry that
// file managers offer under "Open With" for the player's types: the files
// are passed (%F), the types are listed, and it stays out of the menus.
bool MakeOpenWithEntry(const std::string& desktopFile);

}  // namespace sonfara::dialogs
