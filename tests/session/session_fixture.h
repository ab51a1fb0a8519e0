// A playback session on a manual clock, manual timers and recording ports,
// with songs written to a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "player/platform/midi_port.h"
#include "player/platform/priority.h"
#include "player/platform/timer.h"
#include "player/session/session.h"
#include "tests/sequencer/smf_builder.h"

namespace sonfara::test {

class RecordingNotifier final : public files::Notifier {
  public:
    void Error(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

// Scratch folder per test; songs written into it.
inline std::string ScratchFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "session" /
                                (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "work");
    return dir.string();
}

inline std::string WriteSong(const std::string& folder, const std::string& name,
                             const std::vector<uint8_t>& bytes) {
    const std::string path = folder + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

// A 10 s song: one note per second on channel 1.
inline std::vector<uint8_t> TenSecondSong(uint8_t firstNote = 60) {
    TrackBuilder t;
    for (int i = 0; i < 10; ++i)
        t.Ev(i * 1000, {0x90, static_cast<uint8_t>(firstNote + i), 0x64})
            .Ev(i * 1000 + 900, {0x80, static_cast<uint8_t>(firstNote + i), 0x40});
    return BuildSmf(0, {t});
}

struct SessionRig {
    std::string folder = ScratchFolder();
    platform::ManualClock clock;
    platform::ManualTimerService timers{clock};
    platform::RecordingOutputSystem ports{clock};
    sequencer::ManualUiScheduler ui;
    platform::CodePage cp{"CP932"};
    RecordingNotifier notifier;
    std::unique_ptr<session::PlaybackSession> session;

    explicit SessionRig(settings::SettingsStore* store = nullptr,
                        platform::ProcessPriority* priority = nullptr,
                        uintmax_t backgroundLoadBytes = UINTMAX_MAX) {
        session::SessionEnv env(clock, timers, ports, ui, cp, notifier, folder + "/work/");
        env.backgroundLoadBytes = backgroundLoadBytes;
        env.settingsStore = store;
        env.priority = priority;
        env.libs.rcpConverter = [] { return false; };
        env.libs.smfkConverter = [] { return false; };
        session = std::make_unique<session::PlaybackSession>(std::move(env));
    }
    session::PlaybackSession& S() { return *session; }
    session::SessionSnapshot Snap() const { return session->Snapshot(); }
    platform::RecordingPort& Port() { return *ports.Latest(); }
    // Ticks and the UI queue for ms of clock time, the queue every millisecond.
    void RunMs(int64_t ms) {
        const int64_t end = clock.NowUs() + ms * 1000;
        while (clock.NowUs() < end) {
            timers.RunUntilUs(std::min(end, clock.NowUs() + 1000));
            ui.RunPending();
        }
    }
};

}  // namespace sonfara::test
