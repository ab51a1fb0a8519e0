// The engine's platform hooks in Qt terms: the UI queue, the message boxes
// and the queue of requests that arrive while a modal dialog runs.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <deque>
#include <functional>
#include <string>

#include "player/files/file_entry.h"
#include "player/sequencer/transport_interfaces.h"

namespace sonfara::shell {

// Posts onto the event loop of `context`'s thread (any thread may post).
// Actions still queued when the context is gone are dropped.
class QtUiScheduler final : public sequencer::UiScheduler {
  public:
    explicit QtUiScheduler(QObject* context) : context_(context) {}
    void Post(std::function<void()> action) override;

  private:
    QObject* context_;
};

// Messages as the desktop shows them: "Sonfara" boxes with a stop or an
// information icon. A message raised inside an operation is only collected;
// the boxes open (open(), never exec()) from the event loop once the
// operation has returned, one box per message, one after the other. No
// nested event loop runs, so nothing can re-enter the operation. UI thread.
// `quiet` (tests, benchmarks) writes them to standard error instead.
class MessageBoxNotifier final : public QObject, public files::Notifier {
    Q_OBJECT
  public:
    MessageBoxNotifier();
    ~MessageBoxNotifier() override;
    void Error(const std::string& text) override;
    void Info(const std::string& text) override;
    void SetQuiet(bool quiet) { quiet_ = quiet; }
    // The window the boxes belong to (they stay in front of it).
    void SetOwner(QWidget* owner) { owner_ = owner; }

    // Every message raised so far, and the text of the latest (a caller
    // that must answer someone with the failure reads them around a call).
    quint64 Raised() const { return raised_; }
    const std::string& LastText() const { return lastText_; }
    // The box on screen, if any.
    QMessageBox* Showing() const { return showing_; }
    bool Idle() const { return !showing_ && pending_.empty(); }
    // The program closes: the box on screen goes, nothing more opens.
    void CloseAll();

  signals:
    // The last box was closed and nothing more waits.
    void drained();

  private:
    struct Pending {
        bool error;
        std::string text;
    };
    void Add(bool error, const std::string& text);
    void ShowNext();

    std::deque<Pending> pending_;
    QPointer<QMessageBox> showing_;
    QPointer<QWidget> owner_;
    std::string lastText_;
    quint64 raised_ = 0;
    bool quiet_ = false;
    bool scheduled_ = false;
};

// Requests from outside the windows (a second start's hand-off, desktop
// media controls) run at once, unless a modal dialog's event loop is
// running: then they wait, in order, until the last dialog has returned,
// so no request runs inside the operation that opened the dialog. UI thread.
class RequestQueue {
  public:
    // While one lives, requests wait.
    class Hold {
      public:
        explicit Hold(RequestQueue& q) : q_(q) { q_.HoldBack(); }
        ~Hold() { q_.Release(); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

      private:
        RequestQueue& q_;
    };

    explicit RequestQueue(QObject* context) : context_(context) {}
    void Run(std::function<void()> request);
    // The same as a Hold's life, for a dialog that opens and closes in
    // two calls; every HoldBack is followed by one Release.
    void HoldBack() { ++holds_; }
    void Release();
    size_t Waiting() const { return waiting_.size(); }

  private:
    void Drain();

    QObject* context_;
    std::deque<std::function<void()>> waiting_;
    int holds_ = 0;
    bool draining_ = false;
};

}  // namespace sonfara::shell
