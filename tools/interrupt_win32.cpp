#include "tools/interrupt.h"

#include <windows.h>

namespace
{
// Runs on a thread the console starts for the event. The first Ctrl-C (or Ctrl-Break) raises
// the flag; a second one goes to the default handler, which ends the program at once.
BOOL WINAPI OnConsoleControl(DWORD dwType)
{
    if (dwType != CTRL_C_EVENT && dwType != CTRL_BREAK_EVENT)
        return FALSE;
    if (IsInterrupted())
        return FALSE;
    RaiseInterrupt();
    return TRUE;
}
}   // namespace

void InstallInterruptHandler()
{
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void IgnoreBrokenPipe() {}
