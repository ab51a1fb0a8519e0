// Big, short-lived memory for loading songs: the file image is mapped rather
// than copied, and the event arrays of large songs sit on huge pages where
// the system offers them, so a 100 MB song does not cost a page fault per
// 4 KiB.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace sonfara::platform {

// Raw allocation; pages are untouched until used.
void* AllocateLarge(size_t bytes);
void FreeLarge(void* p, size_t bytes);

// std::allocator for element arrays that may be large.
template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}
    T* allocate(size_t n) { return static_cast<T*>(AllocateLarge(n * sizeof(T))); }
    void deallocate(T* p, size_t n) noexcept { FreeLarge(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const LargeAllocator<U>&) const noexcept {
        return true;
    }
};

// The same for arrays whose writer fills them through data(): resize()
// leaves new elements unwritten, so growing one touches no page.
template <class T>
struct LargeFillAllocator : LargeAllocator<T> {
    using LargeAllocator<T>::LargeAllocator;
    template <class U>
    void construct(U*) noexcept {}
};

// Makes the pages of a large array present on a helper thread a bounded
// distance ahead of the code that fills it, so the first-touch cost (high
// on virtual machines that hand freed memory back to the host) overlaps
// the filling instead of adding to it. The writer reports its progress;
// pages more than `aheadBytes` past it are never touched, and Finish gives
// back those past the real end. Without a helper thread or kernel support
// the pages are faulted in by the writer as usual.
class PrefaultAhead {
  public:
    static constexpr size_t kDefaultAhead = size_t{32} << 20;
    PrefaultAhead(void* base, size_t capacityBytes, size_t aheadBytes = kDefaultAhead);
    ~PrefaultAhead();  // stops the helper; releases nothing
    PrefaultAhead(const PrefaultAhead&) = delete;
    PrefaultAhead& operator=(const PrefaultAhead&) = delete;

    // Writer: bytes filled so far (cheap; call every few hundred KiB), and
    // how many it expects to fill in all: pages past that (and a little
    // slack) are not touched, so a capacity far above the need costs nothing.
    void Advance(size_t filledBytes, size_t expectedBytes = SIZE_MAX);
    // Writer: the array is complete at usedBytes; pages made present past
    // it (by the helper, or as part of a huge page) are given back.
    void Finish(size_t usedBytes);

  private:
    void Run();
    void Stop();

    uint8_t* base_;
    size_t capacity_;
    size_t ahead_;
    bool mapped_ = false;  // whole pages of its own: safe to give back
    std::atomic<size_t> filled_{0};
    std::atomic<size_t> expected_{SIZE_MAX};
    std::atomic<size_t> populated_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A first look at a file before it is read whole: its size and its first
// bytes. `regular` is false for a missing or unreadable file and for
// anything but a regular file (nothing of a pipe is consumed).
struct FileHead {
    bool regular = false;
    uintmax_t size = 0;
    std::vector<uint8_t> bytes;  // at most the number asked for
};
FileHead ReadFileHead(const std::string& path, size_t n);

// The whole content of a file, read-only: mapped where possible, else read.
class FileImage {
  public:
    FileImage() = default;
    ~FileImage();
    FileImage(const FileImage&) = delete;
    FileImage& operator=(const FileImage&) = delete;

    // False when the file cannot be opened or read, or holds more than
    // maxBytes (refused before it is mapped or read).
    bool Open(const std::string& path, uintmax_t maxBytes = UINTMAX_MAX);
    std::span<const uint8_t> Bytes() const { return {data_, size_}; }
    // The caller is done with these bytes: a mapped image gives their whole
    // pages back, so a big file stops counting once it is decoded. Reading
    // them again is still allowed (they come back from the page cache).
    // Safe from several threads for disjoint ranges. Returns where the
    // whole pages given back end (offset when none were), so a caller
    // releasing as it reads can go on from there without losing a page.
    size_t Release(size_t offset, size_t length) const;
    void Close();

  private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool mapped_ = false;
    std::vector<uint8_t> copy_;
};

}  // namespace sonfara::platform
