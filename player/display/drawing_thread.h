// The drawing thread: one loop that runs a drawing pass, then waits the
// graphics interval (re-read before every wait), until asked to stop.
#pragma once

#include <QImage>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "player/display/pass_stats.h"

namespace sonfara::display {

class DrawingThread {
  public:
    // pass runs on the drawing thread, once per interval.
    explicit DrawingThread(std::function<void()> pass, int intervalMs = 50);
    ~DrawingThread();  // Stop()
    DrawingThread(const DrawingThread&) = delete;
    DrawingThread& operator=(const DrawingThread&) = delete;

    // Starts the loop once; later calls do nothing. False when the thread
    // could not be created (then Done() is true and Stop() returns at once).
    bool Start();
    // Any thread; takes effect at the next wait.
    void SetIntervalMs(int ms);
    int IntervalMs() const { return intervalMs_.load(std::memory_order_relaxed); }

    // DrawThreadStop: ask the loop to end; wakes a wait at once, however
    // long the interval.
    void RequestStop();
    // DrawThreadDone: the loop has ended, or never ran.
    bool Done() const { return done_.load(std::memory_order_acquire); }
    // Requests the stop and waits for the current pass to finish.
    void Stop();
    int Passes() const { return passes_.load(std::memory_order_relaxed); }
    // Each pass's wall time and the thread's processor time in it, in µs.
    const PassStats& PassWallTimes() const { return wallUs_; }
    const PassStats& PassCpuTimes() const { return cpuUs_; }

  private:
    void Loop();
    void TimedPass();

    std::function<void()> pass_;
    std::atomic<int> intervalMs_;
    std::atomic<int> passes_{0};
    PassStats wallUs_, cpuUs_;  // written by the drawing thread only
    std::atomic<bool> done_{true};
    std::mutex mu_;
    std::condition_variable cv_;
    bool stop_ = false;  // DrawThreadStop, under mu_
    std::thread thread_;
};

// A finished image handed from the drawing thread to the UI thread: the
// newest one wins, older ones are dropped. Any thread.
class FrameMailbox {
  public:
    // `changed`: the part of the image that differs from the one before.
    void Publish(const QImage& image, const QRect& changed);
    // The newest image if one arrived since the last take, and the part
    // changed since then (the union over every dropped image too).
    bool Take(QImage* out, QRect* changed = nullptr);

  private:
    std::mutex mu_;
    QImage image_;
    QRect changed_;
    bool fresh_ = false;
};

}  // namespace sonfara::display
