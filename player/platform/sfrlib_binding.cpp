#include "player/platform/sfrlib_binding.h"

#include <dlfcn.h>

#include <cstdio>

#include "player/platform/library_presence.h"
#include "support/SfrLib.h"  // signatures only; the library is never linked

namespace sonfara::platform {

bool SfrLibPresent() {
    return LibraryExists(kSfrLibFileName);
}

SfrLibBinding::SfrLibBinding() : path_(FindLibrary(kSfrLibFileName)) {}

SfrLibBinding::SfrLibBinding(std::string path) : path_(std::move(path)) {}

SfrLibBinding::~SfrLibBinding() {
    if (void* h = handle_.load()) ::dlclose(h);
}

bool SfrLibBinding::Load() {
    std::call_once(openOnce_, [this] {
        if (!path_.empty()) handle_.store(::dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL));
    });
    return handle_.load() != nullptr;
}

void* SfrLibBinding::Bind(Slot& slot, const char* name) {
    std::call_once(slot.once, [&] {
        if (Load()) slot.fn.store(::dlsym(handle_.load(), name));
    });
    return slot.fn.load(std::memory_order_acquire);
}

// Binds the export of the same name and calls it, or yields kUnavailable.
#define SFR_CALL(slot, name, ...)                                         \
    do {                                                                  \
        auto fn = reinterpret_cast<decltype(&::name)>(Bind(slot, #name)); \
        return fn ? fn(__VA_ARGS__) : kUnavailable;                       \
    } while (0)

int32_t SfrLibBinding::InstInit() {
    SFR_CALL(instInit_, InstInit);
}

int32_t SfrLibBinding::GetInstName(int32_t bank, int32_t map, int32_t program, char* buffer) {
    SFR_CALL(getInstName_, GetInstName, bank, map, program, buffer);
}

int32_t SfrLibBinding::GetMIDIModule(const char* path) {
    SFR_CALL(getMidiModule_, GetMIDIModule, path);
}

int32_t SfrLibBinding::SSTPIsEnabled() {
    SFR_CALL(sstpIsEnabled_, SSTPIsEnabled);
}

int32_t SfrLibBinding::SSTPSendMessage(const char* script, const char* sender, const char* option) {
    SFR_CALL(sstpSendMessage_, SSTPSendMessage, script, sender, option);
}

int32_t SfrLibBinding::CreateLink(const char* target, const char* linkPath, const char* arguments,
                                  const char* description, const char* workingFolder,
                                  const char* iconFile, int32_t iconIndex) {
    SFR_CALL(createLink_, CreateLink, target, linkPath, arguments, description, workingFolder,
             iconFile, iconIndex);
}

int32_t SfrLibBinding::SFRGetVersion() {
    SFR_CALL(getVersion_, SFRGetVersion);
}

#undef SFR_CALL

std::string SfrLibBinding::SFRGetCopyright() {
    auto fn =
        reinterpret_cast<decltype(&::SFRGetCopyright)>(Bind(getCopyright_, "SFRGetCopyright"));
    char buffer[SFRLIB_COPYRIGHT_MAX + 1] = {};
    if (!fn || fn(buffer) != 0) return {};
    buffer[SFRLIB_COPYRIGHT_MAX] = '\0';
    return buffer;
}

std::string InstLabelText(SfrLibBinding& lib, int program, int bank, int map) {
    char name[100] = {};
    lib.GetInstName(bank, map, program, name);
    name[sizeof name - 1] = '\0';
    char number[16];
    std::snprintf(number, sizeof number, "%03d:", program + 1);
    return std::string(number) + name;
}

int32_t CreateShortcut(SfrLibBinding& lib, const std::string& folder, const std::string& name,
                       const std::string& target, const std::string& arguments) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    path += ".desktop";
    return lib.CreateLink(target.c_str(), path.c_str(), arguments.c_str(), "", "", target.c_str(),
                          0);
}

}  // namespace sonfara::platform
