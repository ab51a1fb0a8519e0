#include "player/display/drawing_thread.h"

#include <chrono>
#include <ctime>
#include <system_error>

namespace sonfara::display {

DrawingThread::DrawingThread(std::function<void()> pass, int intervalMs)
    : pass_(std::move(pass)), intervalMs_(intervalMs) {}

DrawingThread::~DrawingThread() {
    Stop();
}

bool DrawingThread::Start() {
    if (thread_.joinable()) return true;
    {
        std::lock_guard lock(mu_);
        if (stop_) return false;
    }
    done_.store(false, std::memory_order_release);
    try {
        thread_ = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
        done_.store(true, std::memory_order_release);
        return false;
    }
    return true;
}

void DrawingThread::SetIntervalMs(int ms) {
    intervalMs_.store(ms > 0 ? ms : 1, std::memory_order_relaxed);
    cv_.notify_all();  // a long wait picks up the new interval now
}

namespace {

// The calling thread's processor time: on a shared machine a pass's wall
// time also counts the waits for a core.
uint64_t ThreadCpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1'000'000 + static_cast<uint64_t>(ts.tv_nsec) / 1000;
}

}  // namespace

void DrawingThread::TimedPass() {
    using std::chrono::steady_clock;
    const auto wall0 = steady_clock::now();
    const uint64_t cpu0 = ThreadCpuUs();
    pass_();
    const uint64_t cpu1 = ThreadCpuUs();
    const auto wall =
        std::chrono::duration_cast<std::chrono::microseconds>(steady_clock::now() - wall0);
    wallUs_.Record(static_cast<uint64_t>(wall.count()));
    cpuUs_.Record(cpu1 - cpu0);
}

void DrawingThread::Loop() {
    std::unique_lock lock(mu_);
    while (!stop_) {
        lock.unlock();
        TimedPass();
        passes_.fetch_add(1, std::memory_order_relaxed);
        lock.lock();
        // Woken early by a stop, or by a new interval: then the new one
        // counts from the same start.
        const auto start = std::chrono::steady_clock::now();
        int ms = intervalMs_.load(std::memory_order_relaxed);
        while (!stop_ && cv_.wait_until(lock, start + std::chrono::milliseconds(ms)) ==
                             std::cv_status::no_timeout)
            ms = intervalMs_.load(std::memory_order_relaxed);
    }
    done_.store(true, std::memory_order_release);
}

void DrawingThread::RequestStop() {
    {
        std::lock_guard lock(mu_);
        stop_ = true;
    }
    cv_.notify_all();
}

void DrawingThread::Stop() {
    RequestStop();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void FrameMailbox::Publish(const QImage& image, const QRect& changed) {
    std::lock_guard lock(mu_);
    image_ = image;
    changed_ |= changed;
    fresh_ = true;
}

bool FrameMailbox::Take(QImage* out, QRect* changed) {
    std::lock_guard lock(mu_);
    if (!fresh_) return false;
    *out = image_;
    if (changed) *changed = changed_;
    changed_ = QRect();
    fresh_ = false;
    return true;
}

}  // namespace sonfara::display
