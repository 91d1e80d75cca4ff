// The file a read writes the bytes of a board's flash into: Intel hex, or raw binary for ".bin".
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
// The output file of one board when several are read at once: "dump.hex" and port
// "/dev/ttyUSB1" give "dump-ttyUSB1.hex", port "slotA/tty" "dump-slotA_tty.hex" (the port as
// named, without "/dev/"; characters other than letters, digits, '-' and '_' become '_', and
// leading ones go).
std::string GetBoardOutputPath(const std::string& strOutput, const std::string& strPort);
