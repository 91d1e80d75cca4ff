// What both faces know of the board and its line, in one place: line speeds, boards, flash
// chips with their flasher programs, the loader files, the flash sectors, and the name a port
// is shown by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Line speeds in bit/s as the Speed list offers them, slowest first.
inline constexpr int kSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600};
inline constexpr int kDefaultSpeedIndex = 6;   // 57600

inline constexpr const char* kBoardNames[] = {"Phytec KC167CR"};

struct CFlashChip
{
    const char* pszName;          // as the Flash Chip list and --flash-chip name it
    const char* pszFlasherFile;   // the flasher program that drives it
};
inline constexpr CFlashChip kFlashChips[] = {
    {"AUTO", "main.h86"}, {"NexFlash", "mainnex.h86"}, {"AMD", "mainamd.h86"}};

// The loader chain's first two files; the third is the flash chip's flasher program.
inline constexpr const char* kBslFile = "prel1.hex";
inline constexpr const char* kFirstLoaderFile = "prel2.hex";

// Every flash sector is this long and sector 0 starts at address 0.
inline constexpr uint32_t kSectorSize = 0x8000;
// Sector numbers travel as one byte.
inline constexpr int kMaxSectorNumber = 255;

inline constexpr const char* kSectorHeader = "Sector\tRange\tStatus";

// The flash chip of that name (exact letter case); null when there is none.
const CFlashChip* FindFlashChip(const std::string& strName);

// A loader file in a folder: the folder, "/" and the name.
std::string LoaderPath(const std::string& strDir, const std::string& strFile);

// "Sector #%d\t0x%06X - 0x%06X\tunknown" (or "deleted"); sectors of nSectorSize bytes follow
// each other from dwBase, addresses wrapping at 32 bits as the board's do.
std::string FormatSectorLine(int nSector, bool bDeleted, uint32_t nSectorSize = kSectorSize,
                             uint32_t dwBase = 0);

// Names longer than this are shown by the text inside their last pair of parentheses.
constexpr size_t kPortNameKeepLength = 6;

// The name a port is shown by: a friendly name of up to 6 characters as it stands, a longer one
// by the text strictly between its last "(" and its last ")". False when a longer name has no
// such pair, or the pair holds nothing ("Modem ()").
bool GetShownPortName(const std::string& strFriendlyName, std::string& strShown);
