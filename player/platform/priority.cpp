#include "player/platform/priority.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#endif

namespace sonfara::platform {

bool PriorityForThreadMode(int mode, PriorityClass& out) {
    switch (mode) {
        case 0:
            out = PriorityClass::kRealtime;
            return true;
        case 1:
            out = PriorityClass::kHigh;
            return true;
        case 2:
        case 3:
            out = PriorityClass::kNormal;
            return true;
        case 4:
            out = PriorityClass::kIdle;
            return true;
        default:
            return false;
    }
}

bool ApplyThreadMode(ProcessPriority& p, int mode) {
    PriorityClass c;
    if (!PriorityForThreadMode(mode, c)) return true;
    return p.Set(c);
}

int NiceValueFor(PriorityClass c) {
    switch (c) {
        // Real-time scheduling could starve the desktop; the strongest nice
        // value is the closest safe equivalent.
        case PriorityClass::kRealtime:
            return -20;
        case PriorityClass::kHigh:
            return -10;
        case PriorityClass::kNormal:
            return 0;
        case PriorityClass::kIdle:
            return 19;
    }
    return 0;
}

#ifdef _WIN32
bool SystemProcessPriority::Set(PriorityClass c) {
    DWORD cls = NORMAL_PRIORITY_CLASS;
    switch (c) {
        case PriorityClass::kRealtime:
            cls = REALTIME_PRIORITY_CLASS;
            break;
        case PriorityClass::kHigh:
            cls = HIGH_PRIORITY_CLASS;
            break;
        case PriorityClass::kNormal:
            cls = NORMAL_PRIORITY_CLASS;
            break;
        case PriorityClass::kIdle:
            cls = IDLE_PRIORITY_CLASS;
            break;
    }
    return SetPriorityClass(GetCurrentProcess(), cls) != 0;
}

void YieldToForeground() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}
#else
bool SystemProcessPriority::Set(PriorityClass c) {
    const int nice = NiceValueFor(c);
    // Linux keeps the nice value per thread, so every thread of the process
    // is changed; threads created later inherit the caller's value.
    bool ok = true;
    bool any = false;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
            const int tid = std::atoi(e->d_name);
            any = true;
            if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) != 0) ok = false;
        }
        closedir(d);
    }
    if (!any) ok = setpriority(PRIO_PROCESS, 0, nice) == 0;
    return ok;
}

// Five nice steps lower, from wherever ThreadMode put the process.
void YieldToForeground() {
    constexpr int kSteps = 5;
    const id_t self = static_cast<id_t>(::gettid());
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, self);
    if (errno == 0) (void)setpriority(PRIO_PROCESS, self, std::min(nice + kSteps, 19));
}
#endif

}  // namespace sonfara::platform
