// Process priority: the "ThreadMode" setting's effect. A refused change is
// normal (an unprivileged user cannot raise priority) and is not an error.
#pragma once

namespace sonfara::platform {

enum class PriorityClass { kRealtime, kHigh, kNormal, kIdle };

class ProcessPriority {
  public:
    virtual ~ProcessPriority() = default;
    // True when the system accepted the change.
    virtual bool Set(PriorityClass c) = 0;
};

// Linux: nice values on every thread of the process (-20, -10, 0, 19);
// Windows: SetPriorityClass on the current process.
class SystemProcessPriority : public ProcessPriority {
  public:
    bool Set(PriorityClass c) override;
};

// ThreadMode 0 real-time, 1 high, 2 and 3 normal, 4 idle; any other value
// leaves the priority alone. Returns whether a change was asked for.
bool PriorityForThreadMode(int mode, PriorityClass& out);

// Applies `mode` through `p`; true when nothing was asked or it was accepted.
bool ApplyThreadMode(ProcessPriority& p, int mode);

// The nice value used on Linux for a class.
int NiceValueFor(PriorityClass c);

// The calling thread, and the threads it starts afterwards, give way to the
// rest of the program (a long background job beside the windows). Best
// effort: nothing happens where the system refuses.
void YieldToForeground();

}  // namespace sonfara::platform
