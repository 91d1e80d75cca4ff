// What a USB adapter's latency timer costs a job, and how to make it cheap.
#pragma once

#include <cstdint>
#include <string>

struct CLatencyTimer;

constexpr int kMaxPipelineDepth = 255;   // bytes ahead of their echoes at most
// Bytes ahead at the start of a pipelined run (--pipeline without a depth, the window's fast
// transfer); the connection test's round trip may deepen it.
constexpr int kDefaultPipelineDepth = 16;

// What a job moves after the boot, for the time it is said to take.
struct CJobSize
{
    int64_t nProgramBytes = 0;
    int64_t nReadBackBytes = 0;   // bytes verified or read back
};

// The depth that keeps the line busy through a round trip of dRoundTripMs at nBaudRate (the
// bytes the line carries meanwhile, and two more), never below nDepth nor above kMaxPipelineDepth.
int GetDepthForRoundTrip(double dRoundTripMs, int nBaudRate, int nDepth);

// Bytes a job echoes one by one, each paying the adapter's round trip: programming nBytes
// (each byte and the blocks' headers) and, with bVerify, reading them back (four bytes sent
// for every two read).
int64_t EstimateEchoedBytes(int64_t nProgramBytes, bool bVerify, int64_t nReadBytes);

// One line for the log when the timer stayed above 1 ms: its value and where it is set, what it
// costs for nEchoedBytes (0: not said), and the remedy of the platform (a udev rule, or the
// port's Advanced settings on Windows). "" when there is nothing to say.
std::string FormatLatencyAdvice(const CLatencyTimer& timer, int64_t nEchoedBytes);
int64_t EstimateEchoedBytes(const CJobSize& size);
// The seconds the job takes on a line of that round trip and speed, nDepth bytes ahead of their
// echoes (0 or 1: lock-step, every echoed byte pays the round trip).
double EstimateJobSeconds(const CJobSize& size, double dRoundTripMs, int nDepth, int nBaudRate);
// "Line round trip 0.35 ms per byte: about 12 s for this job", pipelined "Line round trip 17.02
// ms per byte, 103 bytes sent ahead: about 6 s for this job" (without the job when dSeconds is 0).
std::string FormatRoundTrip(double dRoundTripMs, int nDepth, double dSeconds);
// The detail line of a timer lowered for this session; "" for none.
std::string FormatLatencyLowered(const CLatencyTimer& timer);
