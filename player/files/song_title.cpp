#include "player/files/song_title.h"

#include <fcntl.h>
#include <unistd.h>

#include "player/files/paths.h"
#include "player/files/recomposer.h"
#include "player/platform/midi.h"
#include "player/song/smf_reader.h"

namespace sonfara::files {
namespace {

constexpr size_t kTitleWindow = 64 * 1024;
constexpr size_t kRecomposerTitleWindow = 0xA0;
constexpr uint8_t kMeta = midi::kMetaEvent;
using midi::kMetaEndOfTrack;
using midi::kMetaText;
using midi::kMetaTrackName;

std::string ReadHead(const std::string& path, size_t window) {
    std::string head(window, '\0');
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    head.resize(got);
    return head;
}

bool Vlq(std::span<const uint8_t> b, size_t& p, uint32_t& v) {
    v = 0;
    for (int i = 0; i < 4 && p < b.size(); ++i) {
        const uint8_t c = b[p++];
        v = (v << 7) | (c & 0x7F);
        if (!(c & 0x80)) return true;
    }
    return false;
}

// The first title-giving meta event of one track chunk; false when the
// chunk cannot be walked any further.
bool TrackTitle(std::span<const uint8_t> t, bool firstTrack, std::string& title) {
    size_t p = 0;
    uint8_t status = 0;
    while (p < t.size()) {
        uint32_t delta = 0, len = 0;
        if (!Vlq(t, p, delta) || p >= t.size()) return false;
        if (midi::IsStatusByte(t[p])) status = t[p++];
        if (status == kMeta) {
            if (p >= t.size()) return false;
            const uint8_t type = t[p++];
            if (!Vlq(t, p, len) || len > t.size() - p) return false;
            if (type == kMetaEndOfTrack) return true;  // the loader reads no further
            if (len > 0 && (type == kMetaText || (type == kMetaTrackName && firstTrack))) {
                title.assign(reinterpret_cast<const char*>(t.data() + p), len);
                return true;
            }
            p += len;
        } else if (status == midi::kSysExStart || status == midi::kSysExEnd) {
            if (!Vlq(t, p, len) || len > t.size() - p) return false;
            p += len;
        } else if (midi::IsStatusByte(status)) {
            const uint8_t kind = midi::StatusKind(status);
            p += (kind == midi::kProgramChange || kind == midi::kChannelPressure) ? 1 : 2;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string SmfTitle(std::span<const uint8_t> b) {
    const size_t start = song::FindSmfStart(b);
    if (start == std::string::npos || b.size() - start < 14) return {};
    size_t p = start + 14;
    std::string title;
    for (bool first = true; p + 8 <= b.size() && title.empty(); first = false) {
        const uint32_t len =
            (uint32_t{b[p + 4]} << 24) | (b[p + 5] << 16) | (b[p + 6] << 8) | b[p + 7];
        const size_t avail = std::min<size_t>(len, b.size() - p - 8);
        if (!TrackTitle(b.subspan(p + 8, avail), first, title) || avail < len) break;
        p += 8 + size_t{len};
    }
    return title;
}

std::string SongFileTitle(const std::string& path) {
    const bool rcp = IsRecomposerKind(UpperTail(path, 3));
    const std::string head = ReadHead(path, rcp ? kRecomposerTitleWindow : kTitleWindow);
    const std::span<const uint8_t> b(reinterpret_cast<const uint8_t*>(head.data()), head.size());
    return rcp ? RecomposerTitle(b) : SmfTitle(b);
}

}  // namespace sonfara::files
