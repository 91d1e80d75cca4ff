#include "ui/sectorlines.h"

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
