#include "ui/mainwindowtext.h"

#include <cstdio>

void AppendLogLine(std::string& strLog, const std::string& strLine)
{
    strLog += strLine;
    strLog += "\r\n";
}

std::string FormatCpuIdLine(int nCpuId)
{
    char szLine[32];
    std::snprintf(szLine, sizeof szLine, "CPU returned ID: %2X", static_cast<unsigned>(nCpuId) & 0xFFu);
    return szLine;
}

std::string FlasherFileForChip(int nChipIndex, const std::string& strCurrent)
{
    static const char* const kFlasherFiles[] = {"main.h86", "mainnex.h86", "mainamd.h86"};
    if (nChipIndex < 0 || nChipIndex >= 3)
        return strCurrent;
    return kFlasherFiles[nChipIndex];
}

std::string LoaderPath(const std::string& strWorkDir, const std::string& strFile)
{
    return strWorkDir + "/" + strFile;
}
