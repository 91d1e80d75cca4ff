// What the tests that boot a simulated board share: the target files in a folder, hex images of
// known bytes, and the bytes of the board's wire log.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "job/boardfacts.h"
#include "sim/boardsim.h"
#include "support/tempdir.h"

// The bootstrap code, the first stage loader and the flasher program pszFlasher of this size,
// sector count and info text, under the names the board facts give them; false when one of them
// cannot be written.
bool WriteTargetFiles(const CTempDir& dir, size_t nFlasherSize, int nSectors, const std::string& strInfo,
                      const char* pszFlasher = kFlashChips[0].pszFlasherFile);

// Bytes at an address.
using CSegment = std::pair<uint32_t, std::vector<uint8_t>>;
// An Intel hex file with extended linear address records; no segments gives a file without data.
// Throws std::runtime_error when a segment is refused or the file cannot be written.
void WriteHexFile(const std::string& strPath, const std::vector<CSegment>& segments);
std::vector<uint8_t> Pattern(size_t nBytes, uint8_t bySeed = 0);

// The board's flash set to these bytes through flash.bin in dir; false when it refuses them.
bool LoadFlashBytes(CBoardSim& board, const CTempDir& dir, const std::vector<uint8_t>& vecFlash);
// The 32 KiB sectors of vecFlash that read all 0xFF; with vecBefore, a sector that is neither
// erased nor as vecBefore had it counts as -1 minus its number.
std::vector<int> ErasedSectors(const std::vector<uint8_t>& vecFlash,
                               const std::vector<uint8_t>& vecBefore = {});
// Bytes that crossed the wire in one direction since the board's log was last cleared.
std::vector<uint8_t> WireBytes(const CBoardSim& board, bool bToBoard);
