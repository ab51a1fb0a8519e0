// Japanese CP932 texts read exactly as the plain CP932 reading gives them,
// whatever the decision weighs: the demo songs the build writes, the
// shared corpus (skipped without it), the text files of the tests and the
// shipped arrangement files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "player/files/shaping_catalog.h"
#include "player/platform/text_decoding.h"
#include "player/song/lyrics.h"
#include "player/song/smf_reader.h"

namespace sonfara {
namespace {

namespace fs = std::filesystem;

const platform::CodePage& Cp932() {
    static const platform::CodePage cp("CP932");
    return cp;
}

// Hiragana or katakana in the CP932 reading.
bool HasKana(const std::string& utf8) {
    for (const std::string_view k : {"\xE3\x81", "\xE3\x82", "\xE3\x83"}) {
        if (utf8.find(k) != std::string::npos) return true;
    }
    return false;
}

std::vector<std::string> Songs() {
    std::vector<std::string> songs{SONFARA_DEMO_SONG, SONFARA_KARAOKE_DEMO};
    const fs::path corpus = fs::path(SONFARA_CORPUS_DIR) / "smf";
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(corpus, ec)) {
        if (e.path().extension() == ".mid") songs.push_back(e.path().string());
    }
    return songs;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(JapaneseTexts, SongsReadAsPlainCp932ByteForByte) {
    int japanese = 0;
    for (const std::string& path : Songs()) {
        song::SongTable song;
        song::LoadOptions o;
        o.songFileName = fs::path(path).filename().string();
        if (!song::LoadSMF(path, song, o).ok()) continue;
        const std::vector<std::string_view> texts = song.MetaTexts(SIZE_MAX);
        std::string all;
        for (std::string_view t : texts) all += Cp932().ToUtf8(t);
        if (!HasKana(all)) continue;
        ++japanese;
        SCOPED_TRACE(path);
        EXPECT_EQ(song.TextCodePage().Name(), "CP932");
        for (std::string_view t : texts)
            EXPECT_EQ(song.TextCodePage().ToUtf8(t), Cp932().ToUtf8(t));
        EXPECT_EQ(song.TextCodePage().ToUtf8(song.SongTitle), Cp932().ToUtf8(song.SongTitle));
    }
    EXPECT_GE(japanese, 1) << "the demo song has Japanese texts";
}

TEST(JapaneseTexts, ShippedFilesReadAsPlainCp932) {
    const fs::path source(SONFARA_SOURCE_DIR);
    int japanese = 0;
    // (EQ presets are binary; their captions are their file names.)
    for (const char* folder : {"data/arr", "tests/cli/data", "tests/song/data"}) {
        for (const auto& e : fs::directory_iterator(source / folder)) {
            const std::string bytes = ReadAll(e.path());
            const std::string plain = Cp932().ToUtf8(bytes);
            if (!HasKana(plain)) continue;
            ++japanese;
            EXPECT_EQ(platform::DecodeFileText(bytes), plain) << e.path();
        }
    }
    EXPECT_GE(japanese, 2) << "both shipped arrangements are Japanese";

    files::ShapingCatalog c;
    c.Load(
        files::ShapingFolders{{(source / "data/arr").string()}, {(source / "data/eq").string()}});
    for (size_t i = 0; i < c.Arrangements().size(); ++i)
        EXPECT_EQ(c.ArrangementMenuCaptions()[i], Cp932().ToUtf8(c.Arrangements()[i].ArrangeName));
}

}  // namespace
}  // namespace sonfara
