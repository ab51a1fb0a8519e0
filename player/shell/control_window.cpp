#include "player/shell/control_window.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLayout>
#include <QMimeData>
#include <QPainter>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "player/display/artwork.h"
#include "player/session/messages.h"
#include "player/song/messages.h"
#include "player/ui/palette.h"

namespace sonfara::shell {

namespace L = ui::layout;
using ui::ButtonKind;

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string S(const QString& s) {
    return s.toStdString();
}

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

}  // namespace

void RunPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

ControlWindow::ControlWindow(session::PlaybackSession& session, ShellHooks& hooks, QWidget* parent)
    : QMainWindow(parent), session_(session), hooks_(hooks) {
    textEncoding_ = session_.Settings().Values().textEncoding;
    setWindowTitle(QString::fromLatin1(session::msg::kCaption));
    setAcceptDrops(true);
    BuildPanel();
    ConnectButtons();
    MenuHost host{.window = *this,
                  .showMessage = [this](QMessageBox::Icon icon,
                                        const QString& text) { ShowMessage(icon, text); },
                  .runPendingEvents = RunPendingEvents};
    menus_ = std::make_unique<ControlMenus>(std::move(host), session_, hooks_);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    ResetReadouts();
    ShowLabels();
    menus_->UpdateLaunchEntries();
    session_.AddObserver(this);
}

ControlWindow::~ControlWindow() {
    // No hook may reach a half-destroyed window.
    session_.RemoveObserver(this);
    if (!clock_) return;
    clock_->Timer(kHeldStep).Stop();
    clock_->SetWork(kHeldStep, nullptr);
    clock_->SetModuleMarksWork(nullptr);
}

void ControlWindow::UseClock(TimerTable& clock) {
    clock_ = &clock;
    clock.SetWork(kHeldStep, [this] { OnStepTimer(); });
    clock.SetModuleMarksWork([this] { OnMidiDisp(session_.Snapshot()); });
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
    loadBar_ = new ui::LoadBar(panel_);
    loadBar_->setObjectName(QStringLiteral("LoadBar"));
    loadBar_->setGeometry(L::kLoadBar);
    loadBar_->hide();
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
    onRelease(ButtonKind::kPrev, [this] { session_.Songs().Previous(); });
    onRelease(ButtonKind::kNext, [this] { session_.Songs().Next(); });
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
    onRelease(ButtonKind::kSpeedDown, [this] { session_.Transport().SpeedDown(); });
    onRelease(ButtonKind::kKeyUp, [this] { session_.Transport().KeyUp(); });
    onRelease(ButtonKind::kKeyDown, [this] { session_.Transport().KeyDown(); });
    onRelease(ButtonKind::kWrd, [this] { OnWrd(); });
    onRelease(ButtonKind::kWindowLayout, [this] { hooks_.ToggleMainRollUp(); });
}

static QString SpeedText(int percent) {
    return QStringLiteral("%1%").arg(percent);
}
static QString KeyText(int semitones) {
    return semitones >= 1 ? QStringLiteral("+%1").arg(semitones) : QString::number(semitones);
}

void ControlWindow::ShowLabels() {
    ShowLabels(session_.Snapshot());
}

void ControlWindow::ShowLabels(const session::SessionSnapshot& s) {
    speed_->setText(SpeedText(s.speedPercent));
    key_->setText(KeyText(s.transpose));
}

// Whoever changed it (a button, a menu, the desktop's media controls).
void ControlWindow::OnStateChanged(const session::SessionSnapshot& state) {
    ShowLabels(state);
    ShowLoading(state.loading);
    if (state.loading) loadBar_->SetFraction(state.loadFraction);
    knob_->SetMarks(state.loops.pointA, state.loops.pointB, state.totalMs);
    menus_->SyncWithSettings();
}

// A large song is read on a worker thread; the window goes on meanwhile.
void ControlWindow::ShowLoading(bool loading) {
    if (loading == loadBar_->isVisible()) return;
    loadBar_->setVisible(loading);
    if (!loading) return;
    // The song before is gone: nothing of it stays in the readouts. Its text
    // line is still in the snapshot, so lastText_ keeps it from coming back.
    time_->ShowEmpty();
    position_->ShowEmpty();
    marks_->Reset();
    SetTextAndTip(moduleName_, QString());
    knob_->SetKnobLeft(L::kKnobFirstLeft);
    SetTextAndTip(title_, tr("読み込み中…"));
    SetTextAndTip(fileName_, QString());
    SetTextAndTip(format_, QString());
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
    ShowStep(session_.Snapshot());
    if (clock_) clock_->Timer(kHeldStep).Start();
}

void ControlWindow::OnStepTimer() {
    if (!stepping_ || isMinimized()) return;
    session_.Transport().Step();
    ShowStep(session_.Snapshot());
}

void ControlWindow::OnStepRelease() {
    if (clock_) clock_->Timer(kHeldStep).Stop();
    if (!stepping_) return;
    stepping_ = false;
    session_.Transport().EndStep();
    OnCtlSet(session_.Snapshot());
}

// The step's target on the knob and in the time readout.
void ControlWindow::ShowStep(const session::SessionSnapshot& s) {
    if (!s.loaded) return;
    if (s.started) knob_->SetPosition(s.positionMs, s.totalMs);
    time_->SetTime(s.positionMs / 1000);
}

void ControlWindow::OnSeekRequested(double fraction) {
    const session::SessionSnapshot s = session_.Snapshot();
    if (s.started)
        session_.Transport().SeekTo(static_cast<int32_t>(std::lround(fraction * s.totalMs)));
}

void ControlWindow::OnWrd() {
    if (!hooks_.ShowWrdWindow())
        ShowMessage(QMessageBox::Information, QString::fromUtf8(session::msg::kNoWrd));
}

// --- Timer slots ---------------------------------------------------------------

void ControlWindow::OnCtlSet(const session::SessionSnapshot& s) {
    if (isMinimized() || stepping_) return;
    if (!s.started || knob_->dragging()) return;
    knob_->SetPosition(std::min(s.positionMs, s.totalMs), s.totalMs);
}

void ControlWindow::OnCtlSet2(const session::SessionSnapshot& s) {
    if (isMinimized() || stepping_) return;
    if (s.displayText != lastText_) {
        lastText_ = s.displayText;
        // The song's own text, or the module search's.
        SetTextAndTip(format_, Q(s.displayTextUtf8 == song::kDetectingModuleText
                                     ? platform::Localized(song::kDetectingModuleText)
                                     : s.displayTextUtf8));
        if (s.displayTextUtf8.starts_with("♪")) hooks_.SendNotice(s.displayText);
    }
    if (!s.loaded) return;
    time_->SetTime(s.elapsedSeconds);
    position_->SetBarBeat(s.bar, s.beat);
}

void ControlWindow::OnMidiDisp(const session::SessionSnapshot& s) {
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
    menus_->UpdateLaunchEntries();
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
    auto* box = new QMessageBox(icon, QString::fromLatin1(session::msg::kCaption),
                                Q(platform::Localized(S(text))), QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

// --- Session hooks -------------------------------------------------------------

void ControlWindow::OnSongOpened(int, bool ok, const std::string& titleText) {
    // A title is the song's own text; a failure is the engine's.
    SetTextAndTip(title_, Q(ok ? titleText : platform::Localized(titleText)));
    if (ok) {
        const session::SessionSnapshot s = session_.Snapshot();
        SetTextAndTip(fileName_, Q(s.fileName));
        SetTextAndTip(format_, Q(s.fileKind));
        lastText_.clear();
        time_->Invalidate();
        position_->Invalidate();
        marks_->Reset();
        SetTextAndTip(moduleName_, QString());
        knob_->SetKnobLeft(L::kKnobFirstLeft);
    }
    menus_->RebuildFileList();
    menus_->UpdateLaunchEntries();
}

void ControlWindow::OnStoppedAtEnd() {
    ShowAtStart();
    setFocus();
}

void ControlWindow::OnListChanged(session::SessionList which) {
    switch (which) {
        case session::SessionList::kPlayList:
            menus_->RebuildFileList();
            break;
        case session::SessionList::kRecent:
            menus_->RebuildRecent();
            break;
        case session::SessionList::kFavorites:
            menus_->RebuildFavorites();
            break;
    }
}
void ControlWindow::OnCatalogChanged() {
    menus_->RefillShaping();
}
// The song's title read in another encoding.
void ControlWindow::OnSettingsChanged(const settings::SettingsValues& values) {
    if (values.textEncoding == textEncoding_) return;
    textEncoding_ = values.textEncoding;
    const session::SessionSnapshot s = session_.Snapshot();
    if (s.loaded && !s.loading) SetTextAndTip(title_, Q(s.title));
}
void ControlWindow::OnNotice(const std::string& noticeBytes) {
    hooks_.SendNotice(noticeBytes);
}

void ControlWindow::OnModuleIndicator() {
    // Timer thread: only queue; a window gone by then drops the call.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (clock_) clock_->StartModuleMarks();
        },
        Qt::QueuedConnection);
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
    session_.Songs().OpenPaths(paths);
}

// --- Menus ---------------------------------------------------------------------

QAction* ControlWindow::Action(const QString& name) const {
    return findChild<QAction*>(name);
}

}  // namespace sonfara::shell
