#include "player/platform/library_presence.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

// Set by the build from the install folders; this is the default.
#ifndef SONFARA_PRIVATE_LIB_FROM_BIN
#define SONFARA_PRIVATE_LIB_FROM_BIN "../lib/sonfara"
#endif

namespace sonfara::platform {

std::vector<std::string> LibrarySearchFolders() {
    std::vector<std::string> dirs;
    if (const char* env = std::getenv("SONFARA_LIBDIR"); env && *env) dirs.emplace_back(env);
    if (const std::string prog = ProgramFolder(); !prog.empty()) {
        dirs.push_back(prog);
        // Installed, the library is private to the programs: off the system
        // search path, found relative to them whatever the prefix.
        dirs.push_back((std::filesystem::path(prog) / SONFARA_PRIVATE_LIB_FROM_BIN)
                           .lexically_normal()
                           .string());
    }
    for (const char* d :
         {"/usr/local/lib", "/usr/lib/x86_64-linux-gnu", "/usr/lib/aarch64-linux-gnu", "/usr/lib64",
          "/usr/lib", "/lib/x86_64-linux-gnu", "/lib64", "/lib"}) {
        dirs.emplace_back(d);
    }
    return dirs;
}

std::string FindLibrary(const std::string& fileName) {
    if (fileName.empty() || fileName.find('/') != std::string::npos) return {};
    for (const std::string& dir : LibrarySearchFolders()) {
        std::string path = dir;
        if (path.back() != '/') path += '/';
        path += fileName;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return path;
    }
    return {};
}

}  // namespace sonfara::platform
