// libFuzzer harness: any bytes as a favourite file; a favourite read must
// be written and read back to the same title and path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "player/files/favorites.h"
#include "player/files/paths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonfara;
    using namespace sonfara::files;
    static const platform::CodePage cp("CP932");
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)files::ReadDelimitedFields(bytes);
    FavoriteEntry f;
    if (!ParseFavorite(bytes, cp, f)) return 0;
    (void)FavoriteFileName(f.Title);
    const std::string text =
        EncodeTextFile({kFavoriteHeader, DelimitedField(f.Title), DelimitedField(f.Path)}, cp);
    FavoriteEntry g;
    if (!ParseFavorite(text, cp, g)) std::abort();
    // Quotes inside a quoted field become apostrophes; nothing else changes.
    if (f.Title.find('"') == std::string::npos && f.Path.find('"') == std::string::npos &&
        (g.Title != f.Title || g.Path != f.Path)) {
        std::abort();
    }
    return 0;
}
