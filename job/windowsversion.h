// The name of a Windows version for the start-up log, from what the system reports.
#pragma once

#include <string>

struct WindowsVersion
{
    bool m_bQueried = false;            // the version query succeeded
    unsigned long m_dwPlatformId = 0;   // 1: Windows 95 family, 2: Windows NT family
    unsigned long m_dwMajor = 0;
    unsigned long m_dwMinor = 0;
    unsigned long m_dwBuild = 0;
    bool m_bServer = false;   // a server edition (product type other than workstation)
};

// "Windows 9x, ME", "Windows NT 3.51", "Windows NT 4", "Windows 2000", "Windows XP",
// "Windows XP or greater" (5.2) as the first versions named them; from 6.0 on the version's
// own name ("Windows 7", "Windows 10", "Windows 11", "Windows Server 2019", ...).
std::string GetWindowsVersionText(const WindowsVersion& version);
