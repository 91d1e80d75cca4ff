#include "tools/interrupt.h"

#include <atomic>

#include "job/jobsink.h"

namespace
{
std::atomic<bool> g_bInterrupted(false);
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");
std::atomic<int> g_nErasing(0);
static_assert(std::atomic<int>::is_always_lock_free, "the count is read in a signal handler");
const char kEraseNotice[] =
    "Ctrl-C: the erase under way cannot be cut short; stopping once it is over (Ctrl-C again quits now)\n";
}   // namespace

void RaiseInterrupt()
{
    g_bInterrupted.store(true);
}

void SetEraseUnderWay(bool bUnderWay)
{
    g_nErasing += bUnderWay ? 1 : -1;
}

const char* GetInterruptNotice()
{
    return g_nErasing.load() > 0 ? kEraseNotice : nullptr;
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
