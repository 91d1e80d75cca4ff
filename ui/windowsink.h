// Where a board operation run by the window reports, from its worker thread: lines to the log,
// progress to the bars, failures of a step to a box the operator confirms before the run goes on,
// a stop asked for by the operator to the operation. Everything reaches the widgets on the
// window's thread, through the worker; the operation never touches a widget.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "job/jobsink.h"

class CBoardWorker;
class CMessageBoxes;
class QProgressBar;
class QWidget;

class CWindowSink : public CJobSink
{
public:
    explicit CWindowSink(CBoardWorker& worker);
    ~CWindowSink() override;

    // What the next operation reports where; set on the window's thread between operations.
    // fnLog: the window's log (always). fnAfterStep: the window's data exchange after each bar step.
    void SetLog(std::function<void(const std::string&)> fnLog) { m_fnLog = std::move(fnLog); }
    void SetBar(EJobBar eBar, QProgressBar* pBar) { m_apBars[static_cast<size_t>(eBar)] = pBar; }
    void SetAfterStep(std::function<void()> fnAfterStep) { m_fnAfterStep = std::move(fnAfterStep); }
    // Failures in words go to the log (the connection attempt), or are only kept (in a dialog,
    // whose outcome the opener reports).
    void SetErrorsToLog(bool bErrorsToLog) { m_bErrorsToLog = bErrorsToLog; }
    // A failed step ("Error deleting sector") shows as a box over pParent ("ERROR", warning); none:
    // only kept.
    void SetStepFailureBoxes(CMessageBoxes* pBoxes, QWidget* pParent);
    // The fast transfer's line after the connection test (round trip, depth, time) goes to the log.
    void SetShowMeasured(bool bShow) { m_bShowMeasured = bShow; }
    void Log(const std::string& strLine) override;
    void Error(const std::string& strText) override;
    void StepLine(const std::string& strLine) override;
    void Measured(const std::string& strLine) override;
    void StepFailed(const std::string& strText) override;
    CProgressSink* BeginStep(const CJobStep& step) override;
    void EndStep(bool bStopped) override;
    void SetMark(EJobBar eBar, int nPos) override;
    void CheckPoint() override;
    int GetStopPercent() const override;

private:
    class CProgress;
    // A bar's position, on the window's thread.
    void PostBar(EJobBar eBar, int nPos, bool bAfterStep);

    CBoardWorker& m_worker;
    std::function<void(const std::string&)> m_fnLog;
    std::array<QProgressBar*, 5> m_apBars{};
    std::function<void()> m_fnAfterStep;
    bool m_bErrorsToLog = true;
    CMessageBoxes* m_pBoxes = nullptr;
    QWidget* m_pBoxParent = nullptr;
    bool m_bShowMeasured = false;
    std::unique_ptr<CProgress> m_pProgress;
    std::atomic<int> m_nStopPercent{-1};
};
