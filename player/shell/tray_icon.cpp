#include "player/shell/tray_icon.h"

#include <QCursor>
#include <QSystemTrayIcon>
#include <cstdio>

namespace sonfara::shell {

TrayIcon::TrayIcon(const QIcon& icon, QObject* parent)
    : QObject(parent), icon_(new QSystemTrayIcon(icon, this)) {
    icon_->setToolTip(QStringLiteral("Sonfara"));
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::DoubleClick) emit restoreRequested();
        if (r == QSystemTrayIcon::Context) emit menuRequested(QCursor::pos());
    });
}

int TrayIcon::EffectiveTaskType(int taskType) {
    if (taskType == kTaskbarOnly || QSystemTrayIcon::isSystemTrayAvailable()) return taskType;
    static bool told = false;
    if (!told) {
        told = true;
        std::fputs(
            "sonfara: this desktop has no notification area; "
            "the player stays on the taskbar\n",
            stderr);
    }
    return kTaskbarOnly;
}

void TrayIcon::Add(int taskType) {
    if (EffectiveTaskType(taskType) == kTaskbarOnly) return;
    icon_->show();
}

void TrayIcon::Remove() {
    icon_->hide();
}

bool TrayIcon::Shown() const {
    return icon_->isVisible();
}

}  // namespace sonfara::shell
