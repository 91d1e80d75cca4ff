#include "job/osversion.h"

#include "job/windowsversion.h"

#include <cstring>
#include <windows.h>

namespace
{
using RtlGetVersionProc = LONG(WINAPI*)(OSVERSIONINFOEXW*);

// RtlGetVersion tells the truth: GetVersionExA answers what the compatibility shims say, 6.2
// on every later Windows for a program without a manifest that lists them.
bool QueryRealVersion(WindowsVersion& version)
{
    const HMODULE hNtdll = GetModuleHandleA("ntdll.dll");
    if (hNtdll == nullptr)
        return false;
    RtlGetVersionProc pRtlGetVersion;
    const FARPROC pProc = GetProcAddress(hNtdll, "RtlGetVersion");
    static_assert(sizeof pProc == sizeof pRtlGetVersion, "function pointers of one size");
    std::memcpy(&pRtlGetVersion, &pProc, sizeof pRtlGetVersion);
    if (pRtlGetVersion == nullptr)
        return false;
    OSVERSIONINFOEXW info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (pRtlGetVersion(&info) != 0)
        return false;
    version.m_dwPlatformId = info.dwPlatformId;
    version.m_dwMajor = info.dwMajorVersion;
    version.m_dwMinor = info.dwMinorVersion;
    version.m_dwBuild = info.dwBuildNumber;
    version.m_bServer = info.wProductType != VER_NT_WORKSTATION;
    return true;
}

bool QueryVersionEx(WindowsVersion& version)
{
    OSVERSIONINFOA info;   // the basic record, 148 bytes
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const BOOL bOk = GetVersionExA(&info);
#pragma GCC diagnostic pop
    if (!bOk)
        return false;
    version.m_dwPlatformId = info.dwPlatformId;
    version.m_dwMajor = info.dwMajorVersion;
    version.m_dwMinor = info.dwMinorVersion;
    version.m_dwBuild = info.dwBuildNumber;
    return true;
}
}   // namespace

std::string GetOsVersionText()
{
    WindowsVersion version;
    version.m_bQueried = QueryRealVersion(version) || QueryVersionEx(version);
    return GetWindowsVersionText(version);
}
