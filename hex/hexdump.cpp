#include "hex/hexdump.h"

#include <cstdio>

std::string FormatDumpLine(uint32_t dwAddress, uint8_t byValue)
{
    char szLine[32];
    std::snprintf(szLine, sizeof szLine, "0x%06X \t: 0x%02X", static_cast<unsigned>(dwAddress),
                  static_cast<unsigned>(byValue));
    return szLine;
}
