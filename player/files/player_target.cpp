#include "player/files/player_target.h"

namespace sonfara::files {

void PlayerTarget::StopTimer() {
    player_.Seq().KillTimer();
}

bool PlayerTarget::OpenOrResetOutput() {
    OutputLayer& out = player_.Output();
    portFailed_ = false;
    if (out.PortOpen()) {
        out.ResetOutput();
        return true;
    }
    portFailed_ = player_.OpenConfiguredPort() != 0;
    return !portFailed_;
}

std::string PlayerTarget::OutputFailure() const {
    const std::string& why = player_.LastError();
    if (why.empty() || why.starts_with(msg::kCannotOpenDevice)) return why.empty() ? msg::kCannotOpenDevice : why;
    return std::string(msg::kCannotOpenDevice) + "\n" + why;
}

void PlayerTarget::EnableAllChannels() {
    player_.Output().EnableAllChannels();
}

LoadResult PlayerTarget::LoadSong(const std::string& path, const std::string& kindLabel,
                                  const std::string& fileName) {
    return player_.LoadSong(path, kindLabel, fileName);
}

void PlayerTarget::ResendPrograms() {
    player_.Output().ResendPrograms();
}

void PlayerTarget::ResetModuleFlags() {
    player_.Output().ClearModuleFlags();
}

bool PlayerTarget::StartTimer() {
    return player_.Seq().StartSong();
}

void PlayerTarget::SongStarted(const SongSource&) {
    // The song's own display text, not what the last song left there.
    player_.Output().DisplayText.Set(player_.Song().FileKindLabel);
}

}  // namespace sonfara::files
