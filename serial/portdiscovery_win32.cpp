// Port discovery on Windows: the rules of windowsportdiscovery.cpp over the real system calls.
#include "serial/portdiscovery.h"

#include "serial/latencytimer.h"
#include "serial/windowsportdiscovery.h"

#include <cstring>
#include <memory>
#include <windows.h>

#include <cfgmgr32.h>   // needs windows.h first
#include <setupapi.h>

namespace
{
// {86E0D1E0-8089-11D0-9CE4-08003E301F73}: the serial-port device interface class.
const GUID kSerialPortInterfaceClass = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

class CWin32DiscoveryApi : public CWindowsDiscoveryApi
{
public:
    CWin32DiscoveryApi() : m_hDevInfo(INVALID_HANDLE_VALUE)
    {
        std::memset(&m_interface, 0, sizeof m_interface);
        std::memset(&m_device, 0, sizeof m_device);
    }
    ~CWin32DiscoveryApi() override { CloseSerialInterfaces(); }

    bool GetVersion(unsigned long* pdwMajor, unsigned long* pdwPlatformId) override
    {
        OSVERSIONINFOA info;
        std::memset(&info, 0, sizeof info);
        info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        // Only "5 or later" matters here, which the compatibility shims never hide.
        if (!GetVersionExA(&info))
            return false;
#pragma GCC diagnostic pop
        *pdwMajor = info.dwMajorVersion;
        *pdwPlatformId = info.dwPlatformId;
        return true;
    }

    unsigned long GetLastError() override
    {
        return ::GetLastError();
    }

    bool OpenSerialInterfaces() override
    {
        m_hDevInfo = SetupDiGetClassDevsA(&kSerialPortInterfaceClass, nullptr, nullptr,
                                          DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        return m_hDevInfo != INVALID_HANDLE_VALUE;
    }

    bool EnumInterface(unsigned long dwIndex) override
    {
        std::memset(&m_interface, 0, sizeof m_interface);
        m_interface.cbSize = sizeof m_interface;
        return SetupDiEnumDeviceInterfaces(m_hDevInfo, nullptr, &kSerialPortInterfaceClass, dwIndex,
                                           &m_interface) != FALSE;
    }

    bool GetInterfaceDetail(std::string& strDevicePath) override
    {
        // Room for a path of kMaxDevicePath characters and its terminator; a longer one fails.
        const DWORD dwSize = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + kMaxDevicePath + 1;
        std::unique_ptr<unsigned char[]> pBuffer(new unsigned char[dwSize]);
        auto* pDetail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(pBuffer.get());
        pDetail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        std::memset(&m_device, 0, sizeof m_device);
        m_device.cbSize = sizeof m_device;
        if (!SetupDiGetDeviceInterfaceDetailA(m_hDevInfo, &m_interface, pDetail, dwSize, nullptr, &m_device))
            return false;
        strDevicePath.assign(pDetail->DevicePath, strnlen(pDetail->DevicePath, kMaxDevicePath + 1));
        return true;
    }

    bool GetProperty(EProperty property, std::string& strValue) override
    {
        const DWORD dwProperty = property == EProperty::FriendlyName          ? SPDRP_FRIENDLYNAME
                                 : property == EProperty::DeviceDescription   ? SPDRP_DEVICEDESC
                                 : property == EProperty::LocationInformation ? SPDRP_LOCATION_INFORMATION
                                                                              : SPDRP_SERVICE;
        BYTE buffer[kPropertySize] = {};
        DWORD dwType = 0;
        if (!SetupDiGetDeviceRegistryPropertyA(m_hDevInfo, &m_device, dwProperty, &dwType, buffer,
                                               sizeof buffer - 1, nullptr))
            return false;
        const char* pszValue = reinterpret_cast<const char*>(buffer);
        strValue.assign(pszValue, strnlen(pszValue, sizeof buffer));
        return true;
    }

    bool GetInstanceId(std::string& strId) override
    {
        char szId[kMaxDevicePath + 1] = {};
        if (!SetupDiGetDeviceInstanceIdA(m_hDevInfo, &m_device, szId, sizeof szId, nullptr))
            return false;
        strId.assign(szId, strnlen(szId, sizeof szId));
        return true;
    }

    bool GetParentInstanceId(std::string& strId) override
    {
        DEVINST hParent = 0;
        char szId[kMaxDevicePath + 1] = {};
        if (CM_Get_Parent(&hParent, m_device.DevInst, 0) != CR_SUCCESS ||
            CM_Get_Device_IDA(hParent, szId, sizeof szId - 1, 0) != CR_SUCCESS)
            return false;
        strId.assign(szId, strnlen(szId, sizeof szId));
        return true;
    }

    void CloseSerialInterfaces() override
    {
        if (m_hDevInfo != INVALID_HANDLE_VALUE)
            SetupDiDestroyDeviceInfoList(m_hDevInfo);
        m_hDevInfo = INVALID_HANDLE_VALUE;
    }

    long OpenKey(RegKey hParent, const std::string& strName, RegKey* phKey) override
    {
        HKEY hKey = nullptr;
        const LONG nResult =
            RegOpenKeyExA(hParent == nullptr ? HKEY_LOCAL_MACHINE : static_cast<HKEY>(hParent),
                          strName.c_str(), 0, KEY_READ, &hKey);
        *phKey = hKey;
        return nResult;
    }

    long EnumKey(RegKey hKey, unsigned long dwIndex, std::string& strName) override
    {
        char szName[kKeyNameSize];
        DWORD dwLength = sizeof szName;
        const LONG nResult = RegEnumKeyExA(static_cast<HKEY>(hKey), dwIndex, szName, &dwLength, nullptr,
                                           nullptr, nullptr, nullptr);
        if (nResult == ERROR_SUCCESS)
            strName.assign(szName, dwLength);
        return nResult;
    }

    long QueryValue(RegKey hKey, const char* pszName, std::string& strValue) override
    {
        char szValue[kValueSize] = {};
        DWORD dwLength = sizeof szValue - 1;
        DWORD dwType = 0;
        const LONG nResult = RegQueryValueExA(static_cast<HKEY>(hKey), pszName, nullptr, &dwType,
                                              reinterpret_cast<BYTE*>(szValue), &dwLength);
        if (nResult == ERROR_SUCCESS && dwType == REG_DWORD && dwLength == sizeof(DWORD)) {
            DWORD dwNumber = 0;
            std::memcpy(&dwNumber, szValue, sizeof dwNumber);
            strValue = std::to_string(dwNumber);
        } else if (nResult == ERROR_SUCCESS) {
            strValue.assign(szValue, strnlen(szValue, sizeof szValue));
        }
        return nResult;
    }

    void CloseKey(RegKey hKey) override
    {
        RegCloseKey(static_cast<HKEY>(hKey));
    }

private:
    HDEVINFO m_hDevInfo;
    SP_DEVICE_INTERFACE_DATA m_interface;
    SP_DEVINFO_DATA m_device;
};
}   // namespace

void EnumerateSerialPorts(std::vector<SerialPortInfo>& ports)
{
    CWin32DiscoveryApi api;
    EnumerateWindowsSerialPorts(ports, api);
}

CLatencyTimer ReadAdapterLatencyTimer(const std::string& strComName)
{
    CWin32DiscoveryApi api;
    return FindFtdiLatencyTimer(strComName, api);
}
