// One board's part of a run: connect as the window does, then info, sectors, erase, flash or
// read, then disconnect. Owns its link and its image: nothing is shared with other boards.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/targetlink.h"
#include "tools/clioptions.h"
#include "tools/portchoice.h"

class CConsole;
class CHexFile;

struct CBoardResult
{
    std::string strPort;        // as the operator knows it
    std::string strOperation;   // the command
    bool bOk = false;
    bool bInterrupted = false;   // Ctrl-C; strError says where it stopped
    std::string strError;        // what failed: the link's text or the tool's message
    int64_t nBytes = 0;          // bytes programmed, read or erased, once done
    double dSeconds = 0;
};

class CBoardJob
{
public:
    // strPrefix goes before every line of this board ("" when it is the only one);
    // strOutput is this board's output file of the read command.
    CBoardJob(const CCliOptions& options, const CBoardPort& port, const std::string& strOutput,
              CConsole& console, const std::string& strPrefix);
    ~CBoardJob();
    CBoardJob(const CBoardJob&) = delete;
    CBoardJob& operator=(const CBoardJob&) = delete;

    CBoardResult Run();

private:
    int LoadImage();
    int ConnectBoard();
    int FailConnect(const char* pszClosedLine);
    int RunOperation();
    int ShowInfo();
    int ShowSectors();
    int QuerySectorCount();
    int Erase(EEraseMode eMode);
    int EraseSectorList(const std::vector<int>& vecSectors);
    int Flash();
    int Verify();
    int Read();
    int LoseConnection();
    void Disconnect();
    int Refuse(const std::string& strError);   // a check failed while connected: disconnect, -1
    void Fail(const std::string& strError);    // note and show the error
    void ReportOpenFailure();

    const CCliOptions& m_options;
    CBoardPort m_port;
    std::string m_strOutput;
    CConsole& m_console;
    std::string m_strPrefix;
    CTargetLink m_link;
    std::unique_ptr<CHexFile> m_pImage;
    std::string m_strStep;     // the step under way, e.g. "programming"
    int m_nStopPercent = -1;   // how far the step's progress had come when Ctrl-C ended it
    int64_t m_nErasedBytes = 0;
    int m_nSectorCount = 0;
    CBoardResult m_result;
};
