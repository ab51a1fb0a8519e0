// Converter plug-ins: absent (what users meet) and present (stand-ins).
#include "player/files/converters.h"

#include <cstdlib>

#include "player/files/work_folder.h"
#include "tests/files/files_fixture.h"
#include "tests/files/rcp_writer.h"

namespace sonfara::files::test {
namespace {

class PluginScope {
  public:
    explicit PluginScope(const char* dir) { ::setenv("SONFARA_PLUGIN_DIR", dir, 1); }
    ~PluginScope() { ::unsetenv("SONFARA_PLUGIN_DIR"); }
};

TEST(Converters, OptionsRecordAndFormatTexts) {
    EXPECT_EQ(SmfkOptions(true, false), (std::array<int32_t, 6>{24, -1, 0, 0, -1, 0}));
    EXPECT_EQ(SmfkOptions(false, true), (std::array<int32_t, 6>{24, 0, -1, 0, -1, 0}));
    EXPECT_EQ(RcpFormatText(1), "RCM Ver 2.0");
    EXPECT_EQ(RcpFormatText(4), "RCM for Windows95");
    EXPECT_EQ(RcpFormatText(5), "");
}

TEST(Converters, AbsentPluginsAreNotInstalled) {
    TempDir empty;
    PluginScope scope(empty.Path().c_str());
    if (PluginExists(kRcpLibrary)) GTEST_SKIP() << "a converter is installed on this machine";
    EXPECT_EQ(RcpVersionText(), "Not Installed");
    std::string fmt = "SMF Format ";
    const std::string out = ConvertRcp("/x/s.rcp", empty.Path() + "/", fmt);
    EXPECT_EQ(out, empty / "s.rcp.mid");
    EXPECT_FALSE(FileExists(out));
    EXPECT_EQ(fmt, "SMF Format ");
}

TEST(Converters, PresentPluginsConvertThroughThePipeline) {
    PluginScope scope(SONFARA_TEST_PLUGIN_DIR);
    ASSERT_TRUE(PluginExists(kRcpLibrary));
    EXPECT_EQ(RcpVersionText(), "1.2");
    EXPECT_EQ(SmfkVersionText(), "7");

    TempDir base, songs;
    WorkFolder work = WorkFolder::Create(base.Path());
    RecordingNotifier n;
    RecordingTarget t;
    FileOp op(t, FileContext{n, work.Path(), platform::SystemCodePage()});
    WriteBytes(songs / "s.G36", "RCM-PC98V2.0(C)COME ON MUSIC");
    op.OpenFiles({songs / "s.G36"});
    ASSERT_TRUE(n.messages.empty()) << n.messages[0];
    EXPECT_EQ(t.loadedPaths.back(), work.Path() + "s.G36.mid");
    EXPECT_EQ(op.Current().FormatText, "RCM for Windows95");
    EXPECT_EQ(t.song.FileKindLabel, "RCM for Windows95");

    // Module emulation for a GS song with the GS configuration.
    const auto gs = sonfara::test::Smf(
        0, 480,
        {sonfara::test::Track()
             .SysEx(0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7})
             .Msg(0, {0x90, 60, 100})
             .Msg(480, {0x80, 60, 0})
             .End()});
    WriteBytes(songs / "gs.mid", std::string(gs.begin(), gs.end()));
    op.Settings().moduleEmulation.enabled = true;
    op.Settings().moduleEmulation.gsConfig = "/cfg/gs.cfg";
    op.Settings().moduleEmulation.smfkBank = true;
    ASSERT_TRUE(op.PlayEntry({"gs.mid", songs.Path(), "", ""}));
    EXPECT_EQ(t.loadedPaths.back(), work.Path() + "gs.mid");
    EXPECT_EQ(ReadBytes(work.Path() + "gs.mid.opts"), "/cfg/gs.cfg||0 24 -1 0 0 -1 0");
    // Without a configuration for its module the song is loaded as it is.
    op.Settings().moduleEmulation.gsConfig.clear();
    ASSERT_TRUE(op.PlayEntry({"gs.mid", songs.Path(), "", ""}));
    EXPECT_EQ(t.loadedPaths.back(), songs / "gs.mid");

    // Paths reach the plug-ins as the file system's own bytes, whatever the
    // code page of the texts.
    fs::rename(songs / "gs.mid", songs / "ジーエス.mid");
    op.Settings().moduleEmulation.gsConfig = "/cfg/gs.cfg";
    ASSERT_TRUE(op.PlayEntry({"ジーエス.mid", songs.Path(), "", ""}));
    EXPECT_EQ(t.loadedPaths.back(), work.Path() + "ジーエス.mid");
    WriteBytes(songs / "曲.rcp", "RCM-PC98V2.0(C)COME ON MUSIC");
    ASSERT_TRUE(op.PlayEntry({"曲.rcp", songs.Path(), "", ""}));
    EXPECT_EQ(t.loadedPaths.back(), work.Path() + "曲.rcp.mid");
    for (const auto& de : fs::directory_iterator(work.Path())) {
        const std::string name = de.path().filename().string();
        EXPECT_TRUE(name == ".lock" || name == "ArcTemp" || platform::IsPlausibleUtf8(name) ||
                    name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789._GS") ==
                        std::string::npos)
            << name;
    }
}

TEST(Converters, BuiltInConverterServesWithoutThePlugin) {
    TempDir empty, base, songs, out;
    PluginScope scope(empty.Path().c_str());
    if (PluginExists(kRcpLibrary)) GTEST_SKIP() << "a converter is installed on this machine";
    WorkFolder work = WorkFolder::Create(base.Path());
    RecordingNotifier n;
    RecordingTarget t;
    FileOp op(t, FileContext{n, work.Path(), platform::SystemCodePage()});
    RcpSongWriter w;
    w.title = "Loop";
    w.gsd = "GONE.GSD";
    w.tracks = {RcpTrackWriter().LoopStart().Note(60, 48, 24, 100).LoopEnd(0).End()};
    WriteBytes(songs / "曲.rcp", w.Bytes());
    op.Settings().rcpLoopCount = 3;
    op.OpenFiles(ScanFolder(songs.Path(), true));  // a folder lists its sequencer files too
    EXPECT_EQ(n.messages,
              std::vector<std::string>{
                  "コントロールファイルが見つからないか読めないため、その設定は送信しません: "
                  "GONE.GSD"});
    EXPECT_EQ(t.loadedPaths.back(), work.Path() + "曲.rcp.mid");
    EXPECT_EQ(op.Current().FormatText, "RCM Ver 2.0");
    EXPECT_EQ(t.song.FileKindLabel, "RCM Ver 2.0");
    EXPECT_EQ(t.song.SongTitle, "Loop");
    EXPECT_EQ(t.song.EventCount(2), 7);  // three plays of the endless loop, the end
    // What plays can be saved as an SMF, whatever its origin.
    ASSERT_TRUE(SaveSongAsSmf(op.Current(), out / "曲.mid", n));
    EXPECT_EQ(ReadBytes(out / "曲.mid"), ReadBytes(work.Path() + "曲.rcp.mid"));
    EXPECT_FALSE(SaveSongAsSmf(SongSource{}, out / "x.mid", n));
    EXPECT_EQ(n.messages.back(), "ファイルがありません");
}

}  // namespace
}  // namespace sonfara::files::test
