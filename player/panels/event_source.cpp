#include "player/panels/event_source.h"

namespace sonfara::panels {

std::string ViewEventListSource::TrackNameText(int k) const {
    return song_.TextCodePage().ToUtf8(song_.TrackName(k));
}

std::string TrackCounterText(int track, int trackCount) {
    return std::to_string(track) + "/" + (trackCount > 15 ? std::to_string(trackCount) : "16");
}

}  // namespace sonfara::panels
