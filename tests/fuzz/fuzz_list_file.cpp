// libFuzzer harness: any bytes as a list file; what it yields must survive
// being written as a [MIDIList] file and read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "player/files/list_file.h"
#include "player/files/paths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonfara;
    using namespace sonfara::files;
    static const platform::CodePage cp("CP932");
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    bool ok = false;
    const std::vector<FileEntry> entries = ParseListFile(bytes, "/lists/fuzz.mlt", cp, &ok);
    if (!ok) return 0;
    const std::vector<FileEntry> back =
        ParseListFile(MidiListText(entries, cp), "/lists/fuzz.mlt", cp, &ok);
    if (!ok) std::abort();
    // Writing never invents entries.
    if (back.size() > entries.size()) std::abort();
    for (const FileEntry& e : back) (void)SplitEntryPath(EntryPath(e));
    return 0;
}
