#include "job/imagewriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hex/hexwriter.h"
#include "job/fileaccess.h"

namespace
{
std::string FolderOf(const std::string& strPath)
{
    const size_t nSlash = strPath.rfind('/');
    if (nSlash == std::string::npos)
        return ".";
    return nSlash == 0 ? "/" : strPath.substr(0, nSlash);
}
}   // namespace

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
    std::string strText;
    if (IsBinaryPath(strPath)) {
        strText.assign(vecData.begin(), vecData.end());
    } else {
        // 16 bytes per record from dwStart on, extended linear address records, CR LF.
        CHexWriter writer(EHexAddressing::Linear, 16, true, 0, false);
        if (writer.AddData(dwStart, vecData) != 0) {
            strError = "cannot write " + strPath + ": the addresses pass 0xFFFFFFFF";
            return -1;
        }
        strText = writer.GetText();
    }
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

std::string GetBoardOutputPath(const std::string& strOutput, const std::string& strPort)
{
    // The whole path tells two boards apart ("slotA/tty", "slotB/tty"); "/dev/" says nothing.
    std::string strName = strPort.rfind("/dev/", 0) == 0 ? strPort.substr(5) : strPort;
    for (char& ch : strName)
        if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-' ||
              ch == '_'))
            ch = '_';
    strName.erase(0, strName.find_first_not_of('_'));
    const size_t nSlash = strOutput.rfind('/');
    const size_t nDot = strOutput.rfind('.');
    if (nDot == std::string::npos || (nSlash != std::string::npos && nDot < nSlash) || nDot == nSlash + 1 ||
        nDot == 0)
        return strOutput + "-" + strName;
    return strOutput.substr(0, nDot) + "-" + strName + strOutput.substr(nDot);
}
