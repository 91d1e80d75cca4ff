// Text forms of an image for people: the Hexinfo dump line of one byte.
#pragma once

#include <cstdint>
#include <string>

// "0x%06X \t: 0x%02X": the address padded to at least six upper-case digits, the byte to two.
// No line end.
std::string FormatDumpLine(uint32_t dwAddress, uint8_t byValue);
