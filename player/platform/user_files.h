// Per-user folders and whole-file reads and writes for the player's own
// files (settings, MIME definitions, association lists).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "player/platform/messages.h"

namespace sonfara::platform {

// $XDG_CONFIG_HOME, else ~/.config (Windows: %APPDATA%). No trailing slash.
std::string UserConfigFolder();
// $XDG_DATA_HOME, else ~/.local/share (Windows: %APPDATA%). No trailing slash.
std::string UserDataFolder();
// $XDG_CACHE_HOME, else ~/.cache (Windows: %LOCALAPPDATA%). No trailing slash.
std::string UserCacheFolder();
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

// kNotAFile: something other than a regular file (a FIFO, a folder, a
// device) has that name.
enum class ReadStatus { kOk, kMissing, kUnreadable, kTooLarge, kNotAFile };

// Reads a whole regular file as bytes; files above `max_bytes` (also ones
// that grow past it while being read) and anything but regular files are
// not read. Never waits: a FIFO of that name is not opened for reading.
ReadStatus ReadWholeFile(const std::string& path, std::string& bytes,
                         uintmax_t max_bytes = UINTMAX_MAX);

// Creates the folder and its parents; true when it exists afterwards.
bool MakeFolders(const std::string& folder);

// The file `path` names once a symbolic link in its last part is followed
// (also one whose target does not exist yet); `path` itself when it is no
// link.
std::string ResolveLinks(const std::string& path);

// Writes bytes to a fresh temporary file beside `path` (".<name>.XXXXXX",
// mode 0644 less the umask), syncs it and renames it over `path`, so a crash
// or a full disk never leaves a half-written file in its place. A `path`
// that is a symbolic link stays one: its target is written. Creates the
// folder when asked. On failure (kCannotWrite) any previous file is left
// untouched.
PlatformStatus WriteFileReplacing(const std::string& path, std::string_view bytes,
                                  bool createFolder = true);

// Like WriteFileReplacing, but never replaces anything: kExists, with nothing
// written, when the name is taken. The folder must exist.
PlatformStatus WriteNewFile(const std::string& path, std::string_view bytes);

// Removes the temporaries that a crash during WriteFileReplacing left beside
// `path` (regular files named ".<name>.XXXXXX"); returns how many.
int RemoveStaleTemporaries(const std::string& path);

}  // namespace sonfara::platform
