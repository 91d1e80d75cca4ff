#include "tools/station.h"

#include "tools/cliapp.h"
#include "tools/console.h"
#include "tools/interrupt.h"
#include "tools/portwatch.h"

void CStation::Say(const std::string& strLine)
{
    if (m_bJson)
        m_console.Log("", strLine);
    else
        m_console.Result(strLine);
}

int CStation::Run(const CBoardRequest& request, const std::vector<CBoardPort>& vecPorts,
                  const std::shared_ptr<const CHexFile>& pImage, bool bWatchPorts,
                  const FnMakeSink& fnMakeSink, const FnBoardDone& fnBoardDone, const FnRecord& fnRecord)
{
    int nBoard = 0;
    int nPassed = 0;
    int nFailed = 0;
    bool bInterrupted = false;
    do {
        const std::vector<CBoardResult> vecResults =
            RunBoards(request, vecPorts, "", fnMakeSink, pImage, fnBoardDone);
        if (fnRecord(vecResults) != 0)
            m_bFailed = true;
        for (const CBoardResult& result : vecResults) {
            ++(result.bOk ? nPassed : nFailed);
            bInterrupted = bInterrupted || result.bInterrupted;
            Say("Board " + std::to_string(++nBoard) +
                (vecPorts.size() > 1 ? " on " + result.strPort : std::string()) + ": " +
                (result.bOk            ? "passed"
                 : result.bInterrupted ? "interrupted"
                                       : "failed") +
                " (" + std::to_string(nPassed) + " passed, " + std::to_string(nFailed) + " failed)");
        }
    } while (!IsInterrupted() && WaitForNextBoard(vecPorts, bWatchPorts) == 0);
    Say("Station: " + std::to_string(nBoard) + (nBoard == 1 ? " board, " : " boards, ") +
        std::to_string(nPassed) + " passed, " + std::to_string(nFailed) + " failed");
    return bInterrupted               ? CCliApp::kExitInterrupted
           : nFailed > 0 || m_bFailed ? CCliApp::kExitFailure
                                      : CCliApp::kExitOk;
}

int CStation::WaitForNextBoard(const std::vector<CBoardPort>& vecPorts, bool bWatchPorts)
{
    if (!bWatchPorts) {
        m_console.Error("", "Next board: reset it (or plug it in) and press Enter");
        bool bInputEnded = false;
        return WaitForEnter(&bInputEnded) == 0 && !bInputEnded ? 0 : -1;
    }
    std::vector<std::string> vecPaths;
    std::string strNames;
    for (const CBoardPort& port : vecPorts) {
        vecPaths.push_back(port.strDevicePath);
        strNames += (strNames.empty() ? "" : ", ") + port.strName;
    }
    // Watched before it is said, so that a board changed at once is not missed.
    CPortWatch watch;
    std::string strError;
    if (watch.Watch(vecPaths, strError) == 0) {
        m_console.Log("", "Next board: waiting for " + strNames +
                              " to go and come back (unplug and plug in; Ctrl-C to stop)");
        if (watch.WaitGoneAndBack(strError) == 0)
            return 0;
    }
    if (!IsInterrupted()) {
        m_console.Error("", "kelvora-cli flash: " + strError);
        m_bFailed = true;
    }
    return -1;
}
