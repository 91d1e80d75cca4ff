// Ports named directly on the command line, as Windows names them.
#include "job/portpath.h"

#include <gtest/gtest.h>

namespace
{

TEST(PortPathWin, ComNamesAndDevicePathsOpenDirectlyOtherNamesDoNot)
{
    // asked, path (nullptr: not a direct name)
    const std::pair<const char*, const char*> cases[] = {
        {"COM3", "\\\\.\\COM3"},
        {"com12", "\\\\.\\com12"},
        {"\\\\.\\COM12", "\\\\.\\COM12"},
        {"\\\\?\\usb#x", "\\\\?\\usb#x"},
        {"COM", nullptr},
        {"COM1x", nullptr},
        {"ttyS0", nullptr},
        {"/dev/ttyS0", nullptr},
        {"USB Serial Port", nullptr},
    };
    for (const auto& [pszAsked, pszPath] : cases) {
        std::string strPath;
        EXPECT_EQ(GetDirectDevicePath(pszAsked, strPath), pszPath != nullptr) << pszAsked;
        EXPECT_EQ(strPath, pszPath != nullptr ? pszPath : "") << pszAsked;
    }
}

TEST(PortPathWin, OnePortByTwoNamesIsOneDevice)
{
    for (const char* pszPath : {"\\\\.\\com12", "\\\\.\\COM12", "Com12"})
        EXPECT_EQ(ResolvePortDevice(pszPath).strKey, "COM12") << pszPath;
}

}   // namespace
