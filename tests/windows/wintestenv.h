// What scripts/test-windows.sh tells the Windows tests through the environment: the COM ports
// of the simulated boards (KELVORA_TEST_PORTS, e.g. "COM5,COM6"; the second board answers the
// bootstrap loader's 0x00 with kSecondBoardId), the folder with the loader files
// (KELVORA_TEST_TARGETS) and the image to flash (KELVORA_TEST_IMAGE).
#pragma once

#include <string>
#include <vector>

constexpr unsigned char kFirstBoardId = 0xC5;
constexpr unsigned char kSecondBoardId = 0xC3;

// Device paths such as "\\.\COM5", in the order given; empty when none were given.
std::vector<std::string> TestPorts();
// Empty when not given.
std::string TestEnvironment(const char* pszName);
