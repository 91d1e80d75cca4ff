#include "tools/terminal.h"

#include <io.h>
#include <windows.h>

static_assert(CConsoleModeApi::kEscapeCodes == ENABLE_VIRTUAL_TERMINAL_PROCESSING, "the console's own bit");

namespace
{
class CWin32ConsoleMode : public CConsoleModeApi
{
public:
    explicit CWin32ConsoleMode(HANDLE hOut) : m_hOut(hOut) {}

    bool GetMode(uint32_t& dwMode) override
    {
        DWORD dw = 0;
        if (!GetConsoleMode(m_hOut, &dw))
            return false;
        dwMode = dw;
        return true;
    }

    bool SetMode(uint32_t dwMode) override { return SetConsoleMode(m_hOut, dwMode) != 0; }

private:
    HANDLE m_hOut;
};
}   // namespace

bool IsEscapeTerminal(FILE* pStream)
{
    const intptr_t nHandle = _get_osfhandle(_fileno(pStream));
    if (nHandle == -1)
        return false;
    CWin32ConsoleMode api(reinterpret_cast<HANDLE>(nHandle));
    return SwitchOnEscapeCodes(api) == 0;
}
