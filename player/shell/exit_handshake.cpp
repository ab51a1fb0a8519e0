#include "player/shell/exit_handshake.h"

namespace sonfara::shell {

ExitHandshake::ExitHandshake(std::function<bool()> drawThreadDone)
    : drawThreadDone_(std::move(drawThreadDone)) {
    stopped_.fill(true);
}

void ExitHandshake::BeginStop() {
    stopped_.fill(true);  // an index no timer carries never holds the exit
    for (IndexedTimer* t : timers_) {
        const bool stopDirectly =
            t->Index() == kDotPicture ||
            (t->Index() == kDisplayDraw && t->IntervalMs() > kLongDrawIntervalMs);
        if (stopDirectly) t->Stop();
        stopped_.at(t->Index() - 1) = !t->Enabled();
    }
    stopTimers_ = true;
}

bool ExitHandshake::TimerStopped(int index) const {
    return stopped_.at(index - 1);
}

bool ExitHandshake::Complete() const {
    for (int i = 1; i <= kSlots; ++i)
        if (!TimerStopped(i)) return false;
    return drawThreadDone_();
}

bool ExitHandshake::PollEnd() {
    if (!Complete()) return false;
    stopTimers_ = false;
    return true;
}

IndexedTimer::IndexedTimer(ExitHandshake& handshake, int index, int intervalMs,
                           std::function<void()> work, bool quitsOnShutdown, QObject* parent)
    : QObject(parent),
      handshake_(handshake),
      index_(index),
      quitsOnShutdown_(quitsOnShutdown),
      work_(std::move(work)) {
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, &IndexedTimer::Tick);
    handshake_.Register(this);
}

void IndexedTimer::Tick() {
    if (handshake_.StopTimers()) {
        timer_.stop();
        handshake_.Acknowledge(index_);
        return;
    }
    if (quitsOnShutdown_ && handshake_.ShuttingDown()) {
        timer_.stop();
        return;
    }
    if (work_) work_();
}

}  // namespace sonfara::shell
