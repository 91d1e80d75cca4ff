// The board side of a pseudo-terminal pair: the port under test opens the slave path,
// the test plays the board on the master descriptor.
#pragma once

#include <string>

class CPtyBoard
{
public:
    CPtyBoard();
    ~CPtyBoard();
    CPtyBoard(const CPtyBoard&) = delete;
    CPtyBoard& operator=(const CPtyBoard&) = delete;

    const std::string& GetPath() const { return m_strPath; }
    int GetMaster() const { return m_hMaster; }
    void Send(const std::string& strBytes);
    // Up to n bytes, waiting at most nLimitMs for all of them.
    std::string Receive(int n, int nLimitMs);
    // Pulls the cable: the slave side sees a hang-up.
    void Hangup();

private:
    int m_hMaster;
    std::string m_strPath;
};

// 1 if the terminal at strPath is in exclusive mode, 0 if not, -1 if it can't be told.
int ProbeExclusive(const std::string& strPath);
// Number of entries in a /proc/self directory ("fd", "task").
int CountProcEntries(const char* pszDir);
