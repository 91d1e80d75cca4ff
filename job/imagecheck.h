// Checks of a loaded image against the flash before anything is erased, and the sectors an
// image needs erased.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CHexFile;

enum class EImageLoad
{
    Loaded,
    NotValid,   // Verify refused the file
    NotLoaded   // valid, but Load failed (no data bytes, no memory)
};
// Verifies, then loads the file of image; with a sink, kTextVerifyingHexFile and
// kTextLoadingHexFile go to its log first. The caller words the failure as it shows it.
class CJobSink;
EImageLoad LoadHexImage(CHexFile& image, CJobSink* pSink);
// A failed load in full: the file is not valid, with the line and rule at fault, or it cannot
// be loaded, and then whether it holds no data bytes; each a Fail of the sink.
void ReportImageLoadFailure(EImageLoad eLoad, const std::string& strPath, const CHexFile& image,
                            CJobSink& sink);
// The image of a board job: an Intel hex file, or with bRaw a raw binary file (as read writes
// ".bin") whose bytes are placed from dwRawStart on. Each failure a Fail of the sink. 0 / -1.
int LoadJobImage(CHexFile& image, const std::string& strPath, bool bRaw, uint32_t dwRawStart, CJobSink& sink);

// The first address the image writes twice; -1 when none. The image must be loaded.
int64_t FindDuplicateAddress(const CHexFile& image);
// Checks a loaded image against a chip of nSectors sectors: no address beyond the last
// sector, none written twice. 0, or -1 with a text naming the offending address.
int CheckImageAgainstChip(const CHexFile& image, int nSectors, std::string& strError);
// The same against the largest flash the line can address: what no chip can take. 0 / -1.
int CheckImageAgainstLine(const CHexFile& image, std::string& strError);
// The sectors that hold at least one byte of the image, ascending: what is erased before it
// is programmed.
std::vector<int> GetSectorsTouched(const CHexFile& image);
// The number of runs of consecutive addresses in the image (0 for an empty image).
int CountRuns(const CHexFile& image);
