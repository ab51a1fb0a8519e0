// List files: MLT multi-list files and our own [MIDIList] files (read), the
// [MIDIList] writer, and saving the play list as a list file or an LHA
// archive of its songs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "player/files/file_entry.h"
#include "player/platform/codepage.h"

namespace sonfara::files {

// Entries of a list file's text. `listPath` is the list file's full path
// (it fills ListFile and resolves APP HERE). False in `headerOk` when the
// first line is neither accepted header; no entries then.
std::vector<FileEntry> ParseListFile(std::string_view bytes, const std::string& listPath,
                                     const platform::CodePage& cp, bool* headerOk = nullptr);

// Reads the list file; shows "<path>\r\nこのリストファイルは解析不能です" when
// it cannot be read or its header is not accepted.
std::vector<FileEntry> ReadListFile(const std::string& path, Notifier& notifier,
                                    const platform::CodePage& cp);

// The [MIDIList] text of the entries.
std::string MidiListText(const std::vector<FileEntry>& entries, const platform::CodePage& cp);
// Writes it through a temporary file; the previous file survives a failure.
FileStatus WriteMidiList(const std::string& path, const std::vector<FileEntry>& entries,
                         const platform::CodePage& cp);

// The save dialog's filter: list files, and the archive forms when the LHA
// archiver is present.
std::string SaveDialogFilter(bool lhaPresent);

enum class SaveResult {
    kNothing,            // empty list (message shown) or an extension that is neither form
    kListFile,           // [MIDIList] file written
    kArchive,            // LHA archive written
    kArchiveIncomplete,  // LHA archive written without songs that could not be read (message shown)
    kFailed,             // the write failed (message shown)
};

// The save command after the dialog: the chosen name's last three
// characters pick the form (MLT, or LZH/LMD for an archive of the songs).
// `workFolder` is the work folder (with its ArcTemp subfolder). Every song
// keeps its own member: a second song of the same name is stored as
// name(2).ext; the same entry twice is stored once.
SaveResult SaveList(const std::string& chosenPath, const std::vector<FileEntry>& entries,
                    const std::string& workFolder, Notifier& notifier,
                    const platform::CodePage& cp);

}  // namespace sonfara::files
