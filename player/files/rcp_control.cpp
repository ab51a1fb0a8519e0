// Control files beside a song: .cm6 (MT-32 / CM-64 memory image) and .gsd
// (GS part and effect setup), turned into the Roland exclusive messages the
// sequencer sent before the song started.
#include <cstring>

#include "player/files/rcp_internal.h"
#include "player/platform/midi.h"

namespace sonfara::files::rcp {
namespace {

using Bytes = std::span<const uint8_t>;

constexpr uint8_t kDevice = 0x10;
constexpr uint8_t kModelMt32 = 0x16;
constexpr uint8_t kModelGs = midi::kRolandGsModel;

bool HasText(Bytes b, size_t at, std::string_view s) {
    return b.size() >= at + s.size() && std::memcmp(b.data() + at, s.data(), s.size()) == 0;
}

void Append(std::vector<std::string>& out, std::vector<std::string> more) {
    for (std::string& m : more) out.push_back(std::move(m));
}

// --- CM6 -------------------------------------------------------------------

struct Cm6Block {
    size_t at, length;
    uint32_t address;
};

// In the order the module needs them: timbres before the patches that use
// them, the temporary areas last. The 64 memory timbres are sent one by one
// (246 bytes each, without the padding of their 256-byte slots).
constexpr size_t kTimbreMemory = 0x0E34;
constexpr Cm6Block kCm6Blocks[] = {
    {0x0A34, 0x400, RolandAddress(0x05, 0x00, 0x00)},  // patch memory
    {0x0080, 0x17, RolandAddress(0x10, 0x00, 0x00)},   // system area
    {0x00A0, 0x90, RolandAddress(0x03, 0x00, 0x00)},   // patch temporary area
    {0x0130, 0x154, RolandAddress(0x03, 0x01, 0x10)},  // rhythm setup
    {0x0284, 0x7B0, RolandAddress(0x04, 0x00, 0x00)},  // timbre temporary area
    {0x4E34, 0x7E, RolandAddress(0x50, 0x00, 0x00)},   // CM-32P patch temporary area
    {0x4EB2, 0x980, RolandAddress(0x51, 0x00, 0x00)},  // CM-32P patch memory
    {0x5832, 0x11, RolandAddress(0x52, 0x00, 0x00)},   // CM-32P system area
};

void SendCm6Block(Bytes file, size_t at, size_t length, uint32_t address,
                  std::vector<std::string>& out) {
    if (at + length > file.size()) return;  // an MT-32-only file ends early
    Append(out, RolandBlock(kDevice, kModelMt32, address, file.subspan(at, length)));
}

// --- GSD -------------------------------------------------------------------

constexpr size_t kParts = 16;
constexpr size_t kPartSize = 0x7A;
constexpr size_t kPartsAt = 0x36;
constexpr size_t kDrumSetsAt = 0x7D6;
constexpr size_t kDrumSetSize = 0x14C;
constexpr size_t kDrumNotes = 82;
constexpr uint8_t kFirstDrumNote = 27;
constexpr size_t kMasterTuneAt = 0xA6E;

// GS address blocks run 1..9, 0, A..F over parts 1..16 (part 10 is block 0).
uint8_t PartBlock(size_t part) {
    return static_cast<uint8_t>(part < 9 ? part + 1 : part == 9 ? 0 : part);
}

void GsBlock(Bytes data, uint32_t address, std::vector<std::string>& out) {
    Append(out, RolandBlock(kDevice, kModelGs, address, data));
}

void GsdSystem(Bytes f, std::vector<std::string>& out) {
    // The master tune is kept as a word with 0x2000 for no detune and
    // 0x2000 steps to a semitone; GS takes tenths of a cent around 0x400 as
    // four nibbles.
    const int word = f[kMasterTuneAt] | (f[kMasterTuneAt + 1] << 8);
    if (word <= 0x3FFF) {
        const int tune = 0x400 + (word - 0x2000) * 1000 / 0x2000;
        const uint8_t n[4] = {
            static_cast<uint8_t>((tune >> 12) & 15), static_cast<uint8_t>((tune >> 8) & 15),
            static_cast<uint8_t>((tune >> 4) & 15), static_cast<uint8_t>(tune & 15)};
        GsBlock(n, RolandAddress(0x40, 0x00, 0x00), out);
    }
    GsBlock(f.subspan(0x20, 3), RolandAddress(0x40, 0x00, 0x04), out);  // volume, key shift, pan
    GsBlock(f.subspan(0x27, 7), RolandAddress(0x40, 0x01, 0x30), out);  // reverb
    GsBlock(f.subspan(0x2E, 8), RolandAddress(0x40, 0x01, 0x38), out);  // chorus
}

void GsdPart(Bytes p, uint8_t block, std::vector<std::string>& out) {
    const auto b = block;
    GsBlock(p.subspan(0x00, 0x23), RolandAddress(0x40, 0x10 | b, 0x00), out);
    GsBlock(p.subspan(0x23, 8), RolandAddress(0x40, 0x10 | b, 0x30), out);   // tone modify
    GsBlock(p.subspan(0x2B, 12), RolandAddress(0x40, 0x10 | b, 0x40), out);  // scale tuning
    for (uint8_t c = 0; c < 6; ++c) {  // controller destinations
        GsBlock(p.subspan(0x37 + c * 11u, 11), RolandAddress(0x40, 0x20 | b, c * 0x10), out);
    }
}

void GsdDrums(Bytes f, std::vector<std::string>& out) {
    // Level, pan, reverb and chorus per note, kept note by note; GS keeps
    // them attribute by attribute (41 m2, m4, m5, m6).
    static constexpr uint8_t kAttribute[4] = {0x2, 0x4, 0x5, 0x6};
    for (uint8_t map = 0; map < 2; ++map) {
        const Bytes set = f.subspan(kDrumSetsAt + map * kDrumSetSize, kDrumSetSize);
        for (size_t a = 0; a < 4; ++a) {
            uint8_t values[kDrumNotes];
            for (size_t n = 0; n < kDrumNotes; ++n) values[n] = set[n * 4 + a];
            GsBlock(
                values,
                RolandAddress(0x41, static_cast<uint8_t>(map << 4 | kAttribute[a]), kFirstDrumNote),
                out);
        }
    }
}

}  // namespace

bool Cm6Messages(Bytes file, std::vector<std::string>& out) {
    if (!HasText(file, 0, "COME ON MUSIC") || file.size() < 0x0A34) return false;
    for (size_t t = 0; t < 64; ++t) {
        SendCm6Block(file, kTimbreMemory + t * 0x100, 0xF6,
                     RolandAddress(0x08, 0x00, 0x00) + static_cast<uint32_t>(t * 0x100), out);
    }
    for (const Cm6Block& b : kCm6Blocks) SendCm6Block(file, b.at, b.length, b.address, out);
    return true;
}

bool GsdMessages(Bytes file, std::vector<std::string>& out) {
    if (!HasText(file, 0, "COME ON MUSIC") || !HasText(file, 0x0E, "GS CONTROL") ||
        file.size() < kMasterTuneAt + 3) {
        return false;
    }
    GsdSystem(file, out);
    uint8_t reserve[kParts];
    for (size_t i = 0; i < kParts; ++i) {
        const Bytes part = file.subspan(kPartsAt + i * kPartSize, kPartSize);
        GsdPart(part, PartBlock(i), out);
        reserve[PartBlock(i)] = part[0x79];
    }
    GsBlock(reserve, RolandAddress(0x40, 0x01, 0x10), out);  // voice reserve, by block
    GsdDrums(file, out);
    return true;
}

}  // namespace sonfara::files::rcp
