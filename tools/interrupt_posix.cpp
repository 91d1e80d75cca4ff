#include "tools/interrupt.h"

#include <csignal>

namespace
{
void OnInterrupt(int)
{
    RaiseInterrupt();
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

void IgnoreBrokenPipe()
{
    signal(SIGPIPE, SIG_IGN);
}
