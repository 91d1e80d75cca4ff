#include "serial/latencytimer.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace
{
// The whole number in the file, or -1.
int ReadNumber(const std::string& strPath)
{
    std::FILE* pFile = std::fopen(strPath.c_str(), "r");
    if (pFile == nullptr)
        return -1;
    int nValue = -1;
    if (std::fscanf(pFile, "%d", &nValue) != 1)
        nValue = -1;
    std::fclose(pFile);
    return nValue;
}

int WriteNumber(const std::string& strPath, int nValue)
{
    std::FILE* pFile = std::fopen(strPath.c_str(), "w");
    if (pFile == nullptr)
        return -1;
    const bool bWritten = std::fprintf(pFile, "%d\n", nValue) > 0;
    return std::fclose(pFile) == 0 && bWritten ? 0 : -1;
}

// The device's name in the tty class: the last path part once links are followed
// (/dev/serial/by-id/usb-FTDI_... is a link to /dev/ttyUSB0).
std::string TtyName(const std::string& strDevice)
{
    char szReal[PATH_MAX];
    const std::string strPath = realpath(strDevice.c_str(), szReal) != nullptr ? szReal : strDevice;
    return strPath.substr(strPath.rfind('/') + 1);
}
}   // namespace

CLatencyTimer LowerLatencyTimerIn(const std::string& strDevice, const std::string& strSysRoot)
{
    CLatencyTimer timer;
    const std::string strFile = strSysRoot + "/class/tty/" + TtyName(strDevice) + "/device/latency_timer";
    timer.nFoundMs = ReadNumber(strFile);
    if (timer.nFoundMs < 0)
        return timer;
    timer.strSetting = strFile;
    if (timer.nFoundMs > kLowestLatencyMs && access(strFile.c_str(), W_OK) == 0)
        timer.bLowered = WriteNumber(strFile, kLowestLatencyMs) == 0;
    return timer;
}

CLatencyTimer LowerLatencyTimer(const std::string& strDevice)
{
    return LowerLatencyTimerIn(strDevice, "/sys");
}

void RestoreLatencyTimer(const CLatencyTimer& timer)
{
    if (timer.bLowered)
        (void)WriteNumber(timer.strSetting, timer.nFoundMs);
}
