#include "tools/consolesink.h"

#include "tools/boardprogress.h"
#include "tools/clihelpers.h"
#include "tools/console.h"
#include "tools/devicepermission.h"
#include "tools/interrupt.h"

CConsoleSink::CConsoleSink(CConsole& console, const std::string& strPrefix, const std::string& strDevice)
    : m_console(console), m_strPrefix(strPrefix), m_strDevice(strDevice)
{}

CConsoleSink::~CConsoleSink() = default;

void CConsoleSink::Log(const std::string& strLine)
{
    m_console.Log(m_strPrefix, strLine);
}

void CConsoleSink::Detail(const std::string& strLine)
{
    m_console.Detail(m_strPrefix, strLine);
}

void CConsoleSink::Answer(const std::string& strLine)
{
    m_console.Answer(m_strPrefix, strLine);
}

void CConsoleSink::Error(const std::string& strText)
{
    m_console.Error(m_strPrefix, strText);
}

std::string CConsoleSink::DescribeLinkError(const CLinkFailure& failure)
{
    // The link's text stays as it is; the port or file it failed on and the system's reason follow.
    std::string strText = failure.strText;
    if (!failure.strFailedOn.empty())
        strText += ": " + failure.strFailedOn;
    if (failure.nSystemError != 0)
        strText += ": " + failure.strSystemError;
    return strText;
}

void CConsoleSink::AfterLinkError(const CLinkFailure& failure)
{
    if (failure.nSystemError != 0 && IsPermissionRefusal(failure.nSystemError))
        m_console.Error(m_strPrefix, GetPermissionRemedy(m_strDevice, GetDeviceGroup(m_strDevice)));
}

void CConsoleSink::Advise(const std::string& strAdvice)
{
    m_console.Error(m_strPrefix, strAdvice);
}

CProgressSink* CConsoleSink::BeginStep(const CJobStep& step)
{
    m_nStopPercent = -1;
    m_pProgress = std::make_unique<CBoardProgress>(m_console, m_strPrefix, step.pszLabel, step.nTotalBytes,
                                                   step.nFirstPos);
    return m_pProgress.get();
}

void CConsoleSink::EndStep(bool bStopped)
{
    if (bStopped && m_pProgress)
        m_nStopPercent = m_pProgress->GetPercent();
    m_pProgress.reset();
}

void CConsoleSink::SetErasing(bool bErasing)
{
    SetEraseUnderWay(bErasing);
}

void CConsoleSink::CheckPoint()
{
    ThrowIfInterrupted();
}
