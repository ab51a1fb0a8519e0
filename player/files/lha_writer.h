// Writes LHA archives of stored (-lh0-) members with level-2 headers, the
// form that every LHA extractor reads. Names are CP932 where the code page
// is of that family and holds them; any other name is stored as UTF-8 with
// OS id 'U' and the code-page extended header (0x46) saying 65001, which
// libarchive honours (lhasa takes the bytes as they are, UTF-8 on Linux).
#pragma once

#include <string>
#include <vector>

#include "player/files/file_entry.h"
#include "player/platform/codepage.h"

namespace sonfara::files {

struct LhaMember {
    std::string name;        // name in the archive (UTF-8)
    std::string sourcePath;  // file whose bytes are stored
};

// The archive image; members whose source cannot be read are left out and
// counted in `skipped` when given.
std::string BuildLhaArchive(const std::vector<LhaMember>& members, const platform::CodePage& cp,
                            int* skipped = nullptr);

// Builds the archive and writes it through a temporary file, so a failure
// leaves any previous archive of that name untouched.
FileStatus WriteLhaArchive(const std::string& path, const std::vector<LhaMember>& members,
                           const platform::CodePage& cp);

// CRC-16 (polynomial 0x8005, reflected) as LHA uses it.
uint16_t LhaCrc16(const void* data, size_t size, uint16_t crc = 0);

}  // namespace sonfara::files
