#include "player/shell/control_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLayout>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <cmath>

#include "player/dialogs/list_dialog.h"
#include "player/display/artwork.h"
#include "player/files/favorites.h"
#include "player/files/file_op.h"
#include "player/sequencer/messages.h"
#include "player/session/messages.h"
#include "player/ui/palette.h"

namespace sonfara::shell {

namespace L = ui::layout;
using ui::ButtonKind;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// The panel under the widgets: the background artwork, and the cleared bar
// display until the application puts its display there.
class Panel final : public QWidget {
  public:
    explicit Panel(QWidget* parent) : QWidget(parent) { setFixedSize(L::kControlWindow); }

  protected:
    void paintEvent(QPaintEvent*) override {
        const qreal dpr = devicePixelRatioF();
        if (dpr != dpr_) {
            dpr_ = dpr;
            background_ = ui::ControlBackground(dpr);
            QPainter p(&background_);
            p.drawImage(L::kBarDisplay.topLeft(), display::BarDisplayArtwork(dpr));
        }
        QPainter(this).drawImage(QPoint(0, 0), background_);
    }

  private:
    qreal dpr_ = 0;
    QImage background_;
};

QLabel* MakeLabel(QWidget* parent, QRect r, int px, QColor colour,
                  Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = new QLabel(parent);
    label->setGeometry(r);
    label->setFont(ui::JapaneseFont(px));
    label->setAlignment(align);
    label->setTextFormat(Qt::PlainText);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
    return label;
}

void SetTextAndTip(QLabel* label, const QString& text) {
    label->setText(text);
    label->setToolTip(text);
}

// "Let pending window events run" without taking new clicks re-entrantly.
void RunPendingEvents() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

// Starts the first installed program of the list; nothing when none starts.
struct Launch {
    const char* program;
    QStringList args;
};
void LaunchFirst(const std::vector<Launch>& candidates) {
    for (const Launch& c : candidates) {
        const QString exe = QStandardPaths::findExecutable(QString::fromLatin1(c.program));
        if (!exe.isEmpty() && QProcess::startDetached(exe, c.args)) return;
    }
}

// Messages as the control window shows them (the folder scan's too).
class WindowNotifier final : public files::Notifier {
  public:
    explicit WindowNotifier(ControlWindow& window) : window_(window) {}
    void Error(const std::string& text) override { window_.ShowMessage(QMessageBox::Critical, Q(text)); }
    void Info(const std::string& text) override { window_.ShowMessage(QMessageBox::Information, Q(text)); }

  private:
    ControlWindow& window_;
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

}  // namespace

ControlWindow::ControlWindow(PlaybackSession& session, ShellHooks& hooks, QWidget* parent)
    : QMainWindow(parent), session_(session), hooks_(hooks) {
    setWindowTitle(QString::fromLatin1(session::msg::kCaption));
    setAcceptDrops(true);
    BuildPanel();
    ConnectButtons();
    BuildMenus();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    stepTimer_.setInterval(500);
    connect(&stepTimer_, &QTimer::timeout, this, &ControlWindow::OnStepTimer);
    midiDisp_.setSingleShot(true);
    midiDisp_.setInterval(10);
    connect(&midiDisp_, &QTimer::timeout, this, &ControlWindow::OnMidiDisp);

    ResetReadouts();
    ShowLabels();
    UpdateLaunchEntries();
    session_.AddObserver(this);
}

ControlWindow::~ControlWindow() {
    // No hook may reach a half-destroyed window.
    session_.RemoveObserver(this);
    stepTimer_.stop();
}

// --- Panel and buttons ---------------------------------------------------------

void ControlWindow::BuildPanel() {
    panel_ = new Panel(this);
    setCentralWidget(panel_);
    for (int i = 0; i < ui::kButtonKindCount; ++i)
        buttons_[i] = new ui::PictureButton(static_cast<ButtonKind>(i), panel_);
    for (int i = 0; i < 8; ++i) Button(L::kTransportOrder[i]).move(L::TransportRect(i).topLeft());
    Button(ButtonKind::kKeyUp).move(L::kKeyUp.topLeft());
    Button(ButtonKind::kKeyDown).move(L::kKeyDown.topLeft());
    Button(ButtonKind::kSpeedUp).move(L::kSpeedUp.topLeft());
    Button(ButtonKind::kSpeedDown).move(L::kSpeedDown.topLeft());
    Button(ButtonKind::kWrd).move(L::kWrd.topLeft());
    Button(ButtonKind::kWindowLayout).move(L::kWindowLayout.topLeft());

    time_ = new ui::DigitReadout(ui::DigitReadout::Kind::kTime, panel_);
    time_->move(L::kTime.topLeft());
    position_ = new ui::DigitReadout(ui::DigitReadout::Kind::kPosition, panel_);
    position_->move(L::kPosition.topLeft());
    marks_ = new ui::MarkStrip(panel_);
    marks_->move(L::kMarks.topLeft());
    knob_ = new ui::PositionKnob(panel_);
    knob_->move(L::kKnobTrack.topLeft());
    connect(knob_, &ui::PositionKnob::seekRequested, this, &ControlWindow::OnSeekRequested);

    namespace P = ui::palette;
    title_ = MakeLabel(panel_, L::kTitle, 14, P::kLcdText);
    fileName_ = MakeLabel(panel_, L::kFileName, 11, P::kLcdTextDim);
    format_ = MakeLabel(panel_, L::kFormat, 11, P::kLcdText);
    moduleName_ = MakeLabel(panel_, L::kModuleName, 11, P::kLcdText);
    key_ = MakeLabel(panel_, L::kKeyCaption, 11, P::kLcdText, Qt::AlignCenter);
    speed_ = MakeLabel(panel_, L::kSpeedCaption, 11, P::kLcdText, Qt::AlignCenter);
}

void ControlWindow::ConnectButtons() {
    auto onRelease = [this](ButtonKind kind, auto run) {
        connect(&Button(kind), &ui::PictureButton::released, this, run);
    };
    onRelease(ButtonKind::kPlay, [this] { OnPlay(); });
    onRelease(ButtonKind::kPause, [this] { session_.Transport().Pause(); });
    onRelease(ButtonKind::kStop, [this] { OnStop(); });
    onRelease(ButtonKind::kStart, [this] {
        if (!session_.Snapshot().loaded) return;
        session_.Transport().Restart();
        knob_->SetKnobLeft(L::kKnobFirstLeft);
    });
    onRelease(ButtonKind::kPrev, [this] { session_.Library().Previous(); });
    onRelease(ButtonKind::kNext, [this] { session_.Library().Next(); });
    connect(&Button(ButtonKind::kFastForward), &ui::PictureButton::pressedDown, this,
            [this] { OnStepPress(true); });
    connect(&Button(ButtonKind::kRewind), &ui::PictureButton::pressedDown, this,
            [this] { OnStepPress(false); });
    onRelease(ButtonKind::kFastForward, [this] { OnStepRelease(); });
    onRelease(ButtonKind::kRewind, [this] { OnStepRelease(); });
    onRelease(ButtonKind::kSpeedUp, [this] {
        RunPendingEvents();
        session_.Transport().SpeedUp();
    });
    onRelease(ButtonKind::kSpeedDown, [this] {
        session_.Transport().SpeedDown();
    });
    onRelease(ButtonKind::kKeyUp, [this] {
        session_.Transport().KeyUp();
    });
    onRelease(ButtonKind::kKeyDown, [this] {
        session_.Transport().KeyDown();
    });
    onRelease(ButtonKind::kWrd, [this] { OnWrd(); });
    onRelease(ButtonKind::kWindowLayout, [this] { hooks_.ToggleMainRollUp(); });
}

static QString SpeedText(int percent) { return QStringLiteral("%1%").arg(percent); }
static QString KeyText(int semitones) {
    return semitones >= 1 ? QStringLiteral("+%1").arg(semitones) : QString::number(semitones);
}

void ControlWindow::ShowLabels() { ShowLabels(session_.Snapshot()); }

void ControlWindow::ShowLabels(const SessionSnapshot& s) {
    speed_->setText(SpeedText(s.speedPercent));
    key_->setText(KeyText(s.transpose));
}

// Whoever changed it (a button, a menu, the desktop's media controls).
void ControlWindow::OnStateChanged(const SessionSnapshot& state) {
    ShowLabels(state);
    SyncMenusWithSettings();
}

void ControlWindow::OnPlay() {
    RunPendingEvents();
    session_.Transport().Play();
}

void ControlWindow::OnStop() {
    if (!session_.Snapshot().loaded) return;
    session_.Transport().Stop();
    ShowAtStart();
    RunPendingEvents();
}

// A stopped song stands at its start: 00:00, bar 0000 beat 01, the knob left.
void ControlWindow::ShowAtStart() {
    knob_->SetKnobLeft(L::kKnobFirstLeft);
    time_->SetTime(0);
    position_->SetBarBeat(0, 1);
}

void ControlWindow::OnStepPress(bool forward) {
    stepping_ = true;  // the knob and readout timers pause meanwhile
    session_.Transport().BeginStep(forward);
    ShowStep();
    stepTimer_.start();
}

void ControlWindow::OnStepTimer() {
    if (!stepping_ || isMinimized()) return;
    session_.Transport().Step();
    ShowStep();
}

void ControlWindow::OnStepRelease() {
    stepTimer_.stop();
    if (!stepping_) return;
    stepping_ = false;
    session_.Transport().EndStep();
    OnCtlSet();
}

// The step's target on the knob and in the time readout.
void ControlWindow::ShowStep() {
    const SessionSnapshot s = session_.Snapshot();
    if (!s.loaded) return;
    if (s.started) knob_->SetPosition(s.positionMs, s.totalMs);
    time_->SetTime(s.positionMs / 1000);
}

void ControlWindow::OnSeekRequested(double fraction) {
    const SessionSnapshot s = session_.Snapshot();
    if (s.started) session_.Transport().SeekTo(static_cast<int32_t>(std::lround(fraction * s.totalMs)));
}

void ControlWindow::OnWrd() {
    if (!hooks_.ShowWrdWindow())
        ShowMessage(QMessageBox::Information, QString::fromUtf8(session::msg::kNoWrd));
}

// --- Timer slots ---------------------------------------------------------------

void ControlWindow::OnCtlSet() {
    if (isMinimized() || stepping_) return;
    const SessionSnapshot s = session_.Snapshot();
    if (!s.started || knob_->dragging()) return;
    knob_->SetPosition(std::min(s.positionMs, s.totalMs), s.totalMs);
}

void ControlWindow::OnCtlSet2() {
    if (isMinimized() || stepping_) return;
    const SessionSnapshot s = session_.Snapshot();
    if (s.displayText != lastText_) {
        lastText_ = s.displayText;
        SetTextAndTip(format_, Q(s.displayTextUtf8));
        if (s.displayTextUtf8.starts_with("♪")) hooks_.SendNotice(s.displayText);
    }
    if (!s.loaded) return;
    time_->SetTime(s.elapsedSeconds);
    position_->SetBarBeat(s.bar, s.beat);
}

void ControlWindow::OnMidiDisp() {
    const SessionSnapshot s = session_.Snapshot();
    // Marks whose flag is clear keep what they show.
    if (s.flagGS) marks_->SetLit(ui::Mark::kGs, true);
    if (s.flagXG) marks_->SetLit(ui::Mark::kXg, true);
    if (s.flagGM) marks_->SetLit(ui::Mark::kGm, true);
    // Only GS and XG messages name the module; a GM reset leaves the name
    // of an earlier song, which this one has not sent.
    if (s.flagGS || s.flagXG) SetTextAndTip(moduleName_, Q(s.moduleName));
}

void ControlWindow::ResetReadouts() {
    time_->ShowEmpty();
    position_->ShowEmpty();
    marks_->Reset();
    SetTextAndTip(moduleName_, QString());
    knob_->SetKnobLeft(L::kKnobFirstLeft);
    lastText_.clear();
}

void ControlWindow::ShowNoSong() {
    ResetReadouts();
    for (QLabel* label : {title_, fileName_, format_}) SetTextAndTip(label, QString());
    UpdateLaunchEntries();
}

void ControlWindow::SetBarDisplay(QWidget* display) {
    if (barDisplay_ == display) return;
    delete barDisplay_;
    barDisplay_ = display;
    if (!display) return;
    display->setParent(panel_);
    display->setGeometry(L::kBarDisplay);
    display->show();
}

QImage ControlWindow::Grab() {
    ensurePolished();
    return grab().toImage();
}

// Never a nested event loop: the program's boxes open after the operation
// in progress; without a program the box opens here, modeless.
void ControlWindow::ShowMessage(QMessageBox::Icon icon, const QString& text) {
    if (files::Notifier* n = hooks_.Notices()) {
        const std::string bytes = text.toStdString();
        icon == QMessageBox::Critical ? n->Error(bytes) : n->Info(bytes);
        return;
    }
    auto* box = new QMessageBox(icon, QString::fromLatin1(session::msg::kCaption), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

// --- Session hooks -------------------------------------------------------------

void ControlWindow::OnSongOpened(int, bool ok, const std::string& titleText) {
    SetTextAndTip(title_, Q(titleText));
    if (ok) {
        const SessionSnapshot s = session_.Snapshot();
        SetTextAndTip(fileName_, Q(s.fileName));
        SetTextAndTip(format_, Q(s.fileKind));
        lastText_.clear();
        time_->Invalidate();
        position_->Invalidate();
        marks_->Reset();
        SetTextAndTip(moduleName_, QString());
        knob_->SetKnobLeft(L::kKnobFirstLeft);
    }
    RebuildFileList();
    UpdateLaunchEntries();
}

void ControlWindow::OnStoppedAtEnd() {
    ShowAtStart();
    setFocus();
}

void ControlWindow::OnListChanged() { RebuildFileList(); }
void ControlWindow::OnRecentChanged() { RebuildRecent(); }
void ControlWindow::OnFavoritesChanged() { RebuildFavorites(); }
void ControlWindow::OnLoadFailed(const std::string& text) { SetTextAndTip(title_, Q(text)); }
void ControlWindow::OnNotice(const std::string& noticeBytes) { hooks_.SendNotice(noticeBytes); }

void ControlWindow::OnModuleIndicator() {
    // Timer thread: only queue; a window gone by then drops the call.
    QMetaObject::invokeMethod(this, [this] { midiDisp_.start(); }, Qt::QueuedConnection);
}

// --- Drop ----------------------------------------------------------------------

void ControlWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void ControlWindow::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(S(url.toLocalFile()));
    if (paths.empty()) return;
    event->acceptProposedAction();
    session_.Library().OpenPaths(paths);
}

// --- Menus ---------------------------------------------------------------------

QAction* ControlWindow::Action(const QString& name) const { return findChild<QAction*>(name); }

QAction* ControlWindow::AddAction(QMenu* menu, const char* caption, const QString& name,
                                  std::function<void()> run) {
    QAction* a = menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, std::move(run));
    return a;
}

QAction* ControlWindow::AddToggle(QMenu* menu, const char* caption, const QString& name,
                                  bool SettingsValues::* field) {
    QAction* a = menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(name);
    a->setCheckable(true);
    connect(a, &QAction::triggered, this,
            [this, field](bool on) { ChangeSetting([&](SettingsValues& v) { v.*field = on; }); });
    return a;
}

QAction* ControlWindow::AddChoice(QMenu* menu, QActionGroup* group, const QString& caption,
                                  const QString& name, std::function<void()> run) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    a->setCheckable(true);
    if (group) group->addAction(a);
    connect(a, &QAction::triggered, this, [this, run = std::move(run)] {
        run();
        SyncMenusWithSettings();
    });
    return a;
}

void ControlWindow::ChangeSetting(const std::function<void(SettingsValues&)>& change) {
    session_.Settings().Edit(change);  // the menus follow in OnStateChanged
}

void ControlWindow::BuildMenus() {
    BuildFileMenu();
    BuildExtensionMenu();
    BuildSettingsMenu();
    BuildHelpMenu();
    RebuildFileList();
    RebuildFavorites();
    RebuildRecent();
    SyncMenusWithSettings();
}

void ControlWindow::BuildFileMenu() {
    QMenu* file = fileMenu_ = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    AddAction(file, "ファイルを開く", "FileOpen", [this] { OnFileOpen(); });
    AddAction(file, "フォルダを開く", "FolderOpen", [this] { OnFolderOpen(); });
    AddAction(file, "リストを保存", "ListSave", [this] { OnListSave(); });
    AddAction(file, "SMFとして保存…", "SaveAsSmf", [this] { OnSaveAsSmf(); });
    file->addSeparator();
    fileListMenu_ = file->addMenu(QStringLiteral("ファイルリスト"));
    AddAction(fileListMenu_, session::msg::kNextSong, "NextSong", [this] { session_.Library().Next(); });
    AddAction(fileListMenu_, session::msg::kPrevSong, "PrevSong", [this] { session_.Library().Previous(); });
    fileListMenu_->addSeparator();
    AddAction(fileListMenu_, "再生リスト編集", "FileListDel", [this] { hooks_.ShowListEditor(dialogs::ListMode::kPlayList); });
    fileListMenu_->addSeparator();
    favoritesMenu_ = file->addMenu(QStringLiteral("お気に入り"));
    AddAction(favoritesMenu_, "お気に入りに追加", "FavoriteAdd", [this] { OnFavoriteAdd(); });
    AddAction(favoritesMenu_, "お気に入りの整理", "FavoriteDel", [this] { hooks_.ShowListEditor(dialogs::ListMode::kFavorites); });
    favoritesMenu_->addSeparator();
    recentMenu_ = file->addMenu(QStringLiteral("最近使ったファイル"));
    AddAction(recentMenu_, "最近使ったファイルのクリア", "RecentClear", [this] { session_.Library().ClearRecent(); });
    recentMenu_->addSeparator();
    file->addSeparator();
    AddAction(file, "終了", "ExitProgram", [this] { hooks_.RequestClose(CloseMode::kProgramClose); });
}

void ControlWindow::BuildExtensionMenu() {
    QMenu* ext = menuBar()->addMenu(QStringLiteral("拡張機能(&E)"));
    QMenu* launch = ext->addMenu(QStringLiteral("起動"));
    AddAction(launch, "アーカイバ", "ShellArc", [this] { OnShellArc(); });
    AddAction(launch, "テキストエディタ", "ShellText", [this] { OnShellText(); });
    AddAction(launch, "エクスプローラ", "ShellExp", [this] { OnShellExp(); });
    // The document comes with the song (the main window reads it after the
    // open): asked again whenever the menu opens.
    connect(launch, &QMenu::aboutToShow, this, &ControlWindow::UpdateLaunchEntries);
    ext->addSeparator();

    arrMenu_ = ext->addMenu(QStringLiteral("アレンジ"));
    eqMenu_ = ext->addMenu(QStringLiteral("イコライザ"));
    FillShapingMenus();

    QMenu* effects = ext->addMenu(QStringLiteral("エフェクト設定"));
    static const char* const kStrength[] = {"強く", "標準", "弱く"};
    QMenu* chorus = effects->addMenu(QStringLiteral("コーラスエフェクト"));
    QMenu* reverb = effects->addMenu(QStringLiteral("リバーブエフェクト"));
    auto* chorusGroup = new QActionGroup(chorus);
    auto* reverbGroup = new QActionGroup(reverb);
    for (int i = 0; i < 3; ++i) {
        AddChoice(chorus, chorusGroup, QString::fromUtf8(kStrength[i]), QStringLiteral("ChorusEft%1").arg(i),
                  [this, i] { session_.Output().SelectChorus(i); });
        AddChoice(reverb, reverbGroup, QString::fromUtf8(kStrength[i]), QStringLiteral("ReverbEft%1").arg(i),
                  [this, i] { session_.Output().SelectReverb(i); });
    }
    ext->addSeparator();
    AddToggle(ext, "MIMPI-WRDエミュレーション", "MWRD_Emu", &SettingsValues::MWRDEmulation);
    AddToggle(ext, "Sherry-WRDエミュレーション", "SWRD_Emu", &SettingsValues::SWRDEmulation);
}

void ControlWindow::BuildSettingsMenu() {
    QMenu* set = menuBar()->addMenu(QStringLiteral("設定(&S)"));
    AddAction(set, "設定全般", "Settings", [this] { hooks_.ShowSettings(); });
    AddAction(set, "コントロールパネル - マルチメディア", "CPanel_MMedia", [] {
        LaunchFirst({{"gnome-control-center", {QStringLiteral("sound")}},
                     {"systemsettings", {QStringLiteral("kcm_pulseaudio")}},
                     {"pavucontrol", {}},
                     {"pavucontrol-qt", {}}});
    });
    AddAction(set, "音量調節", "VolumeSet", [] {
        LaunchFirst({{"pavucontrol", {}}, {"pavucontrol-qt", {}}, {"gnome-control-center", {QStringLiteral("sound")}}});
    });
    set->addSeparator();

    QMenu* repeat = set->addMenu(QStringLiteral("リピートモード"));
    auto* repeatGroup = new QActionGroup(repeat);
    for (int i = 0; i < kRepeatModeCount; ++i)
        AddChoice(repeat, repeatGroup, QString::fromUtf8(session::msg::kRepeatCaptions[i]),
                  QStringLiteral("Repeat%1").arg(i),
                  [this, mode = RepeatMode(i)] { session_.Transport().SetRepeatMode(mode); });
    QMenu* listMode = set->addMenu(QStringLiteral("ファイルオープンモード"));
    auto* listGroup = new QActionGroup(listMode);
    static const char* const kListModes[] = {"リストを新規作成", "リストに追加"};
    for (int i = 0; i < 2; ++i)
        AddChoice(listMode, listGroup, QString::fromUtf8(kListModes[i]), QStringLiteral("ListMode%1").arg(i),
                  [this, i] { ChangeSetting([i](SettingsValues& v) { v.OpenModeSw = i; }); });
    auto* sortGroup = new QActionGroup(set);
    static const char* const kSorts[] = {"ソートなし", "ファイル名でソート"};
    for (int i = 0; i < 2; ++i)
        AddChoice(set, sortGroup, QString::fromUtf8(kSorts[i]), QStringLiteral("FileSort%1").arg(i),
                  [this, i] { ChangeSetting([i](SettingsValues& v) { v.FileSort = i; }); });
    set->addSeparator();

    QMenu* emu = set->addMenu(QStringLiteral("簡易エミュレート（送出イベント設定）"));
    AddToggle(emu, "バンクセレクト", "SendBankSelect", &SettingsValues::SendBankSelect);
    AddToggle(emu, "エクスクルーシブ", "SendSysEX", &SettingsValues::SendSysEX);
    portMenu_ = set->addMenu(QStringLiteral("出力デバイス切り替え"));
    auto* portGroup = new QActionGroup(portMenu_);
    AddChoice(portMenu_, portGroup, QString::fromLatin1(kMidiMapper), "MIDIPortMapper",
              [this] { OnPortChosen(-1); });
    const auto ports = session_.Output().PortNames();
    for (size_t i = 0; i < ports.size(); ++i) {
        const int device = static_cast<int>(i);
        AddChoice(portMenu_, portGroup, Q(ports[i]), QStringLiteral("MIDIPortNum%1").arg(device),
                  [this, device] { OnPortChosen(device); });
    }
    set->addSeparator();
    QAction* lowLoad = set->addAction(QStringLiteral("低負荷モード（画面描画停止）"));
    lowLoad->setObjectName("BltOff");
    lowLoad->setCheckable(true);
    connect(lowLoad, &QAction::triggered, this, [this](bool on) {
        ChangeSetting([on](SettingsValues& v) { v.BltSw = !on; });
        hooks_.SetLowLoad(on);
    });
}

void ControlWindow::BuildHelpMenu() {
    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    AddAction(help, "ヘルプ", "Help", [this] { hooks_.OpenHelp(); });
    AddAction(help, "ホームページ", "HomePage", [this] { hooks_.OpenHomePage(); })
        ->setVisible(hooks_.HasHomePage());
    help->addSeparator();
    AddAction(help, "バージョン情報", "Version", [this] { hooks_.ShowVersion(); });
}

void ControlWindow::SyncMenusWithSettings() {
    const SettingsValues& v = session_.Settings().Values();
    auto check = [this](const QString& name, bool on) {
        if (QAction* a = Action(name)) a->setChecked(on);
    };
    for (int i = 0; i < kRepeatModeCount; ++i)
        check(QStringLiteral("Repeat%1").arg(i), v.RepeatMode == RepeatMode(i));
    for (int i = 0; i < 2; ++i) {
        check(QStringLiteral("ListMode%1").arg(i), v.OpenModeSw == i);
        check(QStringLiteral("FileSort%1").arg(i), v.FileSort == i);
    }
    for (int i = 0; i < 3; ++i) {
        check(QStringLiteral("ChorusEft%1").arg(i), EffectMenuItem(v.EffectChorus) == i);
        check(QStringLiteral("ReverbEft%1").arg(i), EffectMenuItem(v.EffectReverb) == i);
    }
    check("ArrNone", v.ArrMode == 0);
    for (size_t i = 1; i <= session_.Output().Catalog().Arrangements().size(); ++i)
        check(QStringLiteral("ArrDats%1").arg(i), v.ArrMode == static_cast<int>(i));
    const int eq = v.EqActive ? v.EqItem : 0;
    check("EqNone", eq == 0);
    for (size_t i = 1; i <= session_.Output().Catalog().EqPresets().size(); ++i)
        check(QStringLiteral("EqMenu%1").arg(i), eq == static_cast<int>(i));
    check("MWRD_Emu", v.MWRDEmulation);
    check("SWRD_Emu", v.SWRDEmulation);
    check("SendBankSelect", v.SendBankSelect);
    check("SendSysEX", v.SendSysEX);
    check("BltOff", !v.BltSw);
    check("MIDIPortMapper", v.OutDevice < 0);
    for (size_t i = 0; i < session_.Output().PortNames().size(); ++i)
        check(QStringLiteral("MIDIPortNum%1").arg(i), v.OutDevice == static_cast<int>(i));
}

// Replaces the run-time items of a list menu. Old items go later: one of
// them may be the entry whose click led here.
static void ClearItems(std::vector<QAction*>& items) {
    for (QAction* a : items) {
        a->setObjectName(QString());
        if (QMenu* m = qobject_cast<QMenu*>(a->parent())) m->removeAction(a);
        a->deleteLater();
    }
    items.clear();
}

void ControlWindow::RebuildFileList() {
    ClearItems(fileListItems_);
    const auto items = session_.Library().PlayListMenu();
    const bool empty = session_.Snapshot().playListCount == 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const int item = static_cast<int>(i);
        QAction* a = fileListMenu_->addAction(Q(items[i].caption));
        a->setObjectName(QStringLiteral("FileList%1").arg(item));
        a->setCheckable(!empty);
        a->setChecked(items[i].checked);
        connect(a, &QAction::triggered, this, [this, item] {
            session_.Library().FileListClick(item);
            RebuildFileList();  // a refused click must not leave its mark toggled
        });
        fileListItems_.push_back(a);
    }
}

// The arrangement and EQ menus from the session's catalogue (at start-up and
// when the files are read again).
void ControlWindow::FillShapingMenus() {
    auto fill = [this](QMenu* menu, const char* noneName, const QString& itemName,
                       const std::vector<std::string>& captions, void (SessionOutput::*select)(int)) {
        menu->clear();
        qDeleteAll(menu->findChildren<QActionGroup*>(Qt::FindDirectChildrenOnly));
        auto* group = new QActionGroup(menu);
        AddChoice(menu, group, QStringLiteral("なし"), QString::fromLatin1(noneName),
                  [this, select] { (session_.Output().*select)(0); });
        for (size_t i = 0; i < captions.size(); ++i) {
            const int item = static_cast<int>(i) + 1;
            AddChoice(menu, group, Q(captions[i]), itemName.arg(item),
                      [this, select, item] { (session_.Output().*select)(item); });
        }
    };
    fill(arrMenu_, "ArrNone", QStringLiteral("ArrDats%1"), session_.Output().Catalog().ArrangementCaptions(),
         &SessionOutput::SelectArrangement);
    fill(eqMenu_, "EqNone", QStringLiteral("EqMenu%1"), session_.Output().Catalog().EqCaptions(),
         &SessionOutput::SelectEq);
}

void ControlWindow::OnCatalogChanged() {
    FillShapingMenus();
    SyncMenusWithSettings();
}

void ControlWindow::RebuildFavorites() {
    ClearItems(favoriteItems_);
    const files::FavoritesMenu m = files::BuildFavoritesMenu(session_.Library().Favorites());
    if (m.placeholderVisible) {
        QAction* a = favoritesMenu_->addAction(QString::fromUtf8(files::msg::kNoEntryPlaceholder));
        a->setEnabled(false);
        favoriteItems_.push_back(a);
    }
    for (size_t i = 0; i < m.captions.size(); ++i) {
        const int item = static_cast<int>(i);
        QAction* a = favoritesMenu_->addAction(Q(m.captions[i]));
        a->setObjectName(QStringLiteral("Favorite%1").arg(item));
        connect(a, &QAction::triggered, this, [this, item] { session_.Library().OpenFavorite(item); });
        favoriteItems_.push_back(a);
    }
}

void ControlWindow::RebuildRecent() {
    ClearItems(recentItems_);
    const files::RecentList::Menu m = session_.Library().RecentMenu();
    if (m.placeholderVisible) {
        QAction* a = recentMenu_->addAction(QString::fromUtf8(files::msg::kNoEntryPlaceholder));
        a->setEnabled(false);
        recentItems_.push_back(a);
    }
    for (size_t i = 0; i < m.captions.size(); ++i) {
        if (!m.visible[i]) continue;
        const int item = static_cast<int>(i);
        QAction* a = recentMenu_->addAction(Q(m.captions[i]));
        a->setObjectName(QStringLiteral("Recent%1").arg(item));
        connect(a, &QAction::triggered, this, [this, item] { session_.Library().OpenRecent(item); });
        recentItems_.push_back(a);
    }
}

// --- Menu commands -------------------------------------------------------------

void ControlWindow::OnPortChosen(int device) {
    if (device == session_.Settings().Values().OutDevice && !session_.Library().PortFailed()) {
        SyncMenusWithSettings();  // the current port again: nothing reopens
        return;
    }
    RunPendingEvents();
    const int rc = session_.Output().ChangePort(device);
    SyncMenusWithSettings();
    if (rc != 0)
        ShowMessage(QMessageBox::Critical, Q(session_.Library().LastError()));
}

static QString StartFolder(const std::string& defDir) {
    const QString dir = Q(defDir);
    return QFileInfo(dir).isDir() ? dir : QString();
}

void ControlWindow::OnFileOpen() {
    ModalScope modal(hooks_);
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QStringLiteral("MIDIファイルを開く"), StartFolder(session_.Settings().Values().DefDir),
        QStringLiteral("MIDI Files(*.mid,*.rmi,*.rcp,*.mlt,*.lzh,*.zip,*.lmd...) (*.mid *.rcp *.mlt *.lzh "
                       "*.zip *.g18 *.g36 *.r18 *.r36 *.mcp *.rmi *.lmd *.zmd)"));
    if (files.isEmpty()) return;
    ChangeSetting([&](SettingsValues& v) { v.DefDir = S(QFileInfo(files.front()).absolutePath()); });
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(S(f));
    session_.Library().OpenPaths(paths);
}

void ControlWindow::OnFolderOpen() {
    ModalScope modal(hooks_);
    const QString dir = QFileDialog::getExistingDirectory(
        this, QStringLiteral("MIDIファイルがあるフォルダを指定してください"), StartFolder(session_.Settings().Values().DefDir));
    if (dir.isEmpty()) return;
    WindowNotifier notifier(*this);
    CodePage cp("CP932");
    const files::FileContext ctx{notifier, QDir::tempPath().toStdString() + "/", cp};
    const auto paths = files::WithFolderSongs({S(dir)}, ctx);
    if (!paths.empty()) session_.Library().OpenPaths(paths);
}

void ControlWindow::OnListSave() {
    ModalScope modal(hooks_);
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("リストファイルの保存"), StartFolder(session_.Settings().Values().DefDir),
        QStringLiteral("リストファイル(*.mlt) (*.mlt);;圧縮ファイル(*.lzh) (*.lzh);;圧縮ファイル(*.lmd) (*.lmd)"));
    if (path.isEmpty()) return;
    ChangeSetting([&](SettingsValues& v) { v.DefDir = S(QFileInfo(path).absolutePath()); });
    session_.Library().SaveList(S(path));
}

// The song that plays, as the player loaded it (a converted Recomposer song
// too), written as a Standard MIDI File. A copy: the next song may start
// while the dialog is open.
void ControlWindow::OnSaveAsSmf() {
    const files::SongSource src = session_.Library().CurrentSource();
    if (src.LoadedPath.empty()) {
        ShowMessage(QMessageBox::Critical, Q(files::msg::kNoFiles));
        return;
    }
    ModalScope modal(hooks_);
    const QString name = QFileInfo(Q(src.FileName)).completeBaseName() + QStringLiteral(".mid");
    const QString path = QFileDialog::getSaveFileName(
        this, QString::fromUtf8(files::msg::kSaveSmfTitle),
        QDir(StartFolder(session_.Settings().Values().DefDir)).filePath(name),
        QStringLiteral("Standard MIDI File (*.mid)"));
    if (path.isEmpty()) return;
    ChangeSetting([&](SettingsValues& v) { v.DefDir = S(QFileInfo(path).absolutePath()); });
    WindowNotifier notifier(*this);
    files::SaveSongAsSmf(src, S(path), notifier);
}

void ControlWindow::OnFavoriteAdd() {
    const auto proposal = session_.Library().BeginAddFavorite();
    if (!proposal) return;
    ModalScope modal(hooks_);
    bool ok = false;
    const QString answer = QInputDialog::getText(this, QString::fromLatin1(session::msg::kCaption),
                                                 Q(proposal->prompt), QLineEdit::Normal, Q(proposal->title), &ok);
    if (ok && !answer.isEmpty()) session_.Library().FinishAddFavorite(S(answer), *proposal);
}

// The archive the song came from; .lmd / .zmd are opened as a .lzh / .zip
// copy beside the extracted members, so the desktop knows the type.
void ControlWindow::OnShellArc() {
    const files::SongSource& src = session_.Library().CurrentSource();
    if (src.ArchivePath.empty()) return;
    QString archive = Q(src.ArchivePath);
    const QString suffix = QFileInfo(archive).suffix().toLower();
    if (suffix == "lmd" || suffix == "zmd") {
        const QString copy = QFileInfo(Q(src.FullPath)).absolutePath() + "/" +
                             QFileInfo(archive).completeBaseName() + (suffix == "lmd" ? ".lzh" : ".zip");
        QFile::remove(copy);
        if (!QFile::copy(archive, copy)) return;
        archive = copy;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(archive));
}

void ControlWindow::OnShellExp() {
    const files::SongSource& src = session_.Library().CurrentSource();
    const std::string& file = src.ArchivePath.empty() ? src.FullPath : src.ArchivePath;
    if (file.empty()) return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(Q(file)).absolutePath()));
}

// The text editor needs the document the main window shows.
void ControlWindow::UpdateLaunchEntries() {
    if (QAction* text = Action(QStringLiteral("ShellText")))
        text->setEnabled(!hooks_.DocumentPath().empty());
}

// The companion document in the desktop's text editor (its handler for
// plain text), whatever the document's own extension says.
void ControlWindow::OnShellText() {
    const std::string doc = hooks_.DocumentPath();
    if (doc.empty()) return;
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/plain")});
    QString desktopId;
    if (query.waitForFinished(2000)) desktopId = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    const QString entry = desktopId.isEmpty()
                              ? QString()
                              : QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopId);
    if (!entry.isEmpty() && QProcess::startDetached(QStringLiteral("gio"), {QStringLiteral("launch"), entry, Q(doc)}))
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(doc)));
}

}  // namespace sonfara::shell
