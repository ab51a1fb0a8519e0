#include "player/platform/user_files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace sonfara::platform {
namespace {

std::string EnvOr(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string HomeFolder() {
#ifdef _WIN32
    return EnvOr("USERPROFILE");
#else
    std::string h = EnvOr("HOME");
    return h.empty() ? std::string("/tmp") : h;
#endif
}

// XDG variables must be absolute to count; relative ones are ignored.
std::string XdgOr(const char* var, const char* fallback) {
#ifdef _WIN32
    (void)var;
    (void)fallback;
    return EnvOr("APPDATA");
#else
    std::string v = EnvOr(var);
    if (!v.empty() && v[0] == '/') {
        while (v.size() > 1 && v.back() == '/') v.pop_back();
        return v;
    }
    return HomeFolder() + fallback;
#endif
}

}  // namespace

std::string UserConfigFolder() {
    return XdgOr("XDG_CONFIG_HOME", "/.config");
}
std::string UserDataFolder() {
    return XdgOr("XDG_DATA_HOME", "/.local/share");
}

std::string UserCacheFolder() {
#ifdef _WIN32
    return EnvOr("LOCALAPPDATA");
#else
    return XdgOr("XDG_CACHE_HOME", "/.cache");
#endif
}

std::string ProgramFolder() {
    std::error_code ec;
#ifdef _WIN32
    char buf[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::filesystem::path p(std::string(buf, n));
#else
    std::filesystem::path p = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
#endif
    return p.parent_path().string();
}

// Set by the build from the install folders; these are the defaults.
#ifndef SONFARA_DATA_FROM_BIN
#define SONFARA_DATA_FROM_BIN "../share/sonfara"
#endif

std::string ShippedDataFolder(const std::string& program_folder) {
    if (program_folder.empty()) return {};
    std::error_code ec;
    const std::filesystem::path installed =
        (std::filesystem::path(program_folder) / SONFARA_DATA_FROM_BIN).lexically_normal();
    if (std::filesystem::is_directory(installed, ec)) return installed.string();
    return program_folder;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (out.empty()) return std::string(name);  // relative to the current folder
    if (out.back() != '/' && out.back() != '\\') out += '/';
    out += name;
    return out;
}

ReadStatus ReadWholeFile(const std::string& path, std::string& bytes, uintmax_t max_bytes) {
    bytes.clear();
#ifdef _WIN32
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return ec ? ReadStatus::kUnreadable : ReadStatus::kMissing;
    if (!std::filesystem::is_regular_file(path, ec)) return ReadStatus::kNotAFile;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > max_bytes) return ReadStatus::kTooLarge;
    std::ifstream in(path, std::ios::binary);
    if (!in) return ReadStatus::kUnreadable;
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) return ReadStatus::kUnreadable;
    bytes = std::move(ss).str();
    return ReadStatus::kOk;
#else
    // A FIFO would hold the caller until someone writes to it: look first,
    // and open without waiting in case it appears in between.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return ReadStatus::kNotAFile;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return ReadStatus::kMissing;
        return errno == ENXIO ? ReadStatus::kNotAFile : ReadStatus::kUnreadable;
    }
    ReadStatus status = ReadStatus::kOk;
    if (::fstat(fd, &st) != 0) {
        status = ReadStatus::kUnreadable;
    } else if (!S_ISREG(st.st_mode)) {
        status = ReadStatus::kNotAFile;
    } else if (static_cast<uintmax_t>(st.st_size) > max_bytes) {
        status = ReadStatus::kTooLarge;
    } else {
        ::fcntl(fd, F_SETFL, 0);  // ordinary blocking reads from here on
        bytes.reserve(static_cast<size_t>(st.st_size));
        char buf[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                status = ReadStatus::kUnreadable;
                break;
            }
            if (n == 0) break;
            bytes.append(buf, static_cast<size_t>(n));
            if (bytes.size() > max_bytes) {  // grew while being read
                status = ReadStatus::kTooLarge;
                break;
            }
        }
    }
    ::close(fd);
    if (status != ReadStatus::kOk) bytes.clear();
    return status;
#endif
}

bool MakeFolders(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
}

std::string ResolveLinks(const std::string& path) {
    std::filesystem::path p(path);
    std::error_code ec;
    // 40 hops, as the kernel allows, so a loop of links ends.
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(p, ec); ++hops) {
        const std::filesystem::path target = std::filesystem::read_symlink(p, ec);
        if (ec) break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return p.string();
}

namespace {

PlatformStatus Fail(const char* what, const std::string& path,
                    PlatformError code = PlatformError::kCannotWrite) {
    return {code, std::string(what) + ": " + path + ": " + std::strerror(errno)};
}

#ifdef _WIN32
std::string TemporaryName(const std::string& path) {
    return path + ".tmp-" + std::to_string(_getpid());
}

// A flushed temporary beside `path` holding `bytes`; empty on failure.
std::string WriteTemporary(const std::string& path, std::string_view bytes, const char** what) {
    const std::string tmp = TemporaryName(path);
    *what = "cannot create";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return {};
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fflush(f) == 0) && ok;
    ok = (std::fclose(f) == 0) && ok;
    if (ok) return tmp;
    *what = "cannot write";
    std::remove(tmp.c_str());
    return {};
}

bool MoveOver(const std::string& tmp, const std::string& path, bool replace) {
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    return MoveFileExA(tmp.c_str(), path.c_str(), flags) != 0;
}

bool AlreadyThere() {
    return GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS;
}
#else
// A synced temporary beside `path` holding `bytes`; empty (errno set, `what`
// naming the step) on failure.
std::string WriteTemporary(const std::string& path, std::string_view bytes, const char** what) {
    const std::filesystem::path target(path);
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    std::string tmp = JoinPath(folder, "." + target.filename().string() + ".XXXXXX");
    *what = "cannot create";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) return {};
    auto abandon = [&] {
        const int e = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        errno = e;
        return std::string();
    };
    *what = "cannot write";
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return abandon();
        done += static_cast<size_t>(n);
    }
    // mkstemp makes the file 0600; give it the mode a plain create would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0644 & ~mask);
    if (::fsync(fd) != 0) return abandon();
    if (::close(fd) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        return {};
    }
    return tmp;
}

// Folders that cannot hold hard links (FAT, some network shares).
bool NoHardLinks(int e) {
    return e == EPERM || e == ENOTSUP || e == EOPNOTSUPP || e == ENOSYS;
}
#endif

// Removes the temporary, keeping errno for the message.
void Discard(const std::string& tmp) {
    const int e = errno;
    std::remove(tmp.c_str());
    errno = e;
}

}  // namespace

PlatformStatus WriteFileReplacing(const std::string& path, std::string_view bytes,
                                  bool createFolder) {
    const std::string target = ResolveLinks(path);
    const std::filesystem::path t(target);
    if (createFolder && t.has_parent_path() && !MakeFolders(t.parent_path().string()))
        return Fail("cannot create the folder", target);
    const char* what = "";
    const std::string tmp = WriteTemporary(target, bytes, &what);
    if (tmp.empty()) return Fail(what, target);
#ifdef _WIN32
    const bool moved = MoveOver(tmp, target, /*replace=*/true);
#else
    const bool moved = ::rename(tmp.c_str(), target.c_str()) == 0;
#endif
    if (moved) return {};
    Discard(tmp);
    return Fail("cannot replace", target);
}

PlatformStatus WriteNewFile(const std::string& path, std::string_view bytes) {
    const char* what = "";
    const std::string tmp = WriteTemporary(path, bytes, &what);
    if (tmp.empty()) return Fail(what, path);
#ifdef _WIN32
    const bool placed = MoveOver(tmp, path, /*replace=*/false);
    const bool taken = !placed && AlreadyThere();
#else
    // link() refuses an existing name in one step; rename() would replace it.
    bool placed = ::link(tmp.c_str(), path.c_str()) == 0;
    bool taken = !placed && errno == EEXIST;
    if (!placed && NoHardLinks(errno)) {
        struct stat st {};
        taken = ::lstat(path.c_str(), &st) == 0;
        placed = !taken && ::rename(tmp.c_str(), path.c_str()) == 0;
    }
#endif
    Discard(tmp);  // after link() the name stays; after a move there is nothing left
    if (placed) return {};
    if (taken) {
        errno = EEXIST;
        return Fail("cannot create", path, PlatformError::kExists);
    }
    return Fail("cannot create", path);
}

int RemoveStaleTemporaries(const std::string& path) {
    const std::filesystem::path target(ResolveLinks(path));
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    const std::string name = target.filename().string();
#ifdef _WIN32
    const std::string prefix = name + ".tmp-";
    const size_t tail = 0;  // any process id
#else
    const std::string prefix = "." + name + ".";
    const size_t tail = 6;  // mkstemp's XXXXXX
#endif
    std::error_code ec;
    int removed = 0;
    namespace fs = std::filesystem;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const fs::directory_entry& e = *it;
        const std::string n = e.path().filename().string();
        if (n.size() <= prefix.size() || n.compare(0, prefix.size(), prefix) != 0) continue;
        if (tail && n.size() != prefix.size() + tail) continue;
        std::error_code fec;
        if (!e.is_regular_file(fec) || e.is_symlink(fec)) continue;
        if (std::filesystem::remove(e.path(), fec)) ++removed;
    }
    return removed;
}

}  // namespace sonfara::platform
