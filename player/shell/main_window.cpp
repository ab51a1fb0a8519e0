#include "player/shell/main_window.h"

#include <QCloseEvent>
#include <QDropEvent>
#include <QMimeData>

#include "player/ui/palette.h"

namespace sonfara::shell {

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
    // Neither a close box (the window does not close alone) nor a maximise
    // box (its size is fixed).
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowMinimizeButtonHint);
    setWindowTitle(QStringLiteral("Sonfara - Main Window"));
    setFixedSize(kWidth, kFullHeight);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ui::palette::kMainWindowGround);
    setPalette(pal);
    setAutoFillBackground(true);
    panelArea_ = new QWidget(this);
    panelArea_->setGeometry(0, kPanelTop, kWidth, kFullHeight - kPanelTop);
    // Qt passes a drag that a control does not take (ours take none; the
    // document's text view is read-only) on to the window.
    setAcceptDrops(true);
}

void MainWindow::SetRolledUp(bool rolled) {
    rolledUp_ = rolled;
    panelArea_->setVisible(!rolled);
    setFixedSize(kWidth, rolled ? kRolledHeight : kFullHeight);
}

bool MainWindow::event(QEvent* event) {
    if (event->type() == QEvent::NonClientAreaMouseButtonDblClick) {
        if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) && onTitleDoubleClick)
            onTitleDoubleClick();
        return true;
    }
    if (HandleDrop(event)) return true;
    return QWidget::event(event);
}

bool MainWindow::HandleDrop(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
    auto* drop = static_cast<QDropEvent*>(event);
    QStringList paths;
    if (drop->mimeData()->hasUrls())
        for (const QUrl& url : drop->mimeData()->urls())
            if (url.isLocalFile()) paths << url.toLocalFile();
    if (paths.isEmpty()) return false;  // not files: the control's own business
    drop->acceptProposedAction();
    if (type == QEvent::Drop && onFilesDropped) onFilesDropped(paths);
    return true;
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
