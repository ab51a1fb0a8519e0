#include "player/shell/placeholder_control.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>

#include "player/ui/control_layout.h"

namespace sonfara::shell {
namespace {

QString MinSec(int32_t ms) {
    const int s = ms < 0 ? 0 : ms / 1000;
    return QStringLiteral("%1:%2").arg(s / 60, 2, 10, QChar(u'0')).arg(s % 60, 2, 10, QChar(u'0'));
}

}  // namespace

PlaceholderControl::PlaceholderControl(PlaybackSession& session,
                                       std::function<void(int)> requestClose)
    : session_(session), requestClose_(std::move(requestClose)) {
    setWindowTitle(QStringLiteral("Sonfara"));
    setFixedSize(ui::layout::kControlWindow);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x2b, 0x2f, 0x36));
    pal.setColor(QPalette::WindowText, QColor(0x8c, 0xe0, 0x5a));
    setPalette(pal);
    setAutoFillBackground(true);
    auto* grid = new QGridLayout(this);
    grid->addWidget(title_ = new QLabel(this), 0, 0, 1, 2);
    grid->addWidget(file_ = new QLabel(this), 1, 0, 1, 2);
    grid->addWidget(time_ = new QLabel(this), 2, 0);
    grid->addWidget(marks_ = new QLabel(this), 2, 1);
    ResetReadouts();
}

void PlaceholderControl::OnCtlSet2() {
    const SessionSnapshot s = session_.Snapshot();
    title_->setText(QString::fromStdString(s.title));
    file_->setText(QString::fromStdString(s.fileName + "  " + s.fileKind));
    time_->setText(MinSec(s.positionMs) + QStringLiteral(" / ") + MinSec(s.totalMs) +
                   QStringLiteral("   ") + QString::fromStdString(s.speedLabel));
}

void PlaceholderControl::OnMidiDisp() {
    const SessionSnapshot s = session_.Snapshot();
    QStringList marks;
    if (s.flagGS) marks << QStringLiteral("GS");
    if (s.flagXG) marks << QStringLiteral("XG");
    if (s.flagGM) marks << QStringLiteral("GM");
    marks_->setText(marks.join(u' '));
}

void PlaceholderControl::ResetReadouts() {
    title_->clear();
    file_->clear();
    marks_->clear();
    time_->setText(QStringLiteral("00:00 / 00:00"));
}

void PlaceholderControl::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    event->ignore();  // the exit decides when the window goes
    requestClose_(0);
}

}  // namespace sonfara::shell
