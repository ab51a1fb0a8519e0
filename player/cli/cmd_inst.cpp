// sonfara-cli inst: one instrument label as the channel rows show it.
#include <iostream>

#include "player/cli/cli_common.h"
#include "player/cli/commands.h"
#include "player/platform/sfrlib_binding.h"

namespace sonfara::cli {

int RunInst(const std::vector<std::string>& words) {
    Args a = ParseArgs(words, {}, {});
    std::optional<long> v[3];
    bool ok = a.error.empty() && a.positional.size() == 3;
    for (size_t i = 0; ok && i < 3; ++i) {
        v[i] = ParseInt(a.positional[i]);
        ok = v[i] && *v[i] >= 0 && *v[i] <= 127;
    }
    if (!ok) {
        std::cerr << "usage: sonfara-cli inst BANK MAP PROGRAM   (each 0-127)\n";
        return 2;
    }
    platform::SfrLibBinding lib;
    lib.InstInit();
    // Names are ASCII, so the label needs no code-page conversion.
    std::cout << platform::InstLabelText(lib, static_cast<int>(*v[2]), static_cast<int>(*v[0]),
                                         static_cast<int>(*v[1]))
              << "\n";
    return 0;
}

}  // namespace sonfara::cli
