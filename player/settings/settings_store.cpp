#include "player/settings/settings_store.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "player/platform/user_files.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace sonfara::settings {

std::optional<std::string> MemorySettingsStore::Get(std::string_view key) {
    reads.emplace_back(key);
    auto it = values.find(std::string(key));
    if (it == values.end()) return std::nullopt;
    return it->second;
}

void MemorySettingsStore::Set(std::string_view key, std::string_view value) {
    writes.emplace_back(std::string(key), std::string(value));
    values[std::string(key)] = std::string(value);
}

std::string IniSettingsStore::DefaultPath() {
    return platform::JoinPath(platform::JoinPath(platform::UserConfigFolder(), kSettingsApp),
                              std::string(kSettingsSection) + ".ini");
}

namespace {

std::string AsidePath(const std::string& path) {
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &now);
#else
    gmtime_r(&now, &tm);
#endif
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &tm);
    std::string base = path + ".bad-" + stamp;
    std::string candidate = base;
    std::error_code ec;
    for (int n = 1; std::filesystem::exists(candidate, ec) && n < 1000; ++n)
        candidate = base + "-" + std::to_string(n);
    return candidate;
}

}  // namespace

std::unique_ptr<IniSettingsStore> IniSettingsStore::Open(const std::string& path, bool owner,
                                                         SettingsOpenReport* report) {
    auto store = std::unique_ptr<IniSettingsStore>(new IniSettingsStore());
    store->path_ = path;
    SettingsOpenReport local;
    SettingsOpenReport& r = report ? *report : local;
    r = SettingsOpenReport{};
    if (owner) platform::RemoveStaleTemporaries(path);

    std::string bytes;
    const platform::ReadStatus rs = platform::ReadWholeFile(path, bytes, kMaxSettingsFileBytes);
    if (rs == platform::ReadStatus::kMissing) return store;
    const SettingsStatus parsed =
        rs == platform::ReadStatus::kOk ? IniDocument::Parse(bytes, store->doc_) : SettingsStatus{};
    if (rs == platform::ReadStatus::kOk && parsed.ok()) {
        r.status = SettingsOpenReport::Status::kLoaded;
        return store;
    }
    // The good lines of a damaged file stay in effect; only an unread file
    // gives the defaults.
    r.message = rs == platform::ReadStatus::kOk         ? parsed.Message()
                : rs == platform::ReadStatus::kTooLarge ? "settings file too large"
                : rs == platform::ReadStatus::kNotAFile ? "not a regular file"
                                                        : "settings file cannot be read";
    if (rs != platform::ReadStatus::kOk) store->doc_ = IniDocument{};
    // Something that is no file is not ours to move.
    if (owner && rs != platform::ReadStatus::kNotAFile) {
        const std::string file = platform::ResolveLinks(path);
        const std::string aside = AsidePath(file);
        std::error_code ec;
        std::filesystem::rename(file, aside, ec);
        if (!ec) {
            r.status = SettingsOpenReport::Status::kSetAside;
            r.aside_path = aside;
            return store;
        }
        r.message += "; cannot move it aside: " + ec.message();
    }
    r.status = SettingsOpenReport::Status::kDamagedKept;
    store->write_blocked_ = true;
    return store;
}

std::optional<std::string> IniSettingsStore::Get(std::string_view key) {
    return doc_.Get(kSettingsSection, key);
}

void IniSettingsStore::Set(std::string_view key, std::string_view value) {
    doc_.Set(kSettingsSection, key, value);
}

SettingsStatus IniSettingsStore::Commit() {
    if (write_blocked_) return {SettingsError::kDamagedKept, path_};
    const platform::PlatformStatus written = platform::WriteFileReplacing(path_, doc_.Serialize());
    if (written.ok()) return {};
    return {SettingsError::kCannotWrite, written.Message()};
}

#ifdef _WIN32
namespace {
constexpr const char* kRegistryPath = "Software\\Tenmoor\\Sonfara";
}

std::optional<std::string> RegistrySettingsStore::Get(std::string_view key) {
    HKEY h;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRegistryPath, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return std::nullopt;
    const std::string name(key);
    DWORD type = 0, size = 0;
    std::optional<std::string> result;
    if (RegQueryValueExA(h, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::string buf(size, '\0');
        if (RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()),
                             &size) == ERROR_SUCCESS) {
            buf.resize(size);
            while (!buf.empty() && buf.back() == '\0') buf.pop_back();
            result = buf;
        }
    }
    RegCloseKey(h);
    return result;
}

void RegistrySettingsStore::Set(std::string_view key, std::string_view value) {
    HKEY h;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kRegistryPath, 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                        nullptr) != ERROR_SUCCESS) {
        failed_ = true;
        return;
    }
    const std::string name(key), text(value);
    if (RegSetValueExA(h, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1)) != ERROR_SUCCESS)
        failed_ = true;
    RegCloseKey(h);
}

SettingsStatus RegistrySettingsStore::Commit() {
    if (failed_) return SettingsError::kRegistry;
    return {};
}
#endif

std::unique_ptr<SettingsStore> OpenPlatformSettingsStore(SettingsOpenReport* report) {
#ifdef _WIN32
    if (report) *report = SettingsOpenReport{SettingsOpenReport::Status::kLoaded, {}, {}};
    return std::make_unique<RegistrySettingsStore>();
#else
    return IniSettingsStore::Open(IniSettingsStore::DefaultPath(), true, report);
#endif
}

}  // namespace sonfara::settings
