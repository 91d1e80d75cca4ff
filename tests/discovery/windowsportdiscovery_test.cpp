// The Windows discovery methods against a fake of their system calls.
#include "serial/windowsportdiscovery.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace
{
using EProperty = CWindowsDiscoveryApi::EProperty;

struct CFakeDevice
{
    std::string strPath;
    std::optional<std::string> friendly;
    std::optional<std::string> description;
    std::optional<std::string> location;
    bool bDetailFails = false;
    std::optional<std::string> instanceId{};
    std::optional<std::string> service{};
    std::optional<std::string> parentId{};
};

struct CFakeKey
{
    std::vector<std::pair<std::string, std::unique_ptr<CFakeKey>>> subkeys;   // in index order
    std::map<std::string, std::string> values;
    bool bOpenFails = false;

    CFakeKey& Add(const std::string& strName)
    {
        subkeys.emplace_back(strName, std::make_unique<CFakeKey>());
        return *subkeys.back().second;
    }
};

class CFakeApi : public CWindowsDiscoveryApi
{
public:
    bool bVersionOk = true;
    unsigned long dwMajor = 5;
    unsigned long dwPlatformId = kPlatformWin32Nt;
    unsigned long dwError = 0;   // what GetLastError reports after a failing call

    bool bOpenSetFails = false;
    long nEnumFailsAt = -1;   // index whose SetupDiEnumDeviceInterfaces fails other than at the end
    std::vector<CFakeDevice> devices;
    CFakeKey hklm;

    int nSetsOpen = 0;
    int nKeysOpen = 0;

    bool GetVersion(unsigned long* pdwMajor, unsigned long* pdwPlatformId) override
    {
        *pdwMajor = dwMajor;
        *pdwPlatformId = dwPlatformId;
        return bVersionOk;
    }
    unsigned long GetLastError() override { return dwError; }

    bool OpenSerialInterfaces() override
    {
        nSetsOpen += bOpenSetFails ? 0 : 1;
        return !bOpenSetFails;
    }
    bool EnumInterface(unsigned long dwIndex) override
    {
        if (static_cast<long>(dwIndex) == nEnumFailsAt)
            return false;
        if (dwIndex >= devices.size()) {
            dwError = kErrorNoMoreItems;
            return false;
        }
        m_pCurrent = &devices[dwIndex];
        return true;
    }
    bool GetInterfaceDetail(std::string& strDevicePath) override
    {
        strDevicePath = m_pCurrent->strPath;
        return !m_pCurrent->bDetailFails;
    }
    bool GetProperty(EProperty property, std::string& strValue) override
    {
        const std::optional<std::string>& value =
            property == EProperty::FriendlyName          ? m_pCurrent->friendly
            : property == EProperty::DeviceDescription   ? m_pCurrent->description
            : property == EProperty::LocationInformation ? m_pCurrent->location
                                                         : m_pCurrent->service;
        if (value)
            strValue = *value;
        return value.has_value();
    }
    bool GetInstanceId(std::string& strId) override
    {
        strId = m_pCurrent->instanceId.value_or("");
        return m_pCurrent->instanceId.has_value();
    }
    bool GetParentInstanceId(std::string& strId) override
    {
        strId = m_pCurrent->parentId.value_or("");
        return m_pCurrent->parentId.has_value();
    }
    void CloseSerialInterfaces() override { --nSetsOpen; }

    long OpenKey(RegKey hParent, const std::string& strName, RegKey* phKey) override
    {
        CFakeKey* pParent = hParent == nullptr ? &hklm : static_cast<CFakeKey*>(hParent);
        for (auto& [strSub, pKey] : pParent->subkeys) {
            if (strSub == strName && !pKey->bOpenFails) {
                ++nKeysOpen;
                *phKey = pKey.get();
                return 0;
            }
        }
        return 2;   // ERROR_FILE_NOT_FOUND
    }
    long EnumKey(RegKey hKey, unsigned long dwIndex, std::string& strName) override
    {
        const CFakeKey* pKey = static_cast<CFakeKey*>(hKey);
        if (dwIndex >= pKey->subkeys.size())
            return kErrorNoMoreItems;
        strName = pKey->subkeys[dwIndex].first;
        return 0;
    }
    long QueryValue(RegKey hKey, const char* pszName, std::string& strValue) override
    {
        const CFakeKey* pKey = static_cast<CFakeKey*>(hKey);
        const auto it = pKey->values.find(pszName);
        if (it == pKey->values.end())
            return 2;
        strValue = it->second;
        return 0;
    }
    void CloseKey(RegKey) override { --nKeysOpen; }

private:
    const CFakeDevice* m_pCurrent = nullptr;
};

// path, port name, friendly name, USB, description
using CRecord = std::tuple<std::string, std::string, std::string, bool, std::string>;

std::vector<CRecord> Records(const std::vector<SerialPortInfo>& ports)
{
    std::vector<CRecord> records;
    for (const SerialPortInfo& info : ports)
        records.emplace_back(info.m_strDevicePath, info.m_strPortName, info.m_strFriendlyName, info.m_bUsb,
                             info.m_strDescription);
    return records;
}

// Runs discovery and returns the text it threw, empty when it threw nothing.
std::string Discover(CFakeApi& api, std::vector<SerialPortInfo>& ports)
{
    try {
        EnumerateWindowsSerialPorts(ports, api);
    } catch (const std::string& strError) {
        return strError;
    }
    return std::string();
}

void AddRegistryPorts(CFakeApi& api)
{
    CFakeKey& acpi = api.hklm.Add("Enum").Add("ACPI");
    acpi.Add("*PNP0501").Add("0").values = {{"PORTNAME", "COM1"},
                                            {"FRIENDLYNAME", "Communications Port (COM1)"}};
    acpi.Add("*pnp0501").Add("0").values = {{"PORTNAME", "COM9"}};   // letter case differs: not taken
    acpi.Add("PNP0A03").Add("0").values = {{"PORTNAME", "COM8"}};
    CFakeKey& bios = api.hklm.subkeys[0].second->Add("BIOS").Add("*PNP0500");
    bios.Add("0").values = {{"PORTNAME", "COM2"}};
    bios.Add("1").values = {{"FRIENDLYNAME", "No port name (COM7)"}};
    CFakeKey& usb = api.hklm.subkeys[0].second->Add("USBPORTS");
    usb.Add("ANYDEVICE").Add("0").values = {{"PORTNAME", "COM1"}, {"FRIENDLYNAME", "USB Port (COM1)"}};
    usb.Add("OTHER").Add("0").values = {{"PORTNAME", "COM5"}, {"FRIENDLYNAME", "Adapter (COM5) rev 2"}};
}

TEST(WindowsPortDiscovery, SetupApiListsDevicesWithBothNamesUnderTheirInterfacePath)
{
    CFakeApi api;
    api.devices = {
        {"\\\\?\\usb#a", "USB Serial Port (COM3)", "USB Serial Port", "USB Serial Converter", false},
        {"\\\\?\\acpi#b", "Communications Port (COM1)", "Communications Port (x)", std::nullopt, false},
        {"\\\\?\\pci#c", std::nullopt, "No friendly name", "USB", false},
        {"\\\\?\\pci#d", "No description (COM4)", std::nullopt, "USB", false},
        {"\\\\?\\ftdi#e", "Lower-case location (COM6)", "Adapter", "usb port 2", false},
    };
    std::vector<SerialPortInfo> ports = {SerialPortInfo()};
    EXPECT_EQ(Discover(api, ports), "");
    EXPECT_EQ(Records(ports),
              (std::vector<CRecord>{
                  {"\\\\?\\usb#a", "", "USB Serial Port (COM3)", true, "USB Serial Port"},
                  {"\\\\?\\acpi#b", "", "Communications Port (COM1)", false, "Communications Port (x)"},
                  {"\\\\?\\ftdi#e", "", "Lower-case location (COM6)", false, "Adapter"},
              }));
    EXPECT_EQ(api.nSetsOpen, 0);
}

TEST(WindowsPortDiscovery, UsbIdentityComesFromTheInstanceIdAndTheDriverFromTheService)
{
    // instance id; vid, pid, serial number and driver as listed, "" for none. Each device is part of a
    // device with serial number "E661", which only an interface of a composite device takes.
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"USB\\VID_0403&PID_6001\\A50285BI", {"0403", "6001", "A50285BI", "FTSER2K"}},
        {"FTDIBUS\\VID_0403+PID_6010+FT5Y2ZA\\0000", {"0403", "6010", "FT5Y2ZA", "FTSER2K"}},
        {"USB\\VID_1A86&PID_7523\\5&1A2B3C&0&2", {"1a86", "7523", "", "FTSER2K"}},
        {"USB\\VID_2E8A&PID_000A&MI_00\\6&2C2A5B1&0&0000", {"2e8a", "000a", "E661", "FTSER2K"}},
        {"USB\\VID_04G3&PID_6001\\A50285BI", {"", "", "", ""}},
        {"USB\\VID_0403&PID_6001", {"", "", "", ""}},
        {"ACPI\\PNP0501\\1", {"", "", "", ""}},
    };
    for (const auto& [pszId, want] : cases) {
        CFakeApi api;
        api.devices = {{"\\\\?\\x", "Port (COM3)", "Port", std::nullopt, false, pszId, "FTSER2K",
                        "USB\\VID_2E8A&PID_000A\\E661"}};
        std::vector<SerialPortInfo> ports;
        ASSERT_EQ(Discover(api, ports), "");
        ASSERT_EQ(ports.size(), 1u);
        const SerialPortInfo& info = ports[0];
        EXPECT_EQ(std::vector<std::string>(
                      {info.m_strVendorId, info.m_strProductId, info.m_strSerialNumber, info.m_strDriver}),
                  want)
            << pszId;
        EXPECT_EQ(info.m_bUsb, !want[0].empty()) << pszId;
        EXPECT_EQ(info.m_strByIdPath, "");
    }
}

TEST(WindowsPortDiscovery, MethodFollowsTheVersionAndEveryFailureThrowsItsText)
{
    struct Case
    {
        const char* pszName;
        unsigned long dwMajor;
        unsigned long dwPlatformId;
        bool bVersionOk;
        bool bOpenSetFails;
        long nEnumFailsAt;
        bool bDetailFails;
        const char* pszThrown;
        size_t nListed;
    };
    const Case cases[] = {
        {"Windows10IsSetupApi", 10, 2, true, false, -1, false, "", 2},
        {"VersionQueryFails", 10, 2, false, false, -1, false, "Could not get OS version. (err=7a)", 0},
        {"ClassDevsFails", 5, 2, true, true, -1, false, "SetupDiGetClassDevs failed. (err=7a)", 0},
        {"EnumFailsAfterFirst", 5, 2, true, false, 1, false, "SetupDiEnumDeviceInterfaces failed. (err=7a)",
         1},
        {"DetailFails", 6, 2, true, false, -1, true, "SetupDiGetDeviceInterfaceDetail failed. (err=7a)", 1},
        {"Nt351IsFixedNames", 3, 2, true, true, -1, false, "", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        CFakeApi api;
        api.dwMajor = c.dwMajor;
        api.dwPlatformId = c.dwPlatformId;
        api.bVersionOk = c.bVersionOk;
        api.bOpenSetFails = c.bOpenSetFails;
        api.nEnumFailsAt = c.nEnumFailsAt;
        api.dwError = 0x7a;
        api.devices = {{"\\\\?\\a", "A (COM1)", "A", "", false},
                       {"\\\\?\\b", "B (COM2)", "B", "", c.bDetailFails}};
        AddRegistryPorts(api);
        std::vector<SerialPortInfo> ports;
        EXPECT_EQ(Discover(api, ports), c.pszThrown);
        EXPECT_EQ(ports.size(), c.nListed);
        EXPECT_EQ(api.nSetsOpen, 0);   // destroyed on every way out
        EXPECT_EQ(api.nKeysOpen, 0);
    }
}

TEST(WindowsPortDiscovery, RegistryTakesPnpComPortsAndEveryUsbPortMergedByPortName)
{
    CFakeApi api;
    api.dwMajor = 4;
    api.dwPlatformId = CWindowsDiscoveryApi::kPlatformWin32Windows;
    AddRegistryPorts(api);
    std::vector<SerialPortInfo> ports;
    EXPECT_EQ(Discover(api, ports), "");
    EXPECT_EQ(Records(ports),
              (std::vector<CRecord>{
                  {"\\\\.\\COM1", "COM1", "USB Port (COM1)", true, "USB Port"},
                  {"\\\\.\\COM2", "COM2", "COM2", false, "COM2"},
                  {"\\\\.\\COM5", "COM5", "Adapter (COM5) rev 2", true, "Adapter (COM5) rev 2"},
              }));
    EXPECT_EQ(api.nKeysOpen, 0);
}

TEST(WindowsPortDiscovery, RegistryKeyThatCannotBeOpenedThrowsItsPathAndKeepsEarlierRecordsUncompleted)
{
    // Which key refuses to open (by the path of subkey indices under HKLM), the text thrown.
    const std::pair<std::vector<size_t>, const char*> cases[] = {
        {{0}, "Could not read from HKLM\\Enum"},
        {{0, 1}, "Could not read from HKLM\\Enum\\BIOS"},
        {{0, 1, 0}, "Could not read from HKLM\\Enum\\BIOS\\*PNP0500"},
        {{0, 1, 0, 1}, "Could not read from HKLM\\Enum\\...\\1"},
    };
    for (const auto& [path, pszThrown] : cases) {
        SCOPED_TRACE(pszThrown);
        CFakeApi api;
        api.dwMajor = 4;
        api.dwPlatformId = CWindowsDiscoveryApi::kPlatformWin32Windows;
        AddRegistryPorts(api);
        CFakeKey* pKey = &api.hklm;
        for (size_t nIndex : path)
            pKey = pKey->subkeys[nIndex].second.get();
        pKey->bOpenFails = true;
        std::vector<SerialPortInfo> ports;
        EXPECT_EQ(Discover(api, ports), pszThrown);
        EXPECT_EQ(api.nKeysOpen, 0);
        if (path.size() == 4) {
            // COM1 of ACPI and COM2 of BIOS were found; COM2 has no friendly name and stays without.
            ASSERT_EQ(ports.size(), 2u);
            EXPECT_EQ(ports[1].m_strFriendlyName, "");
            EXPECT_EQ(ports[1].m_strDescription, "");
        }
    }
}

// NT 4 and older list COM1 to COM4 whether or not they exist; the other methods find nothing.
TEST(WindowsPortDiscovery, MachineWithoutPortsListsNothingButTheFixedNames)
{
    std::vector<CRecord> fixed;
    for (const char* pszName : {"COM1", "COM2", "COM3", "COM4"})
        fixed.emplace_back(std::string("\\\\.\\") + pszName, pszName, pszName, false, pszName);
    for (const auto& [dwMajor, dwPlatformId, bFixed] :
         {std::tuple(6ul, 2ul, false), std::tuple(4ul, 1ul, false), std::tuple(4ul, 2ul, true)}) {
        CFakeApi api;
        api.dwMajor = dwMajor;
        api.dwPlatformId = dwPlatformId;
        api.hklm.Add("Enum");
        std::vector<SerialPortInfo> ports;
        EXPECT_EQ(Discover(api, ports), "");
        EXPECT_EQ(Records(ports), bFixed ? fixed : std::vector<CRecord>()) << dwMajor << "/" << dwPlatformId;
    }
}

}   // namespace
