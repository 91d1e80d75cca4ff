// The lines and messages both faces show, word for word.
#pragma once

#include <cstdint>
#include <string>

inline constexpr const char* kTextStarted = "Kelvora started";
inline constexpr const char* kTextResetBoard = "please reset the board";
inline constexpr const char* kTextTryingToConnect = "Trying to connect";
inline constexpr const char* kTextCannotConnect = "Cannot connect to target";
inline constexpr const char* kTextLostConnection = "Lost connection to target";
inline constexpr const char* kTextConnectionClosed = "Connection closed";
inline constexpr const char* kTextSerialPortClosed = "Serial port closed";
inline constexpr const char* kTextFlashFailed = "Flash failed";
inline constexpr const char* kTextVerifyFailed = "Verify failed";
inline constexpr const char* kTextFlashedAndVerified = "Hexfile flashed and verified successfully";
inline constexpr const char* kTextFlashed = "Hexfile flashed successfully";
inline constexpr const char* kTextCannotEraseChip = "Error cannot delete flash chip";
inline constexpr const char* kTextCannotEraseSector = "Error deleting sector";
inline constexpr const char* kTextVerifyingHexFile = "Verifying hexfile...please wait";
inline constexpr const char* kTextLoadingHexFile = "Loading hexfile...please wait";

// "OS Version: " and the operating system's name: the second line of a start.
std::string FormatOsVersionLine();
// "CPU returned ID: %2X" of the identification's low 8 bits.
std::string FormatCpuIdLine(int nCpuId);
// "0x%06X".
std::string FormatAddress(uint32_t dwAddress);
// "<name> is not a valid intel hex file".
std::string NotValidHexText(const std::string& strShownName);
// "<path> cannot be loaded into memory".
std::string NotLoadedHexText(const std::string& strPath);
// "<path> successfully loaded".
std::string LoadedHexText(const std::string& strPath);
