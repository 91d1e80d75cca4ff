#include "tools/console.h"

#include <algorithm>

#include "tools/terminal.h"

CConsole::CConsole(FILE* pOut, FILE* pErr, EVerbosity eVerbosity, bool bJson)
    : m_pOut(pOut), m_pErr(pErr), m_pLog(bJson ? pErr : pOut), m_bJson(bJson), m_eVerbosity(eVerbosity),
      m_bTerminal(IsEscapeTerminal(bJson ? pErr : pOut))
{}

void CConsole::Log(const std::string& strPrefix, const std::string& strLine)
{
    if (m_eVerbosity == EVerbosity::Quiet)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    Write(m_pLog, strPrefix, strLine);
}

void CConsole::Detail(const std::string& strPrefix, const std::string& strLine)
{
    if (m_eVerbosity != EVerbosity::Verbose)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    Write(m_pLog, strPrefix, strLine);
}

void CConsole::Error(const std::string& strPrefix, const std::string& strLine)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Write(m_pErr, strPrefix, strLine);
}

void CConsole::Result(const std::string& strLine)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Write(m_pOut, "", strLine);
}

void CConsole::Answer(const std::string& strPrefix, const std::string& strLine)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Write(m_bJson ? m_pLog : m_pOut, strPrefix, strLine);
}

void CConsole::Write(FILE* pStream, const std::string& strPrefix, const std::string& strLine)
{
    EraseRows();
    std::fprintf(pStream, "%s%s\n", strPrefix.c_str(), strLine.c_str());
    std::fflush(pStream);
    DrawRows();
}

int CConsole::AddRow()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int nId = m_nNextRow++;
    if (m_bTerminal && m_eVerbosity != EVerbosity::Quiet) {
        EraseRows();
        m_vecRows.push_back({nId, std::string()});
        DrawRows();
    }
    return nId;
}

void CConsole::SetRow(int nRow, const std::string& strText)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it =
        std::find_if(m_vecRows.begin(), m_vecRows.end(), [&](const CRow& row) { return row.nId == nRow; });
    if (it == m_vecRows.end() || it->strText == strText)
        return;
    it->strText = strText;
    EraseRows();
    DrawRows();
}

void CConsole::RemoveRow(int nRow)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it =
        std::find_if(m_vecRows.begin(), m_vecRows.end(), [&](const CRow& row) { return row.nId == nRow; });
    if (it == m_vecRows.end())
        return;
    EraseRows();
    const std::string strLast = it->strText;
    m_vecRows.erase(it);
    if (!strLast.empty())
        std::fprintf(m_pLog, "%s\n", strLast.c_str());
    DrawRows();
}

void CConsole::EraseRows()
{
    if (m_nDrawn == 0)
        return;
    std::fputs(GetRowsUpClearCode(m_nDrawn).c_str(), m_pLog);
    std::fflush(m_pLog);
    m_nDrawn = 0;
}

void CConsole::DrawRows()
{
    m_nDrawn = 0;
    for (const CRow& row : m_vecRows) {
        if (row.strText.empty())
            continue;   // a row shows once it has something to show
        std::fprintf(m_pLog, "%s\n", row.strText.c_str());
        ++m_nDrawn;
    }
    std::fflush(m_pLog);
}
