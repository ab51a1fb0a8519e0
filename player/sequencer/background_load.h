// A song read on a worker thread into a table of its own and handed back on
// the UI thread, so a very large file does not freeze the windows. A newer
// load, Cancel or the loader's end makes a running load stale: its result
// is dropped when it arrives.
//
// Threads: every member function on the UI thread; the reading on a
// worker thread per load; results arrive through the UiScheduler.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "player/sequencer/transport_interfaces.h"
#include "player/song/smf_reader.h"

namespace sonfara {

class BackgroundLoader {
  public:
    // On the UI thread, with the read table (ok or not).
    using Done = std::function<void(const LoadResult&, SongTable&)>;

    explicit BackgroundLoader(UiScheduler& ui) : ui_(ui) {}
    // Waits for the workers still reading.
    ~BackgroundLoader();
    BackgroundLoader(const BackgroundLoader&) = delete;
    BackgroundLoader& operator=(const BackgroundLoader&) = delete;

    // Reads `path` with `options` (its observers are not told: the worker
    // must not call into the windows).
    void Start(const std::string& path, LoadOptions options, Done done);
    void Cancel() { ++current_; }
    // A load whose result is still awaited.
    bool Busy() const;

  private:
    struct Job {
        uint64_t id = 0;
        std::thread thread;
    };
    void Arrived(uint64_t id, const LoadResult& result, SongTable& table, const Done& done);

    UiScheduler& ui_;
    uint64_t current_ = 0;  // the id of the load whose result counts
    uint64_t nextId_ = 0;
    std::vector<Job> jobs_;
    // Expires with the loader: results posted after its end are dropped.
    std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace sonfara
