#include "job/jobsink.h"

#include <exception>

CJobSink::~CJobSink() = default;

void CJobSink::Detail(const std::string&) {}

void CJobSink::Answer(const std::string& strLine)
{
    Log(strLine);
}

void CJobSink::StepLine(const std::string& strLine)
{
    Log(strLine);
}

void CJobSink::Measured(const std::string& strLine)
{
    Detail(strLine);
}

void CJobSink::StepFailed(const std::string& strText)
{
    Fail(strText);
}

std::string CJobSink::DescribeLinkError(const CLinkFailure& failure)
{
    return failure.strText;
}

void CJobSink::AfterLinkError(const CLinkFailure&) {}

void CJobSink::Advise(const std::string&) {}

int CJobSink::GetStopPercent() const
{
    return -1;
}

void CJobSink::Fail(const std::string& strText)
{
    m_strErrors += (m_strErrors.empty() ? "" : "; ") + strText;
    Error(strText);
}

void CJobSink::FailLink(const CLinkFailure& failure)
{
    Fail(DescribeLinkError(failure));
    AfterLinkError(failure);
}

void CJobSink::SetMark(EJobBar, int) {}

void CJobSink::SetErasing(bool) {}

void CJobSink::CheckPoint() {}

CJobStepScope::CJobStepScope(CJobSink& sink, const CJobStep& step)
    : m_sink(sink), m_pProgress(nullptr), m_nUncaught(std::uncaught_exceptions())
{
    m_sink.SetDoing(step.strDoing);
    m_pProgress = m_sink.BeginStep(step);
}

CJobStepScope::~CJobStepScope()
{
    m_sink.EndStep(std::uncaught_exceptions() > m_nUncaught);
}

void CLineSink::Log(const std::string& strLine)
{
    if (m_fnLine)
        m_fnLine(strLine);
}

void CLineSink::Error(const std::string& strText)
{
    Log(strText);
}

CProgressSink* CLineSink::BeginStep(const CJobStep&)
{
    return nullptr;
}

void CLineSink::EndStep(bool) {}
