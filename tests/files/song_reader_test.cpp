// The one song reader: every kind read alike from a path and from its bytes
// (as the song library reads archive members), the pipeline's copy of the
// same image, and failures that say what went wrong.
#include "player/files/song_reader.h"

#include <map>

#include "tests/files/files_fixture.h"
#include "tests/files/rcp_writer.h"

namespace sonfara::files::test {
namespace {

std::span<const uint8_t> AsSpan(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string RcpSong() {
    RcpTrackWriter t;
    t.Note(60, 240, 200, 100).End();
    RcpSongWriter w;
    w.title = "Rcp Title";
    w.tracks = {t};
    return w.Bytes();
}

TEST(SongReader, EveryKindReadsAlikeFromItsPathAndItsBytes) {
    TempDir dir;
    const std::string smf = SongBytes();
    const std::string rmi = std::string("RIFF\x10\0\0\0RMIDdata\0\0\0\0", 20) + smf;
    const std::map<std::string, std::pair<std::string, std::string>> songs = {
        {"a.mid", {smf, "SMF Format 0"}},
        {"b.RMI", {rmi, "RMI Format 0"}},
        {"c.rcp", {RcpSong(), "RCM Ver 2.0"}},
    };
    for (const auto& [name, song] : songs) {
        const auto& [bytes, label] = song;
        WriteBytes(dir / name, bytes);
        song::SongTable fromPath, fromBytes;
        const SongRead a = ReadSong(dir / name, fromPath, {});
        const SongRead b = ReadSong(AsSpan(bytes), name, fromBytes, {});
        ASSERT_TRUE(a.ok() && b.ok()) << name << a.status.Message() << b.status.Message();
        EXPECT_EQ(fromPath.FileKindLabel, label);
        EXPECT_EQ(fromBytes.FileKindLabel, label);
        EXPECT_EQ(fromPath.NTracks, fromBytes.NTracks) << name;
        EXPECT_EQ(fromPath.SongTitle, fromBytes.SongTitle) << name;
        EXPECT_EQ(&fromPath.TextCodePage(), &fromBytes.TextCodePage()) << name;
        // What was read, as the library scans it for module resets.
        const std::span<const uint8_t> image = b.SmfIn(AsSpan(bytes));
        const std::string read(image.begin(), image.end());
        EXPECT_EQ(read.substr(0, 4), "MThd") << name;
        if (name != "c.rcp") {
            EXPECT_EQ(read, smf) << name;
        }
        // The pipeline loads the same image from its work folder.
        if (name == "a.mid") continue;
        const SongRead copy = CopySongSmf(dir / name, dir / "work.mid", 2);
        ASSERT_TRUE(copy.ok()) << copy.status.Message();
        EXPECT_EQ(ReadBytes(dir / "work.mid"), read) << name;
        EXPECT_EQ(copy.fileKindLabel + (name == "b.RMI" ? "0" : ""), label);
    }
}

TEST(SongReader, FailuresSayWhatWentWrong) {
    TempDir dir;
    WriteBytes(dir / "bad.mid", "not a song");
    song::SongTable song;
    const SongRead bad = ReadSong(dir / "bad.mid", song, {});
    EXPECT_EQ(bad.status.code(), FileError::kSongNotLoaded);
    EXPECT_EQ(bad.load.code(), song::LoadError::kHeader);
    EXPECT_EQ(bad.status.Message(), song::msg::LoadErrorCaption(bad.load.Message()));

    const SongRead missing = ReadSong(dir / "missing.rmi", song, {});
    EXPECT_EQ(missing.load.code(), song::LoadError::kCannotRead);
    EXPECT_EQ(missing.status.code(), FileError::kSongNotLoaded);

    // A conversion's text is the converter's own once the file is named.
    const std::string notRcp = "MThd" + std::string(200, '\0');
    const SongRead unconverted = ReadSong(AsSpan(notRcp), "x.g36", song, {});
    EXPECT_EQ(unconverted.status.code(), RcpError(RcpProblem::kUnknownHeader));
    EXPECT_TRUE(unconverted.load.ok());
    EXPECT_EQ(unconverted.status.Message() + ": x.g36",
              RcpProblemText(RcpProblem::kUnknownHeader, "x.g36"));

    // The pipeline's copy says why it could not be written.
    WriteBytes(dir / "c.rcp", RcpSong());
    const SongRead unwritten = CopySongSmf(dir / "c.rcp", dir / "no/such/folder.mid", 2);
    EXPECT_EQ(unwritten.status.code(), FileError::kCannotSave);
    EXPECT_FALSE(fs::exists(dir / "no/such/folder.mid"));
}

}  // namespace
}  // namespace sonfara::files::test
