#include "tools/interrupt.h"

#include <atomic>
#include <csignal>

namespace
{
std::atomic<bool> g_bInterrupted(false);
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

void OnInterrupt(int)
{
    g_bInterrupted.store(true);
}
}   // namespace

void InstallInterruptHandler()
{
    struct sigaction action
    {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: the wait for Enter returns at once. One-shot: a second Ctrl-C ends the
    // program at once, for an operator who will not wait for an erase to finish.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

bool IsInterrupted()
{
    return g_bInterrupted.load();
}

void ThrowIfInterrupted()
{
    if (IsInterrupted())
        throw CInterrupted();
}
