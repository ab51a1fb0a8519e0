#include "player/platform/clock.h"

namespace sonfara::platform {

namespace {
std::chrono::steady_clock::time_point Origin() {
    static const auto origin = std::chrono::steady_clock::now();
    return origin;
}
}  // namespace

int64_t SteadyClock::NowUs() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 Origin())
        .count();
}

std::chrono::steady_clock::time_point SteadyClock::ToTimePoint(int64_t us) {
    return Origin() + std::chrono::microseconds(us);
}

SteadyClock& SteadyClock::Instance() {
    static SteadyClock clock;
    return clock;
}

}  // namespace sonfara::platform
