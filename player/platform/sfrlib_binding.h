// The player's side of the support library: found by file name, opened at
// the first call, each export bound by name at its own first call. Missing
// library or export: the call reports failure and the player carries on.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace sonfara::platform {

#if defined(_WIN32)
inline constexpr const char* kSfrLibFileName = "SfrLib.DLL";
#else
inline constexpr const char* kSfrLibFileName = "libSfrLib.so";
#endif

// The fatal start-up message when the library is missing is
// kSfrLibMissingMessage (player/platform/messages.h).

// Start-up check: true when the library file is present (LibraryExists).
bool SfrLibPresent();

class SfrLibBinding {
  public:
    // Looks for kSfrLibFileName in the library folders.
    SfrLibBinding();
    // Uses the given file; "" means no library.
    explicit SfrLibBinding(std::string path);
    ~SfrLibBinding();
    SfrLibBinding(const SfrLibBinding&) = delete;
    SfrLibBinding& operator=(const SfrLibBinding&) = delete;

    const std::string& Path() const { return path_; }
    // Opens the library if that has not been tried yet; false when it cannot be.
    bool Load();

    // The exports; each returns kUnavailable when it cannot be bound.
    static constexpr int32_t kUnavailable = -1;
    int32_t InstInit();
    // Leaves buffer untouched when unavailable.
    int32_t GetInstName(int32_t bank, int32_t map, int32_t program, char* buffer);
    int32_t GetMIDIModule(const char* path);
    int32_t SSTPIsEnabled();
    int32_t SSTPSendMessage(const char* script, const char* sender, const char* option);
    int32_t CreateLink(const char* target, const char* linkPath, const char* arguments,
                       const char* description, const char* workingFolder, const char* iconFile,
                       int32_t iconIndex);
    int32_t SFRGetVersion();
    // The library's notice line; empty when unavailable.
    std::string SFRGetCopyright();

  private:
    struct Slot {
        std::once_flag once;
        std::atomic<void*> fn{nullptr};
    };
    void* Bind(Slot& slot, const char* name);

    std::string path_;
    std::once_flag openOnce_;
    std::atomic<void*> handle_{nullptr};
    Slot instInit_, getInstName_, getMidiModule_, sstpIsEnabled_, sstpSendMessage_, createLink_,
        getVersion_, getCopyright_;
};

// The label of an instrument: the 1-based program number in three digits, a
// colon and the library's name ("001:GrandPno"; "042:" when unnamed or when
// the library is missing).
std::string InstLabelText(SfrLibBinding& lib, int program, int bank, int map);

// Writes a launcher for target named name in folder ("folder/name.desktop";
// a trailing separator on folder is not doubled). Returns CreateLink's result.
int32_t CreateShortcut(SfrLibBinding& lib, const std::string& folder, const std::string& name,
                       const std::string& target, const std::string& arguments);

}  // namespace sonfara::platform
