#include "player/panels/event_list_panel.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QWheelEvent>
#include <climits>

#include "player/panels/event_page.h"
#include "player/panels/panel_style.h"
#include "player/ui/artwork.h"
#include "player/ui/palette.h"

namespace sonfara::panels {
namespace {

namespace P = ui::palette;

constexpr int kStripTop = 303;
constexpr int kStripHeight = 24;
constexpr int kPageStep = 10;

struct Caption {
    int x;
    const char* text;
};
constexpr Caption kCaptions[] = {{164, "EVENTS"}, {278, "NAME"}};

}  // namespace

// ---- EventPicture ----------------------------------------------------------

EventPicture::EventPicture(QWidget* parent) : QWidget(parent) {
    setFixedSize(kEventPictureSize);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void EventPicture::SetPage(const song::EventPage& page) {
    page_ = page;
    image_ = QImage();
    update();
}

void EventPicture::SetMarker(int row) {
    const int w = kEventPictureSize.width();
    update(QRect(0, MarkerY(markerRow_), w, 1));
    markerRow_ = row;
    update(QRect(0, MarkerY(markerRow_), w, 1));
}

QImage EventPicture::Composite(qreal dpr) const {
    QImage image = DrawEventPage(page_, dpr);
    QPainter painter(&image);
    DrawMarker(painter, markerRow_);
    return image;
}

void EventPicture::paintEvent(QPaintEvent* event) {
    const qreal dpr = devicePixelRatioF();
    // The page is remade only when it changed or the window moved to a
    // screen of another ratio; marker moves repaint from this copy.
    if (image_.isNull() || image_.devicePixelRatio() != dpr) image_ = DrawEventPage(page_, dpr);
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.drawImage(QPoint(0, 0), image_);
    DrawMarker(painter, markerRow_);
}

// ---- EventListPanel --------------------------------------------------------

EventListPanel::EventListPanel(EventListSource& source, QWidget* parent)
    : QWidget(parent),
      source_(source),
      picture_(new EventPicture(this)),
      scroll_(new QScrollBar(Qt::Vertical, this)),
      trackNumber_(new QLabel(this)),
      eventMax_(new QLabel(this)),
      trackName_(new QLabel(this)),
      trackRev_(new QPushButton(QStringLiteral("<"), this)),
      trackFF_(new QPushButton(QStringLiteral(">"), this)),
      changeTrack_(new QPushButton(QStringLiteral(">>"), this)),
      menu_(new panels::TrackMenu(this)) {
    setFixedSize(kEventPanelSize);
    picture_->move(kEventPictureAt);
    scroll_->setGeometry(594, 1, 16, kEventPictureSize.height());
    scroll_->setStyleSheet(style::ScrollBarSheet());
    scroll_->setRange(0, song::kScrollMax);
    scroll_->setPageStep(kPageStep);
    scroll_->setEnabled(false);

    trackRev_->setGeometry(4, kStripTop, 26, kStripHeight);
    trackNumber_->setGeometry(32, kStripTop, 58, kStripHeight);
    trackFF_->setGeometry(92, kStripTop, 26, kStripHeight);
    changeTrack_->setGeometry(120, kStripTop, 34, kStripHeight);
    eventMax_->setGeometry(206, kStripTop, 62, kStripHeight);
    trackName_->setGeometry(306, kStripTop, 301, kStripHeight);
    for (QPushButton* b : {trackRev_, trackFF_, changeTrack_}) {
        b->setStyleSheet(style::ButtonSheet());
        b->setFont(ui::EngraveFont(12));
        b->setFocusPolicy(Qt::NoFocus);
    }
    for (QLabel* l : {trackNumber_, eventMax_, trackName_}) {
        l->setStyleSheet(style::LcdLabelSheet());
        l->setFont(style::TextFont(13));
    }
    trackNumber_->setAlignment(Qt::AlignCenter);
    eventMax_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    trackName_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    connect(trackFF_, &QPushButton::clicked, this, &EventListPanel::TrackForward);
    connect(trackRev_, &QPushButton::clicked, this, &EventListPanel::TrackBackward);
    connect(changeTrack_, &QPushButton::clicked, this, [this] {
        picture_->setFocus();
        menu_->popup(changeTrack_->mapToGlobal(QPoint(0, changeTrack_->height())));
    });
    connect(menu_, &TrackMenu::trackChosen, this, &EventListPanel::ChooseTrack);
    connect(scroll_, &QScrollBar::valueChanged, this, &EventListPanel::UserScrolled);
    connect(scroll_, &QScrollBar::actionTriggered, this, &EventListPanel::OnScrollAction);
    // The wheel over the page or the bar turns pages too.
    scroll_->installEventFilter(this);
    picture_->installEventFilter(this);
}

void EventListPanel::SongLoaded() {
    menu_->ShowTracksUpTo(source_.TrackCount());
    TrackChanged();
    // The loader already rendered the first page, before this panel asked.
    picture_->SetPage(source_.Page());
    SyncScrollBar();
}

void EventListPanel::Refresh() {
    const bool leftHeld =
        (QGuiApplication::mouseButtons() & Qt::LeftButton) || scroll_->isSliderDown();
    source_.SetMouseButtonDown(leftHeld);
    Apply(source_.FillEventList());
}

void EventListPanel::TrackForward() {
    picture_->setFocus();
    const int k = source_.CurrentList();
    if (source_.TrackCount() >= k + 1 || k <= 15) ChooseTrack(k + 1);
}

void EventListPanel::TrackBackward() {
    picture_->setFocus();
    const int k = source_.CurrentList();
    if (k != 1) ChooseTrack(k - 1);
}

void EventListPanel::ChooseTrack(int track) {
    source_.SetCurrentList(track);
    if (source_.CurrentList() == track) TrackChanged();
}

// The bar's range cannot address every page of a long list, so its arrows
// and trough turn whole pages here instead of moving by their steps.
void EventListPanel::OnScrollAction(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
        case QAbstractSlider::SliderPageStepAdd:
            TurnPages(1);
            break;
        case QAbstractSlider::SliderSingleStepSub:
        case QAbstractSlider::SliderPageStepSub:
            TurnPages(-1);
            break;
        case QAbstractSlider::SliderToMinimum:
        case QAbstractSlider::SliderToMaximum:
            ShowEnd(action == QAbstractSlider::SliderToMaximum);
            break;
        default:
            return;  // the thumb: UserScrolled
    }
    // The action's own step is dropped: the bar stays at the page shown.
    scroll_->setSliderPosition(scroll_->value());
}

void EventListPanel::TurnPages(int pages) {
    const int32_t start = source_.ShownPageStart() + pages * song::kLinesPerPage;
    Apply(source_.ShowUserEntry(std::max(0, start)));
}

void EventListPanel::ShowEnd(bool last) {
    Apply(source_.ShowUserEntry(last ? INT32_MAX : 0));
}

void EventListPanel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_PageDown:
        case Qt::Key_Down:
            TurnPages(1);
            break;
        case Qt::Key_PageUp:
        case Qt::Key_Up:
            TurnPages(-1);
            break;
        case Qt::Key_Home:
        case Qt::Key_End:
            ShowEnd(event->key() == Qt::Key_End);
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

// One page per notch (120 eighths of a degree); a notch away from the user
// turns back.
void EventListPanel::wheelEvent(QWheelEvent* event) {
    wheelAngle_ += event->angleDelta().y();
    const int notches = wheelAngle_ / 120;
    wheelAngle_ -= notches * 120;
    if (notches != 0) TurnPages(-notches);
    event->accept();
}

bool EventListPanel::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == scroll_ || watched == picture_) && event->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void EventListPanel::TrackChanged() {
    const int k = source_.CurrentList();
    trackNumber_->setText(QString::fromStdString(TrackCounterText(k, source_.TrackCount())));
    eventMax_->setText(QString::fromStdString(source_.EventListCountText(k)));
    trackName_->setText(QString::fromStdString(source_.TrackNameText(k)));
    Refresh();
    SyncScrollBar();  // the count text changed the small step
}

void EventListPanel::Apply(song::EventListAction action) {
    switch (action.kind) {
        case song::EventListAction::kNothing:
            return;
        case song::EventListAction::kDrawPage:
            picture_->SetPage(source_.Page());
            picture_->SetMarker(action.markerRow);
            SyncScrollBar();
            return;
        case song::EventListAction::kMoveMarker:
            picture_->SetMarker(action.markerRow);
            return;
    }
}

void EventListPanel::SyncScrollBar() {
    const song::EventScrollBar& bar = source_.ScrollBar();
    settingScroll_ = true;
    scroll_->setEnabled(bar.enabled);
    scroll_->setMaximum(bar.maximum);
    scroll_->setSingleStep(bar.smallStep);
    // A held slider stays where the user holds it.
    if (!scroll_->isSliderDown()) scroll_->setValue(bar.value);
    settingScroll_ = false;
}

void EventListPanel::UserScrolled(int value) {
    if (settingScroll_) return;
    source_.SetScrollValueFromUser(value);
    Apply(source_.EventListScrolled());
}

void EventListPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, P::kPanelTop);
    g.setColorAt(1, P::kPanelBottom);
    painter.fillRect(rect(), g);
    // Bezel round the page and the scroll bar.
    painter.setPen(P::kLcdBezelDark);
    painter.drawRect(QRect(0, 0, kEventPanelSize.width() - 1, kEventPictureSize.height() + 1));
    painter.setPen(P::kPanelEdgeLight);
    painter.drawLine(0, kEventPictureSize.height() + 2, kEventPanelSize.width() - 1,
                     kEventPictureSize.height() + 2);
    painter.setFont(ui::EngraveFont(9));
    for (const Caption& c : kCaptions) {
        const QRect r(c.x, kStripTop, 40, kStripHeight);
        painter.setPen(P::kEngraveCut);
        painter.drawText(r.translated(0, 1), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromLatin1(c.text));
        painter.setPen(P::kEngraveText);
        painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(c.text));
    }
}

}  // namespace sonfara::panels
