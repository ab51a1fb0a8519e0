// sonfara-cli play through the monitor port: the printed messages, and a
// clean stop on SIGTERM with every note released.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "tests/sequencer/smf_builder.h"

namespace {

using sonfara::test::BuildSmf;
using sonfara::test::TrackBuilder;

std::string WriteSong(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

// Each run gets its own home, configuration and runtime folders, so no
// stored setting or work folder of the user's can change what it does; and
// the program's own language, whatever the user's locale.
void UsePrivateFolders() {
    setenv("LC_ALL", "C.UTF-8", 1);
    const std::string home = ::testing::TempDir() + "cli_home_" + std::to_string(getpid());
    for (const char* sub : {"", "/config", "/runtime", "/data"}) mkdir((home + sub).c_str(), 0700);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home + "/runtime").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
}

// Runs the command line; stdout (and stderr with `withStderr`) is collected, `sig` is sent after
// killAfterMs when that is not negative.
std::string RunCli(const std::vector<std::string>& args, int killAfterMs, int* status,
                   int sig = SIGTERM, bool withStderr = false) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    if (pid == 0) {
        UsePrivateFolders();
        dup2(fds[1], 1);
        if (withStderr) dup2(fds[1], 2);
        close(fds[0]);
        std::vector<char*> argv;
        std::string exe = SONFARA_CLI;
        argv.push_back(exe.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    if (killAfterMs >= 0) {
        // Playback has begun once the first note is out; stop it a little later.
        while (out.find(" 90 28 64\n") == std::string::npos &&
               (n = read(fds[0], buf, sizeof buf)) > 0)
            out.append(buf, static_cast<size_t>(n));
        usleep(static_cast<useconds_t>(killAfterMs) * 1000);
        kill(pid, sig);
    }
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    waitpid(pid, status, 0);
    return out;
}

// Notes left on after the printed messages (all-notes-off included).
int NotesLeftOn(const std::string& out, int* lines) {
    std::map<int, bool> on;
    std::istringstream in(out);
    std::string line;
    const std::regex format(R"(^\d+\.\d{3}( [0-9A-F]{2})+$)");
    *lines = 0;
    while (std::getline(in, line)) {
        EXPECT_TRUE(std::regex_match(line, format)) << line;
        ++*lines;
        unsigned st = 0, d1 = 0, d2 = 0;
        auto sp = line.find(' ');
        if (std::sscanf(line.c_str() + sp, " %X %X %X", &st, &d1, &d2) < 2) continue;
        int c = static_cast<int>(st & 15);
        if ((st & 0xF0) == 0x90) on[c << 8 | static_cast<int>(d1)] = d2 != 0;
        if ((st & 0xF0) == 0x80) on[c << 8 | static_cast<int>(d1)] = false;
        if ((st & 0xF0) == 0xB0 && d1 == 123)
            for (auto& [k, v] : on)
                if ((k >> 8) == c) v = false;
    }
    int n = 0;
    for (auto& [k, v] : on) n += v;
    return n;
}

TEST(PlayCli, MonitorPrintsEveryMessageInOrder) {
    TrackBuilder t;
    t.Ev(0, {0xC0, 0x05})
        .Ev(0, {0x90, 0x3C, 0x64})
        .Ev(100, {0x80, 0x3C, 0x40})
        .Meta(100, 0x51, {0x07, 0xA1, 0x20});
    std::string song = WriteSong("cli_short.mid", BuildSmf(0, {t}));
    int status = 0;
    std::string out = RunCli({"play", "--port", "monitor", song}, -1, &status);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(out.find(" C0 05\n"), std::string::npos);
    auto on = out.find(" 90 3C 64\n"), off = out.find(" 80 3C 40\n");
    ASSERT_NE(on, std::string::npos);
    ASSERT_NE(off, std::string::npos);
    EXPECT_LT(on, off);
    EXPECT_NE(out.find(" F0 7E 7F 09 01 F7\n"), std::string::npos);
    int lines = 0;
    EXPECT_EQ(NotesLeftOn(out, &lines), 0);
}

// Every ordinary termination signal stops cleanly, and the exit status
// tells a script which one it was.
TEST(PlayCli, TerminationSignalsStopWithEveryNoteOff) {
    TrackBuilder t;
    for (int i = 0; i < 40; ++i) t.Ev(i * 100, {0x90, static_cast<uint8_t>(40 + i), 0x64});
    t.Ev(10000, {0x80, 0x28, 0x40});
    std::string song = WriteSong("cli_long.mid", BuildSmf(0, {t}));
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
        int status = 0;
        std::string out = RunCli({"play", "--port", "monitor", song}, 300, &status, sig);
        ASSERT_TRUE(WIFEXITED(status)) << sig;
        EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
        int lines = 0;
        EXPECT_EQ(NotesLeftOn(out, &lines), 0) << sig;
        EXPECT_NE(out.find(" 90 28 64\n"), std::string::npos);  // it did play
        EXPECT_EQ(out.find(" 90 4F 64\n"), std::string::npos);  // and stopped early
    }
}

TEST(Cli, EverySubcommandAnswersHelp) {
    for (const char* cmd : {"info", "dump", "inst", "settings", "wrd", "list", "play", "render"}) {
        int status = 0;
        std::string out = RunCli({cmd, "--help"}, -1, &status);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << cmd;
        EXPECT_EQ(out.rfind(std::string("usage: sonfara-cli ") + cmd, 0), 0u) << out;
    }
}

TEST(PlayCli, UnknownPortNamesTheExistingOnes) {
    TrackBuilder t;
    t.Ev(0, {0x90, 0x28, 0x64}).Ev(100, {0x80, 0x28, 0x40});
    const std::string song = WriteSong("port.mid", BuildSmf(0, {t}));
    int status = 0;
    const std::string out =
        RunCli({"play", "--no-settings", "--port", "nowhere", song}, -1, &status, SIGTERM, true);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(out.find("\"nowhere\" というポートはありません"), std::string::npos) << out;
    EXPECT_NE(out.find("\n  monitor\n"), std::string::npos) << out;
    EXPECT_EQ(out.find(" 90 28 64"), std::string::npos);  // nothing was played
}

TEST(RenderCli, WavHoldsTheSongAndAShortTail) {
    const char* sf = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    if (access(sf, R_OK) != 0) GTEST_SKIP() << "no SoundFont";
    TrackBuilder t;
    t.Ev(0, {0xC0, 0x00});
    for (int i = 0; i < 8; ++i)
        t.Ev(i * 250, {0x90, static_cast<uint8_t>(60 + i), 0x64})
            .Ev(i * 250 + 200, {0x80, static_cast<uint8_t>(60 + i), 0x40});
    std::string song = WriteSong("render.mid", BuildSmf(0, {t}));
    std::string wav = ::testing::TempDir() + "render.wav";
    int status = 0;
    RunCli({"render", song, "-o", wav, "--soundfont", sf, "--rate", "22050"}, -1, &status);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    std::ifstream in(wav, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    ASSERT_GT(b.size(), 44u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    auto u32 = [&](size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
    };
    EXPECT_EQ(u32(24), 22050u);
    const double seconds = u32(40) / 4.0 / 22050.0;
    EXPECT_EQ(u32(40) + 44, b.size());
    EXPECT_GE(seconds, 1.95);  // the song ends at 1.95 s
    EXPECT_LE(seconds, 1.95 + 3.1);
    // Sound where the notes are, not only silence.
    int peak = 0;
    for (size_t i = 44; i + 1 < b.size(); i += 2)
        peak = std::max(peak, std::abs(static_cast<int16_t>(b[i] | b[i + 1] << 8)));
    EXPECT_GT(peak, 300);
}

// Seconds of audio in a WAV file the command wrote; -1 when it failed.
double RenderedSeconds(const std::vector<std::string>& args, int* status) {
    const std::string wav = ::testing::TempDir() + "loops.wav";
    std::remove(wav.c_str());
    std::vector<std::string> all = args;
    all.insert(all.end(), {"-o", wav, "--no-settings", "--rate", "22050"});
    RunCli(all, -1, status);
    std::ifstream in(wav, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    if (b.size() < 44) return -1;
    return (b[40] | b[41] << 8 | b[42] << 16 | static_cast<uint32_t>(b[43]) << 24) / 4.0 / 22050.0;
}

// The loops' length in a render, A-B given as bar.beat and m:ss.mmm, and
// what a render cannot take; the same options in real time.
TEST(RenderCli, LoopsGiveTheLengthAndABTakesBarsOrTimes) {
    const char* sf = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    if (access(sf, R_OK) != 0) GTEST_SKIP() << "no SoundFont";
    TrackBuilder t;
    t.Ev(0, {0xC0, 0x00});
    for (int i = 0; i < 8; ++i) {
        if (i == 4) t.Ev(1000, {0xB0, 111, 0x00});  // loop from 1 s to the end at 1.95 s
        t.Ev(i * 250, {0x90, static_cast<uint8_t>(60 + i), 0x64})
            .Ev(i * 250 + 200, {0x80, static_cast<uint8_t>(60 + i), 0x40});
    }
    const std::string song = WriteSong("loops.mid", BuildSmf(0, {t}));
    int status = 0;
    const std::vector<std::string> base = {"render", song, "--soundfont", sf};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> v = base;
        v.insert(v.end(), extra.begin(), extra.end());
        return v;
    };
    const double plain = RenderedSeconds(with({"--loop-count", "0"}), &status);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    const double twice = RenderedSeconds(with({"--loop-count", "2"}), &status);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    // The release tail after the song ends in steps of 1024 frames, and a
    // little more reverb may be left.
    EXPECT_NEAR(twice - plain, 2 * 0.95, 0.15);
    // Bar 1 beat 3 (1 s at 120 BPM) to 1.5 s, once more.
    const double ab = RenderedSeconds(with({"--ab", "1.3,0:01.500", "--loop-count", "1"}), &status);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NEAR(ab - plain, 0.5, 0.15);
    for (const auto& refused :
         std::vector<std::vector<std::string>>{{"--loop-count", "endless"},
                                               {"--ab", "1.3,0:01.500"},
                                               {"--ab", "1.9,2"},
                                               {"--ab", "0:01.500,1.3", "--loop-count", "1"},
                                               {"--fade", "61"}}) {
        EXPECT_EQ(RenderedSeconds(with(refused), &status), -1) << refused[1];
        EXPECT_EQ(WEXITSTATUS(status), 2) << refused[1];
    }

    // Played through the monitor: the section's first note once per pass.
    const std::string out = RunCli(
        {"play", "--no-settings", "--port", "monitor", "--loop-count", "1", song}, -1, &status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    size_t strikes = 0;
    for (size_t at = out.find(" 90 40 64\n"); at != std::string::npos;
         at = out.find(" 90 40 64\n", at + 1))
        ++strikes;
    EXPECT_EQ(strikes, 2u);
}

// Real-time playback through the built-in synthesizer, with FluidSynth's
// "file" audio driver standing in for a sound card.
TEST(PlayCli, BuiltInSynthesizerInRealTime) {
    const char* sf = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    if (access(sf, R_OK) != 0) GTEST_SKIP() << "no SoundFont";
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(400, {0x80, 0x3C, 0x40});
    std::string song = WriteSong("rt.mid", BuildSmf(0, {t}));
    std::string dir = ::testing::TempDir() + "rt_synth";
    std::string mk = "mkdir -p '" + dir + "' && rm -f '" + dir + "/fluidsynth.wav'";
    ASSERT_EQ(std::system(mk.c_str()), 0);
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        UsePrivateFolders();
        setenv("SONFARA_AUDIO_DRIVER", "file", 1);
        std::string exe = SONFARA_CLI;
        execl(exe.c_str(), exe.c_str(), "play", song.c_str(), "--soundfont", sf,
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::ifstream in(dir + "/fluidsynth.wav", std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    int peak = 0;
    for (size_t i = 44; i + 1 < b.size(); i += 2)
        peak = std::max(peak, std::abs(static_cast<int16_t>(b[i] | b[i + 1] << 8)));
    EXPECT_GT(peak, 300);
}

TEST(RenderCli, MissingSoundFontSaysWhereItLookedAndWhatToInstall) {
    int status = 0;
    std::string err = ::testing::TempDir() + "render_err.txt";
    pid_t pid = fork();
    if (pid == 0) {
        freopen(err.c_str(), "w", stderr);
        UsePrivateFolders();
        std::string exe = SONFARA_CLI;
        execl(exe.c_str(), exe.c_str(), "render", "x.mid", "-o", "/tmp/x.wav", "--soundfont",
              "/nonexistent/gm.sf2", static_cast<char*>(nullptr));
        _exit(127);
    }
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream in(err);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("/nonexistent/gm.sf2"), std::string::npos);
    EXPECT_NE(text.find("timgm6mb-soundfont"), std::string::npos);
    EXPECT_NE(text.find("fluid-soundfont-gm"), std::string::npos);
}

}  // namespace
