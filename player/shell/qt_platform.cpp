#include "player/shell/qt_platform.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QWidget>
#include <cstdio>

#include "player/platform/language.h"

namespace sonfara::shell {

void QtUiScheduler::Post(std::function<void()> action) {
    QMetaObject::invokeMethod(context_, std::move(action), Qt::QueuedConnection);
}

// --- Message boxes -------------------------------------------------------------

MessageBoxNotifier::MessageBoxNotifier() = default;

MessageBoxNotifier::~MessageBoxNotifier() {
    if (showing_) delete showing_.data();
}

void MessageBoxNotifier::CloseAll() {
    pending_.clear();
    if (showing_) showing_->reject();
}

void MessageBoxNotifier::Error(const std::string& text) {
    Add(true, text);
}
void MessageBoxNotifier::Info(const std::string& text) {
    Add(false, text);
}

void MessageBoxNotifier::Add(bool error, const std::string& text) {
    ++raised_;
    lastText_ = text;
    if (quiet_) {
        std::fprintf(stderr, "sonfara: %s\n", platform::Localized(text).c_str());
        return;
    }
    pending_.push_back({error, text});
    if (showing_ || scheduled_) return;
    // From the event loop, after the operation that raised it returns.
    scheduled_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            scheduled_ = false;
            ShowNext();
        },
        Qt::QueuedConnection);
}

void MessageBoxNotifier::ShowNext() {
    if (showing_) return;
    if (pending_.empty()) {
        emit drained();
        return;
    }
    const Pending p = pending_.front();
    pending_.pop_front();
    QString text = QString::fromStdString(platform::Localized(p.text));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar(u'\r'), QChar(u'\n'));
    auto* box = new QMessageBox(p.error ? QMessageBox::Critical : QMessageBox::Information,
                                QStringLiteral("Sonfara"), text, QMessageBox::Ok, owner_.data());
    box->setAttribute(Qt::WA_DeleteOnClose);
    showing_ = box;
    connect(box, &QDialog::finished, this, [this] {
        showing_ = nullptr;
        QMetaObject::invokeMethod(this, &MessageBoxNotifier::ShowNext, Qt::QueuedConnection);
    });
    box->open();
}

// --- Requests ------------------------------------------------------------------

void RequestQueue::Release() {
    if (--holds_ == 0 && !waiting_.empty())
        QMetaObject::invokeMethod(
            context_, [this] { Drain(); }, Qt::QueuedConnection);
}

void RequestQueue::Run(std::function<void()> request) {
    if (holds_ > 0 || draining_ || !waiting_.empty()) {
        waiting_.push_back(std::move(request));
        return;
    }
    request();
}

// One request at a time; one that opens a dialog holds the rest again.
void RequestQueue::Drain() {
    if (draining_) return;  // a request's own nested loop must not drain
    draining_ = true;
    while (holds_ == 0 && !waiting_.empty()) {
        auto request = std::move(waiting_.front());
        waiting_.pop_front();
        request();
    }
    draining_ = false;
}

}  // namespace sonfara::shell
