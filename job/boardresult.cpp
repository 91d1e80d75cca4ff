#include "job/boardresult.h"

#include <cstdio>

std::string FormatJson(const CBoardResult& result)
{
    char szSeconds[80];
    std::snprintf(szSeconds, sizeof szSeconds, "%.3f,\"round_trip_ms\":%.3f", result.dSeconds,
                  result.dRoundTripMs);
    const char* pszResult = result.bOk ? "ok" : result.bInterrupted ? "interrupted" : "failed";
    return "{\"port\":" + JsonString(result.strPort) + ",\"operation\":" + JsonString(result.strOperation) +
           ",\"result\":\"" + pszResult + "\",\"error\":" + JsonString(result.strError) +
           ",\"bytes\":" + std::to_string(result.nBytes) + ",\"seconds\":" + szSeconds + "}";
}

std::string JsonString(const std::string& strText)
{
    std::string strOut = "\"";
    for (unsigned char ch : strText) {
        if (ch == '"' || ch == '\\') {
            strOut += '\\';
            strOut += static_cast<char>(ch);
        } else if (ch < 0x20) {
            char sz[8];
            std::snprintf(sz, sizeof sz, "\\u%04x", ch);
            strOut += sz;
        } else {
            strOut += static_cast<char>(ch);
        }
    }
    return strOut + "\"";
}
