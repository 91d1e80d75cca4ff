// Pure helpers of the command-line tool: number parsing and the texts of progress lines and
// remedies. No I/O.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Sector numbers from the --sector arguments: each argument a number or a comma-separated
// list of them, decimal, 0..255, nothing else. Sorted, each once. 0 / -1 with the reason.
int ParseSectorList(const std::vector<std::string>& vecArgs, std::vector<int>& vecSectors,
                    std::string& strError);

// A whole-string unsigned number, decimal or 0x-hexadecimal, at most dwMax. 0 / -1.
int ParseAddress(const std::string& strText, uint32_t dwMax, uint32_t& dwValue);

// One line of progress: label, bar (nBarWidth characters, none for 0), percent, bytes, rate
// and time left, e.g. "Programming     [#####-----]  50%  16.0/32.0 KiB  3.1 KiB/s  0:05 left".
// Percent above 100 shows as 100; the rate and time left need some elapsed time.
std::string FormatProgressLine(const std::string& strLabel, int nPercent, int64_t nTotalBytes,
                               double dElapsedSeconds, int nBarWidth);
// 1.5 -> "0:02" (rounded up), 3725 -> "1:02:05".
std::string FormatDuration(double dSeconds);

// What to do when opening a device failed for want of permission: join the group that owns it.
std::string GetPermissionRemedy(const std::string& strDevice, const std::string& strGroup);
