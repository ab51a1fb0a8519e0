#include "player/shell/docking.h"

#include <QApplication>
#include <QEvent>
#include <QMargins>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdlib>

namespace sonfara::shell {

bool WithinDockSnap(const QRect& controlFrame, QPoint mainTopLeft) {
    const int controlBottom = controlFrame.y() + controlFrame.height();
    return std::abs(mainTopLeft.x() - controlFrame.x()) < kDockSnapPixels &&
           std::abs(mainTopLeft.y() - controlBottom) < kDockSnapPixels;
}

QPoint DockedMainPosition(const QRect& controlFrame) {
    return {controlFrame.x(), controlFrame.y() + controlFrame.height()};
}

bool StoredDocked(const QRect& controlClient, QPoint mainTopLeft) {
    const int below = mainTopLeft.y() - (controlClient.y() + controlClient.height());
    return std::abs(mainTopLeft.x() - controlClient.x()) < kDockSnapPixels &&
           below > -kDockSnapPixels && below < kDockSnapPixels + kTitleBarAllowance;
}

QPoint ReachablePosition(const QRect& frame, const QList<QRect>& areas) {
    if (areas.isEmpty()) return frame.topLeft();
    for (const QRect& a : areas) {
        const int overlap =
            std::min(frame.right(), a.right()) - std::max(frame.left(), a.left()) + 1;
        if (frame.top() >= a.top() && frame.top() <= a.bottom() - kReachablePixels &&
            overlap >= kReachablePixels)
            return frame.topLeft();
    }
    const QPoint c = frame.center();
    auto distance = [c](const QRect& a) {
        const qint64 dx = std::max({a.left() - c.x(), 0, c.x() - a.right()});
        const qint64 dy = std::max({a.top() - c.y(), 0, c.y() - a.bottom()});
        return dx * dx + dy * dy;
    };
    const QRect& a = *std::min_element(
        areas.begin(), areas.end(),
        [&](const QRect& l, const QRect& r) { return distance(l) < distance(r); });
    return {std::max(a.left(), std::min(frame.left(), a.right() + 1 - frame.width())),
            std::max(a.top(), std::min(frame.top(), a.bottom() + 1 - frame.height()))};
}

WindowPlaces PlaceWindowPair(const QRect& control, const QRect& main, bool docked,
                             const QList<QRect>& areas) {
    // Room for the title bar, which is not known yet.
    const QMargins title(0, 0, 0, kTitleBarAllowance);
    if (!docked) {
        return {ReachablePosition(control + title, areas), ReachablePosition(main + title, areas)};
    }
    const QRect both = (control + title).united(main + title);
    const QPoint shift = ReachablePosition(both, areas) - both.topLeft();
    return {control.topLeft() + shift, main.topLeft() + shift};
}

Docking::Docking(QWidget& control, QWidget& main, QObject* parent)
    : QObject(parent), control_(control), main_(main) {
    control_.installEventFilter(this);
    main_.installEventFilter(this);
}

void Docking::StartDocked(QPoint mainAt) {
    docked_ = true;
    placed_ = mainAt;
}

void Docking::TestDocked() {
    docked_ = docked_ || WithinDockSnap(control_.frameGeometry(), main_.frameGeometry().topLeft());
}

void Docking::Reattach() {
    if (!docked_ || !Exposed(control_) || !Exposed(main_)) return;
    const QPoint at = DockedMainPosition(control_.frameGeometry());
    if (main_.frameGeometry().topLeft() != at) MoveMain(at);
}

bool Docking::Exposed(const QWidget& window) {
    return window.windowHandle() && window.windowHandle()->isExposed();
}

void Docking::MoveMain(QPoint at) {
    moving_ = true;
    main_.move(at);
    placed_ = at;
    moving_ = false;
}

bool Docking::eventFilter(QObject* watched, QEvent* event) {
    // Exposure is an event of the native window, which exists once shown.
    if (event->type() == QEvent::Expose) {
        Reattach();
        return false;
    }
    if (!watched->isWidgetType()) return false;
    auto* window = static_cast<QWidget*>(watched);
    const bool normal = !(window->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized));
    switch (event->type()) {
        case QEvent::Show:
            if (QWindow* native = window->windowHandle()) native->installEventFilter(this);
            break;
        case QEvent::Move:
            // Before both are on screen their frames are not known yet.
            if (moving_ || !normal || !Exposed(control_) || !Exposed(main_)) break;
            if (watched == &control_) ControlMoved();
            if (watched == &main_) MainMoved();
            break;
        case QEvent::WindowActivate:
            if (watched == &control_) Activated(control_, main_);
            if (watched == &main_) Activated(main_, control_);
            break;
        case QEvent::WindowDeactivate:
            Deactivated(watched == &control_ ? main_ : control_);
            break;
        default:
            break;
    }
    return false;
}

void Docking::ControlMoved() {
    const QRect control = control_.frameGeometry();
    if (docked_) {
        MoveMain(DockedMainPosition(control));
    } else if (WithinDockSnap(control, main_.frameGeometry().topLeft())) {
        // The control window snaps onto the main window, not the other way.
        const QPoint mainAt = main_.frameGeometry().topLeft();
        moving_ = true;
        control_.move(mainAt.x(), mainAt.y() - control.height());
        moving_ = false;
        docked_ = true;
        placed_ = mainAt;
    }
}

void Docking::MainMoved() {
    const QRect control = control_.frameGeometry();
    const QPoint at = main_.frameGeometry().topLeft();
    if (!docked_ || at != placed_) docked_ = WithinDockSnap(control, at);
    if (docked_) MoveMain(DockedMainPosition(control));
}

void Docking::Activated(QWidget& self, QWidget& other) {
    if (!activationPending_) return;
    activationPending_ = false;
    if (wrdActive && wrdActive()) {
        other.raise();
        self.raise();
    }
}

void Docking::Deactivated(QWidget& other) {
    // Activation passing to the other player window is not a third window.
    QWidget* active = QApplication::activeWindow();
    if (active != &other) activationPending_ = true;
}

}  // namespace sonfara::shell
