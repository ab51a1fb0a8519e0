#include "player/session/session.h"

namespace sonfara::session {

PlaybackSession::PlaybackSession(SessionEnv env) : core_(std::move(env)) {
    core_.RefreshInfo();
}

// Before the parts go: the timer stops and the opener is detached first.
PlaybackSession::~PlaybackSession() {
    core_.Shutdown();
}

}  // namespace sonfara::session
