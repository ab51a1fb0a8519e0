#include "player/files/work_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "player/platform/user_files.h"

namespace sonfara::files {
namespace {

constexpr const char* kLockName = ".lock";

void ClearOwnFiles(const std::string& dir) {
    ClearFolderFiles(dir);
    ClearFolderFiles(dir + "ArcTemp/");
}

}  // namespace

void ClearFolderFiles(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return;
    }
    const uid_t me = ::geteuid();
    while (dirent* de = ::readdir(d)) {
        if (std::strcmp(de->d_name, kLockName) == 0) continue;
        struct stat st {};
        if (::fstatat(fd, de->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(st.st_mode) && st.st_uid == me) ::unlinkat(fd, de->d_name, 0);
    }
    ::closedir(d);  // closes fd
}

FileStatus EnsurePrivateFolder(const std::string& dir) {
    auto fail = [&](const std::string& why) -> FileStatus {
        return {FileError::kFolderUnusable, dir + ": " + why};
    };
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return fail(std::strerror(errno));
    // Open without following a link, then check what was opened: nobody can
    // swap the folder between the check and the use of this descriptor.
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return fail(errno == ELOOP || errno == ENOTDIR ? "not a folder of ours (a link or a file)"
                                                       : std::strerror(errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return fail(std::strerror(errno));
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return fail("owned by another user");
    }
    if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
        ::close(fd);
        return fail("open to other users");
    }
    ::close(fd);
    return {};
}

namespace {

// Where the work folder may go, best first: the runtime folder when it is
// ours, else the temporary folder; then the user's cache folder, for when
// another user (or a link) took the first name.
std::vector<std::string> DefaultPlaces() {
    std::vector<std::string> places;
    if (const char* rt = std::getenv("XDG_RUNTIME_DIR"); rt && *rt && rt[0] == '/') {
        struct stat st {};
        if (::stat(rt, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid())
            places.push_back(std::string(rt) + "/sonfara");
    }
    if (places.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        places.push_back(std::string(tmp && *tmp ? tmp : "/tmp") + "/sonfara-" +
                         std::to_string(::geteuid()));
    }
    places.push_back(platform::UserCacheFolder() + "/sonfara-work");
    return places;
}

}  // namespace

WorkFolder WorkFolder::Create(const std::string& base) {
    WorkFolder w;
    std::vector<std::string> places;
    if (!base.empty())
        places.push_back(base + (base.back() == '/' ? "" : "/") + "sonfara");
    else
        places = DefaultPlaces();
    std::string dir, firstError;
    for (const std::string& place : places) {
        if (place.rfind(platform::UserCacheFolder(), 0) == 0)
            platform::MakeFolders(platform::UserCacheFolder());
        FileStatus made = EnsurePrivateFolder(place);
        if (made.ok()) made = EnsurePrivateFolder(place + "/ArcTemp");
        if (made.ok()) {
            dir = place;
            break;
        }
        if (firstError.empty()) firstError = made.Message();  // the usual place says most
    }
    if (dir.empty()) {
        w.error_ = firstError;
        return w;
    }
    w.path_ = dir + "/";
    w.lock_ =
        ::open((w.path_ + kLockName).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (w.lock_ >= 0) {
        if (::flock(w.lock_, LOCK_EX | LOCK_NB) == 0) ClearOwnFiles(w.path_);
        ::flock(w.lock_, LOCK_SH);
    }
    return w;
}

WorkFolder::WorkFolder(WorkFolder&& other) noexcept
    : path_(std::move(other.path_)), error_(std::move(other.error_)), lock_(other.lock_) {
    other.path_.clear();
    other.lock_ = -1;
}

WorkFolder& WorkFolder::operator=(WorkFolder&& other) noexcept {
    if (this != &other) {
        Cleanup();
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
        lock_ = other.lock_;
        other.path_.clear();
        other.lock_ = -1;
    }
    return *this;
}

WorkFolder::~WorkFolder() {
    Cleanup();
}

void WorkFolder::Cleanup() {
    if (lock_ < 0) return;
    if (::flock(lock_, LOCK_EX | LOCK_NB) == 0) ClearOwnFiles(path_);
    ::close(lock_);
    lock_ = -1;
}

}  // namespace sonfara::files
