// Stand-ins for the converter plug-ins, built as shared libraries for the
// tests: the sequencer converter writes a fixed song and reports kind 4;
// the emulation converter copies its source and leaves the options it was
// given beside the output.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {
struct Handle {
    std::string source;
};
const unsigned char kSong[] = {'M', 'T',  'h',  'd',  0,   0,   0, 6,    0,    0,  0, 1,
                               1,   0xE0, 'M',  'T',  'r', 'k', 0, 0,    0,    12, 0, 0x90,
                               60,  100,  0x60, 0x80, 60,  0,   0, 0xFF, 0x2F, 0};
}  // namespace

extern "C" {

__attribute__((visibility("default"))) void* rcpcvConvertFile(const char* path, int32_t, int32_t,
                                                              int32_t, int32_t) {
    return new Handle{path};
}
__attribute__((visibility("default"))) int32_t rcpcvGetOriginalFileType(void*) {
    return 4;
}
__attribute__((visibility("default"))) void rcpcvSaveSMF(void*, const char* out) {
    std::ofstream(out, std::ios::binary).write(reinterpret_cast<const char*>(kSong), sizeof kSong);
}
__attribute__((visibility("default"))) void rcpcvDeleteObject(void* h) {
    delete static_cast<Handle*>(h);
}
__attribute__((visibility("default"))) int32_t rcpcvGetVersionMajor() {
    return 1;
}
__attribute__((visibility("default"))) int32_t rcpcvGetVersionMinor() {
    return 2;
}

__attribute__((visibility("default"))) int32_t SmfkConvert(void*, const char* src, const char* out,
                                                           const char* cfg, const char* empty,
                                                           const int32_t* opt, int32_t zero) {
    std::ifstream in(src, std::ios::binary);
    std::ofstream(out, std::ios::binary) << in.rdbuf();
    std::ofstream o(std::string(out) + ".opts");
    o << cfg << '|' << empty << '|' << zero;
    for (int i = 0; i < 6; ++i) o << ' ' << opt[i];
    return -1;
}
__attribute__((visibility("default"))) int32_t GetSmfkVersion() {
    return 7;
}
}
