// Rendered audio written to WAV, FLAC or Ogg Vorbis through libsndfile, under
// a temporary name beside the target until the whole file is there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "player/platform/result.h"
#include "player/session/export_messages.h"

struct sf_private_tag;

namespace sonfara::session {

// WAV: 16-bit PCM with the plain 44-byte header. FLAC: 16-bit, libsndfile's
// default compression level (5). Ogg Vorbis: quality 0.6 (about 190 kbit/s
// at 44.1 kHz stereo), where artefacts are hard to hear on synthesized music.
enum class AudioFormat { kWav, kFlac, kOgg };

// "wav", "flac", "ogg".
const char* AudioFormatExtension(AudioFormat format);
// The format a --format word names (any letter case).
std::optional<AudioFormat> AudioFormatNamed(const std::string& name);
// The format a file name's extension names (.wav, .flac, .ogg, .oga).
std::optional<AudioFormat> AudioFormatOfPath(const std::string& path);

// Removes the temporary files that renders ended without a chance to clean
// up (killed, a crash) left in `folder`: only files of this user named
// exactly as AudioFileOut names them, and only those no writer holds its
// lock on, so a render still running in another process keeps its file.
// Returns how many were removed.
int RemoveStaleAudioParts(const std::string& folder);

// Why an audio file could not be written.
enum class AudioFileError {
    kNone = 0,
    kFormatUnavailable,  // detail: the format's extension
    kCannotWrite,        // detail: the target file and, in brackets, what the system said
};

inline std::string MessageFor(AudioFileError code, const std::string& detail) {
    if (code == AudioFileError::kFormatUnavailable)
        return session::msg::kFormatUnavailable + detail;
    return session::msg::kCannotWrite + detail;
}

using AudioFileStatus = platform::Status<AudioFileError>;

// One audio file on its way to `target`: Open creates a new file beside it
// (in the same folder, so the final rename cannot cross file systems),
// Commit moves it onto the target. Without Commit, or when Commit fails,
// nothing is left behind: neither the temporary file nor a partial target.
// The temporary file is locked (flock) while it is written; Open first
// removes stale ones beside the target (RemoveStaleAudioParts).
class AudioFileOut {
  public:
    AudioFileOut() = default;
    ~AudioFileOut();
    AudioFileOut(const AudioFileOut&) = delete;
    AudioFileOut& operator=(const AudioFileOut&) = delete;

    // Interleaved 16-bit stereo at `sampleRate`. `title` (UTF-8, may be
    // empty) goes into FLAC and Vorbis comments; the WAV stays header-only.
    AudioFileStatus Open(const std::string& target, AudioFormat format, int sampleRate,
                         const std::string& title);
    bool Write(const int16_t* frames, size_t count);
    // Finishes the file and renames it onto the target.
    AudioFileStatus Commit();
    // Removes what was written; also what the destructor does before Commit.
    void Discard();
    uint64_t Frames() const { return frames_; }

  private:
    bool Flush();
    bool CloseFile();
    void Unlock();
    std::string WriteError() const;

    std::string target_, temp_;
    sf_private_tag* file_ = nullptr;
    int fd_ = -1;
    int lock_ = -1;  // holds the temporary file's lock until it is renamed or removed
    std::vector<int16_t> buffer_;
    size_t buffered_ = 0;  // frames
    uint64_t frames_ = 0;
    bool ok_ = true;
};

}  // namespace sonfara::session
