// Discovery of the machine's serial ports for the Port list: hardware ports from sysfs,
// then the pseudo-terminals of running board simulators. Failure is reported by throwing
// the message text as a std::string.
#pragma once

#include <string>
#include <vector>

// One discovered serial port, held by value.
struct SerialPortInfo
{
    std::string m_strDevicePath;     // what CRS232Port::Open opens, e.g. "/dev/ttyUSB0"
    std::string m_strPortName;       // device name, e.g. "ttyUSB0"
    std::string m_strFriendlyName;   // e.g. "FT232R USB UART [0403:6001 A50285BI] (ttyUSB0)"
    bool m_bUsb = false;             // attached through USB
    std::string m_strDescription;    // e.g. "FT232R USB UART [0403:6001 A50285BI]"
    // What stays when a USB adapter is replugged elsewhere; empty when unknown or not USB. The {}
    // let the five fields above be brace-initialised alone without a missing-initialiser warning.
    std::string m_strVendorId{};       // 4 lower-case hex digits, e.g. "0403"
    std::string m_strProductId{};      // e.g. "6001"
    std::string m_strSerialNumber{};   // the adapter's own, e.g. "A50285BI"
    std::string m_strDriver{};         // e.g. "ftdi_sio", "usbser"
    std::string m_strByIdPath{};   // e.g. "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
};

// Where discovery looks; the defaults are the real machine's.
struct SerialDiscoveryRoots
{
    SerialDiscoveryRoots();

    std::string m_strSysfs;          // "/sys"
    std::string m_strDev;            // "/dev"
    std::string m_strSimulatorDir;   // CSimPortRegistry::GetDefaultDirectory()
};

// Empties the list, then fills it. Throws a std::string such as
// "Could not read from /sys/class/tty. (err=2)" when the tty class cannot be read;
// records added before a failure stay and are not completed.
void EnumerateSerialPorts(std::vector<SerialPortInfo>& ports);
void EnumerateSerialPorts(std::vector<SerialPortInfo>& ports, const SerialDiscoveryRoots& roots);

// Fills what discovery left empty: the friendly name from the port name, the description
// from the friendly name without a trailing " (...)" part.
void CompleteSerialPortInfo(SerialPortInfo& info);

// A USB vendor or product id as 4 lower-case hex digits ("0A5C", "0x0a5c" and "0a5c" give "0a5c");
// empty when it is not one.
std::string NormalizeUsbId(const std::string& strId);

// Overwrites, in place, the first record with the same port name (exact, case included);
// appends the record when there is none.
void MergeSerialPortInfo(std::vector<SerialPortInfo>& ports, const SerialPortInfo& info);
