// Reads one Standard MIDI File whole into the SongTable.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "player/platform/codepage.h"
#include "player/song/messages.h"
#include "player/song/song_table.h"

namespace sonfara::song {

// The largest file the loader takes: chunk lengths, payload offsets and
// event numbers are 32-bit, and below 2 GiB none of them can overflow.
// Larger files are refused before they are read.
inline constexpr uintmax_t kMaxSmfFileBytes = (uintmax_t{2} << 30) - 1;

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
    // The code page of the notices (nullptr: SystemCodePage()); the song's
    // own texts are in its TextCodePage().
    const platform::CodePage* codePage = nullptr;
    std::vector<LoadObserver*> observers;
    // Threads that decode tracks at once; 0: one per core. The result is
    // the same whatever the number.
    int threads = 0;
    // Tests: decode every track in two parts that may meet every this many
    // bytes (0: only a track long enough to keep a core idle is split).
    size_t splitStepBytes = 0;
    // Called on the thread that called LoadSMF, about every 20 ms while the
    // tracks decode, with the fraction done (0..1); returning false cancels
    // the load ("ErrorNo 12"). Empty: no reports.
    std::function<bool(double)> progress;
};

// A regular file is refused by its first bytes and its size before it is
// read whole. The result's Message() is the reason (song/messages.h).
// Usable from a worker thread: it touches nothing but `song`, the file and
// the observers (which are called on the calling thread).
LoadStatus LoadSMF(const std::string& path, SongTable& song, const LoadOptions& options);
LoadStatus LoadSMFBytes(std::span<const uint8_t> file, SongTable& song, const LoadOptions& options);

// What LoadSMF tells the observers after the read, for a load that ran
// without them (on a worker thread): call it on their thread.
void NotifyLoadResult(const LoadStatus& result, const SongTable& song, const LoadOptions& options);

// The code page of the song's texts: the user's choice, else the one
// decision over all its text events at once.
const platform::CodePage& DecideSongTextCodePage(const SongTable& song);

// The text of the load notice, in code-page bytes.
std::string LoadNoticeText(const std::string& titleBytes, const platform::CodePage& cp);

// Offset of the first "MThd" in an RMI (RIFF) image, npos when none; the
// RIFF structure itself is not interpreted.
size_t FindSmfStart(std::span<const uint8_t> bytes);

}  // namespace sonfara::song
