#include "player/shell/docking.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
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

Docking::Docking(QWidget& control, QWidget& main, QObject* parent)
    : QObject(parent), control_(control), main_(main) {
    control_.installEventFilter(this);
    main_.installEventFilter(this);
}

void Docking::TestDocked() {
    docked_ = WithinDockSnap(control_.frameGeometry(), main_.frameGeometry().topLeft());
}

void Docking::Reattach() {
    if (!docked_) return;
    moving_ = true;
    main_.move(DockedMainPosition(control_.frameGeometry()));
    moving_ = false;
}

bool Docking::eventFilter(QObject* watched, QEvent* event) {
    const bool normal = !(static_cast<QWidget*>(watched)->windowState() &
                          (Qt::WindowMinimized | Qt::WindowMaximized));
    switch (event->type()) {
        case QEvent::Move:
            if (moving_ || !normal) break;
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
    moving_ = true;
    if (docked_) {
        main_.move(DockedMainPosition(control));
    } else if (WithinDockSnap(control, main_.frameGeometry().topLeft())) {
        // The control window snaps onto the main window, not the other way.
        const QPoint mainAt = main_.frameGeometry().topLeft();
        control_.move(mainAt.x(), mainAt.y() - control.height());
        docked_ = true;
    }
    moving_ = false;
}

void Docking::MainMoved() {
    const QRect control = control_.frameGeometry();
    docked_ = WithinDockSnap(control, main_.frameGeometry().topLeft());
    if (!docked_) return;
    moving_ = true;
    main_.move(DockedMainPosition(control));
    moving_ = false;
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
