#include "player/files/song_reader.h"

#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "player/files/paths.h"
#include "player/platform/large_memory.h"

namespace sonfara::files {
namespace {

constexpr const char* kRmiKindLabel = "RMI Format ";
constexpr size_t kNoSmf = static_cast<size_t>(-1);

std::span<const uint8_t> AsBytes(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// An RMI file's SMF is everything from its first "MThd" on (none: empty);
// the RIFF structure itself is not interpreted.
size_t RmiSmfOffset(std::span<const uint8_t> bytes) {
    const size_t start = song::FindSmfStart(bytes);
    return start == kNoSmf ? bytes.size() : start;
}

void Refused(SongRead& r, song::LoadStatus load) {
    r.load = std::move(load);
    if (!r.load.ok()) r.status = FileStatus(FileError::kSongNotLoaded, r.load.Message());
}

SongRead FromConversion(RcpConversion c) {
    SongRead r;
    if (!c.Ok()) {
        r.status = RcpError(c.problem);
        return r;
    }
    r.fileKindLabel = std::move(c.formatText);
    r.missingControlFiles = std::move(c.missingControlFiles);
    r.converted = std::move(c.smf);
    return r;
}

// Maps the whole file; too large is told apart from unreadable, as the SMF
// reader tells them apart for an SMF.
song::LoadStatus OpenWhole(const std::string& path, platform::FileImage& image) {
    const platform::FileHead head = platform::ReadFileHead(path, 0);
    if (head.regular && head.size > song::kMaxSmfFileBytes) return song::LoadError::kFileTooLarge;
    if (!image.Open(path, song::kMaxSmfFileBytes)) return song::LoadError::kCannotRead;
    return {};
}

void LoadImage(std::span<const uint8_t> smf, const std::string& name, song::SongTable& song,
               const ReadSongOptions& options, SongRead& r) {
    song::LoadOptions o = options.load;
    o.fileKindLabel = r.fileKindLabel;
    o.songFileName = PathFileName(name);
    Refused(r, song::LoadSMFBytes(smf, song, o));
}

}  // namespace

SongFileKind SongFileKindOf(const std::string& name) {
    const std::string tail = UpperTail(name, 3);
    if (tail == "MID" || tail == "KAR") return SongFileKind::kSmf;
    if (tail == "RMI") return SongFileKind::kRmi;
    if (IsRecomposerKind(tail)) return SongFileKind::kRecomposer;
    return SongFileKind::kOther;
}

std::span<const uint8_t> SongRead::SmfIn(std::span<const uint8_t> bytes) const {
    if (!converted.empty()) return AsBytes(converted);
    return bytes.subspan(std::min(smfOffset, bytes.size()));
}

SongRead ReadSong(const std::string& path, song::SongTable& song, const ReadSongOptions& options) {
    switch (SongFileKindOf(path)) {
        case SongFileKind::kRecomposer: {
            SongRead r = FromConversion(ConvertRecomposerFile(path, options.endlessLoops));
            if (r.ok()) LoadImage(AsBytes(r.converted), path, song, options, r);
            return r;
        }
        case SongFileKind::kRmi: {
            SongRead r;
            r.fileKindLabel = kRmiKindLabel;
            platform::FileImage image;
            Refused(r, OpenWhole(path, image));
            if (!r.ok()) return r;
            r.smfOffset = RmiSmfOffset(image.Bytes());
            LoadImage(image.Bytes().subspan(r.smfOffset), path, song, options, r);
            return r;
        }
        case SongFileKind::kSmf:
        case SongFileKind::kOther:
            break;
    }
    // The SMF reader maps the file itself and refuses it by its head first.
    SongRead r;
    song::LoadOptions o = options.load;
    o.fileKindLabel = r.fileKindLabel;
    o.songFileName = PathFileName(path);
    Refused(r, song::LoadSMF(path, song, o));
    return r;
}

SongRead ReadSong(std::span<const uint8_t> bytes, const std::string& name, song::SongTable& song,
                  const ReadSongOptions& options) {
    SongRead r;
    switch (SongFileKindOf(name)) {
        case SongFileKind::kRecomposer: {
            RcpOptions rcp;
            rcp.endlessLoops = options.endlessLoops;
            r = FromConversion(ConvertRecomposer(bytes, rcp));
            if (r.ok()) LoadImage(AsBytes(r.converted), name, song, options, r);
            return r;
        }
        case SongFileKind::kRmi:
            r.fileKindLabel = kRmiKindLabel;
            r.smfOffset = RmiSmfOffset(bytes);
            break;
        case SongFileKind::kSmf:
        case SongFileKind::kOther:
            break;
    }
    LoadImage(bytes.subspan(r.smfOffset), name, song, options, r);
    return r;
}

SongRead CopySongSmf(const std::string& path, const std::string& target, int endlessLoops) {
    ::unlink(target.c_str());
    SongRead r;
    platform::FileImage image;
    std::span<const uint8_t> smf;
    if (SongFileKindOf(path) == SongFileKind::kRecomposer) {
        r = FromConversion(ConvertRecomposerFile(path, endlessLoops));
        smf = AsBytes(r.converted);
    } else {
        r.fileKindLabel = kRmiKindLabel;
        Refused(r, OpenWhole(path, image));
        if (r.ok()) {
            r.smfOffset = RmiSmfOffset(image.Bytes());
            smf = image.Bytes().subspan(r.smfOffset);
        }
    }
    if (!r.ok()) return r;
    const std::string_view bytes(reinterpret_cast<const char*>(smf.data()), smf.size());
    if (FileStatus written = WriteFileReplacing(target, bytes); !written.ok())
        r.status = std::move(written);
    return r;
}

}  // namespace sonfara::files
