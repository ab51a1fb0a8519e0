// A small PNG writer for images the command line produces.
#pragma once

#include <cstdint>
#include <string>

namespace sonfara::cli {

// Writes 8-bit RGB from 0x00RRGGBB pixels, `stride` pixels per row.
bool WritePng(const std::string& path, int width, int height, const uint32_t* pixels, int stride);

}  // namespace sonfara::cli
