// One line of an image's byte dump, as the Hexinfo dialog and the command line show it.
#pragma once

#include <cstddef>
#include <cstdint>

// The dump's first line, without a line end.
constexpr const char* kDumpHeader = "Address \t\t: Data";
// Longest line: "0x" and eight address digits, " \t: 0x" and two value digits.
constexpr size_t kDumpLineMax = 18;

// Writes "0x%06X \t: 0x%02X" (no line end) into pszLine, which holds kDumpLineMax + 1
// characters; returns the line's length.
int FormatDumpLine(char* pszLine, uint32_t dwAddress, uint8_t byValue);
