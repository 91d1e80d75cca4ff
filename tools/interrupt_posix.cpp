#include "tools/interrupt.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace
{
void OnInterrupt(int)
{
    RaiseInterrupt();
    const int nSavedErrno = errno;
    if (const char* pszNotice = GetInterruptNotice())
        (void)!write(STDERR_FILENO, pszNotice, std::strlen(pszNotice));
    errno = nSavedErrno;
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

int WaitForEnter(bool* pbInputEnded)
{
    char ch = 0;
    while (true) {
        const ssize_t n = read(STDIN_FILENO, &ch, 1);
        if (IsInterrupted())
            return -1;
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 && pbInputEnded != nullptr)
            *pbInputEnded = true;
        if (n <= 0 || ch == '\n')
            return 0;   // the end of the input goes on as Enter does
    }
}
