// The boot chain: open the port and load the loader files, wake the bootstrap loader, send
// the bootstrap code, the first stage loader and the flasher program, test the connection;
// each step with its log lines and progress.
#pragma once

#include <cstdint>
#include <string>

#include "job/adapteradvice.h"
#include "job/boardfacts.h"

class CJobSink;
class CTargetLink;

struct CBootSettings
{
    std::string strPort;   // the device path the link opens
    int nBaudRate = 57600;
    std::string strLoaderDir;   // folder of the loader files
    std::string strBslFile = kBslFile;
    std::string strFirstLoaderFile = kFirstLoaderFile;
    std::string strFlasherFile = kFlashChips[0].pszFlasherFile;   // the flash chip's flasher program
    std::string strBoardName;
    CJobSize job;   // what the job after the boot moves, for the time it is said to take
    // Bytes the link may send ahead of their echoes (CTargetLink::SetPipelineDepth); 0 lock-step.
    int nPipelineDepth = 0;
    // Pipelined: deepen after the connection test where its round trip needs more bytes in flight.
    bool bDepthFromLine = false;
};

// Before the operator is asked to reset the board: whether the port opens and the loader files
// load, as the chain's first step finds them, on a link of its own that is closed again. 0, or -1
// with the failure and kTextCannotConnect reported (no closing line: the chain never began).
int CheckBootInputs(const CBootSettings& settings, CJobSink& sink);

// The first of the chain's files (bootstrap code, first stage loader, flasher program) that
// cannot be read in strLoaderDir; empty when all of them can.
std::string FindMissingLoaderFile(const CBootSettings& settings);

// Runs the chain on a fresh link. 0 when the flasher program answers; -1 when a step failed:
// the link is closed and its failure and the closing line are reported; the caller then says
// that it cannot connect, in its own way (kTextCannotConnect). Once it answered, the link
// knows the line's round trip (CTargetLink::GetRoundTripMs).
int RunBootChain(CTargetLink& link, const CBootSettings& settings, CJobSink& sink);
