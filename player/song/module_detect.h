// Raw scan of a MIDI file for the GS and XG reset messages.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace sonfara::song {

enum ModuleKind : int { kModuleNone = 0, kModuleXG = 1, kModuleGS = 2 };

// Scans bytes without regard to the file's structure; the earliest match wins.
int DetectModuleBytes(std::span<const uint8_t> b);

// Reads the file at path; 0 when it cannot be read. The caller shows
// kDetectingModuleText (player/song/messages.h) while this runs.
int DetectModule(const std::string& path);

}  // namespace sonfara::song
