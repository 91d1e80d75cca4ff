// One board's job as kelvora-cli shows it: log lines and errors with the board's prefix,
// a progress bar (or plain lines) per step, the system's reason after a port that would not
// open, and Ctrl-C heard between two exchanges.
#pragma once

#include <memory>
#include <string>

#include "job/jobsink.h"

class CBoardProgress;
class CConsole;

class CConsoleSink : public CJobSink
{
public:
    // strPrefix goes before every line of this board ("" when it is the only one); strDevice is
    // its port's device, named in the remedy for a port that may not be opened.
    CConsoleSink(CConsole& console, const std::string& strPrefix, const std::string& strDevice);
    ~CConsoleSink() override;

    void Log(const std::string& strLine) override;
    void Detail(const std::string& strLine) override;
    void Answer(const std::string& strLine) override;
    void Error(const std::string& strText) override;
    std::string DescribeLinkError(const CLinkFailure& failure) override;
    void AfterLinkError(const CLinkFailure& failure) override;
    void Advise(const std::string& strAdvice) override;
    CProgressSink* BeginStep(const CJobStep& step) override;
    void EndStep(bool bStopped) override;
    void SetErasing(bool bErasing) override;
    void CheckPoint() override;
    int GetStopPercent() const override { return m_nStopPercent; }

private:
    CConsole& m_console;
    std::string m_strPrefix;
    std::string m_strDevice;
    std::unique_ptr<CBoardProgress> m_pProgress;
    int m_nStopPercent = -1;   // how far the step had come when Ctrl-C ended it
};
