// Big, short-lived memory for loading songs: the file image is mapped rather
// than copied, and the event arrays of large songs sit on huge pages where
// the system offers them, so a 100 MB song does not cost a page fault per
// 4 KiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace sonfara {

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
    bool operator==(const LargeAllocator<U>&) const noexcept { return true; }
};

// The whole content of a file, read-only: mapped where possible, else read.
class FileImage {
public:
    FileImage() = default;
    ~FileImage();
    FileImage(const FileImage&) = delete;
    FileImage& operator=(const FileImage&) = delete;

    // False when the file cannot be opened or read.
    bool Open(const std::string& path);
    std::span<const uint8_t> Bytes() const { return {data_, size_}; }
    void Close();

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool mapped_ = false;
    std::vector<uint8_t> copy_;
};

}  // namespace sonfara
