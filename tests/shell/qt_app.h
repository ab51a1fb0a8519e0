// One QCoreApplication for a whole test program (GoogleTest owns main()).
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>

inline void EnsureQtApp() {
    static int argc = 1;
    static char name[] = "sonfara-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// Runs the event loop until `done` holds or the limit passes; the limit only
// keeps a broken test from hanging.
inline bool SpinUntil(const std::function<bool()>& done, int limitMs = 5000) {
    QDeadlineTimer deadline(limitMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
