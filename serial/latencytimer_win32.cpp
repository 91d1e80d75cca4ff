#include "serial/latencytimer.h"

#include "serial/windowsportdiscovery.h"

CLatencyTimer LowerLatencyTimer(const std::string& strDevice)
{
    // "\\.\COM12" and "COM12" name the same port; the driver's key knows the short name.
    const size_t nSlash = strDevice.rfind('\\');
    return ReadAdapterLatencyTimer(nSlash == std::string::npos ? strDevice : strDevice.substr(nSlash + 1));
}

void RestoreLatencyTimer(const CLatencyTimer&)
{
    // Windows takes a new latency timer only when the adapter is plugged in again: it is read,
    // never written.
}
