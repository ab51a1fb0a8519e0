#include "player/shell/main_window.h"

#include <QCloseEvent>

namespace sonfara::shell {

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Sonfara - Main Window"));
    setFixedSize(kWidth, kFullHeight);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x2b, 0x2f, 0x36));
    setPalette(pal);
    setAutoFillBackground(true);
    panelArea_ = new QWidget(this);
    panelArea_->setGeometry(0, kPanelTop, kWidth, kFullHeight - kPanelTop);
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
