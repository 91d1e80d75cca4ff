#include "serial/portdiscovery.h"

#include "serial/simportregistry.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

// Port descriptions have the form  NAME [IDS]  where IDS are the hardware ids that tell
// two alike adapters apart: "vid:pid serial" for USB ("FT232R USB UART [0403:6001 A50285BI]"),
// the PNP id ("16550A-compatible COM port [PNP0501]") or "vendor:device" of a PCI card.
// Square brackets keep the ids out of the friendly name's trailing "(ttyUSB0)", so cutting
// that part off the friendly name gives the description back, and the main window's Port
// list, which takes the text inside the last parentheses, shows the device name.

namespace
{

const char* const kSimulatedBoardName = "Simulated KC167 board";
const char* const kSerialBaseBus =
    "serial-base";   // the port/controller devices newer kernels put between a UART tty and its parent

struct PnpName
{
    const char* pszId;
    const char* pszName;
};

const PnpName kPnpNames[] = {
    {"PNP0500", "Standard PC COM port"},
    {"PNP0501", "16550A-compatible COM port"},
};

std::string CouldNotReadText(const std::string& strDir, int nErr)
{
    char szErr[32];
    std::snprintf(szErr, sizeof(szErr), "%lx", static_cast<unsigned long>(nErr));
    return "Could not read from " + strDir + ". (err=" + szErr + ")";
}

// Names in a directory without "." and ".."; false with errno set when it cannot be read.
bool ReadDirectoryNames(const std::string& strDir, std::vector<std::string>& names)
{
    DIR* pDir = opendir(strDir.c_str());
    if (pDir == nullptr)
        return false;
    for (;;) {
        errno = 0;
        const dirent* pEntry = readdir(pDir);
        if (pEntry == nullptr)
            break;
        const std::string strName = pEntry->d_name;
        if (strName != "." && strName != "..")
            names.push_back(strName);
    }
    const int nErr = errno;
    closedir(pDir);
    errno = nErr;
    return nErr == 0;
}

bool RealPath(const std::string& strPath, std::string& strResolved)
{
    char* pszResolved = realpath(strPath.c_str(), nullptr);
    if (pszResolved == nullptr)
        return false;
    strResolved = pszResolved;
    std::free(pszResolved);
    return true;
}

bool PathExists(const std::string& strPath)
{
    struct stat st;
    return stat(strPath.c_str(), &st) == 0;
}

bool IsUnder(const std::string& strPath, const std::string& strDir)
{
    return strPath.size() > strDir.size() && strPath.compare(0, strDir.size(), strDir) == 0 &&
           strPath[strDir.size()] == '/';
}

bool StartsWith(const std::string& str, const char* pszPrefix)
{
    return str.rfind(pszPrefix, 0) == 0;
}

std::string ParentDir(const std::string& strPath)
{
    const size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? std::string() : strPath.substr(0, nSlash);
}

// Last component of a symbolic link's target ("driver" -> ".../drivers/ftdi_sio" gives "ftdi_sio").
std::string LinkTargetName(const std::string& strLink)
{
    char szTarget[4096];
    const ssize_t n = readlink(strLink.c_str(), szTarget, sizeof(szTarget) - 1);
    if (n <= 0)
        return std::string();
    const std::string strTarget(szTarget, static_cast<size_t>(n));
    return strTarget.substr(strTarget.rfind('/') + 1);
}

// First line of a sysfs attribute, trimmed; control characters become spaces because
// texts such as USB product strings come from the device itself. False when missing or empty.
bool ReadAttribute(const std::string& strPath, std::string& strValue)
{
    std::ifstream file(strPath);
    std::string strLine;
    if (!file || !std::getline(file, strLine))
        return false;
    for (char& ch : strLine) {
        const unsigned char by = static_cast<unsigned char>(ch);
        if (by < 0x20 || by == 0x7f)
            ch = ' ';
    }
    const size_t nFirst = strLine.find_first_not_of(' ');
    if (nFirst == std::string::npos)
        return false;
    strValue = strLine.substr(nFirst, strLine.find_last_not_of(' ') - nFirst + 1);
    return true;
}

// Orders digit runs by their value, so ttyS2 comes before ttyS10.
bool NaturalLess(const std::string& strA, const std::string& strB)
{
    size_t i = 0;
    size_t j = 0;
    auto isDigit = [](char ch) { return ch >= '0' && ch <= '9'; };
    while (i < strA.size() && j < strB.size()) {
        if (isDigit(strA[i]) && isDigit(strB[j])) {
            size_t iEnd = i;
            size_t jEnd = j;
            while (iEnd < strA.size() && isDigit(strA[iEnd]))
                ++iEnd;
            while (jEnd < strB.size() && isDigit(strB[jEnd]))
                ++jEnd;
            while (i + 1 < iEnd && strA[i] == '0')
                ++i;
            while (j + 1 < jEnd && strB[j] == '0')
                ++j;
            // Without leading zeros the longer run is the larger number, whatever its size.
            if (iEnd - i != jEnd - j)
                return iEnd - i < jEnd - j;
            const int nCompare = strA.compare(i, iEnd - i, strB, j, jEnd - j);
            if (nCompare != 0)
                return nCompare < 0;
            i = iEnd;
            j = jEnd;
        } else {
            if (strA[i] != strB[j])
                return static_cast<unsigned char>(strA[i]) < static_cast<unsigned char>(strB[j]);
            ++i;
            ++j;
        }
    }
    if (i < strA.size() || j < strB.size())
        return j < strB.size();
    return strA < strB;   // equal up to leading zeros: keep the order strict
}

void SortByPortName(std::vector<SerialPortInfo>& ports)
{
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return NaturalLess(a.m_strPortName, b.m_strPortName);
    });
}

std::string WithIds(const std::string& strName, const std::string& strIds)
{
    return strIds.empty() ? strName : strName + " [" + strIds + "]";
}

// sysfs ids such as "0x13a8" shown as "13a8".
std::string WithoutHexPrefix(const std::string& strId)
{
    return StartsWith(strId, "0x") ? strId.substr(2) : strId;
}

class CSysfsWalk
{
public:
    CSysfsWalk(const SerialDiscoveryRoots& roots, const std::string& strSysfsReal)
        : m_roots(roots), m_strDevicesDir(strSysfsReal + "/devices")
    {}

    // One entry of the tty class; false when it is not a serial port that can be offered.
    bool Describe(const std::string& strClassDir, const std::string& strName, SerialPortInfo& info) const
    {
        std::string strTtyDir;
        std::string strDevice;
        if (!RealPath(strClassDir + "/" + strName, strTtyDir) ||
            IsUnder(strTtyDir, m_strDevicesDir + "/virtual"))
            return false;
        if (!RealPath(strTtyDir + "/device", strDevice) || !IsUnder(strDevice, m_strDevicesDir))
            return false;
        // serial_core reports type 0 (PORT_UNKNOWN) for a port where no UART answered,
        // e.g. the legacy ttyS slots the 8250 driver registers whether or not they exist.
        std::string strType;
        if (ReadAttribute(strTtyDir + "/type", strType) &&
            strType.find_first_not_of('0') == std::string::npos)
            return false;
        const std::string strDevicePath = m_roots.m_strDev + "/" + strName;
        if (!PathExists(strDevicePath))
            return false;

        strDevice = LookThroughSerialBase(strDevice);
        const std::string strUsbDevice = FindUsbDevice(strDevice);
        info.m_bUsb = !strUsbDevice.empty() || StartsWith(strName, "ttyUSB") || StartsWith(strName, "ttyACM");
        info.m_strDescription =
            info.m_bUsb ? DescribeUsb(strDevice, strUsbDevice, info) : DescribeOther(strDevice);
        info.m_strPortName = strName;
        info.m_strDevicePath = strDevicePath;
        info.m_strFriendlyName = info.m_strDescription + " (" + strName + ")";
        return true;
    }

private:
    std::string LookThroughSerialBase(std::string strDevice) const
    {
        while (LinkTargetName(strDevice + "/subsystem") == kSerialBaseBus &&
               IsUnder(ParentDir(strDevice), m_strDevicesDir))
            strDevice = ParentDir(strDevice);
        return strDevice;
    }

    // The USB device (the folder with idVendor) at or above the port's device; empty when none.
    std::string FindUsbDevice(const std::string& strDevice) const
    {
        for (std::string strDir = strDevice; IsUnder(strDir, m_strDevicesDir); strDir = ParentDir(strDir)) {
            if (PathExists(strDir + "/idVendor"))
                return strDir;
        }
        return std::string();
    }

    // Fills the adapter's identity and gives the description.
    std::string DescribeUsb(const std::string& strDevice, const std::string& strUsbDevice,
                            SerialPortInfo& info) const
    {
        // The driver sits on the port (usb-serial) or on the interface (cdc_acm), below the USB device.
        for (std::string strDir = strDevice;
             info.m_strDriver.empty() && IsUnder(strDir, m_strDevicesDir) && strDir != strUsbDevice;
             strDir = ParentDir(strDir))
            info.m_strDriver = LinkTargetName(strDir + "/driver");

        std::string strName;
        std::string strIds;
        if (!strUsbDevice.empty()) {
            if (!ReadAttribute(strUsbDevice + "/product", strName))
                ReadAttribute(strUsbDevice + "/manufacturer", strName);
            std::string strId;
            if (ReadAttribute(strUsbDevice + "/idVendor", strId))
                info.m_strVendorId = NormalizeUsbId(strId);
            if (ReadAttribute(strUsbDevice + "/idProduct", strId))
                info.m_strProductId = NormalizeUsbId(strId);
            if (!info.m_strVendorId.empty() && !info.m_strProductId.empty())
                strIds = info.m_strVendorId + ":" + info.m_strProductId;
            if (ReadAttribute(strUsbDevice + "/serial", info.m_strSerialNumber))
                strIds += (strIds.empty() ? "" : " ") + info.m_strSerialNumber;
        }
        if (strName.empty())
            strName = info.m_strDriver.empty() ? "USB serial port" : info.m_strDriver;
        return WithIds(strName, strIds);
    }

    std::string DescribeOther(const std::string& strDevice) const
    {
        const std::string strSubsystem = LinkTargetName(strDevice + "/subsystem");
        std::string strName;
        std::string strIds;
        ReadAttribute(strDevice + "/firmware_node/description",
                      strName);   // ACPI _STR, where the firmware has one
        if (strSubsystem == "pnp" && ReadAttribute(strDevice + "/id", strIds)) {
            for (const PnpName& pnp : kPnpNames) {
                if (strIds == pnp.pszId && strName.empty())
                    strName = pnp.pszName;
            }
        } else if (strSubsystem == "pci") {
            std::string strVendor;
            std::string strProduct;
            if (ReadAttribute(strDevice + "/vendor", strVendor) &&
                ReadAttribute(strDevice + "/device", strProduct))
                strIds = WithoutHexPrefix(strVendor) + ":" + WithoutHexPrefix(strProduct);
        }
        if (strName.empty())
            strName = LinkTargetName(strDevice + "/driver");
        if (strName.empty())
            strName = "Serial port";
        return WithIds(strName, strIds);
    }

    const SerialDiscoveryRoots& m_roots;
    const std::string m_strDevicesDir;
};

// The links udev makes in DEV/serial/by-id, named after the adapter, each to the tty it is on now;
// the first in name order is taken where a tty has several.
void AddByIdPaths(std::vector<SerialPortInfo>& ports, const SerialDiscoveryRoots& roots)
{
    const std::string strByIdDir = roots.m_strDev + "/serial/by-id";
    std::vector<std::string> names;
    if (!ReadDirectoryNames(strByIdDir, names))
        return;
    std::sort(names.begin(), names.end());
    for (SerialPortInfo& info : ports) {
        std::string strTty;
        if (!RealPath(info.m_strDevicePath, strTty))
            continue;
        for (const std::string& strName : names) {
            std::string strTarget;
            if (RealPath(strByIdDir + "/" + strName, strTarget) && strTarget == strTty) {
                info.m_strByIdPath = strByIdDir + "/" + strName;
                break;
            }
        }
    }
}

void AddHardwarePorts(std::vector<SerialPortInfo>& ports, const SerialDiscoveryRoots& roots)
{
    const std::string strClassDir = roots.m_strSysfs + "/class/tty";
    std::vector<std::string> names;
    if (!ReadDirectoryNames(strClassDir, names))
        throw CouldNotReadText(strClassDir, errno);

    std::string strSysfsReal;
    if (!RealPath(roots.m_strSysfs, strSysfsReal))
        strSysfsReal = roots.m_strSysfs;
    const CSysfsWalk walk(roots, strSysfsReal);
    std::vector<SerialPortInfo> found;
    for (const std::string& strName : names) {
        SerialPortInfo info;
        if (walk.Describe(strClassDir, strName, info))
            found.push_back(info);
    }
    SortByPortName(found);
    AddByIdPaths(found, roots);
    for (const SerialPortInfo& info : found)
        MergeSerialPortInfo(ports, info);
}

// Every live registration in the simulator directory is a board (leftovers are cleaned up on
// the way); a directory that is missing or unreadable just means no simulator runs.
void AddSimulatedPorts(std::vector<SerialPortInfo>& ports, const SerialDiscoveryRoots& roots)
{
    std::vector<std::string> names;
    if (!ReadDirectoryNames(roots.m_strSimulatorDir, names))
        return;
    const CSimPortRegistry registry(roots.m_strSimulatorDir);
    std::vector<SerialPortInfo> found;
    for (const std::string& strName : names) {
        if (!registry.IsLive(strName))
            continue;
        SerialPortInfo info;
        // The link, not its target: a restarted simulator re-points it to its new pty,
        // whereas the old /dev/pts number may meanwhile belong to someone's terminal.
        info.m_strDevicePath = registry.GetLinkPath(strName);
        info.m_strPortName = strName;
        info.m_strFriendlyName = std::string(kSimulatedBoardName) + " (" + strName + ")";
        found.push_back(info);
    }
    SortByPortName(found);
    for (const SerialPortInfo& info : found)
        MergeSerialPortInfo(ports, info);
}

}   // namespace

SerialDiscoveryRoots::SerialDiscoveryRoots()
    : m_strSysfs("/sys"), m_strDev("/dev"), m_strSimulatorDir(CSimPortRegistry::GetDefaultDirectory())
{}

void EnumerateSerialPorts(std::vector<SerialPortInfo>& ports)
{
    EnumerateSerialPorts(ports, SerialDiscoveryRoots());
}

void EnumerateSerialPorts(std::vector<SerialPortInfo>& ports, const SerialDiscoveryRoots& roots)
{
    ports.clear();
    AddHardwarePorts(ports, roots);
    AddSimulatedPorts(ports, roots);
    for (SerialPortInfo& info : ports)
        CompleteSerialPortInfo(info);
}
