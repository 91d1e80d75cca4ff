#include "serial/portdiscovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <stdlib.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace
{

// A sysfs tree, a /dev and a simulator directory in a temporary folder, laid out as the
// kernel does: class/tty/NAME -> ../../devices/.../tty/NAME, with device, driver and
// subsystem links given as relative paths.
class CFakeMachine
{
public:
    CFakeMachine()
    {
        char szTemplate[] = "/tmp/kelvora-discovery-XXXXXX";
        m_root = mkdtemp(szTemplate);
        m_sys = m_root / "sys";
        fs::create_directories(m_sys / "class/tty");
        fs::create_directories(m_root / "dev");
        m_roots.m_strSysfs = m_sys.string();
        m_roots.m_strDev = (m_root / "dev").string();
        m_roots.m_strSimulatorDir = (m_root / "sim").string();
    }
    ~CFakeMachine() { fs::remove_all(m_root); }

    // A device folder (path below sys), optionally on a bus and bound to a driver.
    void Device(const std::string& strDev, const std::string& strBus = "", const std::string& strDriver = "")
    {
        fs::create_directories(m_sys / strDev);
        if (strBus.empty())
            return;
        fs::create_directories(m_sys / "bus" / strBus / "drivers");
        fs::create_symlink(Up(strDev) + "bus/" + strBus, m_sys / strDev / "subsystem");
        if (!strDriver.empty())
            fs::create_symlink(Up(strDev) + "bus/" + strBus + "/drivers/" + strDriver, m_sys / strDev / "driver");
    }
    void Attr(const std::string& strDev, const std::string& strName, const std::string& strValue)
    {
        std::ofstream(m_sys / strDev / strName) << strValue << "\n";
    }
    // A USB device with its descriptor strings; empty ones are absent.
    void Usb(const std::string& strDev, const std::string& strIds, const std::string& strProduct,
             const std::string& strManufacturer = "", const std::string& strSerial = "")
    {
        Device(strDev, "usb", "usb");
        Attr(strDev, "idVendor", strIds.substr(0, 4));
        Attr(strDev, "idProduct", strIds.substr(5));
        const std::pair<const char*, std::string> strings[] = {
            {"product", strProduct}, {"manufacturer", strManufacturer}, {"serial", strSerial}};
        for (const auto& item : strings)
        {
            if (!item.second.empty())
                Attr(strDev, item.first, item.second);
        }
    }
    // The tty NAME below a device folder, with its class link and, by default, its /dev node.
    void Tty(const std::string& strDev, const std::string& strName, const std::string& strType = "",
             bool bDevNode = true, bool bDeviceLink = true)
    {
        const std::string strTty = strDev + "/tty/" + strName;
        fs::create_directories(m_sys / strTty);
        fs::create_symlink("../../" + strTty, m_sys / "class/tty" / strName);
        if (bDeviceLink)
            fs::create_symlink("../..", m_sys / strTty / "device");
        if (!strType.empty())
            Attr(strTty, "type", strType);
        if (bDevNode)
            std::ofstream(m_root / "dev" / strName).put('\0');
    }
    // A simulator registration pointing at TARGET below the fake /dev.
    void SimLink(const std::string& strName, const std::string& strTarget, bool bCreateTarget)
    {
        fs::create_directories(m_root / "sim");
        fs::create_directories((m_root / "dev" / strTarget).parent_path());
        if (bCreateTarget)
            std::ofstream(m_root / "dev" / strTarget).put('\0');
        fs::create_symlink(m_root / "dev" / strTarget, m_root / "sim" / strName);
    }

    std::vector<SerialPortInfo> Enumerate() const
    {
        std::vector<SerialPortInfo> ports;
        EnumerateSerialPorts(ports, m_roots);
        return ports;
    }
    std::vector<std::string> PortNames() const
    {
        std::vector<std::string> names;
        for (const SerialPortInfo& info : Enumerate())
            names.push_back(info.m_strPortName);
        return names;
    }

    fs::path m_root;
    fs::path m_sys;
    SerialDiscoveryRoots m_roots;

private:
    static std::string Up(const std::string& strDev)
    {
        std::string strUp;
        for (size_t i = 0; i <= static_cast<size_t>(std::count(strDev.begin(), strDev.end(), '/')); ++i)
            strUp += "../";
        return strUp;
    }
};

const std::string kUsb = "devices/pci0000:00/0000:00:14.0/usb1";
const std::string kPlatform8250 = "devices/platform/serial8250";

void BuildMixedMachine(CFakeMachine& m)
{
    m.Usb(kUsb, "1d6b:0002", "xHCI Host Controller");  // root hub: the adapter below must win
    // An adapter with two ports on one USB device.
    m.Usb(kUsb + "/1-1", "0403:6010", "Dual RS232-HS", "FTDI", "FT5Y2Z");
    for (const char* pszPort : {"1.0/ttyUSB0", "1.1/ttyUSB1"})
    {
        const std::string strPort = kUsb + "/1-1/1-1:" + pszPort;
        m.Device(kUsb + "/1-1/1-1:" + std::string(pszPort).substr(0, 3), "usb", "ftdi_sio");
        m.Device(strPort, "usb-serial", "ftdi_sio");
        m.Tty(strPort, strPort.substr(strPort.rfind('/') + 1));
    }
    m.Usb(kUsb + "/1-2", "0403:6001", "FT232R USB UART", "FTDI", "A50285BI");
    m.Device(kUsb + "/1-2/1-2:1.0/ttyUSB10", "usb-serial", "ftdi_sio");
    m.Tty(kUsb + "/1-2/1-2:1.0/ttyUSB10", "ttyUSB10");
    m.Usb(kUsb + "/1-3", "2e8a:000a", "Pico");  // CDC-ACM: the tty hangs off the interface
    m.Device(kUsb + "/1-3/1-3:1.0", "usb", "cdc_acm");
    m.Tty(kUsb + "/1-3/1-3:1.0", "ttyACM0");
    m.Usb(kUsb + "/1-4", "067b:2303", "", "Prolific Technology Inc.");
    m.Device(kUsb + "/1-4/1-4:1.0/ttyUSB2", "usb-serial", "pl2303");
    m.Tty(kUsb + "/1-4/1-4:1.0/ttyUSB2", "ttyUSB2");
    m.Usb(kUsb + "/1-5", "1a86:7523", "");
    m.Device(kUsb + "/1-5/1-5:1.0/ttyUSB3", "usb-serial", "ch341-uart");
    m.Tty(kUsb + "/1-5/1-5:1.0/ttyUSB3", "ttyUSB3");
    m.Usb(kUsb + "/1-6", "04e2:1410", "XR21V1410 USB UART");  // USB by position, not by name
    m.Device(kUsb + "/1-6/1-6:1.0", "usb", "xr_serial");
    m.Tty(kUsb + "/1-6/1-6:1.0", "ttyXR0");

    // Older layout: the tty hangs directly off the PNP device.
    m.Device("devices/pnp0/00:01", "pnp", "serial");
    m.Attr("devices/pnp0/00:01", "id", "PNP0501");
    m.Tty("devices/pnp0/00:01", "ttyS0", "4");
    // serial-base layout: controller and port devices between the tty and the PNP device.
    m.Device("devices/pnp0/00:02", "pnp", "serial");
    m.Attr("devices/pnp0/00:02", "id", "PNP0500");
    m.Device("devices/LNXSYSTM:00/PNP0500:00");
    m.Attr("devices/LNXSYSTM:00/PNP0500:00", "description", "Docking station COM");
    fs::create_symlink("../../LNXSYSTM:00/PNP0500:00", m.m_sys / "devices/pnp0/00:02/firmware_node");
    m.Device("devices/pnp0/00:02/00:02:0", "serial-base", "ctrl");
    m.Device("devices/pnp0/00:02/00:02:0/00:02:0.0", "serial-base", "port");
    m.Tty("devices/pnp0/00:02/00:02:0/00:02:0.0", "ttyS1", "4");
    m.Device("devices/pci0000:00/0000:00:1c.0/0000:03:00.0", "pci", "exar_serial");
    m.Attr("devices/pci0000:00/0000:00:1c.0/0000:03:00.0", "vendor", "0x13a8");
    m.Attr("devices/pci0000:00/0000:00:1c.0/0000:03:00.0", "device", "0x0152");
    m.Tty("devices/pci0000:00/0000:00:1c.0/0000:03:00.0", "ttyS4", "4");
    // Legacy slots of the 8250 driver: phantoms (type 0) in both layouts, one real port,
    // and one real port without a /dev node.
    m.Device(kPlatform8250, "platform", "serial8250");
    m.Device(kPlatform8250 + "/serial8250:0", "serial-base", "ctrl");
    for (const char* pszPort : {"2", "10", "5"})
    {
        const std::string strPort = kPlatform8250 + "/serial8250:0/serial8250:0." + pszPort;
        m.Device(strPort, "serial-base", "port");
        m.Tty(strPort, std::string("ttyS") + pszPort, pszPort[0] == '2' ? "0" : "4", pszPort[0] != '5');
    }
    m.Tty(kPlatform8250, "ttyS3", "0");
    m.Device("devices/platform/fe201000.serial", "amba", "uart-pl011");
    m.Tty("devices/platform/fe201000.serial", "ttyAMA0");  // no type attribute: counted
    // Virtual ttys: none has a device behind it that counts.
    m.Tty("devices/virtual", "tty0", "", true, false);
    m.Tty("devices/virtual", "ptmx", "", true, false);
    m.Tty("devices/virtual", "ttyV0", "4", true, true);

    m.SimLink("board-b", "pts/7", true);
    m.SimLink("board-a", "pts/3", true);
    m.SimLink("stale", "pts/99", false);
    std::ofstream(m.m_root / "sim/not-a-link").put('\0');
}

TEST(PortDiscovery, FakeMachineListsHardwarePortsSortedThenLiveSimulatorLinks)
{
    CFakeMachine m;
    BuildMixedMachine(m);
    const std::string strDev = m.m_roots.m_strDev + "/";
    const std::string strSim = m.m_roots.m_strSimulatorDir + "/";
    struct Expected
    {
        std::string strPath, strName, strDescription;
        bool bUsb;
    };
    const Expected expected[] = {
        {strDev + "ttyACM0", "ttyACM0", "Pico [2e8a:000a]", true},
        {strDev + "ttyAMA0", "ttyAMA0", "uart-pl011", false},
        {strDev + "ttyS0", "ttyS0", "16550A-compatible COM port [PNP0501]", false},
        {strDev + "ttyS1", "ttyS1", "Docking station COM [PNP0500]", false},
        {strDev + "ttyS4", "ttyS4", "exar_serial [13a8:0152]", false},
        {strDev + "ttyS10", "ttyS10", "serial8250", false},
        {strDev + "ttyUSB0", "ttyUSB0", "Dual RS232-HS [0403:6010 FT5Y2Z]", true},
        {strDev + "ttyUSB1", "ttyUSB1", "Dual RS232-HS [0403:6010 FT5Y2Z]", true},
        {strDev + "ttyUSB2", "ttyUSB2", "Prolific Technology Inc. [067b:2303]", true},
        {strDev + "ttyUSB3", "ttyUSB3", "ch341-uart [1a86:7523]", true},
        {strDev + "ttyUSB10", "ttyUSB10", "FT232R USB UART [0403:6001 A50285BI]", true},
        {strDev + "ttyXR0", "ttyXR0", "XR21V1410 USB UART [04e2:1410]", true},
        {strSim + "board-a", "board-a", "Simulated KC167 board", false},
        {strSim + "board-b", "board-b", "Simulated KC167 board", false},
    };
    const std::vector<SerialPortInfo> ports = m.Enumerate();
    ASSERT_EQ(ports.size(), std::size(expected));
    for (size_t i = 0; i < ports.size(); ++i)
    {
        SCOPED_TRACE(expected[i].strName);
        EXPECT_EQ(ports[i].m_strDevicePath, expected[i].strPath);
        EXPECT_EQ(ports[i].m_strPortName, expected[i].strName);
        EXPECT_EQ(ports[i].m_strDescription, expected[i].strDescription);
        EXPECT_EQ(ports[i].m_strFriendlyName, expected[i].strDescription + " (" + expected[i].strName + ")");
        EXPECT_EQ(ports[i].m_bUsb, expected[i].bUsb);
        // The completion derives the same description from the friendly name alone.
        SerialPortInfo bare = ports[i];
        bare.m_strDescription.clear();
        CompleteSerialPortInfo(bare);
        EXPECT_EQ(bare.m_strDescription, expected[i].strDescription);
    }
}

TEST(PortDiscovery, PortsAreSortedByDeviceNameInNaturalOrder)
{
    CFakeMachine m;
    m.Device(kPlatform8250, "platform", "serial8250");
    for (const char* pszName : {"ttyS10", "ttyUSB0", "ttyS9", "ttyS100000000000000000000", "ttyS1", "ttyS",
                                "ttyS01", "ttyS99999999999999999999", "ttyS2"})
        m.Tty(kPlatform8250, pszName, "4");
    const std::vector<std::string> expected = {"ttyS", "ttyS01", "ttyS1", "ttyS2", "ttyS9", "ttyS10",
                                               "ttyS99999999999999999999", "ttyS100000000000000000000", "ttyUSB0"};
    EXPECT_EQ(m.PortNames(), expected);
}

TEST(PortDiscovery, SimulatorLinkWithAHardwarePortsNameTakesItsPlace)
{
    CFakeMachine m;
    m.Device(kPlatform8250, "platform", "serial8250");
    m.Tty(kPlatform8250, "ttyS0", "4");
    m.Tty(kPlatform8250, "ttyS1", "4");
    m.SimLink("ttyS0", "pts/4", true);
    const std::vector<SerialPortInfo> ports = m.Enumerate();
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].m_strFriendlyName, "Simulated KC167 board (ttyS0)");
    EXPECT_EQ(ports[0].m_strDevicePath, m.m_roots.m_strSimulatorDir + "/ttyS0");
    EXPECT_EQ(ports[1].m_strFriendlyName, "serial8250 (ttyS1)");
}

TEST(PortDiscovery, UnreadableTtyClassThrowsItsPathAndErrnoInHex)
{
    struct Case
    {
        bool bClassIsFile;
        const char* pszErr;
    };
    for (const Case& c : {Case{false, "2"}, Case{true, "14"}})  // ENOENT, ENOTDIR (20)
    {
        CFakeMachine m;
        fs::remove(m.m_sys / "class/tty");
        if (c.bClassIsFile)
            std::ofstream(m.m_sys / "class/tty").put('\0');
        std::vector<SerialPortInfo> ports(2);
        try
        {
            EnumerateSerialPorts(ports, m.m_roots);
            ADD_FAILURE() << "no throw";
        }
        catch (const std::string& strText)
        {
            EXPECT_EQ(strText, "Could not read from " + m.m_roots.m_strSysfs + "/class/tty. (err=" + c.pszErr + ")");
        }
        EXPECT_TRUE(ports.empty());
    }
}

TEST(PortDiscovery, EmptyTtyClassAndMissingSimulatorDirectoryGiveAnEmptyList)
{
    CFakeMachine m;
    EXPECT_TRUE(m.Enumerate().empty());
}

TEST(PortDiscovery, CompletionFillsFriendlyNameAndDescription)
{
    struct Case
    {
        const char* pszPort;
        const char* pszFriendly;
        const char* pszDescription;
        const char* pszWantFriendly;
        const char* pszWantDescription;
    };
    const Case cases[] = {
        {"ttyS0", "Communications Port (COM3)", "", "Communications Port (COM3)", "Communications Port"},
        {"ttyS0", "Port (COM3) spare", "", "Port (COM3) spare", "Port (COM3) spare"},
        {"ttyS0", " (COM3)", "", " (COM3)", " (COM3)"},
        {"ttyS0", "Port (a) (COM3)", "", "Port (a) (COM3)", "Port (a) (COM3)"},
        {"ttyS0", "Port(COM3)", "", "Port(COM3)", "Port(COM3)"},
        {"ttyS0", "Port (COM3)", "Given", "Port (COM3)", "Given"},
        {"ttyUSB0", "", "", "ttyUSB0", "ttyUSB0"},
    };
    for (const Case& c : cases)
    {
        SerialPortInfo info;
        info.m_strPortName = c.pszPort;
        info.m_strFriendlyName = c.pszFriendly;
        info.m_strDescription = c.pszDescription;
        CompleteSerialPortInfo(info);
        EXPECT_EQ(info.m_strFriendlyName, c.pszWantFriendly) << c.pszFriendly;
        EXPECT_EQ(info.m_strDescription, c.pszWantDescription) << c.pszFriendly;
    }
}

TEST(PortDiscovery, MergeOverwritesFirstEqualPortNameInPlaceElseAppends)
{
    auto record = [](const char* pszName, const char* pszFriendly) {
        SerialPortInfo info;
        info.m_strPortName = pszName;
        info.m_strFriendlyName = pszFriendly;
        return info;
    };
    std::vector<SerialPortInfo> ports;
    for (const SerialPortInfo& info : {record("ttyS0", "first"), record("ttyS1", "other"), record("ttyS0", "last"),
                                       record("ttys0", "case differs")})
        MergeSerialPortInfo(ports, info);
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].m_strFriendlyName, "last");
    EXPECT_EQ(ports[1].m_strFriendlyName, "other");
    EXPECT_EQ(ports[2].m_strPortName, "ttys0");
}

TEST(PortDiscovery, RealMachineListsOnlyPortsWhoseDeviceExists)
{
    std::vector<SerialPortInfo> ports;
    ASSERT_NO_THROW(EnumerateSerialPorts(ports));
    for (const SerialPortInfo& info : ports)
    {
        struct stat st;
        EXPECT_EQ(stat(info.m_strDevicePath.c_str(), &st), 0) << info.m_strDevicePath;
        EXPECT_FALSE(info.m_strPortName.empty());
        EXPECT_EQ(info.m_strFriendlyName, info.m_strDescription + " (" + info.m_strPortName + ")");
    }
}

}  // namespace
