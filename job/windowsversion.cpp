#include "job/windowsversion.h"

namespace
{
constexpr unsigned long kPlatformWin32Windows = 1;   // VER_PLATFORM_WIN32_WINDOWS
constexpr unsigned long kPlatformWin32Nt = 2;        // VER_PLATFORM_WIN32_NT

// Versions from 6.0 on; the builds tell the releases of 10.0 apart. First match wins.
struct NamedVersion
{
    unsigned long dwMajor;
    unsigned long dwMinor;
    unsigned long dwMinBuild;
    bool bServer;
    const char* pszName;
};

constexpr NamedVersion kNamedVersions[] = {
    {6, 0, 0, false, "Windows Vista"},
    {6, 0, 0, true, "Windows Server 2008"},
    {6, 1, 0, false, "Windows 7"},
    {6, 1, 0, true, "Windows Server 2008 R2"},
    {6, 2, 0, false, "Windows 8"},
    {6, 2, 0, true, "Windows Server 2012"},
    {6, 3, 0, false, "Windows 8.1"},
    {6, 3, 0, true, "Windows Server 2012 R2"},
    {10, 0, 22000, false, "Windows 11"},
    {10, 0, 0, false, "Windows 10"},
    {10, 0, 26100, true, "Windows Server 2025"},
    {10, 0, 20348, true, "Windows Server 2022"},
    {10, 0, 17763, true, "Windows Server 2019"},
    {10, 0, 0, true, "Windows Server 2016"},
};
}   // namespace

std::string GetWindowsVersionText(const WindowsVersion& version)
{
    if (!version.m_bQueried)
        return "Error calling GetVersionEx";
    if (version.m_dwPlatformId == kPlatformWin32Windows)
        return "Windows 9x, ME";
    if (version.m_dwPlatformId != kPlatformWin32Nt)
        return "Unknown OS Version";
    if (version.m_dwMajor == 3)
        return "Windows NT 3.51";
    if (version.m_dwMajor == 4)
        return "Windows NT 4";
    if (version.m_dwMajor <= 5) {
        if (version.m_dwMinor == 0)
            return "Windows 2000";
        return version.m_dwMinor == 1 ? "Windows XP" : "Windows XP or greater";
    }
    for (const NamedVersion& named : kNamedVersions) {
        if (named.dwMajor == version.m_dwMajor && named.dwMinor == version.m_dwMinor &&
            named.bServer == version.m_bServer && version.m_dwBuild >= named.dwMinBuild)
            return named.pszName;
    }
    // A version newer than this program: its numbers say more than a guessed name.
    return "Windows NT " + std::to_string(version.m_dwMajor) + "." + std::to_string(version.m_dwMinor) +
           " (build " + std::to_string(version.m_dwBuild) + ")";
}
