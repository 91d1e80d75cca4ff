#include "ui/boardaccess.h"

#include "job/jobtexts.h"
#include "ui/boardworker.h"
#include "ui/messagebox.h"
#include "ui/windowsink.h"

namespace
{
constexpr const char* kStopQuestion =
    "Stop the run? It ends after the exchange with the board under way, and the board is disconnected.";
}   // namespace

COperationRecord::COperationRecord(const std::string& strOperation)
    : m_tpStart(std::chrono::steady_clock::now())
{
    m_result.strOperation = strOperation;
    m_result.tStarted = std::time(nullptr);
}

void COperationRecord::Finish(ESessionOutcome eOutcome, const CBoardSession& session,
                              const std::string& strKept)
{
    m_result.tEnded = std::time(nullptr);
    m_result.dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_tpStart).count();
    m_result.dRoundTripMs = session.GetRoundTripMs();
    m_result.bOk = eOutcome == ESessionOutcome::Done;
    std::string strError = strKept;
    auto fnAdd = [&strError](const std::string& strText) {
        if (!strText.empty())
            strError += (strError.empty() ? "" : "; ") + strText;
    };
    if (eOutcome == ESessionOutcome::Stopped) {
        m_result.bInterrupted = true;
        strError = "Interrupted: " + session.GetStopText();
    } else if (eOutcome == ESessionOutcome::LinkLost) {
        fnAdd(session.GetErrorText());
        fnAdd(session.GetFailureDetail());
        fnAdd(kTextLostConnection);
    }
    m_result.strError = strError;
}

void RunDialogOperation(const CBoardAccess& board, QWidget* pDialog, CMessageBoxes* pBoxes,
                        const std::function<void()>& fnWork)
{
    board.pSink->SetErrorsToLog(false);
    board.pSink->SetStepFailureBoxes(pBoxes, pDialog);
    board.pSink->ClearErrors();
    board.pWorker->Run(pDialog, nullptr, fnWork);
}

bool AskToStopRun(CBoardWorker& worker, CMessageBoxes& boxes, QWidget* pWindow)
{
    if (!worker.IsRunning() || worker.IsStopRequested())
        return worker.IsStopRequested();
    if (!boxes.AskYesNo(pWindow, kStopQuestion, "Stop"))
        return false;
    worker.RequestStop();
    return true;
}
