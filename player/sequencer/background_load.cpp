#include "player/sequencer/background_load.h"

#include <algorithm>

#include "player/platform/priority.h"

namespace sonfara::sequencer {

BackgroundLoader::~BackgroundLoader() {
    alive_.reset();
    Cancel();
    for (Job& j : jobs_)
        if (j.thread.joinable()) j.thread.join();
}

void BackgroundLoader::Cancel() {
    ++current_;
    for (Job& j : jobs_) j.stale->store(true);
}

void BackgroundLoader::Start(const std::string& path, song::LoadOptions options, Done done,
                             Progress progress) {
    Cancel();
    const uint64_t id = ++nextId_;
    current_ = id;
    options.observers.clear();
    auto stale = std::make_shared<std::atomic<bool>>(false);
    std::weak_ptr<char> alive = alive_;
    // Worker thread: a post per hundredth read; false once the load is stale.
    options.progress = [this, alive, stale, progress, shown = -1](double fraction) mutable {
        const int percent = static_cast<int>(fraction * 100);
        if (progress && percent != shown) {
            shown = percent;
            ui_.Post([alive, stale, progress, fraction] {
                if (alive.lock() && !stale->load()) progress(fraction);
            });
        }
        return !stale->load();
    };
    Job job;
    job.id = id;
    job.stale = stale;
    job.thread = std::thread([this, id, alive, path, options, done = std::move(done)] {
        // The decoding threads inherit this: the windows stay quick meanwhile.
        platform::YieldToForeground();
        auto table = std::make_shared<song::SongTable>();
        song::LoadStatus result;
        try {
            result = song::LoadSMF(path, *table, options);
        } catch (const std::bad_alloc&) {
            result = song::LoadError::kOutOfMemory;
        }
        ui_.Post([this, id, alive, result, table, done] {
            if (alive.lock()) Arrived(id, result, *table, done);
        });
    });
    jobs_.push_back(std::move(job));
}

bool BackgroundLoader::Busy() const {
    return std::any_of(jobs_.begin(), jobs_.end(), [&](const Job& j) { return j.id == current_; });
}

void BackgroundLoader::Arrived(uint64_t id, const song::LoadStatus& result, song::SongTable& table,
                               const Done& done) {
    // The worker has posted its last word: joining it does not wait.
    const auto it =
        std::find_if(jobs_.begin(), jobs_.end(), [&](const Job& j) { return j.id == id; });
    if (it == jobs_.end()) return;
    it->thread.join();
    jobs_.erase(it);
    if (id == current_) done(result, table);
}

}  // namespace sonfara::sequencer
