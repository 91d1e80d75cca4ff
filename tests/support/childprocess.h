// kelvora-cli or kelvora-boardsim run as a child process with its standard output and error captured,
// for tests that judge it as a user does: by its lines and its exit status.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include "serial/deadline.h"

class CChildProcess
{
public:
    // How long a test waits for a line of a child, and for a child to end: a hung child fails
    // the test after this, not after the test runner's own limit.
    static constexpr int kOutputLimitMs = 20000;
    static constexpr int kEndLimitMs = 30000;

    CChildProcess() = default;
    ~CChildProcess();   // ends a child still running (SIGTERM, SIGKILL after kEndLimitMs)
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts strProgram with the arguments and extra "NAME=value" environment entries;
    // standard input is /dev/null. 0 / -1.
    int Start(const std::string& strProgram, const std::vector<std::string>& vecArgs,
              const std::vector<std::string>& vecEnv = {});
    // Reads until standard output holds strText; false when the child closed its output first
    // or nLimitMs passed.
    bool WaitForOutput(const std::string& strText, int nLimitMs = kOutputLimitMs);
    // The same for standard error.
    bool WaitForError(const std::string& strText, int nLimitMs = kOutputLimitMs);
    // The first line of standard output (for the simulator, its device path); "" at its end or
    // after nLimitMs.
    std::string ReadFirstLine(int nLimitMs = kOutputLimitMs);
    void Signal(int nSignal);
    // Reads both streams to their end and reaps the child: its exit status, 128 + signal when
    // a signal ended it. A child that has not ended within nLimitMs is killed (SIGKILL, said at
    // the end of m_strErr).
    int Wait(int nLimitMs = kEndLimitMs);

    std::string m_strOut;
    std::string m_strErr;

private:
    // Takes what is there from both pipes, blocking until something comes. false at the end of
    // both or at the deadline.
    bool ReadSome(const CDeadline& deadline);
    bool WaitFor(const std::string& strText, const std::string& strStream, const int& hPipe, int nLimitMs);
    // Until the child has ended or the deadline passed; false at the deadline.
    bool WaitForEnd(const CDeadline& deadline);

    pid_t m_pid = -1;
    int m_hOut = -1;
    int m_hErr = -1;
};
