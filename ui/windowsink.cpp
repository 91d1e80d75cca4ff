#include "ui/windowsink.h"

#include <QProgressBar>

#include <algorithm>

#include "ui/boardworker.h"
#include "ui/messagebox.h"

// One step's bar: positions go to the window's thread when they change; a stop asked for meanwhile
// ends the step here, after the exchange that reported.
class CWindowSink::CProgress : public CProgressSink
{
public:
    CProgress(CWindowSink& sink, const CJobStep& step)
        : m_sink(sink), m_eBar(step.eBar), m_nFirstPos(step.nFirstPos)
    {}

    void SetProgress(int nPos) override
    {
        m_nPos = nPos;
        if (m_sink.m_worker.IsStopRequested())
            throw CJobStopped();
        if (nPos != m_nShown) {
            m_nShown = nPos;
            m_sink.PostBar(m_eBar, nPos, true);
        }
    }

    // How far the step came, in percent of its own part of the bar.
    int GetPercent() const
    {
        if (m_nPos < 0 || m_nFirstPos >= 100)
            return 0;
        return std::clamp((m_nPos - m_nFirstPos) * 100 / (100 - m_nFirstPos), 0, 100);
    }

private:
    CWindowSink& m_sink;
    EJobBar m_eBar;
    int m_nFirstPos;
    int m_nPos = -1;
    int m_nShown = -1;
};

CWindowSink::CWindowSink(CBoardWorker& worker) : m_worker(worker) {}

CWindowSink::~CWindowSink() = default;

void CWindowSink::SetStepFailureBoxes(CMessageBoxes* pBoxes, QWidget* pParent)
{
    m_pBoxes = pBoxes;
    m_pBoxParent = pParent;
}

void CWindowSink::Log(const std::string& strLine)
{
    if (m_fnLog)
        m_worker.Post([fnLog = m_fnLog, strLine] { fnLog(strLine); });
}

void CWindowSink::Error(const std::string& strText)
{
    if (m_bErrorsToLog)
        Log(strText);
}

void CWindowSink::StepLine(const std::string&)
{
    // The window's dialogs show their steps themselves; its log keeps the lines it always had.
}

void CWindowSink::Measured(const std::string& strLine)
{
    if (m_bShowMeasured)
        Log(strLine);
}

void CWindowSink::StepFailed(const std::string& strText)
{
    if (m_pBoxes != nullptr) {
        // The run goes on only once the operator has confirmed the box.
        m_worker.Call(
            [this, strText] { m_pBoxes->ShowMessage(m_pBoxParent, strText, "ERROR", EBoxIcon::Warning); });
    }
    Fail(strText);
}

CProgressSink* CWindowSink::BeginStep(const CJobStep& step)
{
    m_nStopPercent = -1;
    m_pProgress = std::make_unique<CProgress>(*this, step);
    return m_pProgress.get();
}

void CWindowSink::EndStep(bool bStopped)
{
    if (bStopped && m_pProgress)
        m_nStopPercent = m_pProgress->GetPercent();
    m_pProgress.reset();
}

void CWindowSink::SetMark(EJobBar eBar, int nPos)
{
    PostBar(eBar, nPos, false);
}

void CWindowSink::CheckPoint()
{
    if (m_worker.IsStopRequested())
        throw CJobStopped();
}

int CWindowSink::GetStopPercent() const
{
    return m_nStopPercent;
}

void CWindowSink::PostBar(EJobBar eBar, int nPos, bool bAfterStep)
{
    QProgressBar* pBar = m_apBars[static_cast<size_t>(eBar)];
    if (pBar == nullptr)
        return;
    std::function<void()> fnAfterStep = bAfterStep ? m_fnAfterStep : nullptr;
    // The bars outlive the run: it ends inside the handler of the dialog that holds them. A bar
    // holds 0..100 and would ignore a value outside it.
    m_worker.Post([pBar, nPos, fnAfterStep] {
        pBar->setValue(std::clamp(nPos, 0, 100));
        if (fnAfterStep)
            fnAfterStep();
    });
}
