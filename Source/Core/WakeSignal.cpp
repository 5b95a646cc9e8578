#include "Core/WakeSignal.h"

namespace nd
{

void WakeSignal::Clear()
{
    std::lock_guard guard(lock);
    raised = false;
}

void WakeSignal::Raise()
{
    {
        std::lock_guard guard(lock);
        raised = true;
    }
    raisedSignal.notify_all();
}

bool WakeSignal::WaitFor(std::chrono::milliseconds limit)
{
    std::unique_lock guard(lock);
    return raisedSignal.wait_for(guard, limit, [this] { return raised; });
}

} // namespace nd
