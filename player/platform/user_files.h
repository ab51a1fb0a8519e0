// Per-user folders and whole-file reads and writes for the player's own
// files (settings, MIME definitions, association lists).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sonfara {

// $XDG_CONFIG_HOME, else ~/.config (Windows: %APPDATA%). No trailing slash.
std::string UserConfigFolder();
// $XDG_DATA_HOME, else ~/.local/share (Windows: %APPDATA%). No trailing slash.
std::string UserDataFolder();
// The folder of the running program, without a trailing slash; empty when
// it cannot be found.
std::string ProgramFolder();
// The folder of the files shipped with the programs (presets, help, demo)
// for programs in `program_folder`: the installed data folder relative to
// it (`../share/sonfara` in an FHS tree under any prefix) when that exists,
// else the program folder itself (the build tree).
std::string ShippedDataFolder(const std::string& program_folder);

// Joins two path parts with one separator ('/' or '\' already at the end of
// the folder counts); an empty folder gives the name alone.
std::string JoinPath(std::string_view folder, std::string_view name);

enum class ReadStatus { kOk, kMissing, kUnreadable, kTooLarge };

// Reads a whole regular file as bytes; files above `max_bytes` (also ones
// that grow past it while being read) and anything but regular files are
// not read.
ReadStatus ReadWholeFile(const std::string& path, std::string& bytes,
                         uintmax_t max_bytes = UINTMAX_MAX);

// Creates the folder and its parents; true when it exists afterwards.
bool MakeFolders(const std::string& folder);

// Writes bytes to a fresh temporary file beside `path` (an unpredictable
// name, mode 0644 less the umask) and renames it over `path`, so a crash or
// a full disk never leaves a half-written file in its place. Creates the
// folder when asked. On failure returns false, sets `error` and leaves any
// previous file untouched.
bool WriteFileReplacing(const std::string& path, std::string_view bytes, std::string* error,
                        bool createFolder = true);

}  // namespace sonfara
