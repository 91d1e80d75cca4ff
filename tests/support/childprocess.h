// kelvora-cli or kelvora-boardsim run as a child process with its standard output and error captured,
// for tests that judge it as a user does: by its lines and its exit status.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

class CChildProcess
{
public:
    CChildProcess() = default;
    ~CChildProcess();   // ends a child still running (SIGTERM)
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts strProgram with the arguments and extra "NAME=value" environment entries;
    // standard input is /dev/null. 0 / -1.
    int Start(const std::string& strProgram, const std::vector<std::string>& vecArgs,
              const std::vector<std::string>& vecEnv = {});
    // Reads until standard output holds strText; false when the child closed its output first.
    bool WaitForOutput(const std::string& strText);
    // The same for standard error.
    bool WaitForError(const std::string& strText);
    // The first line of standard output (for the simulator, its device path); "" at its end.
    std::string ReadFirstLine();
    void Signal(int nSignal);
    // Reads both streams to their end and reaps the child: its exit status, 128 + signal when
    // a signal ended it.
    int Wait();

    std::string m_strOut;
    std::string m_strErr;

private:
    // Takes what is there from both pipes, blocking until something comes. false at the end of both.
    bool ReadSome();

    pid_t m_pid = -1;
    int m_hOut = -1;
    int m_hErr = -1;
};
