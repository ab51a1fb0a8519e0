#include "player/display/pass_stats.h"

namespace sonfara::display {

std::string PassStatsReport(const PassStats& wall, const PassStats& cpu) {
    const auto line = [](const char* key, uint64_t v) {
        return std::string(key) + ' ' + std::to_string(v) + '\n';
    };
    return line("passes", wall.Count()) + line("median_us", wall.Percentile(0.5)) +
           line("p99_us", wall.Percentile(0.99)) + line("cpu_median_us", cpu.Percentile(0.5)) +
           line("cpu_p99_us", cpu.Percentile(0.99));
}

}  // namespace sonfara::display
