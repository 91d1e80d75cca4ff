#include "job/boardrecord.h"

#include <cstdio>

#include "job/boardfacts.h"

namespace
{
std::string StringOrNull(const std::string& strText)
{
    return strText.empty() ? "null" : JsonString(strText);
}

std::string SectorObjects(int nSectors)
{
    std::string strList;
    for (int i = 0; i < nSectors; ++i) {
        const uint32_t dwStart = static_cast<uint32_t>(i) * kSectorSize;
        strList += std::string(i > 0 ? "," : "") + "{\"number\":" + std::to_string(i) +
                   ",\"start\":" + std::to_string(dwStart) +
                   ",\"end\":" + std::to_string(dwStart + kSectorSize - 1) + ",\"status\":\"unknown\"}";
    }
    return "[" + strList + "]";
}
}   // namespace

std::string FormatUtcTime(std::time_t tTime)
{
    // The civil date of a day count (days since 1970-01-01), without the C library's time zone state.
    const int64_t nSeconds = static_cast<int64_t>(tTime);
    int64_t nDays = nSeconds / 86400;
    int64_t nOfDay = nSeconds % 86400;
    if (nOfDay < 0) {
        nOfDay += 86400;
        --nDays;
    }
    nDays += 719468;
    const int64_t nEra = (nDays >= 0 ? nDays : nDays - 146096) / 146097;
    const int64_t nDayOfEra = nDays - nEra * 146097;
    const int64_t nYearOfEra = (nDayOfEra - nDayOfEra / 1460 + nDayOfEra / 36524 - nDayOfEra / 146096) / 365;
    const int64_t nDayOfYear = nDayOfEra - (365 * nYearOfEra + nYearOfEra / 4 - nYearOfEra / 100);
    const int64_t nMonthIndex = (5 * nDayOfYear + 2) / 153;
    const int64_t nDay = nDayOfYear - (153 * nMonthIndex + 2) / 5 + 1;
    const int64_t nMonth = nMonthIndex < 10 ? nMonthIndex + 3 : nMonthIndex - 9;
    const int64_t nYear = nYearOfEra + nEra * 400 + (nMonth <= 2 ? 1 : 0);
    char sz[96];
    std::snprintf(sz, sizeof sz, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(nYear),
                  static_cast<long long>(nMonth), static_cast<long long>(nDay),
                  static_cast<long long>(nOfDay / 3600), static_cast<long long>(nOfDay / 60 % 60),
                  static_cast<long long>(nOfDay % 60));
    return sz;
}

std::string FormatRecord(const CBoardResult& result)
{
    std::string strSectors;
    for (int nSector : result.vecSectorsErased)
        strSectors += (strSectors.empty() ? "" : ",") + std::to_string(nSector);
    char szNumbers[96];
    std::snprintf(szNumbers, sizeof szNumbers, "\"seconds\":%.3f,\"bytes\":%lld,\"round_trip_ms\":%.3f",
                  result.dSeconds, static_cast<long long>(result.nBytes), result.dRoundTripMs);
    const char* pszResult = result.bOk ? "ok" : result.bInterrupted ? "interrupted" : "failed";
    std::string strLine =
        "{\"started\":\"" + FormatUtcTime(result.tStarted) + "\",\"ended\":\"" +
        FormatUtcTime(result.tEnded) + "\",\"version\":" + JsonString(result.strVersion) +
        ",\"operation\":" + JsonString(result.strOperation) + ",\"port\":" + StringOrNull(result.strPort) +
        ",\"serial\":" + StringOrNull(result.strSerial) + ",\"image\":" + StringOrNull(result.strImage) +
        ",\"image_size\":" + (result.nImageSize < 0 ? "null" : std::to_string(result.nImageSize)) +
        ",\"image_sha256\":" + StringOrNull(result.strImageSha256) +
        ",\"erase\":" + StringOrNull(result.strErase) + ",\"sectors_erased\":[" + strSectors +
        "],\"verified\":" + (result.bVerified ? "true" : "false") + ",\"result\":\"" + pszResult +
        "\",\"error\":" + JsonString(result.strError) +
        ",\"first_difference\":" + (result.bDifference ? std::to_string(result.dwFirstDifference) : "null") +
        "," + szNumbers;
    if (result.bInfoRead)
        strLine += ",\"info\":" + JsonString(result.strInfo);
    if (result.nSectorsListed >= 0)
        strLine += ",\"sectors\":" + SectorObjects(result.nSectorsListed);
    return strLine + "}";
}
