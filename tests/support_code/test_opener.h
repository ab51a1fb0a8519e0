// The open pipeline's steps without the file layer, for tests and
// benchmarks that drive a bare Player: a list of names and a loader.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "player/sequencer/messages.h"
#include "player/sequencer/player.h"
#include "player/song/smf_reader.h"

namespace sonfara::test {

class TestOpener final : public sequencer::SongOpener, public sequencer::PlayOrder {
  public:
    using Loader =
        std::function<bool(const std::string& name, song::SongTable& song, std::string* message)>;

    // Installs itself as the player's opener; leaves it on destruction, so
    // declare it after the player.
    TestOpener(sequencer::Player& player, Loader loader)
        : player_(player), loader_(std::move(loader)) {
        player_.SetSongOpener(this);
    }
    ~TestOpener() override { player_.SetSongOpener(nullptr); }

    // Songs read from files by path.
    static Loader Files(const platform::CodePage& cp) {
        return [&cp](const std::string& path, song::SongTable& song, std::string* message) {
            song::LoadOptions opt;
            opt.codePage = &cp;
            song::LoadStatus r = song::LoadSMF(path, song, opt);
            *message = r.Message();
            return r.ok();
        };
    }
    // The same song, from bytes, whatever the entry's name.
    static Loader Bytes(const std::vector<uint8_t>& smf, const platform::CodePage& cp) {
        return [&smf, &cp](const std::string&, song::SongTable& song, std::string* message) {
            song::LoadOptions opt;
            opt.codePage = &cp;
            song::LoadStatus r = song::LoadSMFBytes(smf, song, opt);
            *message = r.Message();
            return r.ok();
        };
    }

    void Assign(std::vector<std::string> names) {
        names_ = std::move(names);
        count_.store(static_cast<int>(names_.size()));
        index_.store(names_.empty() ? 0 : 1);
    }
    std::string PathAt(int index) const {
        return index >= 1 && index <= static_cast<int>(names_.size()) ? names_[index - 1] : "";
    }
    const std::string& LastError() const { return lastError_; }

    sequencer::PlayOrder& Entries() override { return *this; }
    int Count() const override { return count_.load(std::memory_order_relaxed); }
    int Index() const override { return index_.load(std::memory_order_relaxed); }
    void SetIndex(int index) override { index_.store(index, std::memory_order_relaxed); }

    bool OpenEntry(int index) override {
        sequencer::OutputLayer& out = player_.Output();
        player_.OnLoadStarted();
        std::string message;
        const std::string name = PathAt(index);
        if (name.empty() || !loader_(name, player_.Song(), &message)) {
            // Nothing of the previous song may keep sounding.
            player_.Song().Loaded = false;
            out.ResetOutput();
            lastError_ = song::msg::LoadErrorCaption(message);
            return false;
        }
        out.ClearModuleFlags();
        if (!out.PortOpen()) {
            if (const sequencer::PlaybackStatus opened = player_.OpenConfiguredPort();
                !opened.ok()) {
                lastError_ = opened.Message();
                return false;
            }
        } else {
            out.ResetOutput();
        }
        out.EnableAllChannels();
        out.ResendPrograms();
        out.DisplayText.Set(player_.Song().FileKindLabel);
        return player_.Seq().StartSong();
    }

  private:
    sequencer::Player& player_;
    Loader loader_;
    std::vector<std::string> names_;
    std::atomic<int> count_{0};
    std::atomic<int> index_{0};
    std::string lastError_;
};

}  // namespace sonfara::test
