#include "hex/hexdump.h"

#include <cstdio>

int FormatDumpLine(char* pszLine, uint32_t dwAddress, uint8_t byValue)
{
    return std::snprintf(pszLine, kDumpLineMax + 1, "0x%06X \t: 0x%02X", static_cast<unsigned>(dwAddress),
                         static_cast<unsigned>(byValue));
}
