// The control window's menu bar: every command of the player, built from
// one table of entries; the run-time lists (play list, favourites, recent
// files, arrangements, equalizer presets, output ports) filled from the
// session; and the check marks that mirror the settings. It drives the
// PlaybackSession and asks the application (ShellHooks) for the rest.
//
// Threads: UI thread; every member function is called there.
#pragma once

#include <QMessageBox>
#include <QString>
#include <array>
#include <functional>
#include <vector>

#include "player/session/audio_export.h"
#include "player/session/session.h"
#include "player/shell/shell_hooks.h"

class QAction;
class QActionGroup;
class QMainWindow;
class QMenu;

namespace sonfara::shell {

class ControlMenus;

// What the menus need of the window whose bar they fill, handed in by it.
struct MenuHost {
    QMainWindow& window;  // owns the bar and the actions; parents the dialogs
    // A message box over the window, opened after the command returns.
    std::function<void(QMessageBox::Icon, const QString&)> showMessage;
    // Lets pending window events run before a long command.
    std::function<void()> runPendingEvents;
};

// The menus of the bar, as the table names them; kBar is the bar itself.
enum class MenuId : int {
    kBar,
    kFile,
    kPlay,
    kLoopCount,
    kLoopFade,
    kView,
    kFileList,
    kFavorites,
    kRecent,
    kExtension,
    kLaunch,
    kArrangement,
    kEqualizer,
    kEffects,
    kChorus,
    kReverb,
    kSettings,
    kRepeat,
    kOpenMode,
    kEmulation,
    kPort,
    kHelp,
};
inline constexpr int kMenuIdCount = static_cast<int>(MenuId::kHelp) + 1;

// One entry of the menu table, added to `menu` in the table's order.
struct MenuEntry {
    enum class Kind {
        kMenu,    // a submenu: `opens`
        kAction,  // runs `action`
        kToggle,  // a check mark: stores it in `field`, or hands it to `choose`
        kChoice,  // one of the menu's radio group: `choose(arg)`, then the marks follow the
                  // settings
        kSeparator,
    };
    MenuId menu;
    Kind kind;
    const char* caption = "";   // UTF-8
    const char* name = "";      // the object name the entry is found by
    const char* shortcut = "";  // portable key text ("Ctrl+L"), "" for none
    void (*action)(ControlMenus&) = nullptr;
    void (*choose)(ControlMenus&, int) = nullptr;
    int arg = 0;
    bool settings::SettingsValues::*field = nullptr;
    MenuId opens = MenuId::kBar;
};

class ControlMenus {
  public:
    // Builds the whole bar of `host.window`.
    ControlMenus(MenuHost host, session::PlaybackSession& session, ShellHooks& hooks);
    ControlMenus(const ControlMenus&) = delete;
    ControlMenus& operator=(const ControlMenus&) = delete;

    QMenu* Menu(MenuId id) const { return menus_[static_cast<int>(id)]; }

    // Every check mark that mirrors a setting, read back from the session.
    void SyncWithSettings();
    // The run-time items of the list menus, from the session.
    void RebuildFileList();
    void RebuildFavorites();
    void RebuildRecent();
    // The arrangement and EQ menus, after the files were read again.
    void RefillShaping();
    // "テキストエディタ" needs the document the main window shows.
    void UpdateLaunchEntries();

  private:
    static const MenuEntry kEntries[];

    void Build();
    QAction* Add(const MenuEntry& entry, QActionGroup*& group);
    QAction* AddChoice(QMenu* menu, QActionGroup* group, const QString& caption,
                       const QString& name, std::function<void()> run);
    void FillPortMenu(QActionGroup* group);
    void FillShapingMenus();
    QAction* Action(const QString& name) const;
    void ChangeSetting(const std::function<void(settings::SettingsValues&)>& change);
    static void ChooseLoopCount(ControlMenus& m, int n);
    static void ChooseLoopFade(ControlMenus& m, int seconds);
    void OnSetPoint(bool a);

    void OnPortChosen(int device);
    void OnFileOpen();
    void OnFolderOpen();
    void OnListSave();
    void OnSaveAsSmf();
    void OnExportAudio();
    session::AudioExportRequest ExportRequest(const std::string& path,
                                              session::AudioFormat format) const;
    void OnFavoriteAdd();

    MenuHost host_;
    QMainWindow& window_;
    session::PlaybackSession& session_;
    ShellHooks& hooks_;
    std::array<QMenu*, kMenuIdCount> menus_{};
    std::vector<QAction*> fileListItems_, favoriteItems_, recentItems_;
};

}  // namespace sonfara::shell
