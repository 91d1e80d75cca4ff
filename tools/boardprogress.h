// The progress of one step of one board (flasher program, connection test, programming,
// verifying, reading): a bar with bytes, rate and time left on a terminal, else a plain
// line at every tenth. Also where Ctrl-C reaches a running link operation.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "job/jobsink.h"

class CConsole;

class CBoardProgress : public CProgressSink
{
public:
    // nTotalBytes: what 100 % stands for, shown as bytes done and used for the rate.
    // nFirstPos: the position the link reports at the start (the flasher program's bar
    // continues the loader chain's from 50); it shows as 0 %.
    CBoardProgress(CConsole& console, const std::string& strPrefix, const std::string& strLabel,
                   int64_t nTotalBytes, int nFirstPos = 0);
    ~CBoardProgress() override;
    CBoardProgress(const CBoardProgress&) = delete;
    CBoardProgress& operator=(const CBoardProgress&) = delete;

    // Throws CJobStopped after Ctrl-C, before the link's next exchange.
    void SetProgress(int nPos) override;

    int GetPercent() const { return m_nPercent; }
    const std::string& GetLabel() const { return m_strLabel; }

    static constexpr int kBarWidth = 30;
    static constexpr int kPlainStep = 10;   // percent between two plain lines
    static constexpr std::chrono::milliseconds kRedrawPause{250};

private:
    CConsole& m_console;
    std::string m_strPrefix;
    std::string m_strLabel;
    int64_t m_nTotalBytes;
    int m_nFirstPos;
    std::chrono::steady_clock::time_point m_tpStart;
    int m_nRow;
    int m_nPercent = 0;
    int m_nDrawnPercent = -1;
    std::chrono::steady_clock::time_point m_tpDrawn;
    int m_nPlainShown = 0;   // last tenth printed as a plain line; 0 % is not printed
};
