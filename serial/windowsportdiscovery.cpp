#include "serial/windowsportdiscovery.h"

#include <cstdio>

namespace
{
using RegKey = CWindowsDiscoveryApi::RegKey;
using EProperty = CWindowsDiscoveryApi::EProperty;

const char* const kUsbLocationPrefix = "USB";        // location information of a USB port
const char* const kUsbPortEnumerator = "USBPORTS";   // registry enumerator of USB ports
const char* const kStandardPortId = "*PNP0500";      // standard PC COM port
const char* const kPortId16550 = "*PNP0501";         // 16550A-compatible COM port
const char* const kDevicePrefix = "\\\\.\\";         // "\\.\" opens a device by its name
const int kFixedPortCount = 4;                       // COM1 to COM4

std::string WithError(const char* pszText, unsigned long dwError)
{
    char szText[96];
    std::snprintf(szText, sizeof szText, "%s (err=%lx)", pszText, dwError);
    return szText;
}

// "USB\VID_0403&PID_6001\A50285BI", FTDI's bus "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000"; a serial
// number with '&' in it is one Windows made up for a device that has none.
void ReadUsbIdentity(const std::string& strId, SerialPortInfo& info)
{
    const size_t nLast = strId.rfind('\\');
    if (nLast == std::string::npos)
        return;
    const std::string strIds = strId.substr(0, nLast);
    const size_t nVid = strIds.find("VID_");
    const size_t nPid = strIds.find("PID_");
    if (nVid == std::string::npos || nPid == std::string::npos)
        return;
    const std::string strVendorId = NormalizeUsbId(strIds.substr(nVid + 4, 4));
    const std::string strProductId = NormalizeUsbId(strIds.substr(nPid + 4, 4));
    if (strVendorId.empty() || strProductId.empty())
        return;
    info.m_strVendorId = strVendorId;
    info.m_strProductId = strProductId;
    const size_t nPlus = strIds.find('+', nPid);
    const std::string strSerial =
        nPlus != std::string::npos ? strIds.substr(nPlus + 1) : strId.substr(nLast + 1);
    if (strSerial.find_first_of("&+\\") == std::string::npos)
        info.m_strSerialNumber = strSerial;
    info.m_bUsb = true;
}

// The adapter behind a SetupAPI device: ids and serial number from its instance id (an interface of
// a composite device, "...&MI_00\...", has its serial number on the device), the driver's name.
void ReadAdapterIdentity(CWindowsDiscoveryApi& api, SerialPortInfo& info)
{
    std::string strId;
    if (!api.GetInstanceId(strId))
        return;
    ReadUsbIdentity(strId, info);
    if (info.m_strVendorId.empty())
        return;
    std::string strParentId;
    if (strId.find("&MI_") != std::string::npos && api.GetParentInstanceId(strParentId)) {
        SerialPortInfo parent;
        ReadUsbIdentity(strParentId, parent);
        info.m_strSerialNumber = parent.m_strSerialNumber;
    }
    api.GetProperty(EProperty::Service, info.m_strDriver);
}

// Destroys the device information set on every way out of the SetupAPI method.
class CInterfaceSet
{
public:
    explicit CInterfaceSet(CWindowsDiscoveryApi& api) : m_api(api) {}
    ~CInterfaceSet() { m_api.CloseSerialInterfaces(); }
    CInterfaceSet(const CInterfaceSet&) = delete;
    CInterfaceSet& operator=(const CInterfaceSet&) = delete;

private:
    CWindowsDiscoveryApi& m_api;
};

// Closes a registry key on every way out of one level of the walk.
class CKey
{
public:
    CKey(CWindowsDiscoveryApi& api, RegKey hKey) : m_api(api), m_hKey(hKey) {}
    ~CKey() { m_api.CloseKey(m_hKey); }
    CKey(const CKey&) = delete;
    CKey& operator=(const CKey&) = delete;
    RegKey Get() const { return m_hKey; }

private:
    CWindowsDiscoveryApi& m_api;
    RegKey m_hKey;
};

void AddSetupApiPorts(std::vector<SerialPortInfo>& ports, CWindowsDiscoveryApi& api)
{
    if (!api.OpenSerialInterfaces())
        throw WithError("SetupDiGetClassDevs failed.", api.GetLastError());
    const CInterfaceSet set(api);
    for (unsigned long dwIndex = 0;; ++dwIndex) {
        if (!api.EnumInterface(dwIndex)) {
            const unsigned long dwError = api.GetLastError();
            if (dwError == CWindowsDiscoveryApi::kErrorNoMoreItems)
                return;
            throw WithError("SetupDiEnumDeviceInterfaces failed.", dwError);
        }
        SerialPortInfo info;
        if (!api.GetInterfaceDetail(info.m_strDevicePath))
            throw WithError("SetupDiGetDeviceInterfaceDetail failed.", api.GetLastError());
        if (!api.GetProperty(EProperty::FriendlyName, info.m_strFriendlyName) ||
            !api.GetProperty(EProperty::DeviceDescription, info.m_strDescription))
            continue;   // a device without both names is not offered
        std::string strLocation;
        info.m_bUsb = api.GetProperty(EProperty::LocationInformation, strLocation) &&
                      strLocation.compare(0, 3, kUsbLocationPrefix) == 0;
        ReadAdapterIdentity(api, info);
        ports.push_back(info);
    }
}

void AddFixedPorts(std::vector<SerialPortInfo>& ports)
{
    for (int n = 1; n <= kFixedPortCount; ++n) {
        SerialPortInfo info;
        info.m_strPortName = "COM" + std::to_string(n);
        info.m_strDevicePath = kDevicePrefix + info.m_strPortName;
        ports.push_back(info);
    }
}

void AddRegistryInstances(std::vector<SerialPortInfo>& ports, CWindowsDiscoveryApi& api, RegKey hDevice,
                          bool bUsb)
{
    std::string strInstance;
    for (unsigned long dwIndex = 0; api.EnumKey(hDevice, dwIndex, strInstance) == 0; ++dwIndex) {
        RegKey hInstance = nullptr;
        if (api.OpenKey(hDevice, strInstance, &hInstance) != 0)
            throw std::string("Could not read from HKLM\\Enum\\...\\") + strInstance;
        const CKey instance(api, hInstance);
        SerialPortInfo info;
        if (api.QueryValue(hInstance, "PORTNAME", info.m_strPortName) != 0)
            continue;
        if (api.QueryValue(hInstance, "FRIENDLYNAME", info.m_strFriendlyName) != 0)
            info.m_strFriendlyName.clear();
        info.m_strDevicePath = kDevicePrefix + info.m_strPortName;
        info.m_bUsb = bUsb;
        MergeSerialPortInfo(ports, info);
    }
}

void AddRegistryPorts(std::vector<SerialPortInfo>& ports, CWindowsDiscoveryApi& api)
{
    RegKey hEnum = nullptr;
    if (api.OpenKey(nullptr, "Enum", &hEnum) != 0)
        throw std::string("Could not read from HKLM\\Enum");
    const CKey enumKey(api, hEnum);
    std::string strEnumerator;
    for (unsigned long dwE = 0; api.EnumKey(hEnum, dwE, strEnumerator) == 0; ++dwE) {
        RegKey hEnumerator = nullptr;
        if (api.OpenKey(hEnum, strEnumerator, &hEnumerator) != 0)
            throw "Could not read from HKLM\\Enum\\" + strEnumerator;
        const CKey enumerator(api, hEnumerator);
        const bool bUsb = strEnumerator == kUsbPortEnumerator;
        std::string strDevice;
        for (unsigned long dwD = 0; api.EnumKey(hEnumerator, dwD, strDevice) == 0; ++dwD) {
            if (!bUsb && strDevice != kStandardPortId && strDevice != kPortId16550)
                continue;
            RegKey hDevice = nullptr;
            if (api.OpenKey(hEnumerator, strDevice, &hDevice) != 0)
                throw "Could not read from HKLM\\Enum\\" + strEnumerator + "\\" + strDevice;
            const CKey device(api, hDevice);
            AddRegistryInstances(ports, api, hDevice, bUsb);
        }
    }
}
}   // namespace

void EnumerateWindowsSerialPorts(std::vector<SerialPortInfo>& ports, CWindowsDiscoveryApi& api)
{
    ports.clear();
    unsigned long dwMajor = 0;
    unsigned long dwPlatformId = 0;
    if (!api.GetVersion(&dwMajor, &dwPlatformId))
        throw WithError("Could not get OS version.", api.GetLastError());
    if (dwMajor >= 5)
        AddSetupApiPorts(ports, api);
    else if (dwPlatformId == CWindowsDiscoveryApi::kPlatformWin32Nt)
        AddFixedPorts(ports);
    else
        AddRegistryPorts(ports, api);
    for (SerialPortInfo& info : ports)
        CompleteSerialPortInfo(info);
}
