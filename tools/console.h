// Where the tool's lines go. Log lines go to standard output (to standard error with --json,
// whose objects own standard output), errors to standard error. On a terminal, progress bars
// stand below the log, one row per board, and are redrawn in place; log lines scroll above them.
// All members may be called from the board threads at once.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

enum class EVerbosity
{
    Quiet,    // errors and results only
    Normal,   // the log lines
    Verbose   // and details: chosen port, files, sector lists
};

class CConsole
{
public:
    CConsole(FILE* pOut, FILE* pErr, EVerbosity eVerbosity, bool bJson);

    bool IsProgressShown() const { return m_eVerbosity != EVerbosity::Quiet; }
    bool IsTerminal() const { return m_bTerminal; }
    bool IsVerbose() const { return m_eVerbosity == EVerbosity::Verbose; }

    // strPrefix names the board when there are several ("" otherwise).
    void Log(const std::string& strPrefix, const std::string& strLine);
    void Detail(const std::string& strPrefix, const std::string& strLine);   // verbose only
    void Error(const std::string& strPrefix, const std::string& strLine);
    // Standard output whatever the verbosity: listings, JSON objects, summaries.
    void Result(const std::string& strLine);
    // What a board answered (info text, sector list): standard output, but with --json, whose
    // objects alone stand there, the log's stream.
    void Answer(const std::string& strPrefix, const std::string& strLine);

    // Progress rows of a terminal: a row shows until it is removed. Without a terminal these
    // do nothing; plain progress lines go through Log.
    int AddRow();
    void SetRow(int nRow, const std::string& strText);
    // The row's last text stays above the others as a log line.
    void RemoveRow(int nRow);

private:
    void Write(FILE* pStream, const std::string& strPrefix, const std::string& strLine);   // locked
    void EraseRows();                                                                      // locked
    void DrawRows();                                                                       // locked

    std::mutex m_mutex;
    FILE* m_pOut;
    FILE* m_pErr;
    FILE* m_pLog;   // m_pOut, or m_pErr with --json
    bool m_bJson;
    EVerbosity m_eVerbosity;
    bool m_bTerminal;   // m_pLog acts on escape codes: bars instead of plain progress lines
    struct CRow
    {
        int nId;
        std::string strText;
    };
    std::vector<CRow> m_vecRows;
    int m_nNextRow = 0;
    int m_nDrawn = 0;   // rows now on the screen below the log
};
