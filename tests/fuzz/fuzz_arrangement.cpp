// Arrangement and EQ readers: any bytes give either no entry or one whose
// program map stays within 1..128.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "player/files/arrangement.h"

using namespace sonfara;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto fields = files::ReadDelimitedFields(bytes, files::kMaxArrangeFields);
    if (fields.size() > files::kMaxArrangeFields) std::abort();
    for (const auto& f : fields) {
        if (f.find_first_of("\r\n") != std::string::npos) std::abort();
    }
    if (auto e = files::ParseArrangement(bytes)) {
        for (int p = 1; p <= 128; ++p) {
            if (e->InstMap[p] < 1 || e->InstMap[p] > 128) std::abort();
        }
    }
    auto eq = files::ParseEqPreset(bytes, "x");
    if (eq.has_value() != (size == files::kEqFileSize)) std::abort();
    return 0;
}
