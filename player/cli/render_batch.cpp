#include "player/cli/render_batch.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>

#include "player/cli/cli_common.h"
#include "player/files/paths.h"

namespace sonfara::cli {
namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

std::string StemOf(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// Names from archives may carry terminal escape sequences.
std::string Printable(std::string text) {
    for (char& c : text) {
        if (c == '\r') c = '\n';
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) c = '?';
    }
    return text;
}

// The one progress line on a terminal: songs done and the whole batch's
// percentage, or the one song's percentage and position.
class ProgressLine {
  public:
    ProgressLine(size_t songs, bool batch)
        : permille_(songs), batch_(batch), tty_(isatty(STDERR_FILENO)) {}

    // Worker threads.
    void Set(size_t song, const session::AudioExportProgress& p) {
        permille_[song].store(static_cast<int>(p.fraction * 1000), std::memory_order_relaxed);
        positionMs_.store(p.positionMs, std::memory_order_relaxed);
        totalMs_.store(p.totalMs, std::memory_order_relaxed);
    }

    // The main thread.
    void Finished(size_t song) {
        permille_[song].store(1000, std::memory_order_relaxed);
        ++done_;
    }
    // A message between redraws gets a line of its own.
    void Say(const std::string& text) {
        Clear();
        std::cerr << Printable(text) << "\n";
    }
    void Draw() {
        if (!tty_) return;
        const std::string text = batch_ ? BatchText() : SongText();
        if (text == shown_) return;
        shown_ = text;
        std::cerr << text << std::flush;
    }
    void Clear() {
        if (tty_ && !shown_.empty()) std::cerr << "\r\033[K";
        shown_.clear();
    }

  private:
    int Percent() const {
        long sum = 0;
        for (const auto& p : permille_) sum += p.load(std::memory_order_relaxed);
        return static_cast<int>(sum / 10 /
                                static_cast<long>(std::max<size_t>(1, permille_.size())));
    }
    std::string SongText() const {
        char line[96];
        std::snprintf(line, sizeof line, "\rrender: %3d%%  %s / %s", Percent(),
                      MinutesSeconds(positionMs_.load(std::memory_order_relaxed)).c_str(),
                      MinutesSeconds(totalMs_.load(std::memory_order_relaxed)).c_str());
        return line;
    }
    std::string BatchText() const {
        const int pct = Percent();
        const int filled = pct * kBarWidth / 100;
        return "\r\033[K[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') +
               "] " + std::to_string(pct) + "%  " + std::to_string(done_) + "/" +
               std::to_string(permille_.size());
    }

    std::vector<std::atomic<int>> permille_;
    std::atomic<int32_t> positionMs_{0}, totalMs_{0};
    size_t done_ = 0;
    bool batch_, tty_;
    std::string shown_;
};

// What the workers hand to the main thread.
struct Mailbox {
    std::mutex mu;
    std::condition_variable cv;
    std::deque<std::pair<size_t, session::AudioExportResult>> finished;
    int running = 0;  // workers still working
};

void Work(const std::vector<RenderTask>& tasks, const session::AudioExportRequest& proto,
          std::atomic<size_t>& next, const std::atomic<bool>& cancel, ProgressLine& line,
          Mailbox& box) {
    for (size_t i; !cancel.load() && (i = next.fetch_add(1)) < tasks.size();) {
        session::AudioExportRequest r = proto;
        r.song = tasks[i].song;
        r.outputPath = tasks[i].output;
        session::AudioExportResult result = session::RunAudioExport(
            r, [&line, i](const session::AudioExportProgress& p) { line.Set(i, p); }, cancel);
        std::lock_guard lk(box.mu);
        box.finished.emplace_back(i, std::move(result));
        box.cv.notify_one();
    }
    std::lock_guard lk(box.mu);
    --box.running;
    box.cv.notify_one();
}

void Tell(const RenderTask& task, const session::AudioExportResult& r, int rate, bool batch,
          ProgressLine& line, RenderOutcome& outcome) {
    for (const std::string& notice : r.notices)
        line.Say(std::string(files::kCaption) + ": " + platform::Localized(notice));
    if (r.status == session::AudioExportResult::Status::kFailed) {
        ++outcome.failed;
        line.Say(platform::Localized(r.error));
    } else if (r.status == session::AudioExportResult::Status::kRefused) {
        ++outcome.refused;
        line.Say("sonfara-cli render: " + (batch ? task.song.FileName + ": " : "") +
                 platform::Localized(r.error));
    } else if (r.status == session::AudioExportResult::Status::kDone) {
        ++outcome.rendered;
        char text[64];
        std::snprintf(text, sizeof text, ": %.1f s of audio (%d Hz, ",
                      static_cast<double>(r.frames) / rate, rate);
        line.Say(task.output + text + r.soundFont + ")");
    }
}

// The main thread's part: outcomes told as they come, the line redrawn,
// a raised `stop` passed on to the jobs.
RenderOutcome Supervise(const std::vector<RenderTask>& tasks, int rate, bool batch,
                        ProgressLine& line, Mailbox& box, std::atomic<bool>& cancel,
                        const std::atomic<int>& stop) {
    RenderOutcome outcome;
    std::unique_lock lk(box.mu);
    while (box.running > 0 || !box.finished.empty()) {
        box.cv.wait_for(lk, kRedrawEvery,
                        [&] { return !box.finished.empty() || box.running == 0; });
        while (!box.finished.empty()) {
            auto [song, result] = std::move(box.finished.front());
            box.finished.pop_front();
            lk.unlock();
            line.Finished(song);
            Tell(tasks[song], result, rate, batch, line, outcome);
            lk.lock();
        }
        if (stop.load()) cancel.store(true);
        line.Draw();
    }
    line.Clear();
    outcome.stopped = stop.load() != 0;
    return outcome;
}

}  // namespace

std::vector<std::string> OutputPaths(const std::vector<files::FileEntry>& songs,
                                     const std::string& folder, const std::string& extension) {
    std::set<std::string> used;
    std::vector<std::string> paths;
    for (const files::FileEntry& song : songs) {
        const std::string name = files::PathFileName(song.FileName);
        const std::string stem = StemOf(name);
        std::string target = stem + "." + extension;
        if (used.count(files::Upper(target))) target = name + "." + extension;
        for (int k = 2; used.count(files::Upper(target)); ++k)
            target = stem + "-" + std::to_string(k) + "." + extension;
        used.insert(files::Upper(target));
        paths.push_back(platform::JoinPath(folder, target));
    }
    return paths;
}

RenderOutcome RenderAll(const std::vector<RenderTask>& tasks,
                        const session::AudioExportRequest& proto, int jobs, bool batch,
                        const std::atomic<int>& stop) {
    ProgressLine line(tasks.size(), batch);
    Mailbox box;
    std::atomic<size_t> next{0};
    std::atomic<bool> cancel{false};
    const int workers = std::clamp(jobs, 1, static_cast<int>(std::max<size_t>(1, tasks.size())));
    box.running = workers;
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w)
        threads.emplace_back(Work, std::cref(tasks), std::cref(proto), std::ref(next),
                             std::cref(cancel), std::ref(line), std::ref(box));
    RenderOutcome outcome = Supervise(tasks, proto.sampleRate, batch, line, box, cancel, stop);
    for (std::thread& t : threads) t.join();
    return outcome;
}

}  // namespace sonfara::cli
