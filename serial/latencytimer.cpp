#include "serial/latencytimer.h"

#include <cstdlib>

#include "serial/windowsportdiscovery.h"

namespace
{
constexpr const char* kFtdiEnum = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
constexpr long kRegistryOk = 0;   // ERROR_SUCCESS

// The setting of one FTDI device instance key, when its port is strComName.
bool ReadInstance(CWindowsDiscoveryApi& api, const std::string& strKey, const std::string& strComName,
                  CLatencyTimer& timer)
{
    CWindowsDiscoveryApi::RegKey hKey = nullptr;
    if (api.OpenKey(nullptr, strKey + "\\Device Parameters", &hKey) != kRegistryOk)
        return false;
    std::string strPort;
    std::string strMs;
    const bool bFound = api.QueryValue(hKey, "PortName", strPort) == kRegistryOk && strPort == strComName &&
                        api.QueryValue(hKey, "LatencyTimer", strMs) == kRegistryOk;
    api.CloseKey(hKey);
    if (!bFound)
        return false;
    timer.nFoundMs = std::atoi(strMs.c_str());
    timer.strSetting = "HKLM\\" + strKey + "\\Device Parameters";
    return true;
}

// Names of the subkeys of a key, in order.
std::vector<std::string> SubKeys(CWindowsDiscoveryApi& api, const std::string& strKey)
{
    std::vector<std::string> vecNames;
    CWindowsDiscoveryApi::RegKey hKey = nullptr;
    if (api.OpenKey(nullptr, strKey, &hKey) != kRegistryOk)
        return vecNames;
    std::string strName;
    for (unsigned long dwIndex = 0; api.EnumKey(hKey, dwIndex, strName) == kRegistryOk; ++dwIndex)
        vecNames.push_back(strName);
    api.CloseKey(hKey);
    return vecNames;
}
}   // namespace

CLatencyTimer FindFtdiLatencyTimer(const std::string& strComName, CWindowsDiscoveryApi& api)
{
    CLatencyTimer timer;
    for (const std::string& strDevice : SubKeys(api, kFtdiEnum)) {
        const std::string strDeviceKey = std::string(kFtdiEnum) + "\\" + strDevice;
        for (const std::string& strInstance : SubKeys(api, strDeviceKey))
            if (ReadInstance(api, strDeviceKey + "\\" + strInstance, strComName, timer))
                return timer;
    }
    return timer;
}
