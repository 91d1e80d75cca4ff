#include "job/adapteradvice.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "serial/latencytimer.h"

namespace
{
constexpr int kBlockBytes = 254;   // data bytes of a full programming block
constexpr int kBlockHeader = 6;    // 'N', three address bytes, the length and the checksum answer

std::string FormatMinutes(double dSeconds)
{
    if (dSeconds < 90)
        return std::to_string(static_cast<long>(std::ceil(dSeconds))) + " s";
    return std::to_string(static_cast<long>(std::lround(dSeconds / 60))) + " min";
}
}   // namespace

int GetDepthForRoundTrip(double dRoundTripMs, int nBaudRate, int nDepth)
{
    constexpr double kBitsPerByte = 10;   // start bit, 8 data bits, stop bit
    const double dLineBytes = dRoundTripMs / 1000.0 * nBaudRate / kBitsPerByte;
    if (!(dLineBytes + 2 < kMaxPipelineDepth))
        return kMaxPipelineDepth;
    return std::max(nDepth, static_cast<int>(std::ceil(dLineBytes)) + 2);
}

int64_t EstimateEchoedBytes(int64_t nProgramBytes, bool bVerify, int64_t nReadBytes)
{
    const int64_t nBlocks = (nProgramBytes + kBlockBytes - 1) / kBlockBytes;
    return nProgramBytes + nBlocks * kBlockHeader + (bVerify ? 2 * nProgramBytes : 0) + 2 * nReadBytes;
}

std::string FormatLatencyAdvice(const CLatencyTimer& timer, int64_t nEchoedBytes)
{
    if (timer.nFoundMs <= kLowestLatencyMs || timer.bLowered)
        return std::string();
    const bool bWindows = timer.strSetting.rfind("HKLM\\", 0) == 0;
    std::string strLine = "The adapter's latency timer is " + std::to_string(timer.nFoundMs) + " ms (" +
                          timer.strSetting + (bWindows ? ")" : "), and it could not be lowered") +
                          ": each echoed byte may wait that long";
    if (nEchoedBytes > 0)
        strLine += ", about " + FormatMinutes(static_cast<double>(nEchoedBytes) * timer.nFoundMs / 1000.0) +
                   " for this job";
    if (bWindows)
        return strLine + ". To set it to 1 ms: Device Manager, the port's Properties, Port Settings, "
                         "Advanced, Latency Timer (msec) 1, then plug the adapter in again.";
    // The package's rule lets the group dialout write the timer; without the package, root sets it.
    return strLine +
           ". With the Kelvora package installed, join the group dialout and plug the adapter in again: "
           "Kelvora then sets it to 1 ms while it holds the port. Without the package, add the udev rule "
           "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", ATTR{latency_timer}=\"1\" to "
           "/etc/udev/rules.d/99-kelvora.rules.";
}

int64_t EstimateEchoedBytes(const CJobSize& size)
{
    return EstimateEchoedBytes(size.nProgramBytes, false, size.nReadBackBytes);
}

double EstimateJobSeconds(const CJobSize& size, double dRoundTripMs, int nDepth, int nBaudRate)
{
    const double dRoundTrip = dRoundTripMs / 1000.0;
    if (nDepth <= 1)
        return static_cast<double>(EstimateEchoedBytes(size)) * dRoundTrip;
    constexpr double kBitsPerByte = 10;            // start bit, 8 data bits, stop bit
    constexpr int kBlockSent = kBlockHeader - 1;   // the checksum is answered, not sent
    constexpr double kReadBackSent = 4;            // 'V' and three address bytes per two bytes read
    constexpr double kReadBackReplies = 6;         // their echoes and the two bytes
    const double dLineRate = nBaudRate / kBitsPerByte;
    // Bytes go out no faster than the line takes them, nor than the depth's worth per round trip.
    const double dSendRate = dRoundTrip > 0 ? std::min(dLineRate, nDepth / dRoundTrip) : dLineRate;
    double dSeconds = 0;
    if (size.nProgramBytes > 0) {
        // Each block waits for its checksum: one round trip the depth cannot hide.
        const int64_t nBlocks = (size.nProgramBytes + kBlockBytes - 1) / kBlockBytes;
        dSeconds += static_cast<double>(size.nProgramBytes + nBlocks * kBlockSent) / dSendRate +
                    static_cast<double>(nBlocks) * dRoundTrip;
    }
    if (size.nReadBackBytes > 0) {
        const double dExchanges = static_cast<double>((size.nReadBackBytes + 1) / 2);
        dSeconds +=
            std::max(dExchanges * kReadBackSent / dSendRate, dExchanges * kReadBackReplies / dLineRate) +
            dRoundTrip;
    }
    return dSeconds;
}

std::string FormatRoundTrip(double dRoundTripMs, int nDepth, double dSeconds)
{
    char szLine[64];
    std::snprintf(szLine, sizeof szLine, "Line round trip %.2f ms per byte", dRoundTripMs);
    std::string strLine = szLine;
    if (nDepth > 1)
        strLine += ", " + std::to_string(nDepth) + " bytes sent ahead";
    if (dSeconds > 0)
        strLine += ": about " + FormatMinutes(dSeconds) + " for this job";
    return strLine;
}

std::string FormatLatencyLowered(const CLatencyTimer& timer)
{
    if (!timer.bLowered)
        return std::string();
    return "The adapter's latency timer was " + std::to_string(timer.nFoundMs) + " ms: set to " +
           std::to_string(kLowestLatencyMs) + " ms until the port is closed";
}
