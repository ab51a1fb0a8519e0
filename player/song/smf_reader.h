// Reads one Standard MIDI File whole into the SongTable.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "player/platform/codepage.h"
#include "player/song/messages.h"
#include "player/song/song_table.h"

namespace sonfara {

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

// A regular file is refused by its first bytes and its size before it is
// read whole. The result's Message() is the reason (song/messages.h).
LoadResult LoadSMF(const std::string& path, SongTable& song, const LoadOptions& options);
LoadResult LoadSMFBytes(std::span<const uint8_t> file, SongTable& song, const LoadOptions& options);

// What LoadSMF tells the observers after the read, for a load that ran
// without them (on a worker thread): call it on their thread.
void NotifyLoadResult(const LoadResult& result, const SongTable& song, const LoadOptions& options);

// The text of the load notice, in code-page bytes.
std::string LoadNoticeText(const std::string& titleBytes, const CodePage& cp);

// Offset of the first "MThd" in an RMI (RIFF) image, npos when none; the
// RIFF structure itself is not interpreted.
size_t FindSmfStart(std::span<const uint8_t> bytes);

}  // namespace sonfara
