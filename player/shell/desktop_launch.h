// Other programs started from the player: the desktop's handlers for the
// song's archive, its folder and its companion document, the sound
// settings, and the help and home pages. Failures are ignored; the player
// goes on either way. UI thread: every function is called there.
#pragma once

#include <string>

#include "player/files/file_entry.h"

namespace sonfara::shell::launch {

// The archive the song came from; an .lmd / .zmd is opened as a .lzh / .zip
// copy beside the extracted members, so the desktop knows the type.
void OpenArchive(const files::SongSource& song);
// The folder of the song (of its archive, for a member).
void OpenSongFolder(const files::SongSource& song);
// The document in the desktop's handler for plain text, whatever its own
// extension says; else in the file's own handler.
void OpenInTextEditor(const std::string& document);
// The first installed of the desktops' sound settings and volume mixers.
void OpenSoundSettings();
void OpenVolumeControl();

// The help page shipped with the program.
void OpenHelp();
// The product's web page (the build's SONFARA_HOME_PAGE); none while empty.
bool HasHomePage();
void OpenHomePage();

}  // namespace sonfara::shell::launch
