#include "hex/hexdump.h"

#include <cstring>

namespace
{
const char kHexDigits[] = "0123456789ABCDEF";
}

// Formatted by hand: a select-all copy of a large image formats millions of lines, and
// snprintf's format parsing costs more than the digits.
int FormatDumpLine(char* pszLine, uint32_t dwAddress, uint8_t byValue)
{
    int nDigits = 6;   // at least six, as many as the address needs
    while (nDigits < 8 && (dwAddress >> (4 * nDigits)) != 0)
        ++nDigits;
    char* p = pszLine;
    *p++ = '0';
    *p++ = 'x';
    for (int i = nDigits - 1; i >= 0; --i)
        *p++ = kHexDigits[(dwAddress >> (4 * i)) & 0xF];
    std::memcpy(p, " \t: 0x", 6);
    p += 6;
    *p++ = kHexDigits[byValue >> 4];
    *p++ = kHexDigits[byValue & 0xF];
    *p = '\0';
    return static_cast<int>(p - pszLine);
}

std::string FormatDumpLine(uint32_t dwAddress, uint8_t byValue)
{
    char szLine[kDumpLineMax + 1];
    return std::string(szLine, static_cast<size_t>(FormatDumpLine(szLine, dwAddress, byValue)));
}
