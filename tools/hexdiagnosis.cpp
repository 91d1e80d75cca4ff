#include "tools/hexdiagnosis.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace
{
// A record and its line end must fit one read of 299 characters (see CHexFile).
constexpr size_t kMaxRead = 299;
constexpr size_t kMinRecord = 11;   // start code, count, address, type, checksum

int DigitValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

std::string Hex2(unsigned nValue)
{
    char sz[8];
    std::snprintf(sz, sizeof sz, "0x%02X", nValue & 0xFFu);
    return sz;
}

std::string ShowChar(char ch)
{
    const unsigned char by = static_cast<unsigned char>(ch);
    if (by >= 0x21 && by < 0x7F)
        return std::string("'") + ch + "'";
    char sz[16];
    std::snprintf(sz, sizeof sz, "0x%02X", by);
    return by == ' ' ? "a blank" : by == '\t' ? "a tab" : std::string("the byte ") + sz;
}

// The reason one record (line end cut off) is not valid; "" when it is.
std::string CheckLine(const std::string& strLine)
{
    if (strLine.empty())
        return "blank line";
    if (strLine[0] != ':')
        return "does not begin with ':' but with " + ShowChar(strLine[0]);
    if (strLine.size() < kMinRecord)
        return "too short for a record (" + std::to_string(strLine.size()) + " characters, at least 11)";
    for (size_t i = 1; i < strLine.size(); ++i)
        if (DigitValue(strLine[i]) < 0)
            return "column " + std::to_string(i + 1) + ": " + ShowChar(strLine[i]) +
                   " is no upper-case hexadecimal digit";
    auto pair = [&](size_t i) {
        return static_cast<unsigned>(DigitValue(strLine[i]) * 16 + DigitValue(strLine[i + 1]));
    };
    const unsigned nCount = pair(1);
    if (strLine.size() != 2 * nCount + kMinRecord)
        return "byte count " + Hex2(nCount) + " needs " + std::to_string(2 * nCount + kMinRecord) +
               " characters, the line has " + std::to_string(strLine.size());
    const std::string strType = strLine.substr(7, 2);
    if (strType != "00" && strType != "01" && strType != "02" && strType != "04")
        return "record type " + strType + " is not one of 00, 01, 02, 04";
    unsigned nSum = 0;
    for (size_t i = 1; i + 2 < strLine.size(); i += 2)
        nSum += pair(i);
    const unsigned nNeeded = (0x100 - (nSum & 0xFF)) & 0xFF;
    const unsigned nGiven = pair(strLine.size() - 2);
    if (nGiven != nNeeded)
        return "checksum is " + Hex2(nGiven) + ", the record needs " + Hex2(nNeeded);
    return "";
}
}   // namespace

std::string DiagnoseHexFile(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    if (!file)
        return "cannot be opened: " + std::string(std::strerror(errno));
    std::stringstream buffer;
    buffer << file.rdbuf();
    const std::string strText = buffer.str();

    size_t nPos = 0;
    for (int nLine = 1; nPos < strText.size(); ++nLine) {
        const size_t nLf = strText.find('\n', nPos);
        const size_t nEnd = nLf == std::string::npos ? strText.size() : nLf;
        const size_t nRead = nEnd - nPos + (nLf == std::string::npos ? 0 : 1);
        const std::string strWhere = "line " + std::to_string(nLine) + ": ";
        if (nRead > kMaxRead)
            return strWhere + "longer than a record may be (" + std::to_string(nEnd - nPos) +
                   " characters; at most 297, or 299 on a last line without line end)";
        std::string strLine = strText.substr(nPos, nEnd - nPos);
        // Only CR characters may stand between a record and its LF.
        while (!strLine.empty() && strLine.back() == '\r')
            strLine.pop_back();
        const std::string strReason = CheckLine(strLine);
        if (!strReason.empty())
            return strWhere + strReason;
        nPos = nEnd + 1;
    }
    return "";
}
