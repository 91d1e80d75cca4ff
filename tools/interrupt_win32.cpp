#include "tools/interrupt.h"

#include <cstring>
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
    if (const char* pszNotice = GetInterruptNotice()) {
        DWORD dwWritten = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), pszNotice, static_cast<DWORD>(std::strlen(pszNotice)),
                  &dwWritten, nullptr);
    }
    return TRUE;
}
}   // namespace

void InstallInterruptHandler()
{
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void IgnoreBrokenPipe() {}

int WaitForEnter(bool* pbInputEnded)
{
    const HANDLE hIn = GetStdHandle(STD_INPUT_HANDLE);
    char ch = 0;
    while (true) {
        DWORD dwRead = 0;
        SetLastError(ERROR_SUCCESS);
        const BOOL bRead = ReadFile(hIn, &ch, 1, &dwRead, nullptr);
        // Ctrl-C ends a console read with nothing read and this error; the handler raises the
        // flag on its own thread, which may not have run yet.
        if (IsInterrupted() || (dwRead == 0 && GetLastError() == ERROR_OPERATION_ABORTED))
            return -1;
        if ((!bRead || dwRead == 0) && pbInputEnded != nullptr)
            *pbInputEnded = true;
        if (!bRead || dwRead == 0 || ch == '\n')
            return 0;   // the end of the input (or a closed pipe) goes on as Enter does
    }
}
