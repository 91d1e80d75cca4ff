#include "job/jobtexts.h"

#include <cstdio>

#include "job/osversion.h"

std::string FormatOsVersionLine()
{
    return "OS Version: " + GetOsVersionText();
}

std::string FormatCpuIdLine(int nCpuId)
{
    char szLine[32];
    std::snprintf(szLine, sizeof szLine, "CPU returned ID: %2X", static_cast<unsigned>(nCpuId) & 0xFFu);
    return szLine;
}

std::string FormatAddress(uint32_t dwAddress)
{
    char sz[16];
    std::snprintf(sz, sizeof sz, "0x%06X", static_cast<unsigned>(dwAddress));
    return sz;
}

std::string NotValidHexText(const std::string& strShownName)
{
    return strShownName + " is not a valid intel hex file";
}

std::string NotLoadedHexText(const std::string& strPath)
{
    return strPath + " cannot be loaded into memory";
}

std::string LoadedHexText(const std::string& strPath)
{
    return strPath + " successfully loaded";
}
