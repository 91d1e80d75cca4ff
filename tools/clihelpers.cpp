#include "tools/clihelpers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "hex/hexfile.h"

namespace
{
std::string Hex6(uint64_t nValue)
{
    char sz[24];
    std::snprintf(sz, sizeof sz, "0x%06llX", static_cast<unsigned long long>(nValue));
    return sz;
}

bool IsDecimal(const std::string& str)
{
    return !str.empty() &&
           std::all_of(str.begin(), str.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}
}   // namespace

const std::vector<int>& GetSpeedList()
{
    static const std::vector<int> vecSpeeds = {1200, 2400, 4800, 9600, 19200, 38400, 57600};
    return vecSpeeds;
}

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

int64_t FindDuplicateAddress(const CHexFile& image)
{
    for (const HexItem* p = image.m_pFirst; p != nullptr && p->pNext != nullptr; p = p->pNext)
        if (p->pNext->dwAddress == p->dwAddress)
            return p->dwAddress;
    return -1;
}

int CheckImageAgainstChip(const CHexFile& image, int nSectors, std::string& strError)
{
    const uint64_t nChipEnd = static_cast<uint64_t>(std::max(nSectors, 0)) * kSectorSize;
    for (const HexItem* p = image.m_pFirst; p != nullptr; p = p->pNext) {
        if (p->dwAddress >= nChipEnd) {
            strError = "the image writes address " + Hex6(p->dwAddress) + ", beyond the flash (" +
                       std::to_string(nSectors) + " sectors of 32 KiB" +
                       (nChipEnd > 0 ? ", up to " + Hex6(nChipEnd - 1) : std::string()) + ")";
            return -1;
        }
    }
    const int64_t nDuplicate = FindDuplicateAddress(image);
    if (nDuplicate >= 0) {
        strError = "the image writes address " + Hex6(static_cast<uint64_t>(nDuplicate)) + " twice";
        return -1;
    }
    return 0;
}

std::vector<int> GetSectorsTouched(const CHexFile& image)
{
    std::vector<int> vecSectors;
    for (const HexItem* p = image.m_pFirst; p != nullptr; p = p->pNext) {
        const int nSector = static_cast<int>(p->dwAddress / kSectorSize);
        if (vecSectors.empty() || vecSectors.back() != nSector)
            vecSectors.push_back(nSector);
    }
    return vecSectors;
}

int CountRuns(const CHexFile& image)
{
    int nRuns = 0;
    const HexItem* pPrevious = nullptr;
    for (const HexItem* p = image.m_pFirst; p != nullptr; pPrevious = p, p = p->pNext)
        if (pPrevious == nullptr || p->dwAddress != pPrevious->dwAddress + 1)
            ++nRuns;
    return nRuns;
}

std::string FormatSectorLine(int nSector, bool bDeleted)
{
    char szLine[80];
    const unsigned nFirst = static_cast<unsigned>(nSector) * kSectorSize;
    std::snprintf(szLine, sizeof szLine, "Sector #%d\t0x%06X - 0x%06X\t%s", nSector, nFirst,
                  nFirst + kSectorSize - 1, bDeleted ? "deleted" : "unknown");
    return szLine;
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

std::string GetShownPortName(const std::string& strFriendlyName)
{
    if (strFriendlyName.size() <= 6)
        return strFriendlyName;
    const size_t nOpen = strFriendlyName.rfind('(');
    const size_t nClose = strFriendlyName.rfind(')');
    if (nOpen == std::string::npos || nClose == std::string::npos || nClose < nOpen + 2)
        return strFriendlyName;
    return strFriendlyName.substr(nOpen + 1, nClose - nOpen - 1);
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

std::string GetBoardOutputPath(const std::string& strOutput, const std::string& strPort)
{
    std::string strName =
        strPort.substr(strPort.rfind('/') == std::string::npos ? 0 : strPort.rfind('/') + 1);
    for (char& ch : strName)
        if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-' ||
              ch == '_'))
            ch = '_';
    const size_t nSlash = strOutput.rfind('/');
    const size_t nDot = strOutput.rfind('.');
    if (nDot == std::string::npos || (nSlash != std::string::npos && nDot < nSlash) || nDot == nSlash + 1 ||
        nDot == 0)
        return strOutput + "-" + strName;
    return strOutput.substr(0, nDot) + "-" + strName + strOutput.substr(nDot);
}

std::string GetPermissionRemedy(const std::string& strDevice, const std::string& strGroup)
{
    if (strGroup.empty())
        return "You may not open " + strDevice + ": ask for access to it, then log in again.";
    return strDevice + " is open to the group '" + strGroup + "': join it with 'sudo usermod -aG " +
           strGroup + " $USER', then log out and in again.";
}
