// The export window over a real job: the player's UI thread stays free while
// the worker renders, the end comes back on the UI thread, and closing the
// program mid-job (the window destroyed) stops the worker and leaves no file.
#include "player/dialogs/export_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QTest>
#include <filesystem>
#include <fstream>

#include "player/platform/midi.h"
#include "tests/support_code/smf_bytes.h"

namespace sonfara::dialogs {
namespace {

using test::Smf;
using test::Track;

constexpr const char* kSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// One held note of `seconds` (division 500 at the default tempo: 1 tick = 1 ms).
std::string WriteSong(const std::filesystem::path& dir, int seconds) {
    const auto bytes = Smf(0, 500,
                           {Track()
                                .Msg(0, {midi::kNoteOn, 60, 100})
                                .Msg(seconds * 1000, {midi::kNoteOff, 60, 0})
                                .End()});
    std::ofstream(dir / "song.mid", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return "song.mid";
}

class ExportDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (access(kSoundFont, R_OK) != 0) GTEST_SKIP() << "no SoundFont";
        dir_ = std::filesystem::temp_directory_path() /
               ("sonfara-export-ui-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_ / "work");
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    session::AudioExportRequest Request(int seconds) {
        session::AudioExportRequest r;
        r.song = files::FileEntry{WriteSong(dir_, seconds), dir_.string() + "/", "", ""};
        r.outputPath = (dir_ / "out.wav").string();
        r.sampleRate = 22050;
        r.soundFont = kSoundFont;
        r.workFolder = (dir_ / "work").string() + "/";
        return r;
    }
    std::filesystem::path dir_;
};

TEST_F(ExportDialogTest, FinishesOnTheUiThreadAndRefusesASecondJobMeanwhile) {
    ExportDialog dialog;
    int calls = 0;
    session::AudioExportResult seen;
    ASSERT_TRUE(
        dialog.Start(Request(2), QStringLiteral("song"),
                     [&](const session::AudioExportRequest&, const session::AudioExportResult& r) {
                         ++calls;
                         seen = r;
                     }));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.Start(Request(2), QStringLiteral("again"), {}));
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 30000);
    EXPECT_EQ(seen.status, session::AudioExportResult::Status::kDone) << seen.error;
    EXPECT_EQ(dialog.Permille(), 1000);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(std::filesystem::exists(dir_ / "out.wav"));
    EXPECT_EQ(ExportDialog::ResultText(Request(2), seen).contains(QStringLiteral("out.wav")), true);
}

TEST_F(ExportDialogTest, ClosingTheProgramMidJobLeavesNoFile) {
    auto dialog = std::make_unique<ExportDialog>();
    bool ended = false;
    ASSERT_TRUE(dialog->Start(Request(600), QStringLiteral("long"),
                              [&](const session::AudioExportRequest&,
                                  const session::AudioExportResult&) { ended = true; }));
    QTRY_VERIFY_WITH_TIMEOUT(dialog->Permille() > 0, 30000);
    dialog.reset();
    QCoreApplication::processEvents();
    EXPECT_FALSE(ended);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.wav"));
    for (const auto& e : std::filesystem::directory_iterator(dir_))
        EXPECT_TRUE(e.path().filename() == "song.mid" || e.path().filename() == "work") << e.path();
}

}  // namespace
}  // namespace sonfara::dialogs
