// Writes the installed desktop entry and shared-mime-info package from the
// player's own list of file types, so the package and the settings dialog's
// registration cannot disagree.
// Usage: sonfara-make-desktop-files TEMPLATE.desktop.in OUT.desktop OUT-mime.xml
//   (@MIME_TYPES@ in the template becomes the MimeType= list)
#include <cstdio>
#include <string>

#include "player/platform/file_types.h"
#include "player/platform/user_files.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s TEMPLATE OUT.desktop OUT.xml\n", argv[0]);
        return 2;
    }
    std::string entry;
    if (sonfara::platform::ReadWholeFile(argv[1], entry) != sonfara::platform::ReadStatus::kOk) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    const std::string key = "@MIME_TYPES@";
    const size_t at = entry.find(key);
    if (at == std::string::npos) {
        std::fprintf(stderr, "%s: %s has no %s\n", argv[0], argv[1], key.c_str());
        return 1;
    }
    entry.replace(at, key.size(), sonfara::platform::PlayerMimeTypes());
    sonfara::platform::PlatformStatus written =
        sonfara::platform::WriteFileReplacing(argv[2], entry);
    if (written.ok())
        written =
            sonfara::platform::WriteFileReplacing(argv[3], sonfara::platform::MimePackageXml());
    if (!written.ok()) {
        std::fprintf(stderr, "%s: %s\n", argv[0], written.Message().c_str());
        return 1;
    }
    return 0;
}
