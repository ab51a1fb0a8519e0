#include "player/ui/widgets.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "player/ui/palette.h"

namespace sonfara::ui {

// ---- PictureButton --------------------------------------------------------

PictureButton::PictureButton(ButtonKind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
    setFixedSize(ButtonSize(kind));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureButton::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (down_) return;  // a second button while one is held changes nothing
    down_ = true;
    update();
    emit pressedDown();
}

void PictureButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second click of a fast pair is a press like any other.
    mousePressEvent(event);
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    Release();
}

void PictureButton::hideEvent(QHideEvent* event) {
    // A hidden button never sees its release; finish the command now so that
    // a held fast forward cannot keep stepping.
    Release();
    QWidget::hideEvent(event);
}

void PictureButton::Release() {
    if (!down_) return;
    down_ = false;
    update();
    emit released();
}

void PictureButton::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    if (dpr != dpr_) {
        dpr_ = dpr;
        raised_ = ButtonFace(kind_, false, dpr);
        pressed_ = ButtonFace(kind_, true, dpr);
    }
    QPainter(this).drawImage(QPoint(0, 0), down_ ? pressed_ : raised_);
}

// ---- DigitReadout ---------------------------------------------------------

namespace {

constexpr int kTimeX[] = {3, 13, 31, 41};
constexpr int kPositionX[] = {5, 15, 25, 35, 50, 60};
constexpr int kColonX = 22;
constexpr int kDigitTop = 1;

}  // namespace

DigitReadout::DigitReadout(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
    glyphs_.fill(kBlankGlyph);
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize DigitReadout::sizeHint() const {
    return kind_ == Kind::kTime ? layout::kTime.size() : layout::kPosition.size();
}

int DigitReadout::placeX(int place) const {
    return kind_ == Kind::kTime ? kTimeX[place] : kPositionX[place];
}

void DigitReadout::SetTime(int seconds) {
    seconds = std::max(seconds, 0);
    const int minutes = (seconds / 60) % 100, rest = seconds % 60;
    const int glyphs[] = {minutes / 10, minutes % 10, rest / 10, rest % 10};
    SetPlaces(glyphs);
}

void DigitReadout::SetBarBeat(int bar, int beat) {
    bar = std::max(bar, 0) % 10000;
    beat = std::max(beat, 0) % 100;
    const int glyphs[] = {bar / 1000, bar / 100 % 10, bar / 10 % 10,
                          bar % 10,   beat / 10,      beat % 10};
    SetPlaces(glyphs);
}

void DigitReadout::SetPlaces(const int* glyphs) {
    lastRepainted_ = 0;
    for (int i = 0; i < placeCount(); ++i) SetPlace(i, glyphs[i]);
    valid_ = true;
}

void DigitReadout::SetPlace(int place, int glyph) {
    if (place < 0 || place >= placeCount()) return;
    if (valid_ && glyphs_[place] == glyph) return;
    glyphs_[place] = glyph;
    lastRepainted_ |= 1u << place;
    PaintPlace(place);
}

void DigitReadout::ShowEmpty() {
    for (int i = 0; i < placeCount(); ++i) {
        glyphs_[i] = kBlankGlyph;
        PaintPlace(i);
    }
    valid_ = false;
}

void DigitReadout::Rebuild() {
    dpr_ = devicePixelRatioF();
    strip_ = DigitStrip(dpr_);
    picture_ = LcdWindow(size(), dpr_);
    QPainter painter(&picture_);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font = EngraveFont(8);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    painter.setFont(font);
    painter.setPen(palette::kLcdTextDim);
    if (kind_ == Kind::kTime) {
        const QRect colon = DigitCell(kColonGlyph);
        painter.drawImage(QRectF(kColonX, kDigitTop, colon.width(), colon.height()), strip_,
                          QRectF(colon.x() * dpr_, 0, colon.width() * dpr_, colon.height() * dpr_));
        painter.drawText(QRect(58, 0, width() - 62, height()), Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("TIME"));
    } else {
        painter.fillRect(QRect(46, 11, 2, 2), palette::kLcdTextDim);
        painter.drawText(QRect(76, 0, width() - 80, height()), Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("BAR·BEAT"));
    }
    painter.end();
    for (int i = 0; i < placeCount(); ++i) PaintPlace(i);
}

void DigitReadout::PaintPlace(int place) {
    if (picture_.isNull() || dpr_ != devicePixelRatioF()) {
        Rebuild();  // paints every place, this one included
        update();
        return;
    }
    const QRect target(placeX(place), kDigitTop, kDigitCellWidth, kDigitCellHeight);
    QPainter painter(&picture_);
    const QRect cell = DigitCell(glyphs_[place]);
    painter.drawImage(
        target, strip_,
        QRectF(cell.x() * dpr_, cell.y() * dpr_, cell.width() * dpr_, cell.height() * dpr_));
    update(target);
}

void DigitReadout::paintEvent(QPaintEvent* event) {
    if (picture_.isNull() || dpr_ != devicePixelRatioF()) Rebuild();
    QPainter painter(this);
    painter.drawImage(event->rect(), picture_,
                      QRectF(event->rect().x() * dpr_, event->rect().y() * dpr_,
                             event->rect().width() * dpr_, event->rect().height() * dpr_));
}

// ---- MarkStrip ------------------------------------------------------------

MarkStrip::MarkStrip(QWidget* parent) : QWidget(parent) {
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MarkStrip::SetLit(Mark mark, bool lit) {
    bool& slot = lit_[static_cast<int>(mark)];
    if (slot == lit) return;
    slot = lit;
    update(QRect(MarkX(mark), 1, kMarkWidth, kMarkHeight));
}

void MarkStrip::Reset() {
    for (int m = 0; m < kMarkCount; ++m) SetLit(static_cast<Mark>(m), false);
}

void MarkStrip::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    if (dpr != dpr_) {
        dpr_ = dpr;
        litStrip_ = MarkStripImage(true, dpr);
        unlitStrip_ = MarkStripImage(false, dpr);
        glass_ = LcdWindow(size(), dpr);
    }
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), glass_);
    for (int m = 0; m < kMarkCount; ++m) {
        const int x = MarkX(static_cast<Mark>(m));
        const QImage& strip = lit_[m] ? litStrip_ : unlitStrip_;
        painter.drawImage(QRectF(x, 1, kMarkWidth, kMarkHeight), strip,
                          QRectF(x * dpr, 0, kMarkWidth * dpr, kMarkHeight * dpr));
    }
}

// ---- PositionKnob ---------------------------------------------------------

namespace {
constexpr int kCapTop = 1;
}

PositionKnob::PositionKnob(QWidget* parent) : QWidget(parent) {
    setFixedSize(sizeHint());
}

QRect PositionKnob::knobRect() const {
    return {left_ - kOriginX, kCapTop, kKnobCapWidth, kKnobCapHeight};
}

bool PositionKnob::SetPosition(int64_t positionMs, int64_t totalMs) {
    if (dragging_) return false;
    if (totalMs <= 0) return SetKnobLeft(kFirstLeft);
    const double fraction = double(std::clamp<int64_t>(positionMs, 0, totalMs)) / double(totalMs);
    // Halves go to the even pixel, as every fraction-to-pixel rounding here.
    return SetKnobLeft(kFirstLeft + static_cast<int>(std::nearbyint(fraction * kTravel)));
}

bool PositionKnob::SetKnobLeft(int left) {
    left = std::clamp(left, kFirstLeft, kLastLeft);
    if (left == left_) return false;
    const QRect old = knobRect();
    left_ = left;
    update(old.united(knobRect()));
    return true;
}

void PositionKnob::SetMarks(int64_t aMs, int64_t bMs, int64_t totalMs) {
    auto x = [&](int64_t ms) {
        if (ms < 0 || totalMs <= 0) return -1;
        const int64_t left = kFirstLeft + std::min(ms, totalMs) * kTravel / totalMs;
        return static_cast<int>(left) - kOriginX + kKnobCapWidth / 2;
    };
    const std::array<int, 2> marks{x(aMs), x(bMs)};
    if (marks == marks_) return;
    marks_ = marks;
    update();
}

void PositionKnob::mousePressEvent(QMouseEvent* event) {
    event->accept();
    const int x = qFloor(event->position().x());
    if (dragging_ || !knobRect().contains(x, qFloor(event->position().y()))) return;
    dragging_ = true;
    grabX_ = x - knobRect().x();
    update(knobRect());
}

void PositionKnob::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    const int pointerInKnob = qFloor(event->position().x()) - knobRect().x();
    SetKnobLeft(left_ + (pointerInKnob - grabX_));
}

void PositionKnob::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (!dragging_) return;
    // The seek comes first: while it runs the knob still counts as held, so
    // a position update from the seek cannot move it back.
    emit seekRequested(double(left_ - kFirstLeft) / kTravel);
    dragging_ = false;
    update(knobRect());
}

void PositionKnob::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    if (dpr != dpr_) {
        dpr_ = dpr;
        groove_ = KnobGroove(size(), kFirstLeft - kOriginX, kTravel, dpr);
        cap_ = KnobCap(false, dpr);
        capGrabbed_ = KnobCap(true, dpr);
    }
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), groove_);
    // A and B: amber notches above and below the groove, under the cap.
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette::kSegmentLit);
    for (int x : marks_) {
        if (x < 0) continue;
        painter.drawPolygon(QPolygon({{x - 3, 0}, {x + 3, 0}, {x, 4}}));
        painter.drawPolygon(QPolygon({{x - 3, height()}, {x + 3, height()}, {x, height() - 4}}));
    }
    painter.drawImage(knobRect().topLeft(), dragging_ ? capGrabbed_ : cap_);
}

LoadBar::LoadBar(QWidget* parent) : QWidget(parent) {}

void LoadBar::SetFraction(double fraction) {
    fraction_ = std::clamp(fraction, 0.0, 1.0);
    update();
}

void LoadBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(palette::kLcdTextDim);
    p.drawRect(frame);
    QRectF fill = frame.adjusted(1.5, 1.5, -1.5, -1.5);
    fill.setWidth(fill.width() * fraction_);
    p.fillRect(fill, palette::kLcdText);
}

}  // namespace sonfara::ui
