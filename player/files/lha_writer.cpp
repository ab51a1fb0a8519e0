#include "player/files/lha_writer.h"

#include <sys/stat.h>

#include <array>
#include <cstdint>

#include "player/files/paths.h"

namespace sonfara::files {
namespace {

const std::array<uint16_t, 256>& CrcTable() {
    static const std::array<uint16_t, 256> t = [] {
        std::array<uint16_t, 256> table{};
        for (unsigned i = 0; i < 256; ++i) {
            uint16_t c = static_cast<uint16_t>(i);
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : c >> 1;
            table[i] = c;
        }
        return table;
    }();
    return t;
}

void Put16(std::string& s, size_t at, uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}

void Append16(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

void Append32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Windows' number for UTF-8, as the code-page extended header holds it.
constexpr uint32_t kUtf8CodePage = 65001;

// Readers take unmarked names as CP932, so only that family is written unmarked.
bool IsCp932Family(const platform::CodePage& cp) {
    std::string n;
    for (const char c : cp.Name()) n += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return n == "CP932" || n == "WINDOWS-31J" || n == "SHIFT_JIS" || n == "SJIS" ||
           n == "MS_KANJI" || n == "CSWINDOWS31J";
}

}  // namespace

uint16_t LhaCrc16(const void* data, size_t size, uint16_t crc) {
    const auto& t = CrcTable();
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i)
        crc = static_cast<uint16_t>(t[(crc ^ p[i]) & 0xFF] ^ (crc >> 8));
    return crc;
}

std::string BuildLhaArchive(const std::vector<LhaMember>& members, const platform::CodePage& cp,
                            int* skipped) {
    std::string out;
    int missing = 0;
    for (const LhaMember& m : members) {
        std::string data;
        if (!ReadFileBytes(m.sourcePath, data) || data.size() > 0xFFFFFFFFu) {
            ++missing;
            continue;
        }
        struct stat st {};
        const uint32_t mtime =
            ::stat(m.sourcePath.c_str(), &st) == 0 ? static_cast<uint32_t>(st.st_mtime) : 0;
        // A name the code page holds is written in it, as DOS archivers
        // read it; any other is written as UTF-8 and marked so.
        std::string name;
        const bool utf8 = !cp.TryFromUtf8(m.name, name) || !IsCp932Family(cp);
        if (utf8) name = m.name;
        if (name.size() > 0xFFF0) name.resize(0xFFF0);

        std::string h;
        Append16(h, 0);  // total header size, filled below
        h += "-lh0-";
        Append32(h, static_cast<uint32_t>(data.size()));  // packed size
        Append32(h, static_cast<uint32_t>(data.size()));  // original size
        Append32(h, mtime);
        h += '\x20';  // attribute: archive
        h += '\x02';  // header level
        Append16(h, LhaCrc16(data.data(), data.size()));
        h += utf8 ? 'U' : 'M';
        // Extended headers: header CRC (0x00), the names' code page (0x46)
        // for UTF-8 names, file name (0x01), then the end.
        const size_t crcAt = h.size() + 3;
        Append16(h, 5);
        h += '\x00';
        Append16(h, 0);
        if (utf8) {
            Append16(h, 7);
            h += '\x46';
            Append32(h, kUtf8CodePage);
        }
        Append16(h, static_cast<uint16_t>(3 + name.size()));
        h += '\x01';
        h += name;
        Append16(h, 0);
        // A header size whose low byte is 0 would read as the end mark.
        if ((h.size() & 0xFF) == 0) h += '\0';
        Put16(h, 0, static_cast<uint16_t>(h.size()));
        Put16(h, crcAt, LhaCrc16(h.data(), h.size()));
        out += h;
        out += data;
    }
    out += '\0';  // end of archive
    if (skipped) *skipped = missing;
    return out;
}

FileStatus WriteLhaArchive(const std::string& path, const std::vector<LhaMember>& members,
                           const platform::CodePage& cp) {
    return WriteFileReplacing(path, BuildLhaArchive(members, cp));
}

}  // namespace sonfara::files
