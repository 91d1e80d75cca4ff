#include "job/portchoice.h"
#include "serial/portdiscovery.h"
#include "serial/simportregistry.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include <stdlib.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

// A folder below sys/devices: "name=value" writes an attribute, "name>target" makes a link
// (discovery reads only the last component of subsystem and driver links). Each tty TTY hangs
// off it as the kernel lays it out: class/tty/TTY -> ../../devices/PATH/tty/TTY, "device" -> PATH.
struct FakeNode
{
    const char* pszPath;
    const char* pszEntries = "";   // separated by ';'
    const char* pszTtys = "";      // separated by ' '
    const char* pszType = "";      // the ttys' type attribute; "": none
};

// A sysfs tree, a /dev and a simulator directory in a temporary folder.
class CFakeMachine
{
public:
    CFakeMachine()
    {
        for (const char* pszDir : {"sys/class/tty", "dev/pts", "sim"})
            fs::create_directories(m_root / pszDir);
        m_roots.m_strSysfs = (m_root / "sys").string();
        m_roots.m_strDev = (m_root / "dev").string();
        m_roots.m_strSimulatorDir = (m_root / "sim").string();
    }

    void Add(const FakeNode& n) const
    {
        const fs::path dir = m_root / "sys/devices" / n.pszPath;
        fs::create_directories(dir);
        std::istringstream entries(n.pszEntries);
        for (std::string str; std::getline(entries, str, ';');) {
            const size_t nAt = str.find_first_of("=>");
            if (str[nAt] == '>')
                fs::create_symlink(str.substr(nAt + 1), dir / str.substr(0, nAt));
            else
                Write(dir / str.substr(0, nAt), str.substr(nAt + 1));
        }
        std::istringstream ttys(n.pszTtys);
        for (std::string strTty; ttys >> strTty;) {
            const fs::path tty = fs::path(n.pszPath) / "tty" / strTty;
            fs::create_directories(m_root / "sys/devices" / tty);
            fs::create_symlink("../../devices" / tty, m_root / "sys/class/tty" / strTty);
            fs::create_symlink("../..", m_root / "sys/devices" / tty / "device");
            if (*n.pszType != '\0')
                Write(m_root / "sys/devices" / tty / "type", n.pszType);
            Write(m_root / "dev" / strTty, "");
        }
    }
    std::vector<SerialPortInfo> Enumerate() const
    {
        std::vector<SerialPortInfo> ports;
        EnumerateSerialPorts(ports, m_roots);
        return ports;
    }

    CTempDir m_dir{"kelvora-discovery"};
    const fs::path m_root{m_dir.Path()};
    SerialDiscoveryRoots m_roots;

private:
    static void Write(const fs::path& file, const std::string& strText)
    {
        std::ofstream(file) << strText << "\n";
    }
};

TEST(PortDiscovery, FakeMachineListsHardwarePortsSortedThenLiveSimulatorLinks)
{
    CFakeMachine m;
    const FakeNode nodes[] = {
        {"pci0/usb1",
         "idVendor=1d6b;idProduct=0002;product=xHCI Host Controller"},   // root hub: must not win
        {"pci0/usb1/1-1",
         "idVendor=0403;idProduct=6010;product=Dual RS232-HS;manufacturer=FTDI;serial=FT5Y2Z"},
        {"pci0/usb1/1-1/1-1:1.0/ttyUSB0", "subsystem>usb-serial;driver>ftdi_sio", "ttyUSB0"},
        {"pci0/usb1/1-1/1-1:1.1/ttyUSB1", "subsystem>usb-serial;driver>ftdi_sio", "ttyUSB1"},
        {"pci0/usb1/1-3", "idVendor=2e8a;idProduct=000A;product=Pico;serial=E661"},
        {"pci0/usb1/1-3/1-3:1.0", "subsystem>usb;driver>cdc_acm", "ttyACM0"},   // CDC-ACM: off the interface
        {"pci0/usb1/1-4", "idVendor=067b;idProduct=2303;manufacturer=Prolific Technology Inc."},
        {"pci0/usb1/1-4/1-4:1.0/ttyUSB2", "subsystem>usb-serial;driver>pl2303", "ttyUSB2"},
        {"pci0/usb1/1-5", "idVendor=1a86;idProduct=7523"},
        {"pci0/usb1/1-5/1-5:1.0/ttyUSB3", "subsystem>usb-serial;driver>ch341-uart", "ttyUSB3"},
        {"pci0/usb1/1-6", "idVendor=04e2;idProduct=1410;product=XR21V1410 USB UART"},
        {"pci0/usb1/1-6/1-6:1.0", "subsystem>usb;driver>xr_serial",
         "ttyXR0"},   // USB by position, not by name
        {"pci0/0000:03:00.0", "subsystem>pci;driver>exar_serial;vendor=0x13a8;device=0x0152", "ttyS4", "4"},
        {"pnp0/00:01", "subsystem>pnp;driver>serial;id=PNP0501", "ttyS0",
         "4"},   // older layout: off the PNP device
        {"pnp0/00:02", "subsystem>pnp;driver>serial;id=PNP0500;firmware_node>../../acpi/PNP0500:00"},
        {"pnp0/00:02/00:02:0", "subsystem>serial-base;driver>ctrl"},
        {"pnp0/00:02/00:02:0/00:02:0.0", "subsystem>serial-base;driver>port", "ttyS1", "4"},
        {"acpi/PNP0500:00", "description=Docking station COM"},
        {"platform/serial8250", "subsystem>platform;driver>serial8250", "ttyS3",
         "0"},   // phantoms in both layouts
        {"platform/serial8250/serial8250:0", "subsystem>serial-base;driver>ctrl"},
        {"platform/serial8250/serial8250:0/serial8250:0.2", "subsystem>serial-base;driver>port", "ttyS2",
         "0"},
        {"platform/serial8250/serial8250:0/serial8250:0.10", "subsystem>serial-base;driver>port", "ttyS10",
         "4"},
        {"platform/serial8250", "", "ttyS5 ttyS6 ttyS11", "4"},
        {"virtual", "", "ttyV0", "4"},   // a device link, but virtual
    };
    for (const FakeNode& n : nodes)
        m.Add(n);
    // ttyS5 loses its /dev node, ttyS6 its device, and a simulator takes ttyS11's name.
    fs::remove(m.m_root / "dev/ttyS5");
    fs::remove(m.m_root / "sys/devices/platform/serial8250/tty/ttyS6/device");
    std::ofstream(m.m_root / "dev/pts/3").put('\0');
    // Running simulators; what else the directory may hold is simportregistry_test's.
    const CSimPortRegistry registry(m.m_roots.m_strSimulatorDir);
    fs::permissions(registry.GetDirectory(), fs::perms::owner_all);   // a registry is private
    std::vector<int> locks;
    for (const char* pszName : {"board-b", "board-a", "ttyS11"}) {
        locks.push_back(-1);
        ASSERT_EQ(0, registry.Register(pszName, (m.m_root / "dev/pts/3").string(), locks.back()));
    }
    fs::create_symlink(m.m_root / "dev/pts/9", m.m_root / "sim/stale");   // its simulator is gone
    // udev's stable names; a tty with two takes the first, a link to a gone tty is nobody's.
    fs::create_directories(m.m_root / "dev/serial/by-id");
    for (const char* pszLink : {"usb-FTDI_FT5Y2Z-if01-port0>ttyUSB1", "usb-FTDI_FT5Y2Z-if00-port0>ttyUSB0",
                                "usb-Pico_E661-if00>ttyACM0", "usb-Pico-alias>ttyACM0", "usb-gone>ttyUSB7"}) {
        const std::string strLink = pszLink;
        fs::create_symlink("../../" + strLink.substr(strLink.find('>') + 1),
                           m.m_root / "dev/serial/by-id" / strLink.substr(0, strLink.find('>')));
    }

    // friendly name, then for USB: vid:pid serial driver by-id (DEV: the machine's /dev)
    const std::vector<std::string> expected = {
        "Pico [2e8a:000a E661] (ttyACM0) usb 2e8a:000a E661 cdc_acm DEV/serial/by-id/usb-Pico-alias",
        "16550A-compatible COM port [PNP0501] (ttyS0)",
        "Docking station COM [PNP0500] (ttyS1)",
        "exar_serial [13a8:0152] (ttyS4)",
        "serial8250 (ttyS10)",
        "Simulated KC167 board (ttyS11)",
        "Dual RS232-HS [0403:6010 FT5Y2Z] (ttyUSB0) usb 0403:6010 FT5Y2Z ftdi_sio "
        "DEV/serial/by-id/usb-FTDI_FT5Y2Z-if00-port0",
        "Dual RS232-HS [0403:6010 FT5Y2Z] (ttyUSB1) usb 0403:6010 FT5Y2Z ftdi_sio "
        "DEV/serial/by-id/usb-FTDI_FT5Y2Z-if01-port0",
        "Prolific Technology Inc. [067b:2303] (ttyUSB2) usb 067b:2303  pl2303 ",
        "ch341-uart [1a86:7523] (ttyUSB3) usb 1a86:7523  ch341-uart ",
        "XR21V1410 USB UART [04e2:1410] (ttyXR0) usb 04e2:1410  xr_serial ",
        "Simulated KC167 board (board-a)",
        "Simulated KC167 board (board-b)",
    };
    std::vector<std::string> listed;
    for (const SerialPortInfo& info : m.Enumerate()) {
        const std::string strById =
            info.m_strByIdPath.empty() ? "" : "DEV" + info.m_strByIdPath.substr(m.m_roots.m_strDev.size());
        listed.push_back(info.m_strFriendlyName +
                         (info.m_bUsb ? " usb " + info.m_strVendorId + ":" + info.m_strProductId + " " +
                                            info.m_strSerialNumber + " " + info.m_strDriver + " " + strById
                                      : ""));
        const bool bSim = info.m_strDescription == "Simulated KC167 board";
        const std::string& strDir = bSim ? m.m_roots.m_strSimulatorDir : m.m_roots.m_strDev;
        EXPECT_EQ(info.m_strDevicePath, strDir + "/" + info.m_strPortName);
        // The ids are bracketed so the completion gets the description back from the friendly name.
        SerialPortInfo bare = info;
        bare.m_strDescription.clear();
        CompleteSerialPortInfo(bare);
        EXPECT_EQ(bare.m_strDescription, info.m_strDescription);
    }
    EXPECT_EQ(listed, expected);
    for (const int hLock : locks)
        close(hLock);
}

// --port by the adapter's serial number or stable path, and one port under two names, on a machine
// with a dual-port adapter and a single one.
TEST(PortDiscovery, PortsAreChosenBySerialNumberOrByIdPathAndOnePortIsNotTakenTwice)
{
    CFakeMachine m;
    m.Add({"usb/1-1", "idVendor=0403;idProduct=6010;serial=FT5Y2Z"});
    m.Add({"usb/1-1/1-1:1.0", "driver>ftdi_sio", "ttyUSB0"});
    m.Add({"usb/1-1/1-1:1.1", "driver>ftdi_sio", "ttyUSB1"});
    m.Add({"usb/1-3", "idVendor=2e8a;idProduct=000a;serial=E661"});
    m.Add({"usb/1-3/1-3:1.0", "driver>cdc_acm", "ttyACM0"});
    // A serial number that begins with another's.
    m.Add({"usb/1-4", "idVendor=2e8a;idProduct=000a;serial=E6610"});
    m.Add({"usb/1-4/1-4:1.0", "driver>cdc_acm", "ttyACM1"});
    fs::create_directories(m.m_root / "dev/serial/by-id");
    fs::create_symlink("../../ttyACM0", m.m_root / "dev/serial/by-id/usb-E661");
    fs::create_symlink("../../ttyUSB1", m.m_root / "dev/serial/by-id/usb-FT5Y2Z-if01");
    const std::vector<SerialPortInfo> found = m.Enumerate();

    struct Case
    {
        std::vector<std::string> vecAsked;   // DEV/ stands for the machine's /dev
        bool bNoAdapters;                    // discovery found nothing
        const char* pszChosen;   // the devices chosen (=serial number), or the text refusing with status 2
    };
    const Case cases[] = {
        {{"sn:e661", "DEV/serial/by-id/usb-FT5Y2Z-if01", "DEV/ttyUSB0"},
         false,
         "DEV/ttyACM0=E661 DEV/ttyUSB1=FT5Y2Z DEV/ttyUSB0=FT5Y2Z "},
        {{"sn:FT5Y2Z"},
         false,
         "--port: the adapter with serial number 'FT5Y2Z' has several ports; choose one by its path:\n"
         "  FT5Y2Z\tttyUSB0\tDEV/ttyUSB0\n  FT5Y2Z\tttyUSB1\tDEV/serial/by-id/usb-FT5Y2Z-if01"},
        {{"ttyUSB0", "sn:A10K3X2Q"},
         false,
         "--port: no adapter with serial number 'A10K3X2Q'; serial numbers found:\n"
         "  E661\tttyACM0\tDEV/serial/by-id/usb-E661\n  E6610\tttyACM1\tDEV/ttyACM1\n"
         "  FT5Y2Z\tttyUSB0\tDEV/ttyUSB0\n"
         "  FT5Y2Z\tttyUSB1\tDEV/serial/by-id/usb-FT5Y2Z-if01"},
        // The whole serial number, never a part of it: each of the two is its own adapter.
        {{"sn:E661"}, false, "DEV/ttyACM0=E661 "},
        {{"sn:e6610"}, false, "DEV/ttyACM1=E6610 "},
        {{"sn:E66"},
         false,
         "--port: no adapter with serial number 'E66'; serial numbers found:\n"
         "  E661\tttyACM0\tDEV/serial/by-id/usb-E661\n  E6610\tttyACM1\tDEV/ttyACM1\n"
         "  FT5Y2Z\tttyUSB0\tDEV/ttyUSB0\n  FT5Y2Z\tttyUSB1\tDEV/serial/by-id/usb-FT5Y2Z-if01"},
        {{"sn:A10K3X2Q"},
         true,
         "--port: no adapter with serial number 'A10K3X2Q': no adapter with a serial number found"},
        {{"ttyACM0", "DEV/serial/by-id/usb-E661"},
         false,
         "--port: 'ttyACM0' and 'DEV/serial/by-id/usb-E661' are the same port (DEV/ttyACM0); give each board "
         "once"},
        {{"DEV/ttyUSB1", "DEV/serial/../ttyUSB1"},
         true,
         "--port: 'DEV/ttyUSB1' and 'DEV/serial/../ttyUSB1' are the same port (DEV/ttyUSB1); give each board "
         "once"},
    };
    const std::string strDev = m.m_roots.m_strDev;
    auto withDev = [&strDev](std::string str) {
        for (size_t nAt; (nAt = str.find("DEV/")) != std::string::npos;)
            str.replace(nAt, 3, strDev);
        return str;
    };
    for (const Case& c : cases) {
        std::vector<std::string> vecAsked;
        for (const std::string& strAsked : c.vecAsked)
            vecAsked.push_back(withDev(strAsked));
        std::vector<CBoardPort> chosen;
        std::string strError;
        const int nStatus =
            ChoosePorts(vecAsked, c.bNoAdapters ? std::vector<SerialPortInfo>() : found, chosen, strError);
        std::string strChosen;
        for (const CBoardPort& port : chosen)
            strChosen += port.strDevicePath + (port.strSerial.empty() ? "" : "=" + port.strSerial) + " ";
        EXPECT_EQ(nStatus == 0 ? strChosen : strError, withDev(c.pszChosen)) << c.vecAsked[0];
        EXPECT_EQ(nStatus, nStatus == 0 ? 0 : 2);
    }
}

TEST(PortDiscovery, PortsAreSortedByDeviceNameInNaturalOrder)
{
    CFakeMachine m;
    m.Add({"platform", "",
           "ttyS10 ttyUSB0 ttyS9 ttyS100000000000000000000 ttyS1 ttyS ttyS01 "
           "ttyS99999999999999999999 ttyS2"});
    std::string strNames;
    for (const SerialPortInfo& info : m.Enumerate())
        strNames += info.m_strPortName + " ";
    EXPECT_EQ(strNames, "ttyS ttyS01 ttyS1 ttyS2 ttyS9 ttyS10 ttyS99999999999999999999 "
                        "ttyS100000000000000000000 ttyUSB0 ");
}

TEST(PortDiscovery, EmptyTtyClassGivesNoPortsAndUnreadableOneThrowsItsPathAndErrnoInHex)
{
    CFakeMachine m;
    EXPECT_TRUE(m.Enumerate().empty());
    fs::remove(m.m_root / "sys/class/tty");
    std::ofstream(m.m_root / "sys/class/tty").put('\0');
    std::vector<SerialPortInfo> ports(2);
    try {
        EnumerateSerialPorts(ports, m.m_roots);
        ADD_FAILURE() << "no throw";
    } catch (const std::string& strText) {
        EXPECT_EQ(strText,
                  "Could not read from " + m.m_roots.m_strSysfs + "/class/tty. (err=14)");   // ENOTDIR
    }
    EXPECT_TRUE(ports.empty());
}

TEST(PortDiscovery, CompletionCutsOnlyAFinalParenthesisedPartOffTheFriendlyName)
{
    // friendly name, description given, description after completion
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"Communications Port (COM3)", "", "Communications Port"},
        {"Port (COM3) spare", "", "Port (COM3) spare"},
        {" (COM3)", "", " (COM3)"},
        {"Port (a) (COM3)", "", "Port (a) (COM3)"},
        {"Port(COM3)", "", "Port(COM3)"},
        {"Port (COM3)", "Given", "Given"},
        {"", "", "ttyUSB0"},   // the port name becomes the friendly name too
    };
    for (const auto& [pszFriendly, pszGiven, pszWant] : cases) {
        SerialPortInfo info;
        info.m_strPortName = "ttyUSB0";
        info.m_strFriendlyName = pszFriendly;
        info.m_strDescription = pszGiven;
        CompleteSerialPortInfo(info);
        EXPECT_EQ(info.m_strDescription, pszWant) << pszFriendly;
        EXPECT_EQ(info.m_strFriendlyName, *pszFriendly != '\0' ? pszFriendly : "ttyUSB0");
    }
}

TEST(PortDiscovery, MergeOverwritesFirstEqualPortNameInPlaceElseAppends)
{
    std::vector<SerialPortInfo> ports;
    std::vector<std::string> merged;
    for (const char* psz : {"ttyS0 first", "ttyS1 other", "ttyS0 last", "ttys0 case"}) {
        SerialPortInfo info;
        info.m_strPortName = std::string(psz, 5);
        info.m_strFriendlyName = psz + 6;
        MergeSerialPortInfo(ports, info);
    }
    for (const SerialPortInfo& info : ports)
        merged.push_back(info.m_strPortName + " " + info.m_strFriendlyName);
    EXPECT_EQ(merged, (std::vector<std::string>{"ttyS0 last", "ttyS1 other", "ttys0 case"}));
}

TEST(PortDiscovery, RealMachineListsOnlyPortsWhoseDeviceExists)
{
    std::vector<SerialPortInfo> ports;
    ASSERT_NO_THROW(EnumerateSerialPorts(ports));
    for (const SerialPortInfo& info : ports) {
        EXPECT_TRUE(fs::exists(info.m_strDevicePath)) << info.m_strDevicePath;
        EXPECT_EQ(info.m_strFriendlyName, info.m_strDescription + " (" + info.m_strPortName + ")");
    }
}

}   // namespace
