// What the command line asked for, and the checks that need no board.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "job/boardfacts.h"
#include "job/boardjob.h"

enum class ECommand
{
    None,
    Ports,
    HexInfo,
    Info,
    Sectors,
    Erase,
    Flash,
    Read,
    Verify
};

struct CCliOptions
{
    ECommand eCommand = ECommand::None;
    // Connection
    std::vector<std::string> vecPorts;   // shown names or device paths, as given
    bool bPortGiven = false;             // --port was given, possibly empty
    int nBaudRate = kSpeeds[kDefaultSpeedIndex];
    std::string strFlashChip = kFlashChips[0].pszName;   // a name of kFlashChips
    std::string strDir = ".";                            // folder of the loader files
    bool bNoPrompt = false;
    bool bPipelineGiven = false;   // --pipeline, with or without a depth
    std::string strPipeline;       // its depth as given; empty: the default
    int nPipelineDepth = 0;        // set by ValidateOptions; 0 lock-step
    std::string strRecord;         // --record: the file each board's record line is appended to
    // Output
    bool bQuiet = false;
    bool bVerbose = false;
    bool bJson = false;
    // hexinfo FILE, flash FILE, verify FILE; a raw .bin image is placed from --start on
    std::string strFile;
    uint32_t dwImageStart = 0;
    bool bDump = false;
    // erase
    bool bEraseChip = false;
    std::vector<std::string> vecSectorArgs;
    bool bSectorGiven = false;
    std::string strEraseImage;
    std::vector<int> vecSectors;   // parsed from vecSectorArgs
    // flash
    std::string strFlashErase = "image";   // chip, image or none
    bool bNoVerify = false;
    bool bRepeat = false;   // a station: board after board until Ctrl-C
    // read; flash and verify of a .bin
    std::string strStart;
    std::string strLength;
    std::string strOutput;
    uint32_t dwReadStart = 0;
    uint32_t nReadLength = 0;

    EEraseMode eEraseMode = EEraseMode::None;   // set by ValidateOptions

    const char* GetCommandName() const;
    // What each board's job does; the write of a read-back image is the caller's.
    CBoardRequest GetBoardRequest() const;
    // The image a command programs or erases by ("" for none).
    std::string GetImagePath() const;
    // flash or verify of a .bin: raw bytes placed from --start on.
    bool IsRawImage() const;
    bool TakesSeveralPorts() const;
    bool Connects() const;
};

// The checks that need no board and no file: combinations, sector numbers, the read range.
// Sets vecSectors, eEraseMode, dwReadStart, nReadLength and dwImageStart. 0, or -1 with the reason.
int ValidateOptions(CCliOptions& options, std::string& strError);
