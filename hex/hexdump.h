// Text forms of an image for people: the Hexinfo dump line of one byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The dump's first line, without a line end.
constexpr const char* kDumpHeader = "Address \t\t: Data";
// Longest line: "0x" and eight address digits, " \t: 0x" and two value digits.
constexpr size_t kDumpLineMax = 18;

// "0x%06X \t: 0x%02X": the address padded to at least six upper-case digits, the byte to two.
// No line end.
std::string FormatDumpLine(uint32_t dwAddress, uint8_t byValue);
// The same line into pszLine, which holds kDumpLineMax + 1 characters; returns its length.
int FormatDumpLine(char* pszLine, uint32_t dwAddress, uint8_t byValue);
