// Link to an external WRD player plug-in, a shared library bound by name.
// When it is present and switched on it presents songs that have a ".sry"
// script; otherwise the built-in interpreter decides.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "player/wrd/runtime.h"

namespace sonfara::wrd {

// The record handed to the plug-in on every tick: four 32-bit fields.
struct WrdPositionRecord {
    int32_t size = 16;
    int32_t tick = 0;
    int32_t division = 0;
    int32_t result = 0;  // written by the plug-in
};
static_assert(sizeof(WrdPositionRecord) == 16);

// What the plug-in draws into on this platform in place of a device
// context (dswrdRepaint's second argument): the WRD window's 640 x 480
// frame, 32-bit 0xAARRGGBB pixels, rows bytesPerLine apart.
struct WrdPaintTarget {
    uint32_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bytesPerLine = 0;
};

using WrdPluginHandle = intptr_t;
using WrdPluginCallback = int32_t (*)(int32_t, const int32_t* record, int32_t);

// The plug-in's exports, bound by name.
struct WrdPluginApi {
    WrdPluginHandle (*dswrdAttachHWND)(void* window) = nullptr;
    int32_t (*dswrdSetCallBack)(WrdPluginHandle, WrdPluginCallback, int32_t) = nullptr;
    int32_t (*dswrdOpenFile)(WrdPluginHandle, const char* path) = nullptr;
    int32_t (*dswrdProcessingWRD)(WrdPluginHandle, WrdPositionRecord*) = nullptr;
    int32_t (*dswrdRestart)(WrdPluginHandle) = nullptr;
    int32_t (*dswrdRepaint)(WrdPluginHandle, void* dc) = nullptr;
    int32_t (*dswrdReset)(WrdPluginHandle) = nullptr;
    int32_t (*dswrdDestroy)(WrdPluginHandle) = nullptr;
    int32_t (*dswrdGetMajorVersion)() = nullptr;  // optional
    int32_t (*dswrdGetMinorVersion)() = nullptr;  // optional
};

// Finds and binds the plug-in library.
class WrdPluginLoader {
  public:
    virtual ~WrdPluginLoader() = default;
    virtual bool Available() const = 0;
    // Loads the library and binds its exports; false if any required one is missing.
    virtual bool Bind(WrdPluginApi& api) = 0;
};

// The shared library "libdswrd.so" ("dswrd.dll" on Windows) in the program
// folder or the system library folder, loaded with dlopen.
class SharedLibraryWrdPlugin : public WrdPluginLoader {
  public:
    // `folders`: where to look, in order; empty means the program's folder
    // and the system library folders.
    explicit SharedLibraryWrdPlugin(std::vector<std::string> folders = {});
    ~SharedLibraryWrdPlugin() override;
    static const char* FileName();
    bool Available() const override;
    bool Bind(WrdPluginApi& api) override;

  private:
    std::string Find() const;
    std::vector<std::string> folders_;
    void* lib_ = nullptr;
};

struct ExternalWrdSettings {
    bool showWrd = true;  // ShowWRD
    bool enabled = true;  // SWRDEmulation: use the plug-in when present
};

class ExternalWrdPlayer {
  public:
    ExternalWrdPlayer(WrdPluginLoader& loader, WrdWindow& window, void* windowHandle);
    ~ExternalWrdPlayer();

    // Start-up: bind and attach to the WRD window when the plug-in is present.
    void Attach();
    // Before the built-in loader, for each new song: true if the plug-in
    // presents it (a ".sry" script beside the song).
    bool ChooseForSong(const std::string& songPath, const ExternalWrdSettings& settings);
    // WRD timer tick with the sequencer's current tick.
    void Tick(int32_t currentTick, int32_t division);
    // After a seek: rewind and replay to the new tick in one call. The
    // sequencer sets its current tick to 0 itself.
    void Seek(int32_t tick, int32_t division, bool portChanging = false);
    // Stop, and the song starting over: rewind.
    void Rewind();
    void RequestRestart() { restartRequested_ = true; }
    // Paint: true if the plug-in drew into `dc`.
    bool Repaint(void* dc);
    // Shut-down or unloading.
    void Detach();

    bool Attached() const { return handle_ != 0; }
    bool Active() const { return active_; }
    bool Busy() const { return busy_; }
    int32_t LastResult() const { return result_; }
    // Version numbers for the version window; -1 when unknown.
    int32_t MajorVersion() const;
    int32_t MinorVersion() const;
    // The value the plug-in's callback last left.
    static int32_t CallbackValue();

  private:
    void Open(const std::string& script, const ExternalWrdSettings& settings);
    WrdPluginLoader& loader_;
    WrdWindow& window_;
    void* windowHandle_;
    WrdPluginApi api_;
    bool bound_ = false;
    WrdPluginHandle handle_ = 0;
    bool active_ = false;
    bool restartRequested_ = false;
    bool busy_ = false;
    int32_t result_ = 0;
    std::vector<uint32_t> palette_;  // 256 entries, kept while attached
};

// Both presentations behind the calls the rest of the player makes.
class WrdPresenter {
  public:
    WrdPresenter(WrdRuntime& builtIn, ExternalWrdPlayer* external)
        : builtIn_(builtIn), external_(external) {}

    // File-open pipeline, after the song is loaded.
    void SongLoaded(const std::string& songPath, const song::SongTable& song,
                    const WrdSettings& settings, bool externalEnabled);
    // WRD window timer.
    void Timer(int32_t currentTick, int32_t division);
    // Sequencer hooks.
    void Seeked(int32_t tick, int32_t division, bool portChanging = false);
    void SongRepeats();
    void Stopped();
    bool ExternalActive() const { return external_ && external_->Active(); }

  private:
    WrdRuntime& builtIn_;
    ExternalWrdPlayer* external_;
};

}  // namespace sonfara::wrd
