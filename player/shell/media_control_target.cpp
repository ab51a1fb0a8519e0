#include "player/shell/media_control_target.h"

namespace sonfara::shell {

LoopShuffle LoopShuffleFromRepeatMode(platform::RepeatMode repeatMode) {
    switch (repeatMode) {
        case platform::RepeatMode::kSong:
            return {QStringLiteral("Track"), false};
        case platform::RepeatMode::kRandom:
            return {QStringLiteral("Playlist"), true};
        case platform::RepeatMode::kStopAtEnd:
            return {QStringLiteral("None"), false};
        case platform::RepeatMode::kList:
            break;
    }
    return {QStringLiteral("Playlist"), false};
}

std::optional<platform::RepeatMode> RepeatModeFromLoopStatus(const QString& loopStatus,
                                                             platform::RepeatMode current) {
    if (loopStatus == u"None") return platform::RepeatMode::kStopAtEnd;
    if (loopStatus == u"Track") return platform::RepeatMode::kSong;
    if (loopStatus == u"Playlist")
        return current == platform::RepeatMode::kRandom ? platform::RepeatMode::kRandom
                                                        : platform::RepeatMode::kList;
    return std::nullopt;
}

platform::RepeatMode RepeatModeFromShuffle(bool shuffle, platform::RepeatMode current) {
    if (shuffle) return platform::RepeatMode::kRandom;
    return current == platform::RepeatMode::kRandom ? platform::RepeatMode::kList : current;
}

}  // namespace sonfara::shell
