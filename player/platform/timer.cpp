#include "player/platform/timer.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

namespace sonfara::platform {

namespace {

// Earliest moment a timer wants to run.
template <class T>
int64_t DueOf(const T& t) {
    return t.wakeUs != kNoWake ? std::min(t.wakeUs, t.nextUs) : t.nextUs;
}

// After a tick: the periodic deadline moves on by one period (a late tick
// pushes it back instead of firing a burst), and an early wake is kept only
// when it lies before that deadline.
template <class T>
void Reschedule(T& t, bool periodic, int64_t wake, int64_t now) {
    if (periodic) {
        t.nextUs += t.periodUs;
        if (t.nextUs < now) t.nextUs = now;
    }
    // A wake already in the past would spin; give the clock a moment.
    if (wake != kNoWake && wake <= now) wake = now + 50;
    t.wakeUs = (wake != kNoWake && wake < t.nextUs) ? wake : kNoWake;
}

bool RaiseThreadPriority() {
    sched_param sp{};
    sp.sched_priority = std::min(10, sched_get_priority_max(SCHED_FIFO));
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &sp) == 0) return true;
    // No real-time class: a better nice value still helps on a busy machine.
    pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
    return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), -10) == 0;
}

}  // namespace

ThreadTimerService::ThreadTimerService() = default;

ThreadTimerService::~ThreadTimerService() {
    {
        std::lock_guard lk(mu_);
        quit_ = true;
        timers_.clear();
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

bool ThreadTimerService::RaisedPriority() const {
    std::lock_guard lk(mu_);
    return raised_;
}

bool ThreadTimerService::OnWorker() const {
    return std::this_thread::get_id() == workerId_;
}

uint32_t ThreadTimerService::Create(int periodMs, int resolutionMs, TimerCallback cb) {
    if (periodMs < 1 || !cb) return 0;
    std::unique_lock lk(mu_);
    if (quit_) return 0;
    if (!worker_.joinable()) {
        try {
            worker_ = std::thread([this] { Run(); });
            workerId_ = worker_.get_id();
        } catch (...) {
            return 0;
        }
    }
    uint32_t id = ++lastId_;
    if (id == 0) id = ++lastId_;
    Timer t;
    t.periodUs = int64_t{periodMs} * 1000;
    t.nextUs = SteadyClock::Instance().NowUs() + t.periodUs;
    t.cb = std::make_shared<TimerCallback>(std::move(cb));
    timers_[id] = std::move(t);
    lk.unlock();
    wake_.notify_all();
    return id;
}

void ThreadTimerService::Kill(uint32_t id) {
    std::unique_lock lk(mu_);
    timers_.erase(id);
    if (OnWorker()) return;  // the tick itself: it finishes, none follows
    done_.wait(lk, [&] { return running_ != id; });
}

void ThreadTimerService::Run() {
    // Timer slack makes sleeps end up to 50 µs late by default.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    bool raised = RaiseThreadPriority();
    const SteadyClock& clock = SteadyClock::Instance();
    std::unique_lock lk(mu_);
    raised_ = raised;
    while (!quit_) {
        if (timers_.empty()) {
            wake_.wait(lk);
            continue;
        }
        auto it = std::min_element(
            timers_.begin(), timers_.end(),
            [](const auto& a, const auto& b) { return DueOf(a.second) < DueOf(b.second); });
        int64_t due = DueOf(it->second);
        int64_t now = clock.NowUs();
        if (due > now) {
            wake_.wait_until(lk, SteadyClock::ToTimePoint(due));
            continue;  // timers may have changed meanwhile
        }
        uint32_t id = it->first;
        bool periodic = it->second.nextUs <= now;
        auto cb = it->second.cb;
        running_ = id;
        lk.unlock();
        int64_t wake = (*cb)();
        lk.lock();
        running_ = 0;
        done_.notify_all();
        auto again = timers_.find(id);
        if (again != timers_.end()) Reschedule(again->second, periodic, wake, clock.NowUs());
    }
}

uint32_t ManualTimerService::Create(int periodMs, int resolutionMs, TimerCallback cb) {
    if (periodMs < 1 || !cb) return 0;
    uint32_t id = ++lastId_;
    Timer t;
    t.periodUs = int64_t{periodMs} * 1000;
    t.nextUs = clock_.NowUs() + t.periodUs;
    t.cb = std::make_shared<TimerCallback>(std::move(cb));
    timers_[id] = std::move(t);
    ++created_;
    return id;
}

void ManualTimerService::Kill(uint32_t id) {
    timers_.erase(id);
}

int64_t ManualTimerService::NextDueUs() const {
    int64_t best = kNoWake;
    for (const auto& [id, t] : timers_) {
        int64_t d = honourWakes_ ? DueOf(t) : t.nextUs;
        if (best == kNoWake || d < best) best = d;
    }
    return best;
}

bool ManualTimerService::FireNext(int64_t targetUs) {
    uint32_t id = 0;
    int64_t best = 0;
    for (const auto& [tid, t] : timers_) {
        int64_t d = honourWakes_ ? DueOf(t) : t.nextUs;
        if (id == 0 || d < best) {
            id = tid;
            best = d;
        }
    }
    if (id == 0 || best > targetUs) return false;
    if (best > clock_.NowUs()) clock_.SetUs(best);
    int64_t now = clock_.NowUs();
    auto cb = timers_[id].cb;
    bool periodic = timers_[id].nextUs <= now;
    int64_t wake = (*cb)();
    auto it = timers_.find(id);
    if (it != timers_.end()) Reschedule(it->second, periodic, honourWakes_ ? wake : kNoWake, now);
    return true;
}

void ManualTimerService::RunUntilUs(int64_t targetUs) {
    while (FireNext(targetUs)) {
    }
    if (clock_.NowUs() < targetUs) clock_.SetUs(targetUs);
}

}  // namespace sonfara::platform
