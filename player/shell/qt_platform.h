// The engine's platform hooks in Qt terms: the UI queue and the message box.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <string>

#include "player/files/file_entry.h"
#include "player/sequencer/transport_interfaces.h"

namespace sonfara::shell {

// Posts onto the event loop of `context`'s thread (any thread may post).
// Actions still queued when the context is gone are dropped.
class QtUiScheduler final : public UiScheduler {
  public:
    explicit QtUiScheduler(QObject* context) : context_(context) {}
    void Post(std::function<void()> action) override;

  private:
    QObject* context_;
};

// Messages as the desktop shows them: a "Sonfara" box with a stop or an
// information icon. UI thread. `quiet` (tests, benchmarks) writes them to
// standard error instead.
class MessageBoxNotifier final : public files::Notifier {
  public:
    void Error(const std::string& text) override;
    void Info(const std::string& text) override;
    void SetQuiet(bool quiet) { quiet_ = quiet; }

  private:
    bool quiet_ = false;
};

}  // namespace sonfara::shell
