// The audio export job with the real synthesizer and sound-file library:
// each format as a player reads it back, archive members, no file left by a
// cancelled or failed job, and the output layer's switches in the sound.
#include "player/session/audio_export.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "player/platform/midi.h"
#include "player/sequencer/playback_settings.h"
#include "tests/files/files_fixture.h"

namespace sonfara {
namespace {

using files::test::ReadBytes;
using files::test::TempDir;
using files::test::WriteBytes;
using files::test::WriteZip;
using test::Smf;
using test::Track;

constexpr const char* kSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
constexpr int kRate = 22050;
constexpr uint8_t kStrings = 48;  // a long release
constexpr uint8_t kMiddleC = 60;
constexpr uint8_t kLoopStartController = 111;

// Strings from 0 to 400 ms (division 500: one tick is one millisecond).
std::string StringsSong() {
    const auto b = Smf(0, 500,
                       {Track()
                            .Msg(0, {midi::kProgramChange, kStrings})
                            .Msg(0, {midi::kNoteOn, kMiddleC, 100})
                            .Msg(400, {midi::kNoteOff, kMiddleC, 0})
                            .End()});
    return std::string(b.begin(), b.end());
}

struct Audio {
    SF_INFO info{};
    std::vector<int16_t> samples;  // interleaved stereo
    // The loudest sample between two times.
    int Peak(int fromMs, int toMs) const {
        int peak = 0;
        for (size_t i = size_t(fromMs) * kRate / 1000 * 2;
             i < std::min(samples.size(), size_t(toMs) * kRate / 1000 * 2); ++i)
            peak = std::max(peak, std::abs(int(samples[i])));
        return peak;
    }
};

Audio ReadAudio(const std::string& path) {
    Audio a;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &a.info);
    if (!f) return a;
    a.samples.resize(size_t(a.info.frames) * size_t(a.info.channels));
    sf_readf_short(f, a.samples.data(), a.info.frames);
    sf_close(f);
    return a;
}

class AudioExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (access(kSoundFont, R_OK) != 0) GTEST_SKIP() << "no SoundFont";
        WriteBytes(dir_ / "song.mid", StringsSong());
        std::filesystem::create_directory(work_ / "");
        request_.song = files::FileEntry{"song.mid", dir_.Path(), "", ""};
        request_.outputPath = dir_ / "out.wav";
        request_.sampleRate = kRate;
        request_.soundFont = kSoundFont;
        request_.workFolder = work_.Path() + "/";
    }
    session::AudioExportResult Run(const session::AudioExportProgressFn& progress = {}) {
        return session::RunAudioExport(request_, progress, cancel_);
    }
    // The names in the song folder besides the song itself.
    std::vector<std::string> Written() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_.Path()))
            if (e.path().filename() != "song.mid") names.push_back(e.path().filename());
        return names;
    }

    TempDir dir_, work_;
    session::AudioExportRequest request_;
    std::atomic<bool> cancel_{false};
};

TEST_F(AudioExportTest, EachFormatReadsBackWithTheSongsRateAndLength) {
    const std::pair<session::AudioFormat, int> formats[] = {
        {session::AudioFormat::kWav, SF_FORMAT_WAV},
        {session::AudioFormat::kFlac, SF_FORMAT_FLAC},
        {session::AudioFormat::kOgg, SF_FORMAT_OGG}};
    for (const auto& [format, major] : formats) {
        request_.format = format;
        request_.outputPath = dir_ / (std::string("out.") + session::AudioFormatExtension(format));
        double last = 0;
        const session::AudioExportResult r = Run([&](const session::AudioExportProgress& p) {
            EXPECT_GE(p.fraction, last);
            last = p.fraction;
        });
        ASSERT_EQ(r.status, session::AudioExportResult::Status::kDone) << r.error;
        EXPECT_EQ(last, 1.0);
        const Audio a = ReadAudio(request_.outputPath);
        EXPECT_EQ(a.info.format & SF_FORMAT_TYPEMASK, major);
        EXPECT_EQ(a.info.samplerate, kRate);
        EXPECT_EQ(a.info.channels, 2);
        EXPECT_EQ(a.info.frames, sf_count_t(r.frames));
        EXPECT_GE(a.info.frames, kRate * 400 / 1000);  // the song, then at most 3 s of tail
        EXPECT_LE(a.info.frames, kRate * 3400 / 1000);
        EXPECT_GT(a.Peak(0, 400), 300);
    }
    // The WAV keeps the plain 44-byte header.
    EXPECT_EQ(ReadBytes(dir_ / "out.wav").size(), 44 + 4 * ReadAudio(dir_ / "out.wav").info.frames);
    EXPECT_EQ(Written().size(), 3u);  // no temporary file left beside them
}

// The player may be playing its own copy of a member of that name meanwhile.
TEST_F(AudioExportTest, ArchiveMemberRendersWithoutTouchingTheCallersWorkFolder) {
    WriteBytes(work_ / "member.mid", "the player's");
    WriteZip(dir_ / "songs.zip", {{"inner/member.mid", StringsSong()}});
    request_.song = files::FileEntry{"inner/member.mid", dir_.Path(), "songs.zip", ""};
    const session::AudioExportResult r = Run();
    ASSERT_EQ(r.status, session::AudioExportResult::Status::kDone) << r.error;
    EXPECT_GT(ReadAudio(request_.outputPath).Peak(0, 400), 300);
    EXPECT_EQ(ReadBytes(work_ / "member.mid"), "the player's");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(work_.Path()), {}), 1);
}

TEST_F(AudioExportTest, CancelledOrFailedJobLeavesNoFile) {
    // Cancelled half-way: the older file of that name stays as it was.
    WriteBytes(request_.outputPath, "older");
    const session::AudioExportResult cancelled =
        Run([&](const session::AudioExportProgress& p) { cancel_ = p.fraction >= 0.5; });
    EXPECT_EQ(cancelled.status, session::AudioExportResult::Status::kCancelled);
    EXPECT_EQ(ReadBytes(request_.outputPath), "older");
    EXPECT_EQ(Written().size(), 1u);
    cancel_ = false;

    request_.outputPath = dir_ / "no such folder/out.wav";
    const session::AudioExportResult unwritable = Run();
    EXPECT_EQ(unwritable.status, session::AudioExportResult::Status::kFailed);
    EXPECT_NE(unwritable.error.find("書き込めません: " + request_.outputPath), std::string::npos);

    WriteBytes(dir_ / "broken.mid", "MThd and nothing more");
    request_.song.FileName = "broken.mid";
    request_.outputPath = dir_ / "broken.wav";
    const session::AudioExportResult broken = Run();
    EXPECT_EQ(broken.status, session::AudioExportResult::Status::kFailed);
    EXPECT_NE(broken.error.find("broken.mid"), std::string::npos) << broken.error;
    // A loop point with an endless loop count would never end.
    const auto looping = Smf(0, 500,
                             {Track()
                                  .Msg(0, {midi::kControlChange, kLoopStartController, 0})
                                  .Msg(0, {midi::kNoteOn, kMiddleC, 100})
                                  .Msg(400, {midi::kNoteOff, kMiddleC, 0})
                                  .End()});
    WriteBytes(dir_ / "looping.mid", std::string(looping.begin(), looping.end()));
    request_.song.FileName = "looping.mid";
    request_.values.loopCount = sequencer::kEndlessLoops;
    const session::AudioExportResult endless = Run();
    EXPECT_EQ(endless.status, session::AudioExportResult::Status::kRefused);
    EXPECT_NE(endless.error.find("looping.mid"), std::string::npos) << endless.error;

    std::vector<std::string> names = Written();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"broken.mid", "looping.mid", "out.wav"}));
    EXPECT_FALSE(std::filesystem::exists(request_.outputPath));
    EXPECT_TRUE(std::filesystem::is_empty(work_.Path()));
}

TEST_F(AudioExportTest, ChannelSwitchesAndTheReleaseTailReachTheFile) {
    // The song's end resets the synthesizer; the release must sound before it.
    ASSERT_EQ(Run().status, session::AudioExportResult::Status::kDone);
    const Audio full = ReadAudio(request_.outputPath);
    EXPECT_GT(full.Peak(450, 500), 300);

    request_.channels = 0xFFFE;  // channel 1 off
    ASSERT_EQ(Run().status, session::AudioExportResult::Status::kDone);
    EXPECT_EQ(ReadAudio(request_.outputPath).Peak(0, 400), 0);
}

TEST_F(AudioExportTest, ArrangementOfTheValuesIsFoundByItsCaption) {
    const session::AudioExportResult strings = Run();
    ASSERT_EQ(strings.status, session::AudioExportResult::Status::kDone);
    // Strings (program 49) played as brass: a far shorter release.
    WriteBytes(dir_ / "arr/brass.arr",
               "[SONFARA ARRANGE FILE]\r\nBrassy\r\n[INST]\r\n49:62\r\n[OPTION]\r\nMOD 0\r\n");
    request_.shapingFolders.arr = {dir_ / "arr"};
    request_.values.arrangementItem = 7;  // the caller's menu had other items before it
    request_.values.arrangementCaption = "Brassy";
    const session::AudioExportResult brass = Run();
    ASSERT_EQ(brass.status, session::AudioExportResult::Status::kDone) << brass.error;
    EXPECT_LT(brass.frames + kRate / 2, strings.frames);
}

// The hidden temporaries in a folder whose name starts with `prefix`.
std::vector<std::string> PartsOf(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string n = e.path().filename().string();
        if (n.rfind(prefix, 0) == 0 && n.size() > 5 && n.substr(n.size() - 5) == ".part")
            names.push_back(n);
    }
    return names;
}

// A render killed before its end leaves its temporary file; the next render
// into that folder removes it, but never one a running render (here another
// process, then another writer in this one) is still writing, nor anything
// not named exactly as a render names them.
TEST(AudioFileParts, StaleOnesGoWhatOthersWriteStays) {
    TempDir dir;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        session::AudioFileOut out;
        if (!out.Open(dir / "killed.wav", session::AudioFormat::kWav, kRate, "").ok()) ::_exit(1);
        const std::vector<int16_t> frames(2 * 1000, 100);
        out.Write(frames.data(), 1000);
        (void)!::write(ready[1], "r", 1);
        ::pause();  // until killed
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(PartsOf(dir.Path(), ".killed.wav.").size(), 1u);
    EXPECT_EQ(session::RemoveStaleAudioParts(dir.Path()), 0) << "still being written";
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(PartsOf(dir.Path(), ".killed.wav.").size(), 1u);

    const std::vector<std::string> others = {".song.wav.0BADC0DE.part",    ".song.wav.0badc0d.part",
                                             ".notes.txt.0badc0de.part",   "song.wav.0badc0de.part",
                                             ".song.wav.0badc0de.partial", "..0badc0de.part"};
    for (const std::string& n : others) WriteBytes(dir / n, "x");
    WriteBytes(dir / ".b.flac.deadbeef.part", "stale");
    WriteBytes(dir / "keep.txt", "k");
    std::filesystem::create_symlink(dir / "keep.txt", dir / ".link.wav.00000000.part");
    std::filesystem::create_directory(dir / ".dir.ogg.00000000.part");

    session::AudioFileOut out;
    session::AudioFileStatus opened =
        out.Open(dir / "next.wav", session::AudioFormat::kWav, kRate, "");
    ASSERT_TRUE(opened.ok()) << opened.Message();
    EXPECT_TRUE(PartsOf(dir.Path(), ".killed.wav.").empty());
    EXPECT_FALSE(std::filesystem::exists(dir / ".b.flac.deadbeef.part"));
    for (const std::string& n : others) EXPECT_TRUE(std::filesystem::exists(dir / n)) << n;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / ".link.wav.00000000.part"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / ".dir.ogg.00000000.part"));
    EXPECT_EQ(ReadBytes(dir / "keep.txt"), "k");

    // A second writer in this process opens beside the first one's file.
    session::AudioFileOut second;
    opened = second.Open(dir / "other.wav", session::AudioFormat::kWav, kRate, "");
    ASSERT_TRUE(opened.ok()) << opened.Message();
    EXPECT_EQ(session::RemoveStaleAudioParts(dir.Path()), 0);
    ASSERT_EQ(PartsOf(dir.Path(), ".next.wav.").size(), 1u);
    const std::vector<int16_t> frames(2 * 100, 0);
    ASSERT_TRUE(out.Write(frames.data(), 100));
    const session::AudioFileStatus committed = out.Commit();
    ASSERT_TRUE(committed.ok()) << committed.Message();
    EXPECT_TRUE(std::filesystem::exists(dir / "next.wav"));
    EXPECT_TRUE(PartsOf(dir.Path(), ".next.wav.").empty());
}

}  // namespace
}  // namespace sonfara
