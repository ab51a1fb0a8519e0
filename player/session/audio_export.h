// A song rendered offline through the built-in synthesizer into an audio
// file: a playback session of its own on virtual time, with the synthesizer
// as its only port, so the same output layer shapes the sound (arrangement,
// EQ, effects, transpose, channel switches and whatever else the settings
// values select). Nothing is shared with the caller's session, so a job may
// run on a worker thread while the player plays.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "player/files/file_entry.h"
#include "player/files/shaping_catalog.h"
#include "player/platform/codepage.h"
#include "player/session/audio_file.h"
#include "player/settings/settings_model.h"

namespace sonfara::session {

class PlaybackSession;

struct AudioExportRequest {
    // The play-list entry to render (a plain file, an archive member, a
    // sequencer-format song...).
    files::FileEntry song;
    std::string outputPath;
    AudioFormat format = AudioFormat::kWav;
    int sampleRate = 44100;
    // Empty: FindSoundFont's search ($SONFARA_SOUNDFONT, the standard places).
    std::string soundFont;
    // The player's values. The job plays the one song to its end through
    // the synthesizer, so the repeat mode and the port are its own; the loop
    // count and the fade apply as in playback, and the file is as long as
    // they make the song (an endless count is refused). Arrangement and EQ
    // are found by caption in the catalogue of `shapingFolders`.
    settings::SettingsValues values;
    files::ShapingFolders shapingFolders;
    int transpose = 0;           // semitones
    uint16_t channels = 0xFFFF;  // bit c-1 set: channel c sounds
    // The caller's private work folder (with a trailing '/'); the job
    // extracts and converts in a folder of its own inside it and removes
    // that at the end. Empty: the default work folder.
    std::string workFolder;
    // nullptr: the program's code page.
    const platform::CodePage* codePage = nullptr;
    // Called on the job's thread once the song has opened on the job's own
    // session, before anything sounds: what the caller sets there in the
    // song's terms (a loop section by hand, positions in its bars). A
    // non-empty answer refuses the song with that text. May be empty.
    std::function<std::string(PlaybackSession&)> onOpened;
};

// Through the loops: the length they give, and how far through it the job is.
struct AudioExportProgress {
    double fraction = 0;  // 0..1, never going back
    int32_t positionMs = 0;
    int32_t totalMs = 0;
};

// The failure text is often another layer's finished text (the open's
// failure as the title label shows it, the SoundFont search, what FluidSynth
// said), so it is passed on whole rather than as a code and a detail.
// kRefused: the song opened but the request cannot end (an endless loop
// count) or `onOpened` refused it.
struct AudioExportResult {
    enum class Status { kDone, kCancelled, kFailed, kRefused };
    Status status = Status::kFailed;
    std::string error;                 // kFailed, kRefused: why, for the user (UTF-8)
    std::vector<std::string> notices;  // the file layer's messages on the way
    uint64_t frames = 0;               // kDone: frames in the file
    std::string soundFont;             // the SoundFont that was used
};

// Called on the thread that runs the job, at most about once per thousandth
// of the song.
using AudioExportProgressFn = std::function<void(const AudioExportProgress&)>;

// Renders the request's song to its output path on the calling thread.
// Setting `cancel` (from any thread) ends the job within one sequencer
// tick. Only a finished file appears at the output path: a cancelled or
// failed job leaves no file there (an older file of that name stays as it
// was) and no temporary file beside it.
AudioExportResult RunAudioExport(const AudioExportRequest& request,
                                 const AudioExportProgressFn& progress,
                                 const std::atomic<bool>& cancel);

}  // namespace sonfara::session
