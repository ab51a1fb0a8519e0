#include "player/shell/main_window.h"

#include <QCloseEvent>
#include <QPainter>

#include "player/display/display_geometry.h"

namespace sonfara::shell {

KeyboardView::KeyboardView(QWidget* parent) : QWidget(parent) {
    setFixedSize(display::kKeyboardSize);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void KeyboardView::SetFrame(const QImage& frame) {
    frame_ = frame;
    update();
}

void KeyboardView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (frame_.isNull())
        p.fillRect(rect(), QColor(0x1c, 0x1f, 0x24));
    else
        p.drawImage(QPoint(0, 0), frame_);
}

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Sonfara - Main Window"));
    setFixedSize(kWidth, kFullHeight);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x2b, 0x2f, 0x36));
    setPalette(pal);
    setAutoFillBackground(true);
    panelArea_ = new QWidget(this);
    panelArea_->setGeometry(0, kPanelTop, kWidth, kFullHeight - kPanelTop);
    keyboard_ = new KeyboardView(panelArea_);
    keyboard_->move(0, 0);
}

void MainWindow::SetRolledUp(bool rolled) {
    rolledUp_ = rolled;
    panelArea_->setVisible(!rolled);
    setFixedSize(kWidth, rolled ? kRolledHeight : kFullHeight);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    event->ignore();  // the exit decides when the window goes
    if (onCloseRequested) onCloseRequested();
}

}  // namespace sonfara::shell
