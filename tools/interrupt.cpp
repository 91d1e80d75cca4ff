#include "tools/interrupt.h"

#include <atomic>

#include "job/jobsink.h"

namespace
{
std::atomic<bool> g_bInterrupted(false);
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");
}   // namespace

void RaiseInterrupt()
{
    g_bInterrupted.store(true);
}

bool IsInterrupted()
{
    return g_bInterrupted.load();
}

void ThrowIfInterrupted()
{
    if (IsInterrupted())
        throw CJobStopped();
}
