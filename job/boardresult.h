// What one board's run came to: the facts its record and its JSON object are made of.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

struct CBoardResult
{
    std::string strPort;        // as the operator knows it
    std::string strSerial;      // the adapter's serial number; "" where unknown
    std::string strOperation;   // the command
    std::string strVersion;     // the tool's
    std::time_t tStarted = 0;   // UTC
    std::time_t tEnded = 0;
    std::string strImage;         // the image path of flash and erase --image
    int64_t nImageSize = -1;      // the image file's bytes; -1 unknown
    std::string strImageSha256;   // of the image file's bytes
    std::string strErase;         // "chip", "sectors", "image", "none"; "" for commands that erase nothing
    std::vector<int> vecSectorsErased;
    bool bVerified = false;
    bool bOk = false;
    bool bInterrupted = false;   // stopped; strError says where
    std::string strError;        // what failed: the link's text or the tool's message
    bool bDifference = false;    // a verification found a byte that differs
    uint32_t dwFirstDifference = 0;
    int64_t nBytes = 0;   // bytes programmed, read or erased, once done
    double dSeconds = 0;
    double dRoundTripMs = 0;   // per echoed byte, as the connection test measured it; 0 before
    bool bInfoRead = false;    // info: the flasher program's text is in strInfo
    std::string strInfo;
    int nSectorsListed = -1;   // sectors: the sectors the board has; -1 not listed
};

// Text as a JSON string literal, quotes included.
std::string JsonString(const std::string& strText);
