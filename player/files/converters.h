// Converter plug-ins: sequencer formats to SMF (rcpcv) and module emulation
// (smfk32). A plug-in is a shared library found by file name in the program
// folder or a system library folder and bound by name; none ships, so the
// "not present" paths are the ones users normally meet.
//
// Plug-in ABI (C linkage; paths are the file system's own bytes, as open(2)
// takes them — on Linux UTF-8, never code-page text):
//   void* rcpcvConvertFile(const char* path, int32_t, int32_t, int32_t, int32_t);
//   int32_t rcpcvGetOriginalFileType(void* handle);
//   void rcpcvSaveSMF(void* handle, const char* outPath);
//   void rcpcvDeleteObject(void* handle);
//   int32_t rcpcvGetVersionMajor(void); int32_t rcpcvGetVersionMinor(void);
//   int32_t SmfkConvert(void* window, const char* src, const char* out,
//                       const char* config, const char* empty,
//                       const int32_t* options, int32_t zero);
//   int32_t GetSmfkVersion(void);
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sonfara::files {

#if defined(_WIN32)
inline constexpr const char* kRcpLibrary = "rcpcv.dll";
inline constexpr const char* kSmfkLibrary = "smfk32.dll";
#else
inline constexpr const char* kRcpLibrary = "librcpcv.so";
inline constexpr const char* kSmfkLibrary = "libsmfk32.so";
#endif

// Where plug-ins are looked for: $SONFARA_PLUGIN_DIR when set, the program
// folder, then the system library folders.
std::vector<std::string> PluginSearchFolders();
// Full path of the plug-in file, empty when absent.
std::string FindPlugin(const std::string& fileName);
inline bool PluginExists(const std::string& fileName) {
    return !FindPlugin(fileName).empty();
}

// Format text for a kind reported by rcpcvGetOriginalFileType; empty for
// unknown kinds (the text is then left unchanged).
std::string RcpFormatText(int kind);

// Options record of the module-emulation call: size, rhythm, bank, 0, -1, 0.
std::array<int32_t, 6> SmfkOptions(bool smfkBank, bool smfkRhythm);

// Converts a sequencer-format file to <workFolder><name>.mid. `formatText`
// receives the kind's text when the converter reports a known kind. Returns
// the output path; an earlier output of that name is removed first, and a
// failed conversion leaves nothing that could be mistaken for its result.
std::string ConvertRcp(const std::string& path, const std::string& workFolder,
                       std::string& formatText);

// Module emulation: converts `path` with `configFile` into `outPath`. True
// when the converter says its output is to be used (a negative result);
// otherwise no output is left behind.
bool SmfkConvertFile(const std::string& path, const std::string& outPath,
                     const std::string& configFile, const std::array<int32_t, 6>& options);

// Version texts for the about window, "Not Installed" when absent.
std::string RcpVersionText();
std::string SmfkVersionText();

}  // namespace sonfara::files
