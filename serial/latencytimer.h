// A USB serial adapter's latency timer: how long the adapter holds bytes from the board before
// it hands them to the PC (16 ms by default on FTDI chips). Every echoed byte waits for it, so
// the port is opened with the timer at 1 ms where the system lets us, and closed with it put
// back as it was.
#pragma once

#include <string>

class CWindowsDiscoveryApi;

inline constexpr int kLowestLatencyMs = 1;

struct CLatencyTimer
{
    int nFoundMs = -1;        // as the port was opened; -1: the port has none we know of
    bool bLowered = false;    // set to kLowestLatencyMs here, to be put back at close
    std::string strSetting;   // where it is set: the driver's file, or its registry key
};

// After the port is open. Linux: the latency_timer file of the port's USB serial device,
// lowered when above 1 ms and writable; Windows: the FTDI driver's setting, only read.
CLatencyTimer LowerLatencyTimer(const std::string& strDevice);
// Puts back the value found, where LowerLatencyTimer changed it.
void RestoreLatencyTimer(const CLatencyTimer& timer);

// The Linux rule on a device tree at strSysRoot ("/sys"): the file is
// <root>/class/tty/<name>/device/latency_timer, <name> the device's last path part after links.
CLatencyTimer LowerLatencyTimerIn(const std::string& strDevice, const std::string& strSysRoot);
// The Windows rule: the "LatencyTimer" in the "Device Parameters" of the FTDI device whose
// "PortName" is strComName (e.g. "COM3"), under HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS.
CLatencyTimer FindFtdiLatencyTimer(const std::string& strComName, CWindowsDiscoveryApi& api);
