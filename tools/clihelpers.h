// Pure helpers of the command-line tool: number parsing, checks of an image against the
// flash chip, and the texts of progress lines and port names. No I/O.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CHexFile;

// Every flash sector is this long and sector 0 starts at address 0.
constexpr uint32_t kSectorSize = 0x8000;
// Sector numbers travel as one byte.
constexpr int kMaxSectorNumber = 255;

// The rates of the Speed list, slowest first.
const std::vector<int>& GetSpeedList();

// Sector numbers from the --sector arguments: each argument a number or a comma-separated
// list of them, decimal, 0..255, nothing else. Sorted, each once. 0 / -1 with the reason.
int ParseSectorList(const std::vector<std::string>& vecArgs, std::vector<int>& vecSectors,
                    std::string& strError);

// A whole-string unsigned number, decimal or 0x-hexadecimal, at most dwMax. 0 / -1.
int ParseAddress(const std::string& strText, uint32_t dwMax, uint32_t& dwValue);

// The first address the image writes twice; -1 when none. The image must be loaded.
int64_t FindDuplicateAddress(const CHexFile& image);
// Checks a loaded image against a chip of nSectors sectors: no address beyond the last
// sector, none written twice. 0, or -1 with a text naming the offending address.
int CheckImageAgainstChip(const CHexFile& image, int nSectors, std::string& strError);
// The sectors that hold at least one byte of the image, ascending.
std::vector<int> GetSectorsTouched(const CHexFile& image);
// The number of runs of consecutive addresses in the image (0 for an empty image).
int CountRuns(const CHexFile& image);

// "Sector #%d\t0x%06X - 0x%06X\tunknown", as the Delete sectors list shows a sector.
std::string FormatSectorLine(int nSector, bool bDeleted);

// One line of progress: label, bar (nBarWidth characters, none for 0), percent, bytes, rate
// and time left, e.g. "Programming     [#####-----]  50%  16.0/32.0 KiB  3.1 KiB/s  0:05 left".
// Percent above 100 shows as 100; the rate and time left need some elapsed time.
std::string FormatProgressLine(const std::string& strLabel, int nPercent, int64_t nTotalBytes,
                               double dElapsedSeconds, int nBarWidth);
// 1.5 -> "0:02" (rounded up), 3725 -> "1:02:05".
std::string FormatDuration(double dSeconds);

// The name the Port list shows for a discovered port: what stands between the last "(" and
// the last ")" of a friendly name longer than 6 characters; else the friendly name itself.
std::string GetShownPortName(const std::string& strFriendlyName);

// Text as a JSON string literal, quotes included.
std::string JsonString(const std::string& strText);

// The output file of one board when several are read at once: "dump.hex" and port
// "/dev/ttyUSB1" give "dump-ttyUSB1.hex" (characters other than letters, digits, '-' and '_'
// of the port's last path part become '_').
std::string GetBoardOutputPath(const std::string& strOutput, const std::string& strPort);

// What to do when opening a device failed for want of permission: join the group that owns it.
std::string GetPermissionRemedy(const std::string& strDevice, const std::string& strGroup);
