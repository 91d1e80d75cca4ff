#include "tools/clihelpers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "job/boardfacts.h"

namespace
{
bool IsDecimal(const std::string& str)
{
    return !str.empty() &&
           std::all_of(str.begin(), str.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}
}   // namespace

int ParseSectorList(const std::vector<std::string>& vecArgs, std::vector<int>& vecSectors,
                    std::string& strError)
{
    vecSectors.clear();
    if (vecArgs.empty()) {
        strError = "no sector number given";
        return -1;
    }
    for (const std::string& strArg : vecArgs) {
        size_t nPos = 0;
        while (true) {
            const size_t nComma = strArg.find(',', nPos);
            const std::string strPart =
                strArg.substr(nPos, nComma == std::string::npos ? nComma : nComma - nPos);
            if (strPart.empty()) {
                strError = "empty sector number in '" + strArg + "'";
                return -1;
            }
            if (!IsDecimal(strPart) || strPart.size() > 3 || std::stoi(strPart) > kMaxSectorNumber) {
                strError =
                    "'" + strPart + "' is no sector number (0.." + std::to_string(kMaxSectorNumber) + ")";
                return -1;
            }
            vecSectors.push_back(std::stoi(strPart));
            if (nComma == std::string::npos)
                break;
            nPos = nComma + 1;
        }
    }
    std::sort(vecSectors.begin(), vecSectors.end());
    vecSectors.erase(std::unique(vecSectors.begin(), vecSectors.end()), vecSectors.end());
    return 0;
}

int ParseAddress(const std::string& strText, uint32_t dwMax, uint32_t& dwValue)
{
    std::string strDigits = strText;
    int nBase = 10;
    if (strText.size() > 2 && strText[0] == '0' && (strText[1] == 'x' || strText[1] == 'X')) {
        strDigits = strText.substr(2);
        nBase = 16;
    }
    if (strDigits.empty() || strDigits.size() > 10)
        return -1;
    uint64_t nValue = 0;
    for (char ch : strDigits) {
        int nDigit;
        if (ch >= '0' && ch <= '9')
            nDigit = ch - '0';
        else if (nBase == 16 && ch >= 'a' && ch <= 'f')
            nDigit = ch - 'a' + 10;
        else if (nBase == 16 && ch >= 'A' && ch <= 'F')
            nDigit = ch - 'A' + 10;
        else
            return -1;
        nValue = nValue * nBase + nDigit;
    }
    if (nValue > dwMax)
        return -1;
    dwValue = static_cast<uint32_t>(nValue);
    return 0;
}

std::string FormatDuration(double dSeconds)
{
    long nSeconds = dSeconds > 0 ? static_cast<long>(std::ceil(dSeconds)) : 0;
    char sz[32];
    if (nSeconds >= 3600)
        std::snprintf(sz, sizeof sz, "%ld:%02ld:%02ld", nSeconds / 3600, nSeconds / 60 % 60, nSeconds % 60);
    else
        std::snprintf(sz, sizeof sz, "%ld:%02ld", nSeconds / 60, nSeconds % 60);
    return sz;
}

std::string FormatProgressLine(const std::string& strLabel, int nPercent, int64_t nTotalBytes,
                               double dElapsedSeconds, int nBarWidth)
{
    nPercent = std::max(0, std::min(nPercent, 100));
    const double dDone = static_cast<double>(nTotalBytes) * nPercent / 100.0;
    char sz[160];
    std::string strLine = strLabel;
    if (strLine.size() < 16)
        strLine.resize(16, ' ');
    if (nBarWidth > 0) {
        const int nFilled = nPercent * nBarWidth / 100;
        strLine += " [" + std::string(nFilled, '#') + std::string(nBarWidth - nFilled, '-') + "]";
    }
    auto amount = [](double dBytes) {
        char szAmount[32];
        if (dBytes < 1024)
            std::snprintf(szAmount, sizeof szAmount, "%.0f B", dBytes);
        else
            std::snprintf(szAmount, sizeof szAmount, "%.1f KiB", dBytes / 1024);
        return std::string(szAmount);
    };
    std::snprintf(sz, sizeof sz, " %3d%%  %s/%s", nPercent, amount(dDone).c_str(),
                  amount(static_cast<double>(nTotalBytes)).c_str());
    strLine += sz;
    // A rate needs a little time and a little progress to mean something.
    if (dElapsedSeconds >= 0.2 && dDone > 0) {
        const double dRate = dDone / dElapsedSeconds;
        strLine += "  " + amount(dRate) + "/s";
        if (nPercent < 100)
            strLine += "  " + FormatDuration((static_cast<double>(nTotalBytes) - dDone) / dRate) + " left";
    }
    return strLine;
}

std::string GetPermissionRemedy(const std::string& strDevice, const std::string& strGroup)
{
    if (strGroup.empty())
        return "You may not open " + strDevice + ": ask for access to it, then log in again.";
    return strDevice + " is open to the group '" + strGroup + "': join it with 'sudo usermod -aG " +
           strGroup + " $USER', then log out and in again.";
}
