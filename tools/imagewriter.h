// Writes bytes read from a board's flash to a file: Intel hex, or raw binary for ".bin".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// True when the path ends in ".bin" (any letter case).
bool IsBinaryPath(const std::string& strPath);
// Writes the bytes to strPath (raw for ".bin", else Intel hex: 16 data bytes per record from
// dwStart on, an extended linear address record wherever the upper 16 address bits change, CR LF
// line ends) through a temporary file in the same folder, so that a failed write leaves no half
// file. 0, or -1 with the reason.
int WriteImageFile(const std::string& strPath, uint32_t dwStart, const std::vector<uint8_t>& vecData,
                   std::string& strError);
// Whether strPath could be written: its folder exists and is writable, and it is no folder.
// 0, or -1 with the reason.
int CheckWritablePath(const std::string& strPath, std::string& strError);
