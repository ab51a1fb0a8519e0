// A player on a manual clock, manual timer and recording ports.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "player/platform/midi_port.h"
#include "player/platform/timer.h"
#include "player/sequencer/player.h"
#include "player/song/smf_reader.h"
#include "tests/sequencer/smf_builder.h"
#include "tests/support_code/test_opener.h"

namespace sonfara::test {

struct Rig : sequencer::PlayerObserver {
    platform::ManualClock clock;
    platform::ManualTimerService timers{clock};
    platform::RecordingOutputSystem ports{clock};
    sequencer::ManualUiScheduler ui;
    platform::CodePage cp{"CP932"};
    std::unique_ptr<sequencer::Player> player;
    std::unique_ptr<TestOpener> opener;  // after the player: leaves it first
    std::map<std::string, std::vector<uint8_t>> files;
    std::vector<int> opened;
    int stoppedAtEnd = 0;

    explicit Rig(sequencer::PlaybackSettings s = {}) {
        player = std::make_unique<sequencer::Player>(
            sequencer::PlayerEnv{clock, timers, ports, ui, cp}, s);
        opener = std::make_unique<TestOpener>(
            *player, [this](const std::string& path, song::SongTable& song, std::string* msg) {
                song::LoadOptions opt;
                opt.codePage = &cp;
                auto it = files.find(path);
                if (it == files.end()) {
                    *msg = "missing";
                    return false;
                }
                song::LoadStatus r = song::LoadSMFBytes(it->second, song, opt);
                *msg = r.Message();
                return r.ok();
            });
        player->AddObserver(this);
    }
    void OnSongOpened(int index, bool ok) override {
        if (ok) opened.push_back(index);
    }
    void OnStoppedAtEnd() override { ++stoppedAtEnd; }

    // Loads songs as a play list and plays the first; the port log starts
    // empty after that.
    void Start(std::vector<std::vector<uint8_t>> songs) {
        std::vector<std::string> names;
        for (size_t i = 0; i < songs.size(); ++i) {
            names.push_back("song" + std::to_string(i + 1));
            files[names.back()] = songs[i];
        }
        opener->Assign(names);
        player->PlayEntry(1);
        Port().ClearLog();
    }
    void Start(std::vector<uint8_t> song) { Start(std::vector<std::vector<uint8_t>>{song}); }

    sequencer::Sequencer& Seq() { return player->Seq(); }
    sequencer::OutputLayer& Out() { return player->Output(); }
    platform::RecordingPort& Port() { return *ports.Latest(); }
    // Runs ticks for ms of clock time, then the UI queue.
    // The UI queue runs every millisecond, as the GUI's event loop would.
    void RunMs(int64_t ms) {
        const int64_t end = clock.NowUs() + ms * 1000;
        while (clock.NowUs() < end) {
            timers.RunUntilUs(std::min(end, clock.NowUs() + 1000));
            ui.RunPending();
        }
    }
    // Song position in ms at clock time (for assertions about when).
    std::vector<std::string> ShortLines(bool withTime = false) {
        std::vector<std::string> v;
        for (const auto& m : Port().Messages()) {
            if (m.isReset) {
                v.push_back("RESET");
                continue;
            }
            std::string s = platform::HexLine(m.bytes);
            if (withTime) s = std::to_string(m.us / 1000) + " " + s;
            v.push_back(s);
        }
        return v;
    }
    int64_t startUs = 0;
};

}  // namespace sonfara::test
