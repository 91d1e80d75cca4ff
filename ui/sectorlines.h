// The lines of the Delete sectors list and the distance of its tab stops: plain functions, so
// the texts and the arithmetic are checked without a window.
#pragma once

#include <string>

constexpr const char* kSectorHeader = "Sector\tRange\tStatus";

enum ESectorState
{
    kSectorUnknown = 0,
    kSectorDeleted = 1,
};

// "Sector #%d\t0x%06X - 0x%06X\tunknown" (or "deleted") for sector nSector of nSectorSize
// bytes, sectors following each other from nBaseAddress.
std::string SectorLine(int nSector, int nState, int nSectorSize, int nBaseAddress);

// The list's tab distance in dialog template units (quarters of the list font's average
// character width): ((nListWidth / 2) * 4) / nBaseUnit, each division truncating, from the
// list's outer width and the horizontal dialog base unit, both in pixels. 0 for a base unit <= 0.
int SectorTabDistance(int nListWidth, int nBaseUnit);
// The same distance in pixels for a list font of nAverageCharWidth pixels.
int TabDistancePixels(int nTabDistance, int nAverageCharWidth);
