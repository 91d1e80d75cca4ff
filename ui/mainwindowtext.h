// Texts and names the main window decides without its widgets.
#pragma once

#include <string>

// Appends the line and CR LF to the whole log text.
void AppendLogLine(std::string& strLog, const std::string& strLine);

// "CPU returned ID: %2X" of the identification's low 8 bits.
std::string FormatCpuIdLine(int nCpuId);

// The flasher program for a Flash Chip index: 0 "main.h86", 1 "mainnex.h86", 2 "mainamd.h86";
// any other index keeps strCurrent.
std::string FlasherFileForChip(int nChipIndex, const std::string& strCurrent);

// A loader file in the working directory: the directory, "/" and the name.
std::string LoaderPath(const std::string& strWorkDir, const std::string& strFile);
