#include "ui/sectorlines.h"

#include <cstdio>

std::string SectorLine(int nSector, int nState, int nSectorSize, int nBaseAddress)
{
    // Unsigned arithmetic: 127 sectors of 32 KiB stay far from overflow, and a large base
    // address wraps like the board's 32-bit addresses instead of being undefined.
    const unsigned nFirst = static_cast<unsigned>(nBaseAddress) +
                            static_cast<unsigned>(nSector) * static_cast<unsigned>(nSectorSize);
    const unsigned nLast = nFirst + static_cast<unsigned>(nSectorSize) - 1u;
    char szLine[80];
    std::snprintf(szLine, sizeof szLine, "Sector #%d\t0x%06X - 0x%06X\t%s", nSector, nFirst, nLast,
                  nState == kSectorDeleted ? "deleted" : "unknown");
    return szLine;
}

int SectorTabDistance(int nListWidth, int nBaseUnit)
{
    if (nBaseUnit <= 0)
        return 0;
    return ((nListWidth / 2) * 4) / nBaseUnit;
}

int TabDistancePixels(int nTabDistance, int nAverageCharWidth)
{
    return nTabDistance * nAverageCharWidth / 4;
}
