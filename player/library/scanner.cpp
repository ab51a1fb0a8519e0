#include "player/library/scanner.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "player/files/archive.h"
#include "player/files/paths.h"
#include "player/library/messages.h"
#include "player/platform/user_files.h"
#include "player/song/smf_reader.h"

namespace sonfara::library {
namespace {

namespace fs = std::filesystem;

constexpr size_t kFilesPerTransaction = 256;
constexpr auto kProgressEvery = std::chrono::milliseconds(50);

struct ScanFile {
    std::string path;
    std::string rel;  // below its folder
    int64_t folderId = 0;
    FileStamp stamp;
    bool archive = false;
};

// Lower-case names of the documents and scripts found, for the songs
// beside them.
using Companions = std::set<std::string>;

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string WithTail(const std::string& path, const char* ext) {
    return path.size() < 3 ? path : Lower(path.substr(0, path.size() - 3)) + ext;
}

bool IsCompanionName(const std::string& lowerName) {
    const std::string tail = lowerName.size() >= 4 ? lowerName.substr(lowerName.size() - 4) : "";
    return tail == ".wrd" || tail == ".txt" || tail == ".doc";
}

// Walks one folder; false when it is not there.
bool WalkFolder(const LibraryFolder& folder, std::set<std::string>& seen,
                std::vector<ScanFile>& out, Companions& companions) {
    std::error_code ec;
    if (!fs::is_directory(folder.path, ec)) return false;
    const auto opts = fs::directory_options::skip_permission_denied;
    for (fs::recursive_directory_iterator it(folder.path, opts, ec), end; !ec && it != end;
         it.increment(ec)) {
        const fs::directory_entry& e = *it;
        if (!e.is_regular_file(ec)) continue;
        std::string path = e.path().string();
        const std::string name = e.path().filename().string();
        const std::string lower = Lower(name);
        if (IsCompanionName(lower)) {
            companions.insert(Lower(path));
            continue;
        }
        const bool archive = files::ArchiveKindOf(path) != files::ArchiveKind::kNone;
        if (!archive && !IsLibrarySong(name)) continue;
        if (!seen.insert(path).second) continue;  // under two added folders
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) continue;
        ScanFile f;
        f.rel = path.size() > folder.path.size() ? path.substr(folder.path.size() + 1) : name;
        f.path = std::move(path);
        f.folderId = folder.id;
        f.stamp = {static_cast<int64_t>(st.st_size), static_cast<int64_t>(st.st_mtime)};
        f.archive = archive;
        out.push_back(std::move(f));
    }
    return true;
}

struct FileResult {
    size_t index = 0;
    std::vector<SongRecord> songs;
};

std::vector<SongRecord> ReadFile(const ScanFile& f, const Companions& companions,
                                 const platform::CodePage& cp) {
    std::vector<SongRecord> out;
    auto base = [&f](std::string member) {
        SongRecord r;
        r.path = f.path;
        r.member = std::move(member);
        r.size = f.stamp.size;
        r.mtime = f.stamp.mtime;
        return r;
    };
    if (!f.archive) {
        SongRecord r = base({});
        std::string bytes;
        if (platform::ReadWholeFile(f.path, bytes, song::kMaxSmfFileBytes) !=
            platform::ReadStatus::kOk) {
            r.error = platform::Localized(msg::kCannotReadFile);
        } else {
            DescribeSongBytes({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()},
                              f.path, cp, r);
        }
        r.hasWrd = companions.count(WithTail(f.path, "wrd")) > 0;
        r.hasDoc =
            companions.count(WithTail(f.path, "txt")) + companions.count(WithTail(f.path, "doc")) >
            0;
        if (r.title.empty()) r.title = files::PathFileName(f.path);
        out.push_back(std::move(r));
        return out;
    }
    const files::ArchiveListing listing =
        files::ReadArchiveSongs(f.path, [&](const std::string& name, const std::string* bytes) {
            SongRecord r = base(name);
            if (!bytes)
                r.error = platform::Localized(msg::kCannotExtract);
            else
                DescribeSongBytes({reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()},
                                  name, cp, r);
            if (r.title.empty()) r.title = files::PathFileName(name);
            out.push_back(std::move(r));
        });
    std::set<std::string> names;
    for (const std::string& n : listing.names) names.insert(Lower(n));
    for (SongRecord& r : out) {
        r.hasWrd = names.count(WithTail(r.member, "wrd")) > 0;
        r.hasDoc =
            names.count(WithTail(r.member, "txt")) + names.count(WithTail(r.member, "doc")) > 0;
    }
    if (out.empty() && !listing.complete) {
        SongRecord r = base({});
        r.title = files::PathFileName(f.path);
        r.error = platform::Localized(files::msg::kArchiveDamaged) + f.path;
        out.push_back(std::move(r));
    }
    return out;
}

// Reads the files on `jobs` threads and hands each result to `write` on the
// calling thread, as they come.
class ReadPool {
  public:
    ReadPool(const std::vector<ScanFile>& files, const Companions& companions,
             const platform::CodePage& cp, const std::atomic<bool>* cancel, int jobs)
        : files_(files), companions_(companions), cp_(cp), cancel_(cancel) {
        for (int i = 0; i < jobs; ++i) threads_.emplace_back([this] { Work(); });
    }
    ~ReadPool() {
        stop_ = true;
        for (std::thread& t : threads_) t.join();
    }
    // The next result; false when all are done (or the scan is stopped).
    bool Next(FileResult& r, std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, wait,
                        [&] { return !results_.empty() || finished_ == threads_.size(); });
        if (results_.empty()) return finished_ < threads_.size();
        r = std::move(results_.front());
        results_.pop_front();
        return true;
    }
    bool Finished() {
        std::lock_guard lock(mutex_);
        return results_.empty() && finished_ == threads_.size();
    }

  private:
    bool Stopped() const { return stop_ || (cancel_ && cancel_->load()); }
    void Work() {
        for (;;) {
            const size_t i = next_.fetch_add(1);
            if (i >= files_.size() || Stopped()) break;
            FileResult r{i, ReadFile(files_[i], companions_, cp_)};
            std::lock_guard lock(mutex_);
            results_.push_back(std::move(r));
            ready_.notify_one();
        }
        std::lock_guard lock(mutex_);
        ++finished_;
        ready_.notify_one();
    }

    const std::vector<ScanFile>& files_;
    const Companions& companions_;
    const platform::CodePage& cp_;
    const std::atomic<bool>* cancel_;
    std::atomic<size_t> next_{0};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<FileResult> results_;
    size_t finished_ = 0;
    std::vector<std::thread> threads_;
};

bool Cancelled(const ScanOptions& o) {
    return o.cancel && o.cancel->load();
}

// Walks the folders, drops the rows of files that are gone and lists the
// files to read.
LibraryStatus Plan(LibraryStore& store, ScanSummary& summary, std::vector<ScanFile>& toRead,
                   Companions& companions) {
    std::set<std::string> seen;
    LibraryStatus s = store.Begin();
    if (!s.ok()) return s;
    for (const LibraryFolder& folder : store.Folders()) {
        std::vector<ScanFile> found;
        const bool present = WalkFolder(folder, seen, found, companions);
        if (present != !folder.missing) s = store.SetFolderMissing(folder.id, !present);
        if (!s.ok()) return s;
        if (!present) {
            summary.missingFolders.push_back(folder.path);
            continue;
        }
        std::map<std::string, FileStamp> known = store.KnownFiles(folder.id);
        summary.files += found.size();
        for (ScanFile& f : found) {
            // A script or document put beside a song reads the song again.
            if (!f.archive) {
                f.stamp.wrd = companions.count(WithTail(f.path, "wrd")) > 0;
                f.stamp.doc = companions.count(WithTail(f.path, "txt")) +
                                  companions.count(WithTail(f.path, "doc")) >
                              0;
            }
            auto it = known.find(f.path);
            const bool same = it != known.end() && it->second == f.stamp;
            if (it != known.end()) known.erase(it);
            if (!same) toRead.push_back(std::move(f));
        }
        for (const auto& [path, stamp] : known) {
            if (!(s = store.RemoveFile(path)).ok()) return s;
            ++summary.removed;
        }
    }
    return store.Commit();
}

LibraryStatus WriteResults(LibraryStore& store, const std::vector<ScanFile>& toRead,
                           const Companions& companions, const ScanOptions& o,
                           ScanSummary& summary) {
    const platform::CodePage& cp = o.codePage ? *o.codePage : platform::SystemCodePage();
    int jobs = o.jobs > 0 ? o.jobs : static_cast<int>(std::thread::hardware_concurrency());
    jobs = std::clamp(jobs, 1, 64);
    ScanProgress progress{0, toRead.size(), false};
    auto lastReport = std::chrono::steady_clock::now();
    ReadPool pool(toRead, companions, cp, o.cancel, jobs);
    LibraryStatus s = store.Begin();
    size_t inTransaction = 0;
    constexpr size_t kNone = static_cast<size_t>(-1);
    FileResult r{kNone, {}};
    while (s.ok() && pool.Next(r, kProgressEvery)) {
        if (r.index != kNone) {
            const ScanFile& f = toRead[r.index];
            if (!(s = store.RemoveFile(f.path)).ok()) break;
            for (const SongRecord& song : r.songs) {
                const std::string rel = song.member.empty() ? f.rel : f.rel + "/" + song.member;
                if (!(s = store.Insert(song, f.folderId, rel)).ok()) break;
                ++summary.songs;
                summary.failed += song.Failed();
            }
            ++summary.read;
            ++progress.done;
            r = {kNone, {}};
            ++inTransaction;
        }
        if (inTransaction >= kFilesPerTransaction) {
            if (!(s = store.Commit()).ok() || !(s = store.Begin()).ok()) break;
            inTransaction = 0;
        }
        const auto now = std::chrono::steady_clock::now();
        if (o.progress && now - lastReport >= kProgressEvery) {
            o.progress(progress);
            lastReport = now;
        }
    }
    if (s.ok()) s = store.Commit();
    if (o.progress) o.progress(progress);
    return s;
}

LibraryStatus ScanOnce(LibraryStore& store, const ScanOptions& o, ScanSummary& summary) {
    summary = ScanSummary{};
    if (o.progress) o.progress({0, 0, true});
    std::vector<ScanFile> toRead;
    Companions companions;
    LibraryStatus s = Plan(store, summary, toRead, companions);
    if (!s.ok()) return s;
    s = WriteResults(store, toRead, companions, o, summary);
    if (s.ok() && Cancelled(o)) return LibraryError::kCancelled;
    return s;
}

}  // namespace

ScanLock::ScanLock(const std::string& databasePath) {
    const std::string lock = databasePath + ".lock";
    fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

ScanLock::~ScanLock() {
    if (fd_ >= 0) ::close(fd_);
}

LibraryStatus ScanLibrary(LibraryStore& store, const ScanOptions& o, ScanSummary& summary) {
    if (!store.IsOpen()) return store.LastError();
    ScanLock lock(store.Path());
    if (!lock.Held()) return LibraryError::kScanRunning;
    LibraryStatus s = ScanOnce(store, o, summary);
    if (s.code() != LibraryError::kDamaged) return s;
    // Damage found on the way: a new database, read from scratch.
    LibraryStatus aside = store.Rebuild();
    if (aside.code() != LibraryError::kDamaged) return aside;
    s = ScanOnce(store, o, summary);
    return s.ok() ? aside : s;
}

}  // namespace sonfara::library
