// libFuzzer harness: any bytes through the Recomposer converter, with
// control files made from the same bytes; whatever converts must load with
// the SMF reader, and the list title must be the converter's title.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "player/files/recomposer.h"
#include "player/song/smf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonfara;
    static const platform::CodePage cp("CP932");
    const std::string input(reinterpret_cast<const char*>(data), size);
    files::RcpOptions o;
    o.endlessLoops = 2;
    o.controlFile = [&input](const std::string& name) -> std::optional<std::string> {
        const bool gsd = name.size() >= 3 && (name.back() == 'D' || name.back() == 'd');
        std::string f = gsd ? std::string("COME ON MUSIC\0GS CONTROL 1.0", 28)
                            : std::string("COME ON MUSIC\0\0\0", 16);
        f += input;
        f.resize(gsd ? 0xA71 : 0x5849, '\0');
        return f;
    };
    const files::RcpConversion c = files::ConvertRecomposer({data, size}, o);
    if (!c.Ok()) return 0;
    if (files::RecomposerTitle({data, size}) != c.title) std::abort();
    song::SongTable song;
    song::LoadOptions lo;
    lo.codePage = &cp;
    lo.fileKindLabel = c.formatText;
    const song::LoadStatus r = song::LoadSMFBytes(
        {reinterpret_cast<const uint8_t*>(c.smf.data()), c.smf.size()}, song, lo);
    if (!r.ok()) std::abort();  // a conversion the player cannot load is a fault
    return 0;
}
