// Scanning the library's folders: every song below them (also inside LHA
// and ZIP archives) read with the player's loader on worker threads, one
// song per core, into the store. Incremental: a file whose size and time
// are as stored is not read again, a file that is gone loses its rows, and
// a folder that is not there (an unmounted disk) keeps its rows, marked
// missing, until it is back or removed.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "player/library/library_store.h"
#include "player/platform/codepage.h"

namespace sonfara::library {

struct ScanProgress {
    size_t done = 0;   // files read so far
    size_t total = 0;  // files to read (known once the folders are walked)
    bool walking = false;
};

struct ScanOptions {
    int jobs = 0;                                  // worker threads; 0: one per core
    const platform::CodePage* codePage = nullptr;  // nullptr: SystemCodePage()
    // Called on the scanning thread, at most about every 50 ms and at the end.
    std::function<void(const ScanProgress&)> progress;
    // Set from any thread to stop; what was read so far is kept.
    const std::atomic<bool>* cancel = nullptr;
};

struct ScanSummary {
    size_t files = 0;    // song files and archives found
    size_t read = 0;     // of them read (new or changed)
    size_t songs = 0;    // rows written
    size_t failed = 0;   // songs that could not be loaded (kept with their message)
    size_t removed = 0;  // files gone since the last scan
    std::vector<std::string> missingFolders;
};

// Runs a scan on the calling thread (the workers are its own). Only one
// scan of a database runs at a time, across processes: another one gets
// kScanRunning at once. A cancelled scan is kCancelled. A database found
// damaged is set aside and the scan starts over on a new one (the status
// is then kDamaged, naming the old file, with the scan done).
LibraryStatus ScanLibrary(LibraryStore& store, const ScanOptions& options, ScanSummary& summary);

// The process-wide and cross-process scan lock on a database path.
class ScanLock {
  public:
    explicit ScanLock(const std::string& databasePath);
    ~ScanLock();
    ScanLock(const ScanLock&) = delete;
    ScanLock& operator=(const ScanLock&) = delete;
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace sonfara::library
