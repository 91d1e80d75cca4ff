#include "tools/imagewriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/fileaccess.h"

namespace
{
constexpr size_t kRecordBytes = 16;
constexpr uint8_t kTypeData = 0x00;
constexpr uint8_t kTypeEnd = 0x01;
constexpr uint8_t kTypeLinear = 0x04;

void AppendRecord(std::string& strText, uint8_t byType, uint16_t wAddress, const uint8_t* pData,
                  size_t nLength)
{
    char sz[16];
    unsigned nSum = static_cast<unsigned>(nLength) + (wAddress >> 8) + (wAddress & 0xFF) + byType;
    std::snprintf(sz, sizeof sz, ":%02X%04X%02X", static_cast<unsigned>(nLength), wAddress, byType);
    strText += sz;
    for (size_t i = 0; i < nLength; ++i) {
        std::snprintf(sz, sizeof sz, "%02X", pData[i]);
        strText += sz;
        nSum += pData[i];
    }
    std::snprintf(sz, sizeof sz, "%02X\r\n", (0x100 - (nSum & 0xFF)) & 0xFF);
    strText += sz;
}

std::string FolderOf(const std::string& strPath)
{
    const size_t nSlash = strPath.rfind('/');
    if (nSlash == std::string::npos)
        return ".";
    return nSlash == 0 ? "/" : strPath.substr(0, nSlash);
}
}   // namespace

std::string FormatIntelHex(uint32_t dwStart, const std::vector<uint8_t>& vecData)
{
    std::string strText;
    long nUpper = -1;
    size_t nDone = 0;
    while (nDone < vecData.size()) {
        const uint32_t dwAddress = dwStart + static_cast<uint32_t>(nDone);
        if (static_cast<long>(dwAddress >> 16) != nUpper) {
            nUpper = dwAddress >> 16;
            const uint8_t abyUpper[2] = {static_cast<uint8_t>(nUpper >> 8), static_cast<uint8_t>(nUpper)};
            AppendRecord(strText, kTypeLinear, 0, abyUpper, 2);
        }
        // A record never crosses a 64 KiB page: its address field has 16 bits.
        size_t nLength = std::min(kRecordBytes, vecData.size() - nDone);
        nLength = std::min<size_t>(nLength, 0x10000 - (dwAddress & 0xFFFF));
        AppendRecord(strText, kTypeData, static_cast<uint16_t>(dwAddress), vecData.data() + nDone, nLength);
        nDone += nLength;
    }
    AppendRecord(strText, kTypeEnd, 0, nullptr, 0);
    return strText;
}

bool IsBinaryPath(const std::string& strPath)
{
    if (strPath.size() < 4)
        return false;
    std::string strEnd = strPath.substr(strPath.size() - 4);
    for (char& ch : strEnd)
        ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    return strEnd == ".bin";
}

int WriteImageFile(const std::string& strPath, uint32_t dwStart, const std::vector<uint8_t>& vecData,
                   std::string& strError)
{
    const std::string strText = IsBinaryPath(strPath) ? std::string(vecData.begin(), vecData.end())
                                                      : FormatIntelHex(dwStart, vecData);
    const std::string strTemp = strPath + ".part" + std::to_string(GetOwnProcessId());
    std::FILE* pFile = std::fopen(strTemp.c_str(), "wb");
    if (pFile == nullptr) {
        strError = "cannot write " + strPath + ": " + std::strerror(errno);
        return -1;
    }
    const bool bWritten = std::fwrite(strText.data(), 1, strText.size(), pFile) == strText.size();
    const int nWriteErrno = errno;
    if (std::fclose(pFile) != 0 || !bWritten) {
        strError = "cannot write " + strPath + ": " + std::strerror(bWritten ? errno : nWriteErrno);
        std::remove(strTemp.c_str());
        return -1;
    }
    if (std::rename(strTemp.c_str(), strPath.c_str()) != 0) {
        strError = "cannot write " + strPath + ": " + std::strerror(errno);
        std::remove(strTemp.c_str());
        return -1;
    }
    return 0;
}

int CheckWritablePath(const std::string& strPath, std::string& strError)
{
    if (strPath.empty()) {
        strError = "the output file name is empty";
        return -1;
    }
    if (IsFolder(strPath)) {
        strError = strPath + " is a folder";
        return -1;
    }
    const std::string strFolder = FolderOf(strPath);
    if (CheckFolderWritable(strFolder) != 0) {
        strError = "cannot write into " + strFolder + ": " + std::strerror(errno);
        return -1;
    }
    return 0;
}
