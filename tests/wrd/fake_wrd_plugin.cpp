// A stand-in WRD player plug-in: records every call it receives.
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

namespace {
std::string g_log;
int32_t (*g_cb)(int32_t, const int32_t*, int32_t) = nullptr;
// The thread that attached; calls from any other thread are counted.
std::thread::id g_owner;
int g_foreignCalls = 0;
void Log(const std::string& s) {
    if (std::this_thread::get_id() != g_owner) ++g_foreignCalls;
    g_log += s + ";";
}
}  // namespace

extern "C" {
intptr_t dswrdAttachHWND(void* w) {
    g_owner = std::this_thread::get_id();
    Log(w ? "attach" : "attach(null)");
    return 42;
}
int32_t dswrdSetCallBack(intptr_t h, int32_t (*cb)(int32_t, const int32_t*, int32_t), int32_t z) {
    g_cb = cb;
    Log("callback " + std::to_string(h) + " " + std::to_string(z));
    return 1;
}
int32_t dswrdOpenFile(intptr_t h, const char* path) {
    std::string p(path);
    Log("open " + p.substr(p.rfind('/') + 1));
    return 1;
}
int32_t dswrdProcessingWRD(intptr_t h, int32_t* rec) {
    Log("process " + std::to_string(rec[0]) + " " + std::to_string(rec[1]) + " " +
        std::to_string(rec[2]));
    rec[3] = 5;
    const int32_t mine[3] = {0, 0, 77};
    if (g_cb) g_cb(0, mine, 0);
    return 1;
}
int32_t dswrdRestart(intptr_t) {
    Log("restart");
    return 1;
}
// Paints a 10 x 10 box at the frame's top left: what a test can see.
int32_t dswrdRepaint(intptr_t, void* dc) {
    struct Target {
        uint32_t* pixels;
        int32_t width, height, bytesPerLine;
    };
    Log("repaint");
    if (auto* t = static_cast<Target*>(dc); t && t->pixels)
        for (int y = 0; y < 10 && y < t->height; ++y)
            for (int x = 0; x < 10 && x < t->width; ++x)
                t->pixels[y * (t->bytesPerLine / 4) + x] = 0xFF3366CCu;
    return 1;
}
int32_t dswrdReset(intptr_t) {
    Log("reset");
    return 1;
}
int32_t dswrdDestroy(intptr_t) {
    Log("destroy");
    return 1;
}
int32_t dswrdGetMajorVersion() {
    return 1;
}
int32_t dswrdGetMinorVersion() {
    return 3;
}
const char* fakeWrdLog() {
    return g_log.c_str();
}
int fakeWrdForeignCalls() {
    return g_foreignCalls;
}
void fakeWrdClearLog() {
    g_log.clear();
}
}
