// Where the settings live: one interface, an INI file on Linux, the
// registry on Windows, memory in tests. Every value is text (code-page bytes).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "player/settings/ini_file.h"
#include "player/settings/messages.h"

namespace sonfara::settings {

inline constexpr const char* kSettingsApp = "Tenmoor";
inline constexpr const char* kSettingsSection = "Sonfara";
// A written settings file is a few kilobytes (a hundred with long recent
// paths and many sections of other programs); only damage comes near this,
// and reading more would only delay start-up.
inline constexpr uintmax_t kMaxSettingsFileBytes = uintmax_t{16} << 20;

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // nullopt when the value is missing.
    virtual std::optional<std::string> Get(std::string_view key) = 0;
    virtual void Set(std::string_view key, std::string_view value) = 0;
    // Makes the values set so far permanent. A failure leaves the previous
    // copy intact.
    virtual SettingsStatus Commit() = 0;
};

// Values in memory, with a log of every read and write in call order.
class MemorySettingsStore : public SettingsStore {
  public:
    std::optional<std::string> Get(std::string_view key) override;
    void Set(std::string_view key, std::string_view value) override;
    SettingsStatus Commit() override { return {}; }

    std::map<std::string, std::string> values;
    std::vector<std::string> reads;
    std::vector<std::pair<std::string, std::string>> writes;
};

// How opening the settings file went.
struct SettingsOpenReport {
    enum class Status {
        kNew,          // no file yet: defaults
        kLoaded,       // read
        kSetAside,     // unreadable or damaged: moved to `aside_path`
        kDamagedKept,  // damaged, or not a regular file, and left in place: never written
    };
    Status status = Status::kNew;
    std::string aside_path;
    std::string message;  // what was wrong (the first bad line), for a diagnostic
};

// The section [Sonfara] of an INI file. Other sections and unknown keys of
// the file are kept when it is written again.
class IniSettingsStore : public SettingsStore {
  public:
    // $XDG_CONFIG_HOME/Tenmoor/Sonfara.ini (fallback ~/.config).
    static std::string DefaultPath();

    // Never fails: a missing or unreadable file gives an empty store, a
    // damaged one gives its good lines. The `owner` (the player; the command
    // line only looks) first removes the temporaries a crash during a save
    // left, and renames a damaged file to <path>.bad-<UTC timestamp> so the
    // next save does not destroy it. When a damaged file stays in place, or
    // the name holds no regular file (a FIFO, a folder), Commit refuses to
    // write over it. A link stays a link: its target is read, set aside
    // and written.
    static std::unique_ptr<IniSettingsStore> Open(const std::string& path, bool owner,
                                                  SettingsOpenReport* report = nullptr);

    std::optional<std::string> Get(std::string_view key) override;
    void Set(std::string_view key, std::string_view value) override;
    SettingsStatus Commit() override;

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    IniDocument doc_;
    bool write_blocked_ = false;
};

#ifdef _WIN32
// HKEY_CURRENT_USER\Software\Tenmoor\Sonfara, REG_SZ values written at once.
class RegistrySettingsStore : public SettingsStore {
  public:
    std::optional<std::string> Get(std::string_view key) override;
    void Set(std::string_view key, std::string_view value) override;
    SettingsStatus Commit() override;

  private:
    bool failed_ = false;
};
#endif

// The store the player uses on this platform.
std::unique_ptr<SettingsStore> OpenPlatformSettingsStore(SettingsOpenReport* report = nullptr);

}  // namespace sonfara::settings
