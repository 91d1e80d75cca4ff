// What one board's run came to, and its JSON object.
#pragma once

#include <cstdint>
#include <string>

struct CBoardResult
{
    std::string strPort;        // as the operator knows it
    std::string strOperation;   // the command
    bool bOk = false;
    bool bInterrupted = false;   // stopped; strError says where
    std::string strError;        // what failed: the link's text or the tool's message
    int64_t nBytes = 0;          // bytes programmed, read or erased, once done
    double dSeconds = 0;
    double dRoundTripMs = 0;   // per echoed byte, as the connection test measured it; 0 before
};

// {"port":...,"operation":...,"result":"ok"|"failed"|"interrupted","error":...,"bytes":N,"seconds":S.SSS,
//  "round_trip_ms":R.RRR}
std::string FormatJson(const CBoardResult& result);

// Text as a JSON string literal, quotes included.
std::string JsonString(const std::string& strText);
