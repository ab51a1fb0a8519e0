// Every corpus song loads to the same events, ticks, milliseconds and
// payloads as the reference digests recorded before the event storage
// changed. SONFARA_WRITE_DIGESTS=FILE writes the current digests instead.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "player/song/smf_reader.h"

namespace sonfara {
namespace {

struct Fnv {
    uint64_t h = 1469598103934665603ull;
    void Byte(uint8_t b) {
        h ^= b;
        h *= 1099511628211ull;
    }
    void Int(int64_t v) {
        for (int i = 0; i < 8; ++i) Byte(static_cast<uint8_t>(v >> (8 * i)));
    }
};

// Digest of what a load yields: the error, or every event of every track.
uint64_t Digest(const std::filesystem::path& file, int threads) {
    song::SongTable s;
    song::LoadOptions o;
    o.songFileName = file.filename().string();
    o.threads = threads;
    const song::LoadStatus r = song::LoadSMF(file.string(), s, o);
    Fnv f;
    if (!r.ok()) {
        for (char c : r.Message()) f.Byte(static_cast<uint8_t>(c));
        return f.h;
    }
    f.Int(s.Format);
    f.Int(s.NTracks);
    f.Int(s.TotalMs);
    for (int t = 1; t <= s.NTracks; ++t) {
        for (int e = 1; e <= s.EventCount(t); ++e) {
            const auto& ev = s.Event(t, e);
            f.Int(t);
            f.Int(ev.tick);
            f.Int(ev.TimeMs());
            f.Byte(ev.status);
            f.Int(ev.Length());
            if (ev.status >= 0xF0) {
                for (uint8_t b : s.ExtRow(ev.ExtIndex())) f.Byte(b);
            } else {
                f.Byte(ev.data1);
                f.Byte(ev.data2);
            }
        }
    }
    return f.h;
}

std::map<std::string, std::string> Expected() {
    std::map<std::string, std::string> m;
    std::ifstream in(SONFARA_SOURCE_DIR "/tests/song/data/corpus_digests.txt");
    std::string name, digest;
    while (in >> name >> digest) m[name] = digest;
    return m;
}

std::string Hex(uint64_t v) {
    std::ostringstream s;
    s << std::hex << v;
    return s.str();
}

TEST(CorpusDigest, EveryCorpusSongLoadsAsBeforeWhateverTheThreadCount) {
    const std::filesystem::path dir = SONFARA_CORPUS_DIR "/smf";
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no corpus at " << dir;
    std::map<std::string, std::string> actual;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".mid")
            actual[entry.path().filename().string()] = Hex(Digest(entry.path(), 1));
    if (const char* out = std::getenv("SONFARA_WRITE_DIGESTS")) {
        std::ofstream o(out);
        for (const auto& [name, digest] : actual) o << name << ' ' << digest << '\n';
        GTEST_SKIP() << "digests written to " << out;
    }
    const auto expected = Expected();
    ASSERT_EQ(expected.size(), actual.size());
    for (const auto& [name, digest] : actual) {
        ASSERT_TRUE(expected.count(name)) << name;
        EXPECT_EQ(digest, expected.at(name)) << name;
        EXPECT_EQ(Hex(Digest(dir / name, 2)), expected.at(name)) << name << ", 2 threads";
    }
}

}  // namespace
}  // namespace sonfara
