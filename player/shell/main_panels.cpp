#include "player/shell/main_panels.h"

#include <QMouseEvent>
#include <QPainter>

#include "player/display/artwork.h"
#include "player/files/companion.h"
#include "player/shell/main_window.h"
#include "player/ui/artwork.h"
#include "player/ui/palette.h"

namespace sonfara::shell {
namespace {

using display::kChannels;

constexpr QPoint kPanelOrigin{4, 4};  // inside the panel area
constexpr QPoint kFirstTab{4, 3};     // inside the window
constexpr int kTabStep = 100;
const char* const kTabCaptions[3] = {"KeyBoard", "Document", "Event"};

qreal Ratio(const QWidget* w) {
    return w->devicePixelRatioF();
}

}  // namespace

// --- Keyboard panel ---------------------------------------------------------------

KeyboardPanelView::KeyboardPanelView(const display::DisplayController& display, QWidget* parent)
    : QWidget(parent),
      display_(display),
      art_(display.Dpr()),
      frame_(display::KeyboardArtwork(display.Dpr())) {
    // Until the drawing thread's first pass: the keys at rest.
    setFixedSize(display::kKeyboardPanelSize);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void KeyboardPanelView::SetFrame(const QImage& frame, const QRect& changed) {
    frame_ = frame;
    update(changed);
}

QRect KeyboardPanelView::SwitchRect(int c) {
    const QRect lamp = display::LampRect(c);
    return QRect(0, lamp.top() - 1, display::InstLabelRect(c).left(), lamp.height() + 2);
}

void KeyboardPanelView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    display::PaintKeyboardPanel(p, frame_, display_, art_, event->rect());
}

void KeyboardPanelView::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    for (int c = 1; c <= kChannels; ++c) {
        if (SwitchRect(c).contains(at)) {
            if (onSwitch) onSwitch(c, event->button());
            return;
        }
        if (event->button() == Qt::RightButton && display::InstLabelRect(c).contains(at)) {
            if (onLabelMenu) onLabelMenu(c, event->globalPosition().toPoint());
            return;
        }
    }
    QWidget::mousePressEvent(event);
}

// --- Bar display ------------------------------------------------------------------

BarPanelView::BarPanelView(const display::DisplayController& display, QWidget* parent)
    : QWidget(parent), display_(display), art_(display.Dpr()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BarPanelView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    display::PaintBarPanel(p, display_, art_);
}

// --- Tabs -----------------------------------------------------------------------------

PanelTab::PanelTab(const QString& caption, QWidget* parent) : QWidget(parent), caption_(caption) {
    setFixedSize(ui::kTabSize);
    setCursor(Qt::PointingHandCursor);
}

void PanelTab::SetSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    update();
}

void PanelTab::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(QPoint(0, 0), ui::TabPicture(selected_, Ratio(this)));
    p.setFont(ui::EngraveFont(11));
    p.setPen(selected_ ? ui::palette::kTabCaptionSelected : ui::palette::kTabCaptionIdle);
    p.drawText(rect(), Qt::AlignCenter, caption_);
}

void PanelTab::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && onClicked) onClicked();
}

// --- Roll-up strips ------------------------------------------------------------------

RollStrip::RollStrip(int part, QWidget* parent) : QWidget(parent), part_(part) {
    setFixedSize(ui::kRollStripSize[part]);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void RollStrip::SetCaption(const QString& caption) {
    if (caption_ == caption) return;
    caption_ = caption;
    update();
}

void RollStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(QPoint(0, 0), ui::RollStripPicture(part_, Ratio(this)));
    if (part_ != 0) return;
    p.setFont(ui::EngraveFont(10));
    p.setPen(ui::palette::kTabCaptionSelected);
    p.drawText(rect().adjusted(10, 0, -20, 0), Qt::AlignLeft | Qt::AlignVCenter, caption_);
}

void RollStrip::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && onDoubleClicked) onDoubleClicked();
}

// --- The panels together -------------------------------------------------------------

MainPanels::MainPanels(MainWindow& window, session::PlaybackSession& session,
                       display::DisplayController& display, panels::InstLabeler labeler)
    : window_(window),
      session_(session),
      display_(display),
      view_(session.Songs().Song(), session.Songs().Cursors(), platform::SystemCodePage()),
      source_(session.Songs().Song(), view_) {
    QWidget* area = window.PanelArea();
    keyboard_ = new KeyboardPanelView(display, area);
    events_ = new panels::EventListPanel(source_, area);
    document_ = new panels::DocumentPanel(platform::SystemCodePage(), area);
    for (QWidget* w : {static_cast<QWidget*>(keyboard_), static_cast<QWidget*>(events_),
                       static_cast<QWidget*>(document_)})
        w->move(kPanelOrigin);
    menu_ = new panels::InstrumentMenu(std::move(labeler), *this, &window);
    for (int i = 0; i < 3; ++i) {
        tabs_[i] = new PanelTab(QString::fromLatin1(kTabCaptions[i]), &window);
        tabs_[i]->move(kFirstTab + QPoint(kTabStep * i, 0));
        tabs_[i]->onClicked = [this, i] { SelectPanel(i); };
    }
    for (int i = 0; i < 2; ++i) {
        strips_[i] = new RollStrip(i, &window);
        strips_[i]->move(i == 0 ? 0 : ui::kRollStripSize[0].width(), 0);
        strips_[i]->hide();
    }
    keyboard_->onSwitch = [this](int c, Qt::MouseButton b) { SwitchChannel(c, b); };
    keyboard_->onLabelMenu = [this](int c, const QPoint& at) {
        const sequencer::ChannelState& ch = session_.Output().Channel(c);
        menu_->PopupFor(c, ch.BankMSB.load(), ch.BankLSB.load(), at);
    };
    using display::DisplayController;
    auto repaint = [this](const QRect& area) { return [this, area] { keyboard_->update(area); }; };
    connect(&display, &DisplayController::knobsChanged, keyboard_, [this](QRect knobs) {
        keyboard_->update(knobs.translated(display::kKeyboardSize.width(), 0));
    });
    connect(&display, &DisplayController::metersChanged, keyboard_,
            repaint(display::kLevelBarsArea));
    connect(&display, &DisplayController::noteCountChanged, keyboard_,
            repaint(display::kNoteCountArea));
    connect(&display, &DisplayController::cpuLoadChanged, keyboard_,
            repaint(display::kCpuLoadArea));
    connect(&display, &DisplayController::lampsChanged, keyboard_, repaint(display::kLampsArea));
    SelectPanel(kKeyboardPanel);
}

MainPanels::~MainPanels() = default;

void MainPanels::SelectPanel(int panel) {
    if (panel < kKeyboardPanel || panel > kEventPanel) panel = kKeyboardPanel;
    selected_ = panel;
    for (int i = 0; i < 3; ++i) tabs_[i]->SetSelected(i == panel);
    strips_[0]->SetCaption(QString::fromLatin1(kTabCaptions[panel]));
    if (panel == kEventPanel) events_->Refresh();  // filled before it shows
    keyboard_->setVisible(panel == kKeyboardPanel);
    document_->setVisible(panel == kDocumentPanel);
    events_->setVisible(panel == kEventPanel);
    display_.SetSelectedPanel(panel);
}

bool MainPanels::RolledUp() const {
    return window_.RolledUp();
}

void MainPanels::SetRolledUp(bool rolled) {
    if (rolled) {
        for (int i = 0; i < 3; ++i)
            if (tabs_[i]->Selected()) selected_ = i;
        strips_[0]->SetCaption(QString::fromLatin1(kTabCaptions[selected_]));
        document_->hide();
        events_->hide();
    }
    for (PanelTab* tab : tabs_) tab->setVisible(!rolled);
    for (RollStrip* strip : strips_) strip->setVisible(rolled);
    window_.SetRolledUp(rolled);
    if (!rolled) SelectPanel(selected_);
}

void MainPanels::ShowSong(const files::CompanionDocument& document) {
    const song::SongTable& song = session_.Songs().Song();
    view_.OnLoadCompleted(song);
    events_->SongLoaded();
    document_->ShowDocument(document);
    if (song.Loaded)
        display_.SetSongLabels(
            QString::number(song.Division),
            QStringLiteral("%1/%2").arg(song.BeatNumerator).arg(song.BeatDenominator));
    else
        display_.SetSongLabels(QString(), QString());
    keyboard_->update(display::kSongLabelsArea);
}

void MainPanels::SongOpened() {
    ShowSong(files::ReadCompanionDocument(session_.Songs().CurrentSource().FullPath));
    SyncChannelLabels();  // an open switches every channel on
}

void MainPanels::TextsChanged() {
    ShowSong(files::ReadCompanionDocument(session_.Songs().CurrentSource().FullPath));
}

void MainPanels::SongCleared() {
    ShowSong(files::CompanionDocument{});
}

void MainPanels::OnDrawInterval() {
    if (selected_ == kEventPanel && events_->isVisible()) events_->Refresh();
}

void MainPanels::SwitchChannel(int channel, Qt::MouseButton button) {
    if (button == Qt::LeftButton)
        session_.Output().SetChannelEnabled(channel,
                                            session_.Output().Channel(channel).Enabled.load() == 0);
    else
        session_.Output().ToggleSolo(channel);
    SyncChannelLabels();
}

void MainPanels::ChangeProgram(int channel, int program) {
    session_.Output().ChangeProgram(channel, program);
}

// A switched-off channel's label is drawn dimmed by the drawing thread.
void MainPanels::SyncChannelLabels() {
    for (int c = 1; c <= kChannels; ++c)
        display_.SetChannelDimmed(c, session_.Output().Channel(c).Enabled.load() == 0);
}

}  // namespace sonfara::shell
