#include "job/windowsversion.h"

#include <gtest/gtest.h>

namespace
{

TEST(WindowsVersion, OldVersionsKeepTheirTextsAndLaterOnesTheirOwnNames)
{
    struct Case
    {
        bool bQueried;
        unsigned long dwPlatformId, dwMajor, dwMinor, dwBuild;
        bool bServer;
        const char* pszText;
    };
    const Case cases[] = {
        {false, 2, 10, 0, 19045, false, "Error calling GetVersionEx"},
        {true, 1, 4, 90, 0, false, "Windows 9x, ME"},
        {true, 2, 3, 51, 1057, false, "Windows NT 3.51"},
        {true, 2, 4, 0, 1381, false, "Windows NT 4"},
        {true, 2, 5, 0, 2195, false, "Windows 2000"},
        {true, 2, 5, 1, 2600, false, "Windows XP"},
        {true, 2, 5, 2, 3790, false, "Windows XP or greater"},
        {true, 2, 6, 0, 6002, false, "Windows Vista"},
        {true, 2, 6, 1, 7601, false, "Windows 7"},
        {true, 2, 6, 1, 7601, true, "Windows Server 2008 R2"},
        {true, 2, 6, 2, 9200, false, "Windows 8"},
        {true, 2, 6, 3, 9600, false, "Windows 8.1"},
        {true, 2, 10, 0, 19045, false, "Windows 10"},
        {true, 2, 10, 0, 21999, false, "Windows 10"},
        {true, 2, 10, 0, 22000, false, "Windows 11"},
        {true, 2, 10, 0, 26100, false, "Windows 11"},
        {true, 2, 10, 0, 14393, true, "Windows Server 2016"},
        {true, 2, 10, 0, 17763, true, "Windows Server 2019"},
        {true, 2, 10, 0, 20348, true, "Windows Server 2022"},
        {true, 2, 11, 0, 30000, false, "Windows NT 11.0 (build 30000)"},
        {true, 3, 10, 0, 0, false, "Unknown OS Version"},
    };
    for (const Case& c : cases) {
        WindowsVersion version;
        version.m_bQueried = c.bQueried;
        version.m_dwPlatformId = c.dwPlatformId;
        version.m_dwMajor = c.dwMajor;
        version.m_dwMinor = c.dwMinor;
        version.m_dwBuild = c.dwBuild;
        version.m_bServer = c.bServer;
        EXPECT_EQ(GetWindowsVersionText(version), c.pszText)
            << c.dwMajor << "." << c.dwMinor << " build " << c.dwBuild << (c.bServer ? " server" : "");
    }
}

}   // namespace
