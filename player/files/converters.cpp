#include "player/files/converters.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "player/files/paths.h"

namespace sonfara::files {
namespace {

std::string SelfFolder() {
    std::string buf(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<size_t>(n) >= buf.size()) return {};
    buf.resize(static_cast<size_t>(n));
    return PathFolder(buf);
}

// A bound plug-in; closed when it goes out of scope (nothing is kept
// between calls).
class Plugin {
  public:
    explicit Plugin(const std::string& fileName) {
        const std::string path = FindPlugin(fileName);
        if (!path.empty()) handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    ~Plugin() {
        if (handle_) ::dlclose(handle_);
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    template <typename Fn>
    Fn Get(const char* name) const {
        return handle_ ? reinterpret_cast<Fn>(::dlsym(handle_, name)) : nullptr;
    }

  private:
    void* handle_ = nullptr;
};

using RcpConvertFn = void* (*)(const char*, int32_t, int32_t, int32_t, int32_t);
using RcpTypeFn = int32_t (*)(void*);
using RcpSaveFn = void (*)(void*, const char*);
using RcpDeleteFn = void (*)(void*);
using VersionFn = int32_t (*)();
using SmfkConvertFn = int32_t (*)(void*, const char*, const char*, const char*, const char*,
                                  const int32_t*, int32_t);

}  // namespace

std::vector<std::string> PluginSearchFolders() {
    std::vector<std::string> dirs;
    if (const char* env = std::getenv("SONFARA_PLUGIN_DIR"); env && *env) dirs.emplace_back(env);
    if (std::string self = SelfFolder(); !self.empty()) dirs.push_back(std::move(self));
    for (const char* d : {"/usr/local/lib", "/usr/lib/x86_64-linux-gnu",
                          "/usr/lib/aarch64-linux-gnu", "/usr/lib64", "/usr/lib"}) {
        dirs.emplace_back(d);
    }
    return dirs;
}

std::string FindPlugin(const std::string& fileName) {
    if (fileName.empty() || fileName.find('/') != std::string::npos) return {};
    for (const std::string& dir : PluginSearchFolders()) {
        const std::string path = platform::JoinPath(dir, fileName);
        if (FileExists(path)) return path;
    }
    return {};
}

std::string RcpFormatText(int kind) {
    switch (kind) {
        case 1:
            return "RCM Ver 2.0";
        case 2:
            return "RCM Ver 2.5F";
        case 3:
            return "RCM Ver 2.5G";
        case 4:
            return "RCM for Windows95";
        default:
            return {};
    }
}

std::array<int32_t, 6> SmfkOptions(bool smfkBank, bool smfkRhythm) {
    return {24, smfkRhythm ? 0 : -1, smfkBank ? 0 : -1, 0, -1, 0};
}

std::string ConvertRcp(const std::string& path, const std::string& workFolder,
                       std::string& formatText) {
    const std::string out = platform::JoinPath(workFolder, PathFileName(path) + ".mid");
    ::unlink(out.c_str());
    Plugin lib(kRcpLibrary);
    const auto convert = lib.Get<RcpConvertFn>("rcpcvConvertFile");
    const auto type = lib.Get<RcpTypeFn>("rcpcvGetOriginalFileType");
    const auto save = lib.Get<RcpSaveFn>("rcpcvSaveSMF");
    const auto del = lib.Get<RcpDeleteFn>("rcpcvDeleteObject");
    if (!convert || !type || !save || !del) return out;
    void* h = convert(path.c_str(), 0, 0, 0, 0);
    if (!h) return out;
    if (std::string t = RcpFormatText(type(h)); !t.empty()) formatText = t;
    save(h, out.c_str());
    del(h);
    // A converter that gave up part-way may leave a stub; it is no song.
    struct stat st {};
    if (::stat(out.c_str(), &st) == 0 && st.st_size == 0) ::unlink(out.c_str());
    return out;
}

bool SmfkConvertFile(const std::string& path, const std::string& outPath,
                     const std::string& configFile, const std::array<int32_t, 6>& options) {
    Plugin lib(kSmfkLibrary);
    const auto convert = lib.Get<SmfkConvertFn>("SmfkConvert");
    if (!convert) return false;
    if (convert(nullptr, path.c_str(), outPath.c_str(), configFile.c_str(), "", options.data(), 0) <
        0) {
        return true;
    }
    ::unlink(outPath.c_str());
    return false;
}

std::string RcpVersionText() {
    Plugin lib(kRcpLibrary);
    const auto major = lib.Get<VersionFn>("rcpcvGetVersionMajor");
    const auto minor = lib.Get<VersionFn>("rcpcvGetVersionMinor");
    if (!major || !minor) return "Not Installed";
    return std::to_string(major()) + "." + std::to_string(minor());
}

std::string SmfkVersionText() {
    Plugin lib(kSmfkLibrary);
    const auto version = lib.Get<VersionFn>("GetSmfkVersion");
    if (!version) return "Not Installed";
    return std::to_string(version());
}

}  // namespace sonfara::files
