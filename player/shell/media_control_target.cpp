#include "player/shell/media_control_target.h"

namespace sonfara::shell {

LoopShuffle LoopShuffleFromRepeatMode(RepeatMode repeatMode) {
    switch (repeatMode) {
        case RepeatMode::kSong:
            return {QStringLiteral("Track"), false};
        case RepeatMode::kRandom:
            return {QStringLiteral("Playlist"), true};
        case RepeatMode::kStopAtEnd:
            return {QStringLiteral("None"), false};
        case RepeatMode::kList:
            break;
    }
    return {QStringLiteral("Playlist"), false};
}

std::optional<RepeatMode> RepeatModeFromLoopStatus(const QString& loopStatus, RepeatMode current) {
    if (loopStatus == u"None") return RepeatMode::kStopAtEnd;
    if (loopStatus == u"Track") return RepeatMode::kSong;
    if (loopStatus == u"Playlist")
        return current == RepeatMode::kRandom ? RepeatMode::kRandom : RepeatMode::kList;
    return std::nullopt;
}

RepeatMode RepeatModeFromShuffle(bool shuffle, RepeatMode current) {
    if (shuffle) return RepeatMode::kRandom;
    return current == RepeatMode::kRandom ? RepeatMode::kList : current;
}

}  // namespace sonfara::shell
