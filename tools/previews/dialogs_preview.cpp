// sonfara-dialogs-preview OUTPUT_FOLDER: opens every dialog offscreen and
// writes what it shows as PNG files (each settings page, the two list
// dialog modes, the version window, the WRD window with the demo's
// presentation). Touches no user file: the desktop folders are temporary.
// Run from the build folder: QT_QPA_PLATFORM=offscreen
// player/dialogs/sonfara-dialogs-preview dialogs-preview
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>

#include "player/dialogs/list_dialog.h"
#include "player/dialogs/settings_dialog.h"
#include "player/dialogs/version_window.h"
#include "player/dialogs/wrd_window.h"
#include "player/platform/codepage.h"
#include "player/platform/sfrlib_binding.h"
#include "player/song/smf_reader.h"
#include "player/song/song_table.h"

using namespace sonfara;

namespace {

bool Save(QWidget& w, const QString& folder, const char* name) {
    w.show();
    QApplication::processEvents();
    const QString path = folder + QLatin1Char('/') + QLatin1String(name);
    const bool ok = w.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

class FixedClock final : public wrd::WrdClock {
  public:
    int32_t SongPositionMs() const override { return ms; }
    int32_t ms = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("dialogs-preview");
    QDir().mkpath(out);
    QTemporaryDir home;
    const std::string root = home.path().toStdString();
    bool ok = true;

    platform::SfrLibBinding sfrlib(SFRLIB_PATH);
    platform::FreedesktopShell shell(root + "/data", root + "/config", false);
    shell.RegisterFileType("/usr/bin/sonfara");
    shell.WriteAssociation(0, platform::kPlayerFileType);
    shell.WriteAssociation(7, platform::kPlayerFileType);
    struct : settings::SettingsEditor {
        const settings::SettingsValues& Values() const override { return values; }
        void Edit(const std::function<void(settings::SettingsValues&)>& change) override {
            change(values);
        }
        settings::SettingsValues values;
    } defaults;
    dialogs::SettingsDialog settings(defaults, shell, sfrlib,
                                     {"/usr/bin/sonfara", root + "/desktop", root + "/apps"});
    const char* pages[] = {"settings-1-play.png", "settings-2-draw.png",
                           "settings-3-associations.png", "settings-4-behaviour.png",
                           "settings-5-emulation.png"};
    for (int i = 0; i < 5; ++i) {
        settings.Tabs()->setCurrentIndex(i);
        ok &= Save(settings, out, pages[i]);
    }
    settings.hide();

    const std::string favFolder = root + "/Favorite";
    const char* favs[][2] = {{"お気に入りの曲", "/home/user/midi/favourite.mid"},
                             {"Sonfara デモ", "/usr/share/sonfara/demo/sonfara-demo.mid"},
                             {"ゲーム音楽集", "/home/user/midi/games.mlt"}};
    for (const auto& f : favs)
        ok &= files::AddFavorite(favFolder, f[0], f[1], platform::SystemCodePage()).ok();
    dialogs::FavoritesListModel favModel(favFolder, platform::SystemCodePage());
    dialogs::ListDialog favDialog(favModel);
    favDialog.SelectRow(1);
    ok &= Save(favDialog, out, "list-favorites.png");

    files::PlayList list;
    std::vector<files::FileEntry> entries;
    for (const char* name : {"sonfara-demo.mid", "overture.mid", "waltz.rcp", "march.mid"}) {
        files::FileEntry e;
        e.FileName = name;
        e.Folder = "/home/user/midi/";
        entries.push_back(e);
    }
    list.Replace(entries);
    list.SetIndex(1);
    dialogs::PlayListListModel listModel(list, [](int) { return true; });
    dialogs::ListDialog listDialog(listModel);
    listDialog.SelectRow(2);
    ok &= Save(listDialog, out, "list-playlist.png");

    dialogs::VersionWindow version(dialogs::CollectVersions(sfrlib));
    ok &= Save(version, out, "version.png");

    const std::string song = std::string(SONFARA_DEMO_DIR) + "/sonfara-demo.mid";
    song::SongTable table;
    song::LoadOptions opt;
    opt.songFileName = "sonfara-demo.mid";
    if (!song::LoadSMF(song, table, opt).ok()) {
        std::fprintf(stderr, "cannot read %s\n", song.c_str());
        return 1;
    }
    FixedClock clock;
    wrd::WrdWindowWidget wrdWindow;
    wrd::WrdRuntime runtime(clock, wrdWindow);
    wrd::RuntimeFrameSource source(runtime);
    wrdWindow.SetFrameSource(&source);
    if (runtime.LoadWrdScript(song, table, wrd::WrdSettings{}) != wrd::WrdLoad::kActive) {
        std::fprintf(stderr, "no WRD presentation beside %s\n", song.c_str());
        return 1;
    }
    clock.ms = 20000;
    source.Tick();
    ok &= Save(wrdWindow, out, "wrd-window.png");
    wrdWindow.resize(2 * wrd::kFrameWidth, 2 * wrd::kFrameHeight);  // whole scale 2
    ok &= Save(wrdWindow, out, "wrd-window-x2.png");
    wrdWindow.StopTimer();
    return ok ? 0 : 1;
}
