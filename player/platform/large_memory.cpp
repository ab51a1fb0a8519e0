#include "player/platform/large_memory.h"

#include <fstream>
#include <new>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace sonfara {
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

FileImage::~FileImage() { Close(); }

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

bool FileImage::Open(const std::string& path) {
    Close();
#ifndef _WIN32
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        void* p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE,
                       fd, 0);
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
    // Empty files, pipes and systems without mapping: read it.
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    copy_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    data_ = copy_.data();
    size_ = copy_.size();
    return true;
}

}  // namespace sonfara
