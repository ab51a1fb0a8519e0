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

namespace sonfara::sequencer {

class BackgroundLoader {
  public:
    // On the UI thread, with the read table (ok or not).
    using Done = std::function<void(const song::LoadStatus&, song::SongTable&)>;
    // On the UI thread, with the fraction read (0..1), once per hundredth.
    using Progress = std::function<void(double)>;

    explicit BackgroundLoader(UiScheduler& ui) : ui_(ui) {}
    // Waits for the workers still reading.
    ~BackgroundLoader();
    BackgroundLoader(const BackgroundLoader&) = delete;
    BackgroundLoader& operator=(const BackgroundLoader&) = delete;

    // Reads `path` with `options` (its observers are not told: the worker
    // must not call into the windows). A stale load stops reading.
    void Start(const std::string& path, song::LoadOptions options, Done done,
               Progress progress = {});
    void Cancel();
    // A load whose result is still awaited.
    bool Busy() const;

  private:
    struct Job {
        uint64_t id = 0;
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> stale;  // read by the worker's progress
    };
    void Arrived(uint64_t id, const song::LoadStatus& result, song::SongTable& table,
                 const Done& done);

    UiScheduler& ui_;
    uint64_t current_ = 0;  // the id of the load whose result counts
    uint64_t nextId_ = 0;
    std::vector<Job> jobs_;
    // Expires with the loader: results posted after its end are dropped.
    std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace sonfara::sequencer
