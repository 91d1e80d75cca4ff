// Where a job reports: its log lines, its errors, the progress of its long steps. The window
// and the command-line tool each implement it; the job never knows which one it talks to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "link/progresssink.h"   // what a face's steps report to

// A link's failure as the faces describe it.
struct CLinkFailure
{
    std::string strText;   // the link's error text
    std::string
        strFailedOn;        // the port as given, or the loader file by its role and path, and what is wrong
    int nSystemError = 0;   // the system's reason for a port that would not open; 0 none
    std::string strSystemError;
};

// Thrown by a sink (from CheckPoint or from a step's progress) to stop a run; the job lets it
// pass, and whoever owns the link closes it.
struct CJobStopped
{};

// The bars of the window a step's progress goes to.
enum class EJobBar
{
    Load,   // the loader chain
    Test,   // the connection test
    Flash,
    Verify,
    Read
};

// One step of a job that reports its progress.
struct CJobStep
{
    const char* pszLabel;   // what a progress line calls it, e.g. "Programming"
    std::string strDoing;   // what was under way when a run stops in it, e.g. "programming"
    EJobBar eBar;
    int64_t nTotalBytes;   // what 100 % stands for
    int nFirstPos;         // the position the link reports at the start; shows as 0 %
};

class CJobSink
{
public:
    virtual ~CJobSink();

    // One line of the log.
    virtual void Log(const std::string& strLine) = 0;
    // A line only a detailed log shows.
    virtual void Detail(const std::string& strLine);
    // What the board answered (info text, sector list): the log, unless a sink puts it apart.
    virtual void Answer(const std::string& strLine);
    // A step of an operation under way ("Erasing sector 2 (...)"): the log, where a face has no
    // dialog of its own that shows the step.
    virtual void StepLine(const std::string& strLine);
    // What the connection test measured and what it makes for the job: a detailed log shows it.
    virtual void Measured(const std::string& strLine);
    // The board failed an operation's step, in the system's words ("Flash failed"): Fail, unless
    // a face shows it its own way (a box that the operator confirms before the run goes on).
    virtual void StepFailed(const std::string& strText);
    // A failure in words, shown and not kept (see Fail).
    virtual void Error(const std::string& strText) = 0;
    // How the link's failure reads: its error text (a sink may add what it failed on and the
    // system's reason).
    virtual std::string DescribeLinkError(const CLinkFailure& failure);
    // After a link's failure was shown: a sink may add a remedy.
    virtual void AfterLinkError(const CLinkFailure& failure);
    // What the operator may check after a failure the job knows more of than the link (a board
    // that did not answer); a sink that keeps its log as it was says nothing.
    virtual void Advise(const std::string& strAdvice);

    // A step with progress begins: the link reports to the returned sink until EndStep.
    virtual CProgressSink* BeginStep(const CJobStep& step) = 0;
    // bStopped: the step ended by an exception passing through it.
    virtual void EndStep(bool bStopped) = 0;
    // Puts one of the boot chain's bars at a fixed mark (0..100).
    virtual void SetMark(EJobBar eBar, int nPos);
    // An erase is under way from true to false: it cannot be cut short, and a sink may tell an
    // operator who asks for a stop meanwhile that the stop waits for its end.
    virtual void SetErasing(bool bErasing);
    // Called between two exchanges with the board: a sink may throw CJobStopped here.
    virtual void CheckPoint();
    // How far the step had come that a CJobStopped ended, in percent; -1 when unknown.
    virtual int GetStopPercent() const;

    // Shows a failure and keeps it among the run's errors.
    void Fail(const std::string& strText);
    // Fail with the link's failure, then AfterLinkError.
    void FailLink(const CLinkFailure& failure);
    // The run's errors so far, joined by "; ".
    const std::string& GetErrors() const { return m_strErrors; }
    // Forgets them: the next operation's record has its own.
    void ClearErrors() { m_strErrors.clear(); }
    // What is under way, for a run that stops in it ("erasing sector 3"); a step sets its own.
    void SetDoing(const std::string& strDoing) { m_strDoing = strDoing; }
    const std::string& GetDoing() const { return m_strDoing; }

private:
    std::string m_strErrors;
    std::string m_strDoing;
};

// Begins a step on construction and ends it on destruction, also when an exception passes.
class CJobStepScope
{
public:
    CJobStepScope(CJobSink& sink, const CJobStep& step);
    ~CJobStepScope();
    CJobStepScope(const CJobStepScope&) = delete;
    CJobStepScope& operator=(const CJobStepScope&) = delete;

    // What the link reports to; may be null.
    CProgressSink* Progress() const { return m_pProgress; }

private:
    CJobSink& m_sink;
    CProgressSink* m_pProgress;
    int m_nUncaught;
};

// A sink whose lines, errors among them, all go to one function (none: nowhere), without
// steps or bars: loading an image into the window, tests and benchmarks.
class CLineSink : public CJobSink
{
public:
    explicit CLineSink(std::function<void(const std::string&)> fnLine = {}) : m_fnLine(std::move(fnLine)) {}
    void Log(const std::string& strLine) override;
    void Error(const std::string& strText) override;
    CProgressSink* BeginStep(const CJobStep& step) override;
    void EndStep(bool bStopped) override;

private:
    std::function<void(const std::string&)> m_fnLine;
};
