#include "player/wrd/external_player.h"

#include <atomic>
#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace sonfara::wrd {

namespace fs = std::filesystem;

namespace {

std::atomic<int32_t> g_callbackValue{0};

// Stores the third field of the record the plug-in hands over.
int32_t PluginCallback(int32_t, const int32_t* record, int32_t) {
    if (record) g_callbackValue.store(record[2], std::memory_order_relaxed);
    return 0xFFFF;
}

std::vector<std::string> DefaultFolders() {
    std::vector<std::string> f;
    std::error_code ec;
#if !defined(_WIN32)
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) f.push_back(exe.parent_path().string());
    f.push_back("/usr/local/lib");
    f.push_back("/usr/lib");
#endif
    return f;
}

void* Symbol(void* lib, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib), name));
#else
    return dlsym(lib, name);
#endif
}

template <typename Fn>
bool BindOne(void* lib, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(Symbol(lib, name));
    return fn != nullptr;
}

}  // namespace

SharedLibraryWrdPlugin::SharedLibraryWrdPlugin(std::vector<std::string> folders)
    : folders_(folders.empty() ? DefaultFolders() : std::move(folders)) {}

SharedLibraryWrdPlugin::~SharedLibraryWrdPlugin() {
#if !defined(_WIN32)
    if (lib_) dlclose(lib_);
#else
    if (lib_) FreeLibrary(static_cast<HMODULE>(lib_));
#endif
}

const char* SharedLibraryWrdPlugin::FileName() {
#if defined(_WIN32)
    return "dswrd.dll";
#else
    return "libdswrd.so";
#endif
}

std::string SharedLibraryWrdPlugin::Find() const {
    std::error_code ec;
    for (const auto& d : folders_) {
        const fs::path p = fs::path(d) / FileName();
        if (fs::is_regular_file(p, ec)) return p.string();
    }
    return {};
}

bool SharedLibraryWrdPlugin::Available() const {
    return !Find().empty();
}

bool SharedLibraryWrdPlugin::Bind(WrdPluginApi& api) {
    if (!lib_) {
        const std::string path = Find();
        if (path.empty()) return false;
#if defined(_WIN32)
        lib_ = LoadLibraryA(path.c_str());
#else
        lib_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
        if (!lib_) return false;
    }
    WrdPluginApi a;
    const bool ok = BindOne(lib_, "dswrdAttachHWND", a.dswrdAttachHWND) &&
                    BindOne(lib_, "dswrdSetCallBack", a.dswrdSetCallBack) &&
                    BindOne(lib_, "dswrdOpenFile", a.dswrdOpenFile) &&
                    BindOne(lib_, "dswrdProcessingWRD", a.dswrdProcessingWRD) &&
                    BindOne(lib_, "dswrdRestart", a.dswrdRestart) &&
                    BindOne(lib_, "dswrdRepaint", a.dswrdRepaint) &&
                    BindOne(lib_, "dswrdReset", a.dswrdReset) &&
                    BindOne(lib_, "dswrdDestroy", a.dswrdDestroy);
    if (!ok) return false;
    BindOne(lib_, "dswrdGetMajorVersion", a.dswrdGetMajorVersion);
    BindOne(lib_, "dswrdGetMinorVersion", a.dswrdGetMinorVersion);
    api = a;
    return true;
}

ExternalWrdPlayer::ExternalWrdPlayer(WrdPluginLoader& loader, WrdWindow& window, void* windowHandle)
    : loader_(loader), window_(window), windowHandle_(windowHandle) {}

ExternalWrdPlayer::~ExternalWrdPlayer() {
    Detach();
}

void ExternalWrdPlayer::Attach() {
    if (handle_ != 0 || !loader_.Available()) return;
    if (!bound_) bound_ = loader_.Bind(api_);
    if (!bound_) return;
    handle_ = api_.dswrdAttachHWND(windowHandle_);
    if (handle_ == 0) return;
    palette_.assign(256, 0);
    api_.dswrdSetCallBack(handle_, &PluginCallback, 0);
    result_ = 0;
}

void ExternalWrdPlayer::Open(const std::string& script, const ExternalWrdSettings& settings) {
    if (settings.showWrd) window_.Show();
    api_.dswrdOpenFile(handle_, script.c_str());
    window_.StartTimer();
    result_ = 0;
}

bool ExternalWrdPlayer::ChooseForSong(const std::string& songPath,
                                      const ExternalWrdSettings& settings) {
    const std::string script = CompanionFile(songPath, "sry");
    active_ = false;
    if (script.empty()) return false;
    active_ = true;
    if (handle_ != 0 && settings.enabled) {
        Open(script, settings);
    } else if (handle_ == 0 && settings.enabled && loader_.Available()) {
        // The plug-in appeared since start-up (the switch is honoured here too).
        Attach();
        if (handle_ != 0)
            Open(script, settings);
        else
            active_ = false;
    } else {
        active_ = false;
    }
    return active_;
}

void ExternalWrdPlayer::Tick(int32_t currentTick, int32_t division) {
    if (!active_ || handle_ == 0) return;
    if (restartRequested_) {
        api_.dswrdRestart(handle_);
        restartRequested_ = false;
    }
    WrdPositionRecord rec;
    rec.tick = currentTick;
    rec.division = division;
    api_.dswrdProcessingWRD(handle_, &rec);
    result_ = rec.result;
}

void ExternalWrdPlayer::Seek(int32_t tick, int32_t division, bool portChanging) {
    if (handle_ == 0 || !active_ || portChanging) return;
    busy_ = true;
    api_.dswrdRestart(handle_);
    WrdPositionRecord rec;
    rec.tick = tick;
    rec.division = division;
    api_.dswrdProcessingWRD(handle_, &rec);
    busy_ = false;
    result_ = 0;
}

void ExternalWrdPlayer::Rewind() {
    if (handle_ != 0 && active_) api_.dswrdRestart(handle_);
}

bool ExternalWrdPlayer::Repaint(void* dc) {
    if (!active_ || handle_ == 0 || busy_) return false;
    api_.dswrdRepaint(handle_, dc);
    return true;
}

void ExternalWrdPlayer::Detach() {
    if (handle_ == 0) return;
    api_.dswrdReset(handle_);
    api_.dswrdDestroy(handle_);
    result_ = 0;
    handle_ = 0;
    active_ = false;
}

int32_t ExternalWrdPlayer::MajorVersion() const {
    return bound_ && api_.dswrdGetMajorVersion ? api_.dswrdGetMajorVersion() : -1;
}
int32_t ExternalWrdPlayer::MinorVersion() const {
    return bound_ && api_.dswrdGetMinorVersion ? api_.dswrdGetMinorVersion() : -1;
}
int32_t ExternalWrdPlayer::CallbackValue() {
    return g_callbackValue.load(std::memory_order_relaxed);
}

void WrdPresenter::SongLoaded(const std::string& songPath, const song::SongTable& song,
                              const WrdSettings& settings, bool externalEnabled) {
    bool external = false;
    if (external_)
        external = external_->ChooseForSong(songPath, {settings.showWrd, externalEnabled});
    builtIn_.LoadWrdScript(songPath, song, settings, external);
}

void WrdPresenter::Timer(int32_t currentTick, int32_t division) {
    if (ExternalActive())
        external_->Tick(currentTick, division);
    else
        builtIn_.RunDueWrdEvents();
}

void WrdPresenter::Seeked(int32_t tick, int32_t division, bool portChanging) {
    if (ExternalActive())
        external_->Seek(tick, division, portChanging);
    else
        builtIn_.RestartAfterSeek();
}

void WrdPresenter::SongRepeats() {
    if (ExternalActive())
        external_->Rewind();
    else if (builtIn_.Active())
        builtIn_.ClearWrdScreen();
}

void WrdPresenter::Stopped() {
    if (ExternalActive()) external_->Rewind();
}

}  // namespace sonfara::wrd
