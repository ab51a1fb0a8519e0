// Per-user folders and whole-file reads and writes for the player's own
// files (settings, MIME definitions, association lists).
#pragma once

#include <cstdint>
#include <string>

namespace sonfara {

// $XDG_CONFIG_HOME, else ~/.config (Windows: %APPDATA%). No trailing slash.
std::string UserConfigFolder();
// $XDG_DATA_HOME, else ~/.local/share (Windows: %APPDATA%). No trailing slash.
std::string UserDataFolder();
// The folder of the running program, without a trailing slash; empty when
// it cannot be found.
std::string ProgramFolder();

// Joins two path parts with one separator.
std::string JoinPath(const std::string& folder, const std::string& name);

enum class ReadStatus { kOk, kMissing, kUnreadable, kTooLarge };

// Reads a whole file as bytes; files above `max_bytes` are not read.
ReadStatus ReadWholeFile(const std::string& path, std::string& bytes,
                         uintmax_t max_bytes = UINTMAX_MAX);

// Creates the folder and its parents; true when it exists afterwards.
bool MakeFolders(const std::string& folder);

// Writes bytes to a temporary file beside `path` and renames it over `path`,
// so a crash or a full disk never leaves a half-written file in its place.
// Creates the folder when needed. On failure returns false, sets `error` and
// leaves any previous file untouched.
bool WriteFileReplacing(const std::string& path, const std::string& bytes, std::string* error);

}  // namespace sonfara
