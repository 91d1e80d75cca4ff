#include "tools/boardprogress.h"

#include <algorithm>

#include "tools/clihelpers.h"
#include "tools/console.h"
#include "tools/interrupt.h"

CBoardProgress::CBoardProgress(CConsole& console, const std::string& strPrefix, const std::string& strLabel,
                               int64_t nTotalBytes, int nFirstPos)
    : m_console(console), m_strPrefix(strPrefix), m_strLabel(strLabel), m_nTotalBytes(nTotalBytes),
      m_nFirstPos(std::max(0, std::min(nFirstPos, 99))), m_tpStart(std::chrono::steady_clock::now()),
      m_nRow(console.AddRow())
{}

CBoardProgress::~CBoardProgress()
{
    m_console.RemoveRow(m_nRow);
}

void CBoardProgress::SetProgress(int nPos)
{
    ThrowIfInterrupted();
    m_nPercent = std::max(0, std::min((nPos - m_nFirstPos) * 100 / (100 - m_nFirstPos), 100));
    if (!m_console.IsProgressShown())
        return;
    const auto tpNow = std::chrono::steady_clock::now();
    const double dElapsed = std::chrono::duration<double>(tpNow - m_tpStart).count();
    if (m_console.IsTerminal()) {
        // The link reports after every byte; the bar is redrawn when its percent moves, and now
        // and then for the rate and time left.
        if (m_nPercent == m_nDrawnPercent && tpNow - m_tpDrawn < kRedrawPause)
            return;
        m_nDrawnPercent = m_nPercent;
        m_tpDrawn = tpNow;
        m_console.SetRow(m_nRow, m_strPrefix + FormatProgressLine(m_strLabel, m_nPercent, m_nTotalBytes,
                                                                  dElapsed, kBarWidth));
        return;
    }
    const int nStep = m_nPercent / kPlainStep;
    if (nStep > m_nPlainShown) {
        m_nPlainShown = nStep;
        m_console.Log(m_strPrefix,
                      FormatProgressLine(m_strLabel, nStep * kPlainStep, m_nTotalBytes, dElapsed, 0));
    }
}
