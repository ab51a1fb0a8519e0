#include "player/shell/media_control_target.h"

namespace sonfara::shell {

LoopShuffle LoopShuffleFromRepeatMode(int repeatMode) {
    switch (repeatMode) {
        case 1: return {QStringLiteral("Track"), false};
        case 2: return {QStringLiteral("Playlist"), true};
        case 3: return {QStringLiteral("None"), false};
        default: return {QStringLiteral("Playlist"), false};
    }
}

int RepeatModeFromLoopStatus(const QString& loopStatus, int currentMode) {
    if (loopStatus == u"None") return 3;
    if (loopStatus == u"Track") return 1;
    if (loopStatus == u"Playlist") return currentMode == 2 ? 2 : 0;
    return -1;
}

int RepeatModeFromShuffle(bool shuffle, int currentMode) {
    if (shuffle) return 2;
    return currentMode == 2 ? 0 : currentMode;
}

}  // namespace sonfara::shell
