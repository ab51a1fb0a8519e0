// Where optional libraries are looked for: a library is present when a file
// of its name lies in the program folder or a system library folder.
#pragma once

#include <string>
#include <vector>

#include "player/platform/user_files.h"  // ProgramFolder

namespace sonfara::platform {

// The folders searched, in order: $SONFARA_LIBDIR when set, the program
// folder, the private library folder of an installed tree relative to it
// (`../lib/<multiarch>/sonfara`), then the system library folders.
std::vector<std::string> LibrarySearchFolders();

// Full path of the first file named fileName in those folders, "" if none.
std::string FindLibrary(const std::string& fileName);

inline bool LibraryExists(const std::string& fileName) {
    return !FindLibrary(fileName).empty();
}

}  // namespace sonfara::platform
