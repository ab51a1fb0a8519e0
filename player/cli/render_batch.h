// sonfara-cli render's songs: each an export job, a few on worker threads at
// once, with one progress line on a terminal and every song's outcome told
// as it finishes.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "player/files/file_entry.h"
#include "player/session/audio_export.h"

namespace sonfara::cli {

struct RenderTask {
    files::FileEntry song;
    std::string output;
};

struct RenderOutcome {
    int rendered = 0;
    int failed = 0;
    int refused = 0;       // opened, but the options cannot be rendered (never ends, --ab)
    bool stopped = false;  // `stop` was raised; unfinished songs left no file
};

// Paths in `folder` for the songs: each song's file name with `extension`
// in place of its own. A name already given (in any letter case, so the
// files survive a copy to a case-blind disk) keeps the song's extension
// before the new one ("a.rcp.wav"), and then gets a number ("a-2.wav").
std::vector<std::string> OutputPaths(const std::vector<files::FileEntry>& songs,
                                     const std::string& folder, const std::string& extension);

// Renders every task with `proto` as the request (song and output replaced),
// `jobs` songs at a time, until all are done or `stop` turns non-zero (a
// signal's number). `batch`: the progress line counts songs; otherwise it
// shows the one song's position. Messages go to stderr.
RenderOutcome RenderAll(const std::vector<RenderTask>& tasks,
                        const session::AudioExportRequest& proto, int jobs, bool batch,
                        const std::atomic<int>& stop);

}  // namespace sonfara::cli
