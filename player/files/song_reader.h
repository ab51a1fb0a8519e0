// The one reader of song files. The file's kind chooses the way in (the
// built-in Recomposer converter, the SMF inside an RMI file, or the SMF
// itself); the SMF reader then fills the table and decides there, once, the
// code page of the song's texts (the text decision,
// player/platform/text_decoding.h). The command line and the song library
// read songs here; the open pipeline writes the same SMF image into its work
// folder, where the player loads it.
// Any thread may call these functions.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "player/files/file_entry.h"
#include "player/files/recomposer.h"
#include "player/song/smf_reader.h"

namespace sonfara::files {

// A song file's kind by the last three characters of its name (ASCII case
// ignored): MID and KAR are SMFs, RMI, the converter's kinds
// (IsRecomposerKind); anything else kOther, which ReadSong reads as an SMF.
enum class SongFileKind { kSmf, kRmi, kRecomposer, kOther };
SongFileKind SongFileKindOf(const std::string& name);

struct ReadSongOptions {
    // The SMF reader's own (observers, the notices' code page, threads,
    // progress); ReadSong sets the kind label and the display name.
    song::LoadOptions load;
    // Plays of an endless loop in a Recomposer song.
    int endlessLoops = kDefaultEndlessLoops;
};

// What reading a song gave.
struct SongRead {
    // kSongNotLoaded with the SMF reader's reason, or the converter's
    // problem (kRcp...), or kCannotSave (CopySongSmf).
    FileStatus status;
    // The SMF reader's own result; for an RMI file also whether the file
    // could be read at all (kCannotRead, kFileTooLarge).
    song::LoadStatus load;
    std::string fileKindLabel = "SMF Format ";
    // A converted song's control files that were absent or unreadable.
    std::vector<std::string> missingControlFiles;
    // A Recomposer song's SMF image, as the converter made it.
    std::string converted;
    // Where an RMI file's SMF starts in its bytes.
    size_t smfOffset = 0;

    bool ok() const { return status.ok(); }
    // The SMF image that was read, given the bytes the song was read from.
    std::span<const uint8_t> SmfIn(std::span<const uint8_t> bytes) const;
};

// Reads the song at `path` into `song`. A Recomposer song's control files
// are looked up beside it.
SongRead ReadSong(const std::string& path, song::SongTable& song, const ReadSongOptions& options);
// The same from a song file's bytes (an archive member); `name` chooses
// the kind and names the song. Control files are not looked up.
SongRead ReadSong(std::span<const uint8_t> bytes, const std::string& name, song::SongTable& song,
                  const ReadSongOptions& options);

// The open pipeline's step for a file the player does not load as it is
// (a Recomposer song, an RMI file; any other is taken as an RMI file): the
// SMF image ReadSong would read, written at `target` (removed first). The status says why
// nothing was written; fileKindLabel is the label to load it with.
SongRead CopySongSmf(const std::string& path, const std::string& target, int endlessLoops);

}  // namespace sonfara::files
