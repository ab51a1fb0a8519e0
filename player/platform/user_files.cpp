#include "player/platform/user_files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace sonfara {
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

std::string UserConfigFolder() { return XdgOr("XDG_CONFIG_HOME", "/.config"); }
std::string UserDataFolder() { return XdgOr("XDG_DATA_HOME", "/.local/share"); }

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
    if (!std::filesystem::exists(path, ec)) return ec ? ReadStatus::kUnreadable : ReadStatus::kMissing;
    if (!std::filesystem::is_regular_file(path, ec)) return ReadStatus::kUnreadable;
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
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadStatus::kMissing : ReadStatus::kUnreadable;
    struct stat st {};
    ReadStatus status = ReadStatus::kOk;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        status = ReadStatus::kUnreadable;
    } else if (static_cast<uintmax_t>(st.st_size) > max_bytes) {
        status = ReadStatus::kTooLarge;
    } else {
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

bool WriteFileReplacing(const std::string& path, std::string_view bytes, std::string* error,
                        bool createFolder) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + path + ": " + std::strerror(errno);
        return false;
    };
    const std::filesystem::path target(path);
    if (createFolder && target.has_parent_path() && !MakeFolders(target.parent_path().string()))
        return fail("cannot create the folder");
#ifdef _WIN32
    const std::string tmp = path + ".tmp-" + std::to_string(_getpid());
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return fail("cannot create");
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fflush(f) == 0) && ok;
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) {
        std::remove(tmp.c_str());
        return fail("cannot write");
    }
    if (!MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        std::remove(tmp.c_str());
        return fail("cannot replace");
    }
    return true;
#else
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    std::string tmp = JoinPath(folder, "." + target.filename().string() + ".XXXXXX");
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) return fail("cannot create");
    auto abandon = [&](const char* what) {
        const int e = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        errno = e;
        return fail(what);
    };
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return abandon("cannot write");
        done += static_cast<size_t>(n);
    }
    // mkstemp makes the file 0600; give it the mode a plain create would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0644 & ~mask);
    if (::fsync(fd) != 0) return abandon("cannot write");
    if (::close(fd) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        return fail("cannot write");
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        return fail("cannot replace");
    }
    return true;
#endif
}

}  // namespace sonfara
