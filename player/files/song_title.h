// A song's title read cheaply from the start of its file, for lists that
// show many songs without loading them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace sonfara::files {

// The title the player would show, in code-page bytes: a Recomposer
// header's title; for an SMF (or RMI) the first track name of track 1 or the
// first text event, as the loader takes them. Empty when the file has none
// or cannot be read; only the first 64 KiB are read.
std::string SongFileTitle(const std::string& path);
std::string SmfTitle(std::span<const uint8_t> bytes);

}  // namespace sonfara::files
