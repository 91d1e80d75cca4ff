#include "tools/terminal.h"

std::string GetRowsUpClearCode(int nRows)
{
    return "\r\033[" + std::to_string(nRows) + "A\033[J";
}

int SwitchOnEscapeCodes(CConsoleModeApi& api)
{
    uint32_t dwMode = 0;
    if (!api.GetMode(dwMode))
        return -1;
    if ((dwMode & CConsoleModeApi::kEscapeCodes) != 0)
        return 0;
    if (!api.SetMode(dwMode | CConsoleModeApi::kEscapeCodes))
        return -1;
    // Some consoles accept the call and ignore a bit they do not know.
    uint32_t dwNow = 0;
    if (!api.GetMode(dwNow) || (dwNow & CConsoleModeApi::kEscapeCodes) == 0)
        return -1;
    return 0;
}
