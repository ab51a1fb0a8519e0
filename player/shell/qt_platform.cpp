#include "player/shell/qt_platform.h"

#include <QMessageBox>
#include <QMetaObject>
#include <cstdio>

namespace sonfara::shell {

void QtUiScheduler::Post(std::function<void()> action) {
    QMetaObject::invokeMethod(context_, std::move(action), Qt::QueuedConnection);
}

void MessageBoxNotifier::Error(const std::string& text) {
    if (quiet_) {
        std::fprintf(stderr, "sonfara: %s\n", text.c_str());
        return;
    }
    QMessageBox::critical(nullptr, QStringLiteral("Sonfara"), QString::fromStdString(text));
}

void MessageBoxNotifier::Info(const std::string& text) {
    if (quiet_) {
        std::fprintf(stderr, "sonfara: %s\n", text.c_str());
        return;
    }
    QMessageBox::information(nullptr, QStringLiteral("Sonfara"), QString::fromStdString(text));
}

}  // namespace sonfara::shell
