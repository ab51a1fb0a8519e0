// Reads one Standard MIDI File whole into the SongTable.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "player/platform/codepage.h"
#include "player/song/song_table.h"

namespace sonfara {

// Numeric codes shown after "ErrorNo" for failures the format itself does
// not name. Stable: users quote them in reports.
enum class LoadError : int {
    kNone = 0,
    kCannotRead = 1,         // file cannot be opened or read
    kOutOfMemory = 2,        // allocation failed
    kChunkPastEnd = 3,       // a chunk length runs past the end of the file
    kNumberTooLarge = 4,     // a variable-length value or a tick beyond 32 bits
    kEventPastChunk = 5,     // an event's bytes run past the end of its chunk
    kTrackCount = 6,         // NTracks outside 1..64
    kTooManyExtEvents = 7,   // more than 32767 SysEx and meta events
    kMissingChunks = 8,      // the file ends before NTracks chunks
    kBadDivision = 9,        // division 0, or an SMPTE division without frames
    kShortHeader = 10,       // "MThd" but fewer than 14 bytes
    kFileTooLarge = 11,      // the file is larger than kMaxSmfFileBytes
};

// The largest file the loader takes. Songs of 100 MB load in about half a
// second and need about five times their size in memory; larger files are
// refused before they are read.
inline constexpr uintmax_t kMaxSmfFileBytes = uintmax_t{256} << 20;

// Called by the loader at the moments where the program shows something;
// the GUI, the event list and the notice sender plug in here.
class LoadObserver {
public:
    virtual ~LoadObserver() = default;
    // "Loading ...." in the title label, busy cursor on.
    virtual void OnLoadStarted() {}
    // titleCap is "読み込みエラー（" + message + "）" (UTF-8).
    virtual void OnLoadFailed(const std::string& titleCap, const std::string& message) {}
    // The table is complete; event-list state and window labels refresh here.
    virtual void OnLoadCompleted(const SongTable& song) {}
    // The desktop-companion notice, in code-page bytes.
    virtual void OnLoadNotice(const std::string& noticeBytes) {}
};

struct LoadOptions {
    // "SMF Format " / "RMI Format " get the format number appended; any other
    // label (a converter's) is kept as it is.
    std::string fileKindLabel = "SMF Format ";
    // Display name used as the title when the song has none (UTF-8).
    std::string songFileName;
    const CodePage* codePage = nullptr;  // nullptr: SystemCodePage()
    std::vector<LoadObserver*> observers;
};

struct LoadResult {
    bool ok = false;
    std::string message;  // "Header Error", "SYSEX Error", "Event Error:...", "ErrorNo N"
    LoadError error = LoadError::kNone;
};

// A regular file is refused by its first bytes and its size before it is
// read whole.
LoadResult LoadSMF(const std::string& path, SongTable& song, const LoadOptions& options);
LoadResult LoadSMFBytes(std::span<const uint8_t> file, SongTable& song,
                        const LoadOptions& options);

// The text of the load notice, in code-page bytes.
std::string LoadNoticeText(const std::string& titleBytes, const CodePage& cp);

// Offset of the first "MThd" in an RMI (RIFF) image, npos when none; the
// RIFF structure itself is not interpreted.
size_t FindSmfStart(std::span<const uint8_t> bytes);

}  // namespace sonfara
