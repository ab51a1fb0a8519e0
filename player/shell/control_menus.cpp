#include "player/shell/control_menus.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "player/dialogs/list_dialog.h"
#include "player/files/favorites.h"
#include "player/files/file_op.h"
#include "player/session/audio_export.h"
#include "player/session/messages.h"
#include "player/shell/desktop_launch.h"

namespace sonfara::shell {

namespace {

using K = MenuEntry::Kind;
using M = ControlMenus;
using enum MenuId;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
// A menu caption: the program's own from the catalogue, the session's from
// the engine's tables.
QString Caption(const char* caption) {
    const QString t = QCoreApplication::translate("ControlMenus", caption);
    return t == QString::fromUtf8(caption) ? Q(platform::Localized(caption)) : t;
}
// An engine message in the user's language.
QString L(const char* text) {
    return Q(platform::Localized(text));
}
std::string S(const QString& s) {
    return s.toStdString();
}

constexpr MenuEntry Sub(MenuId menu, const char* caption, MenuId opens) {
    return {.menu = menu, .kind = K::kMenu, .caption = caption, .opens = opens};
}
constexpr MenuEntry Act(MenuId menu, const char* caption, const char* name, void (*action)(M&),
                        const char* shortcut = "") {
    return {.menu = menu,
            .kind = K::kAction,
            .caption = caption,
            .name = name,
            .shortcut = shortcut,
            .action = action};
}
constexpr MenuEntry Toggle(MenuId menu, const char* caption, const char* name,
                           bool settings::SettingsValues::*field) {
    return {.menu = menu, .kind = K::kToggle, .caption = caption, .name = name, .field = field};
}
constexpr MenuEntry Toggle(MenuId menu, const char* caption, const char* name,
                           void (*choose)(M&, int)) {
    return {.menu = menu, .kind = K::kToggle, .caption = caption, .name = name, .choose = choose};
}
constexpr MenuEntry Choice(MenuId menu, const char* caption, const char* name, int arg,
                           void (*choose)(M&, int)) {
    return {.menu = menu,
            .kind = K::kChoice,
            .caption = caption,
            .name = name,
            .choose = choose,
            .arg = arg};
}
constexpr MenuEntry Separator(MenuId menu) {
    return {.menu = menu, .kind = K::kSeparator};
}

// Messages as the control window shows them (the folder scan's too).
class WindowNotifier final : public files::Notifier {
  public:
    explicit WindowNotifier(const MenuHost& host) : host_(host) {}
    void Error(const std::string& text) override {
        host_.showMessage(QMessageBox::Critical, Q(text));
    }
    void Info(const std::string& text) override {
        host_.showMessage(QMessageBox::Information, Q(text));
    }

  private:
    const MenuHost& host_;
};

// Requests from outside wait while a dialog of the window's own runs.
class ModalScope {
  public:
    explicit ModalScope(ShellHooks& hooks) : hooks_(hooks) { hooks_.BeginModal(); }
    ~ModalScope() { hooks_.EndModal(); }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

  private:
    ShellHooks& hooks_;
};

QString StartFolder(const std::string& defDir) {
    const QString dir = Q(defDir);
    return QFileInfo(dir).isDir() ? dir : QString();
}

// Replaces the run-time items of a list menu. Old items go later: one of
// them may be the entry whose click led here.
void ClearItems(std::vector<QAction*>& items) {
    for (QAction* a : items) {
        a->setObjectName(QString());
        if (QMenu* m = qobject_cast<QMenu*>(a->parent())) m->removeAction(a);
        a->deleteLater();
    }
    items.clear();
}

}  // namespace

// The bar, menu by menu, in the order the user sees it. Object names are the
// control names tests and the check marks find the entries by.
const MenuEntry ControlMenus::kEntries[] = {
    Sub(kBar, QT_TRANSLATE_NOOP("ControlMenus", "ファイル(&F)"), kFile),
    Act(kFile, QT_TRANSLATE_NOOP("ControlMenus", "ファイルを開く"), "FileOpen",
        [](M& m) { m.OnFileOpen(); }),
    Act(kFile, QT_TRANSLATE_NOOP("ControlMenus", "フォルダを開く"), "FolderOpen",
        [](M& m) { m.OnFolderOpen(); }),
    Act(kFile, QT_TRANSLATE_NOOP("ControlMenus", "リストを保存"), "ListSave",
        [](M& m) { m.OnListSave(); }),
    Act(kFile, QT_TRANSLATE_NOOP("ControlMenus", "SMFとして保存…"), "SaveAsSmf",
        [](M& m) { m.OnSaveAsSmf(); }),
    Act(kFile, QT_TRANSLATE_NOOP("ControlMenus", "音声ファイルに書き出し…"), "ExportAudio",
        [](M& m) { m.OnExportAudio(); }),
    Separator(kFile),
    Sub(kFile, QT_TRANSLATE_NOOP("ControlMenus", "ファイルリスト"), kFileList),
    Act(kFileList, session::msg::kNextSong, "NextSong", [](M& m) { m.session_.Songs().Next(); }),
    Act(kFileList, session::msg::kPrevSong, "PrevSong",
        [](M& m) { m.session_.Songs().Previous(); }),
    Separator(kFileList),
    Act(kFileList, QT_TRANSLATE_NOOP("ControlMenus", "再生リスト編集"), "FileListDel",
        [](M& m) { m.hooks_.ShowListEditor(dialogs::ListMode::kPlayList); }),
    Separator(kFileList),  // the play list follows
    Sub(kFile, QT_TRANSLATE_NOOP("ControlMenus", "お気に入り"), kFavorites),
    Act(kFavorites, QT_TRANSLATE_NOOP("ControlMenus", "お気に入りに追加"), "FavoriteAdd",
        [](M& m) { m.OnFavoriteAdd(); }),
    Act(kFavorites, QT_TRANSLATE_NOOP("ControlMenus", "お気に入りの整理"), "FavoriteDel",
        [](M& m) { m.hooks_.ShowListEditor(dialogs::ListMode::kFavorites); }),
    Separator(kFavorites),  // the favourites follow
    Sub(kFile, QT_TRANSLATE_NOOP("ControlMenus", "最近使ったファイル"), kRecent),
    Act(kRecent, QT_TRANSLATE_NOOP("ControlMenus", "最近使ったファイルのクリア"), "RecentClear",
        [](M& m) { m.session_.Lists().ClearRecent(); }),
    Separator(kRecent),  // the recent files follow
    Separator(kFile),
    Act(kFile, QT_TRANSLATE_NOOP("ControlMenus", "終了"), "ExitProgram",
        [](M& m) { m.hooks_.RequestClose(CloseMode::kProgramClose); }),

    Sub(kBar, QT_TRANSLATE_NOOP("ControlMenus", "再生(&P)"), kPlay),
    Act(
        kPlay, QT_TRANSLATE_NOOP("ControlMenus", "A点設定"), "SetPointA",
        [](M& m) { m.OnSetPoint(true); }, "Ctrl+["),
    Act(
        kPlay, QT_TRANSLATE_NOOP("ControlMenus", "B点設定"), "SetPointB",
        [](M& m) { m.OnSetPoint(false); }, "Ctrl+]"),
    Act(
        kPlay, QT_TRANSLATE_NOOP("ControlMenus", "A-B解除"), "ClearAB",
        [](M& m) { m.session_.Transport().ClearAB(); }, "Ctrl+\\"),
    Separator(kPlay),
    Sub(kPlay, QT_TRANSLATE_NOOP("ControlMenus", "ループ回数"), kLoopCount),
    Choice(kLoopCount, QT_TRANSLATE_NOOP("ControlMenus", "オフ"), "LoopCount0", 0,
           &M::ChooseLoopCount),
    Choice(kLoopCount, QT_TRANSLATE_NOOP("ControlMenus", "1回"), "LoopCount1", 1,
           &M::ChooseLoopCount),
    Choice(kLoopCount, QT_TRANSLATE_NOOP("ControlMenus", "2回"), "LoopCount2", 2,
           &M::ChooseLoopCount),
    Choice(kLoopCount, QT_TRANSLATE_NOOP("ControlMenus", "3回"), "LoopCount3", 3,
           &M::ChooseLoopCount),
    Choice(kLoopCount, QT_TRANSLATE_NOOP("ControlMenus", "4回"), "LoopCount4", 4,
           &M::ChooseLoopCount),
    Choice(kLoopCount, QT_TRANSLATE_NOOP("ControlMenus", "5回"), "LoopCount5", 5,
           &M::ChooseLoopCount),
    Choice(kLoopCount, QT_TRANSLATE_NOOP("ControlMenus", "6回"), "LoopCount6", 6,
           &M::ChooseLoopCount),
    Choice(kLoopCount, QT_TRANSLATE_NOOP("ControlMenus", "7回"), "LoopCount7", 7,
           &M::ChooseLoopCount),
    Choice(kLoopCount, QT_TRANSLATE_NOOP("ControlMenus", "8回"), "LoopCount8", 8,
           &M::ChooseLoopCount),
    Choice(kLoopCount, QT_TRANSLATE_NOOP("ControlMenus", "9回"), "LoopCount9", 9,
           &M::ChooseLoopCount),
    Choice(kLoopCount, QT_TRANSLATE_NOOP("ControlMenus", "無限"), "LoopCount10", 10,
           &M::ChooseLoopCount),
    Sub(kPlay, QT_TRANSLATE_NOOP("ControlMenus", "ループ後のフェードアウト"), kLoopFade),
    Choice(kLoopFade, QT_TRANSLATE_NOOP("ControlMenus", "なし"), "LoopFade0", 0,
           &M::ChooseLoopFade),
    Choice(kLoopFade, QT_TRANSLATE_NOOP("ControlMenus", "3秒"), "LoopFade3", 3, &M::ChooseLoopFade),
    Choice(kLoopFade, QT_TRANSLATE_NOOP("ControlMenus", "5秒"), "LoopFade5", 5, &M::ChooseLoopFade),
    Choice(kLoopFade, QT_TRANSLATE_NOOP("ControlMenus", "10秒"), "LoopFade10", 10,
           &M::ChooseLoopFade),

    Sub(kBar, QT_TRANSLATE_NOOP("ControlMenus", "表示(&V)"), kView),
    Act(
        kView, QT_TRANSLATE_NOOP("ControlMenus", "歌詞"), "ShowLyrics",
        [](M& m) { m.hooks_.ShowLyricsWindow(); }, "Ctrl+L"),
    Act(
        kView, QT_TRANSLATE_NOOP("ControlMenus", "ライブラリ"), "ShowLibrary",
        [](M& m) { m.hooks_.ShowLibraryWindow(); }, "Ctrl+F"),

    Sub(kBar, QT_TRANSLATE_NOOP("ControlMenus", "拡張機能(&E)"), kExtension),
    Sub(kExtension, QT_TRANSLATE_NOOP("ControlMenus", "起動"), kLaunch),
    Act(kLaunch, QT_TRANSLATE_NOOP("ControlMenus", "アーカイバ"), "ShellArc",
        [](M& m) { launch::OpenArchive(m.session_.Songs().CurrentSource()); }),
    Act(kLaunch, QT_TRANSLATE_NOOP("ControlMenus", "テキストエディタ"), "ShellText",
        [](M& m) { launch::OpenInTextEditor(m.hooks_.DocumentPath()); }),
    Act(kLaunch, QT_TRANSLATE_NOOP("ControlMenus", "エクスプローラ"), "ShellExp",
        [](M& m) { launch::OpenSongFolder(m.session_.Songs().CurrentSource()); }),
    Separator(kExtension),
    Sub(kExtension, QT_TRANSLATE_NOOP("ControlMenus", "アレンジ"),
        kArrangement),  // filled from the catalogue
    Sub(kExtension, QT_TRANSLATE_NOOP("ControlMenus", "イコライザ"),
        kEqualizer),  // filled from the catalogue
    Sub(kExtension, QT_TRANSLATE_NOOP("ControlMenus", "エフェクト設定"), kEffects),
    Sub(kEffects, QT_TRANSLATE_NOOP("ControlMenus", "コーラスエフェクト"), kChorus),
    Choice(kChorus, QT_TRANSLATE_NOOP("ControlMenus", "強く"), "ChorusEft0", 0,
           [](M& m, int i) { m.session_.Output().SelectChorus(i); }),
    Choice(kChorus, QT_TRANSLATE_NOOP("ControlMenus", "標準"), "ChorusEft1", 1,
           [](M& m, int i) { m.session_.Output().SelectChorus(i); }),
    Choice(kChorus, QT_TRANSLATE_NOOP("ControlMenus", "弱く"), "ChorusEft2", 2,
           [](M& m, int i) { m.session_.Output().SelectChorus(i); }),
    Sub(kEffects, QT_TRANSLATE_NOOP("ControlMenus", "リバーブエフェクト"), kReverb),
    Choice(kReverb, QT_TRANSLATE_NOOP("ControlMenus", "強く"), "ReverbEft0", 0,
           [](M& m, int i) { m.session_.Output().SelectReverb(i); }),
    Choice(kReverb, QT_TRANSLATE_NOOP("ControlMenus", "標準"), "ReverbEft1", 1,
           [](M& m, int i) { m.session_.Output().SelectReverb(i); }),
    Choice(kReverb, QT_TRANSLATE_NOOP("ControlMenus", "弱く"), "ReverbEft2", 2,
           [](M& m, int i) { m.session_.Output().SelectReverb(i); }),
    Separator(kExtension),
    Toggle(kExtension, QT_TRANSLATE_NOOP("ControlMenus", "MIMPI-WRDエミュレーション"), "MWRD_Emu",
           &settings::SettingsValues::mimpiWrdEmulation),
    Toggle(kExtension, QT_TRANSLATE_NOOP("ControlMenus", "Sherry-WRDエミュレーション"), "SWRD_Emu",
           &settings::SettingsValues::sherryWrdEmulation),

    Sub(kBar, QT_TRANSLATE_NOOP("ControlMenus", "設定(&S)"), kSettings),
    Act(kSettings, QT_TRANSLATE_NOOP("ControlMenus", "設定全般"), "Settings",
        [](M& m) { m.hooks_.ShowSettings(); }),
    Act(kSettings, QT_TRANSLATE_NOOP("ControlMenus", "コントロールパネル - マルチメディア"),
        "CPanel_MMedia", [](M&) { launch::OpenSoundSettings(); }),
    Act(kSettings, QT_TRANSLATE_NOOP("ControlMenus", "音量調節"), "VolumeSet",
        [](M&) { launch::OpenVolumeControl(); }),
    Separator(kSettings),
    Sub(kSettings, QT_TRANSLATE_NOOP("ControlMenus", "リピートモード"), kRepeat),
    Choice(kRepeat, session::msg::kRepeatCaptions[0], "Repeat0", 0,
           [](M& m, int i) { m.session_.Transport().SetRepeatMode(platform::RepeatMode(i)); }),
    Choice(kRepeat, session::msg::kRepeatCaptions[1], "Repeat1", 1,
           [](M& m, int i) { m.session_.Transport().SetRepeatMode(platform::RepeatMode(i)); }),
    Choice(kRepeat, session::msg::kRepeatCaptions[2], "Repeat2", 2,
           [](M& m, int i) { m.session_.Transport().SetRepeatMode(platform::RepeatMode(i)); }),
    Choice(kRepeat, session::msg::kRepeatCaptions[3], "Repeat3", 3,
           [](M& m, int i) { m.session_.Transport().SetRepeatMode(platform::RepeatMode(i)); }),
    Sub(kSettings, QT_TRANSLATE_NOOP("ControlMenus", "ファイルオープンモード"), kOpenMode),
    Choice(
        kOpenMode, QT_TRANSLATE_NOOP("ControlMenus", "リストを新規作成"), "ListMode0", 0,
        [](M& m, int i) { m.ChangeSetting([i](settings::SettingsValues& v) { v.openMode = i; }); }),
    Choice(
        kOpenMode, QT_TRANSLATE_NOOP("ControlMenus", "リストに追加"), "ListMode1", 1,
        [](M& m, int i) { m.ChangeSetting([i](settings::SettingsValues& v) { v.openMode = i; }); }),
    Choice(
        kSettings, QT_TRANSLATE_NOOP("ControlMenus", "ソートなし"), "FileSort0", 0,
        [](M& m, int i) { m.ChangeSetting([i](settings::SettingsValues& v) { v.fileSort = i; }); }),
    Choice(
        kSettings, QT_TRANSLATE_NOOP("ControlMenus", "ファイル名でソート"), "FileSort1", 1,
        [](M& m, int i) { m.ChangeSetting([i](settings::SettingsValues& v) { v.fileSort = i; }); }),
    Separator(kSettings),
    Sub(kSettings, QT_TRANSLATE_NOOP("ControlMenus", "簡易エミュレート（送出イベント設定）"),
        kEmulation),
    Toggle(kEmulation, QT_TRANSLATE_NOOP("ControlMenus", "バンクセレクト"), "SendBankSelect",
           &settings::SettingsValues::sendBankSelect),
    Toggle(kEmulation, QT_TRANSLATE_NOOP("ControlMenus", "エクスクルーシブ"), "SendSysEX",
           &settings::SettingsValues::sendSysEx),
    Sub(kSettings, QT_TRANSLATE_NOOP("ControlMenus", "出力デバイス切り替え"), kPort),
    Choice(kPort, settings::kMidiMapper, "MIDIPortMapper", -1,  // the ports follow
           [](M& m, int d) { m.OnPortChosen(d); }),
    Separator(kSettings),
    Toggle(kSettings, QT_TRANSLATE_NOOP("ControlMenus", "低負荷モード（画面描画停止）"), "BltOff",
           [](M& m, int on) {
               m.ChangeSetting([on](settings::SettingsValues& v) { v.displayOn = !on; });
               m.hooks_.SetLowLoad(on != 0);
           }),

    Sub(kBar, QT_TRANSLATE_NOOP("ControlMenus", "ヘルプ(&H)"), kHelp),
    Act(kHelp, QT_TRANSLATE_NOOP("ControlMenus", "ヘルプ"), "Help",
        [](M& m) { m.hooks_.OpenHelp(); }),
    Act(kHelp, QT_TRANSLATE_NOOP("ControlMenus", "ホームページ"), "HomePage",
        [](M& m) { m.hooks_.OpenHomePage(); }),
    Separator(kHelp),
    Act(kHelp, QT_TRANSLATE_NOOP("ControlMenus", "バージョン情報"), "Version",
        [](M& m) { m.hooks_.ShowVersion(); }),
};

ControlMenus::ControlMenus(MenuHost host, session::PlaybackSession& session, ShellHooks& hooks)
    : host_(std::move(host)), window_(host_.window), session_(session), hooks_(hooks) {
    Build();
}

void ControlMenus::Build() {
    std::array<QActionGroup*, kMenuIdCount> groups{};  // each menu's radio group
    for (const MenuEntry& e : kEntries) {
        QMenu* menu = Menu(e.menu);
        if (e.kind == K::kMenu) {
            const QString caption = Caption(e.caption);
            menus_[static_cast<int>(e.opens)] =
                e.menu == kBar ? window_.menuBar()->addMenu(caption) : menu->addMenu(caption);
        } else if (e.kind == K::kSeparator) {
            menu->addSeparator();
        } else {
            Add(e, groups[static_cast<int>(e.menu)]);
        }
    }
    FillPortMenu(groups[static_cast<int>(kPort)]);
    FillShapingMenus();
    // The document comes with the song (the main window reads it after the
    // open): asked again whenever the menu opens.
    QObject::connect(Menu(kLaunch), &QMenu::aboutToShow, &window_,
                     [this] { UpdateLaunchEntries(); });
    Action(QStringLiteral("HomePage"))->setVisible(hooks_.HasHomePage());
    RebuildFileList();
    RebuildFavorites();
    RebuildRecent();
    SyncWithSettings();
}

QAction* ControlMenus::Add(const MenuEntry& e, QActionGroup*& group) {
    QMenu* menu = Menu(e.menu);
    const QString caption = Caption(e.caption);
    const QString name = QString::fromLatin1(e.name);
    if (e.kind == K::kChoice) {
        if (!group) group = new QActionGroup(menu);
        return AddChoice(menu, group, caption, name, [this, &e] { e.choose(*this, e.arg); });
    }
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    if (*e.shortcut) a->setShortcut(QKeySequence(QString::fromLatin1(e.shortcut)));
    if (e.kind == K::kAction) {
        QObject::connect(a, &QAction::triggered, &window_, [this, &e] { e.action(*this); });
        return a;
    }
    a->setCheckable(true);
    QObject::connect(a, &QAction::triggered, &window_, [this, &e](bool on) {
        if (e.field)
            ChangeSetting([&](settings::SettingsValues& v) { v.*e.field = on; });
        else
            e.choose(*this, on);
    });
    return a;
}

QAction* ControlMenus::AddChoice(QMenu* menu, QActionGroup* group, const QString& caption,
                                 const QString& name, std::function<void()> run) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    a->setCheckable(true);
    if (group) group->addAction(a);
    QObject::connect(a, &QAction::triggered, &window_, [this, run = std::move(run)] {
        run();
        SyncWithSettings();
    });
    return a;
}

void ControlMenus::FillPortMenu(QActionGroup* group) {
    const auto ports = session_.Output().PortNames();
    for (size_t i = 0; i < ports.size(); ++i) {
        const int device = static_cast<int>(i);
        AddChoice(Menu(kPort), group, Q(ports[i]), QStringLiteral("MIDIPortNum%1").arg(device),
                  [this, device] { OnPortChosen(device); });
    }
}

QAction* ControlMenus::Action(const QString& name) const {
    return window_.findChild<QAction*>(name);
}

void ControlMenus::ChangeSetting(const std::function<void(settings::SettingsValues&)>& change) {
    session_.Settings().Edit(change);  // the menus follow in OnStateChanged
}

void ControlMenus::ChooseLoopCount(ControlMenus& m, int n) {
    m.ChangeSetting([n](settings::SettingsValues& v) { v.loopCount = n; });
}

void ControlMenus::ChooseLoopFade(ControlMenus& m, int seconds) {
    m.ChangeSetting([seconds](settings::SettingsValues& v) { v.loopFadeSeconds = seconds; });
}

// A point at the knob's place; a B too close after A is refused with a word.
void ControlMenus::OnSetPoint(bool a) {
    session::SessionTransport& t = session_.Transport();
    if (!(a ? t.SetPointA() : t.SetPointB()))
        host_.showMessage(QMessageBox::Information, L(session::msg::kPointBBeforeA));
}

void ControlMenus::SyncWithSettings() {
    const settings::SettingsValues& v = session_.Settings().Values();
    auto check = [this](const QString& name, bool on) {
        if (QAction* a = Action(name)) a->setChecked(on);
    };
    for (int i = 0; i < platform::kRepeatModeCount; ++i)
        check(QStringLiteral("Repeat%1").arg(i), v.repeatMode == platform::RepeatMode(i));
    for (int i = 0; i < 2; ++i) {
        check(QStringLiteral("ListMode%1").arg(i), v.openMode == i);
        check(QStringLiteral("FileSort%1").arg(i), v.fileSort == i);
    }
    for (int i = 0; i < 3; ++i) {
        check(QStringLiteral("ChorusEft%1").arg(i), settings::EffectMenuItem(v.effectChorus) == i);
        check(QStringLiteral("ReverbEft%1").arg(i), settings::EffectMenuItem(v.effectReverb) == i);
    }
    check("ArrNone", v.arrangementItem == 0);
    for (size_t i = 1; i <= session_.Output().Catalog().Arrangements().size(); ++i)
        check(QStringLiteral("ArrDats%1").arg(i), v.arrangementItem == static_cast<int>(i));
    const int eq = v.eqActive ? v.eqItem : 0;
    check("EqNone", eq == 0);
    for (size_t i = 1; i <= session_.Output().Catalog().EqPresets().size(); ++i)
        check(QStringLiteral("EqMenu%1").arg(i), eq == static_cast<int>(i));
    check("MWRD_Emu", v.mimpiWrdEmulation);
    check("SWRD_Emu", v.sherryWrdEmulation);
    check("SendBankSelect", v.sendBankSelect);
    check("SendSysEX", v.sendSysEx);
    check("BltOff", !v.displayOn);
    for (int n = 0; n <= sequencer::kEndlessLoops; ++n)
        check(QStringLiteral("LoopCount%1").arg(n), v.loopCount == n);
    for (int n : {0, 3, 5, 10}) check(QStringLiteral("LoopFade%1").arg(n), v.loopFadeSeconds == n);
    check("MIDIPortMapper", v.outDevice < 0);
    for (size_t i = 0; i < session_.Output().PortNames().size(); ++i)
        check(QStringLiteral("MIDIPortNum%1").arg(i), v.outDevice == static_cast<int>(i));
}

void ControlMenus::RebuildFileList() {
    ClearItems(fileListItems_);
    const auto items = session_.Lists().PlayListMenu();
    const bool empty = session_.Snapshot().playListCount == 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const int item = static_cast<int>(i);
        QAction* a = Menu(kFileList)->addAction(Q(items[i].caption));
        a->setObjectName(QStringLiteral("FileList%1").arg(item));
        a->setCheckable(!empty);
        a->setChecked(items[i].checked);
        QObject::connect(a, &QAction::triggered, &window_, [this, item] {
            session_.Lists().FileListClick(item);
            RebuildFileList();  // a refused click must not leave its mark toggled
        });
        fileListItems_.push_back(a);
    }
}

// The arrangement and EQ menus from the session's catalogue (at start-up and
// when the files are read again).
void ControlMenus::FillShapingMenus() {
    auto fill = [this](QMenu* menu, const char* noneName, const QString& itemName,
                       const std::vector<std::string>& captions,
                       void (session::SessionOutput::*select)(int)) {
        menu->clear();
        qDeleteAll(menu->findChildren<QActionGroup*>(Qt::FindDirectChildrenOnly));
        auto* group = new QActionGroup(menu);
        AddChoice(menu, group, QCoreApplication::translate("ControlMenus", "なし"),
                  QString::fromLatin1(noneName),
                  [this, select] { (session_.Output().*select)(0); });
        for (size_t i = 0; i < captions.size(); ++i) {
            const int item = static_cast<int>(i) + 1;
            AddChoice(menu, group, Q(captions[i]), itemName.arg(item),
                      [this, select, item] { (session_.Output().*select)(item); });
        }
    };
    fill(Menu(kArrangement), "ArrNone", QStringLiteral("ArrDats%1"),
         session_.Output().Catalog().ArrangementMenuCaptions(),
         &session::SessionOutput::SelectArrangement);
    fill(Menu(kEqualizer), "EqNone", QStringLiteral("EqMenu%1"),
         session_.Output().Catalog().EqMenuCaptions(), &session::SessionOutput::SelectEq);
}

void ControlMenus::RefillShaping() {
    FillShapingMenus();
    SyncWithSettings();
}

void ControlMenus::RebuildFavorites() {
    ClearItems(favoriteItems_);
    const files::FavoritesMenu m = files::BuildFavoritesMenu(session_.Lists().Favorites());
    QMenu* menu = Menu(kFavorites);
    if (m.placeholderVisible) {
        QAction* a = menu->addAction(QCoreApplication::translate("ControlMenus", "なし"));
        a->setEnabled(false);
        favoriteItems_.push_back(a);
    }
    for (size_t i = 0; i < m.captions.size(); ++i) {
        const int item = static_cast<int>(i);
        QAction* a = menu->addAction(Q(m.captions[i]));
        a->setObjectName(QStringLiteral("Favorite%1").arg(item));
        QObject::connect(a, &QAction::triggered, &window_,
                         [this, item] { session_.Lists().OpenFavorite(item); });
        favoriteItems_.push_back(a);
    }
}

void ControlMenus::RebuildRecent() {
    ClearItems(recentItems_);
    const files::RecentList::Menu m = session_.Lists().RecentMenu();
    QMenu* menu = Menu(kRecent);
    if (m.placeholderVisible) {
        QAction* a = menu->addAction(QCoreApplication::translate("ControlMenus", "なし"));
        a->setEnabled(false);
        recentItems_.push_back(a);
    }
    for (size_t i = 0; i < m.captions.size(); ++i) {
        if (!m.visible[i]) continue;
        const int item = static_cast<int>(i);
        QAction* a = menu->addAction(Q(m.captions[i]));
        a->setObjectName(QStringLiteral("Recent%1").arg(item));
        QObject::connect(a, &QAction::triggered, &window_,
                         [this, item] { session_.Lists().OpenRecent(item); });
        recentItems_.push_back(a);
    }
}

void ControlMenus::UpdateLaunchEntries() {
    if (QAction* text = Action(QStringLiteral("ShellText")))
        text->setEnabled(!hooks_.DocumentPath().empty());
}

// --- Commands ------------------------------------------------------------------

void ControlMenus::OnPortChosen(int device) {
    if (device == session_.Settings().Values().outDevice && !session_.Songs().PortFailed()) {
        SyncWithSettings();  // the current port again: nothing reopens
        return;
    }
    host_.runPendingEvents();
    const sequencer::PlaybackStatus port = session_.Output().ChangePort(device);
    SyncWithSettings();
    if (!port.ok()) host_.showMessage(QMessageBox::Critical, Q(port.Message()));
}

void ControlMenus::OnFileOpen() {
    ModalScope modal(hooks_);
    const QStringList files = QFileDialog::getOpenFileNames(
        &window_, QCoreApplication::translate("ControlMenus", "MIDIファイルを開く"),
        StartFolder(session_.Settings().Values().lastFolder),
        QStringLiteral(
            "MIDI Files(*.mid,*.rmi,*.rcp,*.mlt,*.lzh,*.zip,*.lmd...) (*.mid *.kar *.rcp *.mlt "
            "*.lzh *.zip *.g18 *.g36 *.r18 *.r36 *.mcp *.rmi *.lmd *.zmd)"));
    if (files.isEmpty()) return;
    ChangeSetting([&](settings::SettingsValues& v) {
        v.lastFolder = S(QFileInfo(files.front()).absolutePath());
    });
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(S(f));
    session_.Songs().OpenPaths(paths);
}

void ControlMenus::OnFolderOpen() {
    ModalScope modal(hooks_);
    const QString dir = QFileDialog::getExistingDirectory(
        &window_,
        QCoreApplication::translate("ControlMenus", "MIDIファイルがあるフォルダを指定してください"),
        StartFolder(session_.Settings().Values().lastFolder));
    if (dir.isEmpty()) return;
    WindowNotifier notifier(host_);
    platform::CodePage cp("CP932");
    const files::FileContext ctx{notifier, QDir::tempPath().toStdString() + "/", cp};
    const auto paths = files::WithFolderSongs({S(dir)}, ctx);
    if (!paths.empty()) session_.Songs().OpenPaths(paths);
}

void ControlMenus::OnListSave() {
    ModalScope modal(hooks_);
    const QString path = QFileDialog::getSaveFileName(
        &window_, QCoreApplication::translate("ControlMenus", "リストファイルの保存"),
        StartFolder(session_.Settings().Values().lastFolder),
        QCoreApplication::translate("ControlMenus",
                                    "リストファイル(*.mlt) (*.mlt);;圧縮ファイル(*.lzh) "
                                    "(*.lzh);;圧縮ファイル(*.lmd) (*.lmd)"));
    if (path.isEmpty()) return;
    ChangeSetting(
        [&](settings::SettingsValues& v) { v.lastFolder = S(QFileInfo(path).absolutePath()); });
    (void)session_.Lists().SaveList(S(path));  // the list layer shows its own failures
}

// The song that plays, as the player loaded it (a converted Recomposer song
// too), written as a Standard MIDI File. A copy: the next song may start
// while the dialog is open.
void ControlMenus::OnSaveAsSmf() {
    const files::SongSource src = session_.Songs().CurrentSource();
    if (src.LoadedPath.empty()) {
        host_.showMessage(QMessageBox::Critical, L(files::msg::kNoFiles));
        return;
    }
    ModalScope modal(hooks_);
    const QString name = QFileInfo(Q(src.FileName)).completeBaseName() + QStringLiteral(".mid");
    const QString path = QFileDialog::getSaveFileName(
        &window_, L(files::msg::kSaveSmfTitle),
        QDir(StartFolder(session_.Settings().Values().lastFolder)).filePath(name),
        QStringLiteral("Standard MIDI File (*.mid)"));
    if (path.isEmpty()) return;
    ChangeSetting(
        [&](settings::SettingsValues& v) { v.lastFolder = S(QFileInfo(path).absolutePath()); });
    WindowNotifier notifier(host_);
    files::SaveSongAsSmf(src, S(path), notifier);
}

// The song that plays, rendered as the player would play it now: the
// values, key and channel switches of this moment; an A-B section repeats
// as the loop count says (without a finite count an A-B repeat never ends,
// so the song renders whole).
session::AudioExportRequest ControlMenus::ExportRequest(const std::string& path,
                                                        session::AudioFormat format) const {
    const files::PlayList& list = session_.Lists().List();
    const session::SessionSnapshot snap = session_.Snapshot();
    session::AudioExportRequest r;
    r.song = list.Entry(list.Index());
    r.outputPath = path;
    r.format = format;
    r.values = session_.Settings().Values();
    r.transpose = snap.transpose;
    r.channels = 0;
    for (int c = 1; c <= midi::kChannelCount; ++c) {
        if (session_.Output().Channel(c).Enabled.load(std::memory_order_relaxed) != 0)
            r.channels |= static_cast<uint16_t>(1u << (c - 1));
    }
    const int32_t a = snap.loops.pointA, b = snap.loops.pointB;
    const int count = r.values.loopCount;
    if (a >= 0 && b >= 0 && count > 0 && count != sequencer::kEndlessLoops)
        r.onOpened = [a, b](session::PlaybackSession& s) {
            (void)s.Transport().SetLoopSection(a, b);
            return std::string();
        };
    return r;
}

void ControlMenus::OnExportAudio() {
    const files::PlayList& list = session_.Lists().List();
    if (list.Index() < 1 || list.Index() > list.Count() ||
        session_.Songs().CurrentSource().LoadedPath.empty()) {
        host_.showMessage(QMessageBox::Critical, Q(files::msg::kNoFiles));
        return;
    }
    // One export at a time: said before a file name is asked for, not after.
    if (hooks_.RaiseRunningExport()) {
        host_.showMessage(
            QMessageBox::Information,
            QCoreApplication::translate(
                "ControlMenus", "音声ファイルに書き出し中です。終わってから選び直してください。"));
        return;
    }
    struct Filter {
        const char* text;
        session::AudioFormat format;
    };
    static constexpr Filter kFilters[] = {{"WAV (*.wav)", session::AudioFormat::kWav},
                                          {"FLAC (*.flac)", session::AudioFormat::kFlac},
                                          {"Ogg Vorbis (*.ogg)", session::AudioFormat::kOgg}};
    QStringList filters;
    for (const Filter& f : kFilters) filters << QString::fromLatin1(f.text);
    const QString name =
        QFileInfo(Q(session_.Songs().CurrentSource().FileName)).completeBaseName() +
        QStringLiteral(".wav");
    QString chosen = filters.front();
    QString path;
    {
        ModalScope modal(hooks_);
        path = QFileDialog::getSaveFileName(
            &window_, QCoreApplication::translate("ControlMenus", "音声ファイルに書き出し"),
            QDir(StartFolder(session_.Settings().Values().lastFolder)).filePath(name),
            filters.join(QStringLiteral(";;")), &chosen);
    }
    if (path.isEmpty()) return;
    // A name without a known extension takes the one of the chosen filter.
    std::optional<session::AudioFormat> format = session::AudioFormatOfPath(S(path));
    if (!format) {
        format = kFilters[std::max<qsizetype>(0, filters.indexOf(chosen))].format;
        path += QStringLiteral(".") + QString::fromLatin1(session::AudioFormatExtension(*format));
    }
    ChangeSetting(
        [&](settings::SettingsValues& v) { v.lastFolder = S(QFileInfo(path).absolutePath()); });
    hooks_.ExportAudio(ExportRequest(S(path), *format));
}

void ControlMenus::OnFavoriteAdd() {
    const auto proposal = session_.Lists().BeginAddFavorite();
    if (!proposal) return;
    ModalScope modal(hooks_);
    bool ok = false;
    const QString answer =
        QInputDialog::getText(&window_, QString::fromLatin1(session::msg::kCaption),
                              Q(proposal->prompt), QLineEdit::Normal, Q(proposal->title), &ok);
    // A failure was shown; the menu follows OnListChanged(kFavorites).
    if (ok && !answer.isEmpty()) (void)session_.Lists().FinishAddFavorite(S(answer), *proposal);
}

}  // namespace sonfara::shell
