// libFuzzer harness: any bytes as an LHA or ZIP archive; every member is
// listed and extracted, and nothing may appear outside the work folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "player/files/archive.h"
#include "player/files/paths.h"

namespace {

class QuietNotifier final : public sonfara::files::Notifier {
  public:
    void Error(const std::string&) override {}
};

struct Scratch {
    std::string root;
    Scratch() {
        std::string t = (std::filesystem::temp_directory_path() / "sonfara-fuzz-XXXXXX").string();
        root = ::mkdtemp(t.data());
        ::mkdir((root + "/work").c_str(), 0700);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonfara::files;
    namespace fs = std::filesystem;
    static Scratch s;
    const std::string archive = s.root + (size % 2 ? "/in.lzh" : "/in.zip");
    if (!platform::WriteFileReplacing(archive,
                                      std::string_view(reinterpret_cast<const char*>(data), size))
             .ok()) {
        return 0;
    }
    QuietNotifier n;
    (void)ListArchiveSongs(archive);
    const std::vector<std::string> members = ArchiveMembers(archive);
    for (size_t i = 0; i < members.size() && i < 8; ++i) {
        (void)ExtractEntry({members[i], s.root, PathFileName(archive), ""}, s.root + "/work", n);
    }
    // Only the archive and the work folder may exist beside each other.
    for (const auto& e : fs::directory_iterator(s.root)) {
        const std::string name = e.path().filename().string();
        if (name != "work" && name != "in.lzh" && name != "in.zip") std::abort();
    }
    for (const auto& e : fs::directory_iterator(s.root + "/work")) fs::remove_all(e.path());
    return 0;
}
