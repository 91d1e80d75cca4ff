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

// Overwrites, in place, the first record with the same port name (exact, case included);
// appends the record when there is none.
void MergeSerialPortInfo(std::vector<SerialPortInfo>& ports, const SerialPortInfo& info);
