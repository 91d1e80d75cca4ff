// Port discovery as Windows does it: the SetupAPI method (Windows 2000 and later), the fixed
// names COM1 to COM4 (older Windows NT) and the registry walk (Windows 95, 98, ME). The rules
// are written against CWindowsDiscoveryApi, so they run on any platform against a fake; the
// Windows build hands them the real calls.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "serial/portdiscovery.h"

class CWindowsDiscoveryApi
{
public:
    using RegKey = void*;
    static constexpr unsigned long kPlatformWin32Windows = 1;   // VER_PLATFORM_WIN32_WINDOWS
    static constexpr unsigned long kPlatformWin32Nt = 2;        // VER_PLATFORM_WIN32_NT
    static constexpr unsigned long kErrorNoMoreItems = 259;     // ERROR_NO_MORE_ITEMS
    static constexpr std::size_t kMaxDevicePath = 256;          // characters, terminator not counted
    static constexpr std::size_t kPropertySize = 256;           // buffer, terminator included
    static constexpr std::size_t kKeyNameSize = 128;
    static constexpr std::size_t kValueSize = 128;

    enum class EProperty
    {
        FriendlyName,          // SPDRP_FRIENDLYNAME
        DeviceDescription,     // SPDRP_DEVICEDESC
        LocationInformation,   // SPDRP_LOCATION_INFORMATION
        Service,               // SPDRP_SERVICE: the driver's name
    };

    virtual ~CWindowsDiscoveryApi() = default;

    // GetVersionExA: false on failure.
    virtual bool GetVersion(unsigned long* pdwMajor, unsigned long* pdwPlatformId) = 0;
    virtual unsigned long GetLastError() = 0;

    // SetupDiGetClassDevsA over the serial-port interface class, present devices only.
    virtual bool OpenSerialInterfaces() = 0;
    // SetupDiEnumDeviceInterfaces for one index; GetLastError tells the end from a failure.
    virtual bool EnumInterface(unsigned long dwIndex) = 0;
    // SetupDiGetDeviceInterfaceDetailA of the interface last enumerated: its path, at most
    // kMaxDevicePath characters (a longer one fails), and its device for GetProperty.
    virtual bool GetInterfaceDetail(std::string& strDevicePath) = 0;
    // SetupDiGetDeviceRegistryPropertyA of that device: false when missing or when it needs
    // more than kPropertySize bytes.
    virtual bool GetProperty(EProperty property, std::string& strValue) = 0;
    // SetupDiGetDeviceInstanceIdA of that device, e.g. "USB\VID_0403&PID_6001\A50285BI".
    virtual bool GetInstanceId(std::string& strId) = 0;
    // CM_Get_Parent and CM_Get_Device_IDA: the instance id of the device that one is a part of.
    virtual bool GetParentInstanceId(std::string& strId) = 0;
    // SetupDiDestroyDeviceInfoList.
    virtual void CloseSerialInterfaces() = 0;

    // RegOpenKeyExA with KEY_READ; hParent nullptr is HKEY_LOCAL_MACHINE. 0 on success.
    virtual long OpenKey(RegKey hParent, const std::string& strName, RegKey* phKey) = 0;
    // RegEnumKeyExA: 0 with the name of subkey dwIndex (up to kKeyNameSize - 1 characters).
    virtual long EnumKey(RegKey hKey, unsigned long dwIndex, std::string& strName) = 0;
    // RegQueryValueExA of a text value into kValueSize bytes: 0 with the text; a number
    // (REG_DWORD) comes as its decimal text.
    virtual long QueryValue(RegKey hKey, const char* pszName, std::string& strValue) = 0;
    virtual void CloseKey(RegKey hKey) = 0;
};

// Empties the list, chooses the method by the system version, fills the list and completes
// every record. Throws the message text as a std::string; records added before a failure stay
// and are not completed.
void EnumerateWindowsSerialPorts(std::vector<SerialPortInfo>& ports, CWindowsDiscoveryApi& api);

struct CLatencyTimer;
// The FTDI latency timer of a port (e.g. "COM3") through the real calls (Windows only).
CLatencyTimer ReadAdapterLatencyTimer(const std::string& strComName);
