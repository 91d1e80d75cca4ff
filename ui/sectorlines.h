// The distance of the Delete sectors list's tab stops: plain functions, so the arithmetic is
// checked without a window. The lines themselves are FormatSectorLine's (job/boardfacts.h).
#pragma once

#include <string>

enum ESectorState
{
    kSectorUnknown = 0,
    kSectorDeleted = 1,
};

// The list's tab distance in dialog template units (quarters of the list font's average
// character width): ((nListWidth / 2) * 4) / nBaseUnit, each division truncating, from the
// list's outer width and the horizontal dialog base unit, both in pixels. 0 for a base unit <= 0.
int SectorTabDistance(int nListWidth, int nBaseUnit);
// The same distance in pixels for a list font of nAverageCharWidth pixels.
int TabDistancePixels(int nTabDistance, int nAverageCharWidth);
