#include "job/boardfacts.h"

#include <cstdio>

const CFlashChip* FindFlashChip(const std::string& strName)
{
    for (const CFlashChip& chip : kFlashChips)
        if (strName == chip.pszName)
            return &chip;
    return nullptr;
}

std::string LoaderPath(const std::string& strDir, const std::string& strFile)
{
    return strDir + "/" + strFile;
}

std::string FormatSectorLine(int nSector, bool bDeleted, uint32_t nSectorSize, uint32_t dwBase)
{
    const uint32_t dwFirst = dwBase + static_cast<uint32_t>(nSector) * nSectorSize;
    char szLine[80];
    std::snprintf(szLine, sizeof szLine, "Sector #%d\t0x%06X - 0x%06X\t%s", nSector,
                  static_cast<unsigned>(dwFirst), static_cast<unsigned>(dwFirst + nSectorSize - 1u),
                  bDeleted ? "deleted" : "unknown");
    return szLine;
}

bool GetShownPortName(const std::string& strFriendlyName, std::string& strShown)
{
    if (strFriendlyName.size() <= kPortNameKeepLength) {
        strShown = strFriendlyName;
        return true;
    }
    const size_t nOpen = strFriendlyName.rfind('(');
    const size_t nClose = strFriendlyName.rfind(')');
    if (nOpen == std::string::npos || nClose == std::string::npos || nClose < nOpen + 2)
        return false;
    strShown = strFriendlyName.substr(nOpen + 1, nClose - nOpen - 1);
    return true;
}
