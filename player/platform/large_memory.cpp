#include "player/platform/large_memory.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <new>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace sonfara::platform {
namespace {
#ifndef _WIN32
constexpr size_t kMapThreshold = size_t{4} << 20;  // below this, malloc is fine
#endif
}  // namespace

void* AllocateLarge(size_t bytes) {
#ifndef _WIN32
    if (bytes >= kMapThreshold) {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        madvise(p, bytes, MADV_HUGEPAGE);  // advice only; refusal is harmless
#endif
        return p;
    }
#endif
    return ::operator new(bytes);
}

void FreeLarge(void* p, size_t bytes) {
    if (!p) return;
#ifndef _WIN32
    if (bytes >= kMapThreshold) {
        munmap(p, bytes);
        return;
    }
#endif
    ::operator delete(p);
}

namespace {
#if !defined(_WIN32) && !defined(MADV_POPULATE_WRITE)
constexpr int MADV_POPULATE_WRITE = 23;  // Linux 5.14; older kernels refuse it
#endif
constexpr size_t kPrefaultStep = size_t{2} << 20;
constexpr size_t kHugePage = size_t{2} << 20;  // the transparent huge page of x86-64 and arm64
}  // namespace

PrefaultAhead::PrefaultAhead(void* base, size_t capacityBytes, size_t aheadBytes)
    : base_(static_cast<uint8_t*>(base)), capacity_(capacityBytes), ahead_(aheadBytes) {
#ifndef _WIN32
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    if (reinterpret_cast<uintptr_t>(base_) % page != 0) return;  // not a mapped array
    mapped_ = true;
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // No helper: the writer faults the pages in itself.
    }
#endif
}

PrefaultAhead::~PrefaultAhead() {
    Stop();
}

void PrefaultAhead::Advance(size_t filledBytes, size_t expectedBytes) {
    expected_.store(expectedBytes, std::memory_order_relaxed);
    filled_.store(filledBytes, std::memory_order_release);
    filled_.notify_one();
}

void PrefaultAhead::Stop() {
    if (!thread_.joinable()) return;
    stop_.store(true, std::memory_order_release);
    filled_.fetch_add(1, std::memory_order_release);  // wakes a wait on the old value
    filled_.notify_one();
    thread_.join();
}

void PrefaultAhead::Finish(size_t usedBytes) {
    Stop();
#ifndef _WIN32
    if (!mapped_) return;
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t keep = std::min(capacity_, (usedBytes + page - 1) / page * page);
    // A huge page (the writer's last one, or one the helper faulted in)
    // reaches past both the end and what the helper asked for: give back
    // up to the next huge-page boundary too.
    const size_t populated = std::max(populated_.load(std::memory_order_acquire), keep);
    const auto end = reinterpret_cast<uintptr_t>(base_) + populated;
    const size_t aligned =
        (end + kHugePage - 1) / kHugePage * kHugePage - reinterpret_cast<uintptr_t>(base_);
    const size_t release = std::min(capacity_, aligned);
    if (release > keep) madvise(base_ + keep, release - keep, MADV_DONTNEED);
#endif
}

void PrefaultAhead::Run() {
#ifndef _WIN32
    size_t done = 0;
    while (!stop_.load(std::memory_order_acquire)) {
        const size_t filled = filled_.load(std::memory_order_acquire);
        // Nothing before the writer's first word: until then its expected
        // size is unknown, and running ahead could touch far past it.
        if (filled == 0) {
            filled_.wait(0, std::memory_order_acquire);
            continue;
        }
        const size_t expected = expected_.load(std::memory_order_relaxed);
        const size_t need = expected > SIZE_MAX - kHugePage ? SIZE_MAX : expected + kHugePage;
        const size_t target = std::min({capacity_, filled + ahead_, need});
        if (done >= target) {
            if (done >= capacity_) return;
            filled_.wait(filled, std::memory_order_acquire);
            continue;
        }
        const size_t n = std::min(target - done, kPrefaultStep);
        // Recorded first: a call that fails half-way has made pages present too.
        populated_.store(done + n, std::memory_order_release);
        if (madvise(base_ + done, n, MADV_POPULATE_WRITE) != 0) return;  // unsupported
        done += n;
    }
#endif
}

FileImage::~FileImage() {
    Close();
}

size_t FileImage::Release(size_t offset, size_t length) const {
#ifndef _WIN32
    if (!mapped_ || offset >= size_) return offset;
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t first = (offset + page - 1) / page * page;
    const size_t last = std::min(size_, offset + length) / page * page;
    if (last <= first) return offset;
    madvise(const_cast<uint8_t*>(data_) + first, last - first, MADV_DONTNEED);
    return last;
#else
    (void)length;
    return offset;
#endif
}

void FileImage::Close() {
#ifndef _WIN32
    if (mapped_ && data_) munmap(const_cast<uint8_t*>(data_), size_);
#endif
    mapped_ = false;
    data_ = nullptr;
    size_ = 0;
    copy_.clear();
    copy_.shrink_to_fit();
}

FileHead ReadFileHead(const std::string& path, size_t n) {
    FileHead head;
#ifndef _WIN32
    // Without waiting on a FIFO, and without reading from one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return head;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        head.bytes.resize(n);
        const ssize_t got = ::pread(fd, head.bytes.data(), n, 0);
        head.regular = got >= 0;
        head.bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
        head.size = static_cast<uintmax_t>(st.st_size);
    }
    ::close(fd);
#else
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return head;
    std::ifstream in(path, std::ios::binary);
    if (!in) return head;
    head.size = std::filesystem::file_size(path, ec);
    head.bytes.resize(n);
    in.read(reinterpret_cast<char*>(head.bytes.data()), static_cast<std::streamsize>(n));
    head.bytes.resize(static_cast<size_t>(in.gcount()));
    head.regular = !ec;
#endif
    return head;
}

bool FileImage::Open(const std::string& path, uintmax_t maxBytes) {
    Close();
#ifndef _WIN32
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        if (static_cast<uintmax_t>(st.st_size) > maxBytes) {
            ::close(fd);
            return false;
        }
        void* p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ,
                       MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (p != MAP_FAILED) {
            ::close(fd);
            data_ = static_cast<const uint8_t*>(p);
            size_ = static_cast<size_t>(st.st_size);
            mapped_ = true;
            return true;
        }
    }
    ::close(fd);
#endif
    // Empty files, pipes and systems without mapping: read it, no further
    // than the limit.
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        copy_.insert(copy_.end(), buf, buf + in.gcount());
        if (copy_.size() > maxBytes) {
            Close();
            return false;
        }
    }
    if (in.bad()) return false;
    data_ = copy_.data();
    size_ = copy_.size();
    return true;
}

}  // namespace sonfara::platform
