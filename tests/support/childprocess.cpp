#include "support/childprocess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

CChildProcess::~CChildProcess()
{
    // SIGTERM: a simulator then removes its registration on its way out.
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        Wait();
    }
}

int CChildProcess::Start(const std::string& strProgram, const std::vector<std::string>& vecArgs,
                         const std::vector<std::string>& vecEnv)
{
    int ahOut[2];
    int ahErr[2];
    if (pipe2(ahOut, O_CLOEXEC) != 0)
        return -1;
    if (pipe2(ahErr, O_CLOEXEC) != 0) {
        close(ahOut[0]);
        close(ahOut[1]);
        return -1;
    }
    // Everything the child needs is prepared before fork: only async-signal-safe calls after it.
    std::vector<std::string> vecArgv = {strProgram};
    vecArgv.insert(vecArgv.end(), vecArgs.begin(), vecArgs.end());
    std::vector<char*> vecArgp;
    for (std::string& str : vecArgv)
        vecArgp.push_back(str.data());
    vecArgp.push_back(nullptr);
    std::vector<std::string> vecEnvironment(vecEnv);
    for (char** p = environ; *p != nullptr; ++p)
        vecEnvironment.emplace_back(*p);   // the first entry of a name wins
    std::vector<char*> vecEnvp;
    for (std::string& str : vecEnvironment)
        vecEnvp.push_back(str.data());
    vecEnvp.push_back(nullptr);
    const int hNull = open("/dev/null", O_RDONLY | O_CLOEXEC);

    m_pid = fork();
    if (m_pid == 0) {
        dup2(hNull, STDIN_FILENO);
        dup2(ahOut[1], STDOUT_FILENO);
        dup2(ahErr[1], STDERR_FILENO);
        // Signals ignored by the test runner would stay ignored in the child.
        signal(SIGINT, SIG_DFL);
        execve(strProgram.c_str(), vecArgp.data(), vecEnvp.data());
        _exit(127);
    }
    close(hNull);
    close(ahOut[1]);
    close(ahErr[1]);
    m_hOut = ahOut[0];
    m_hErr = ahErr[0];
    if (m_pid < 0) {
        close(m_hOut);
        close(m_hErr);
        m_hOut = m_hErr = -1;
        return -1;
    }
    return 0;
}

bool CChildProcess::ReadSome(const CDeadline& deadline)
{
    struct pollfd afd[2] = {{m_hOut, POLLIN, 0}, {m_hErr, POLLIN, 0}};
    if (m_hOut < 0 && m_hErr < 0)
        return false;
    const int nReady = poll(afd, 2, deadline.RemainingMs());
    if (nReady < 0)
        return errno == EINTR;
    if (nReady == 0)
        return false;   // the deadline passed
    int* aph[2] = {&m_hOut, &m_hErr};
    std::string* apstr[2] = {&m_strOut, &m_strErr};
    for (int i = 0; i < 2; ++i) {
        if (*aph[i] < 0 || afd[i].revents == 0)
            continue;
        char szBuffer[4096];
        const ssize_t n = read(*aph[i], szBuffer, sizeof szBuffer);
        if (n > 0) {
            apstr[i]->append(szBuffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            close(*aph[i]);
            *aph[i] = -1;
        }
    }
    return true;
}

bool CChildProcess::WaitFor(const std::string& strText, const std::string& strStream, const int& hPipe,
                            int nLimitMs)
{
    const CDeadline deadline(nLimitMs);
    while (strStream.find(strText) == std::string::npos)
        if (!ReadSome(deadline) || hPipe < 0)
            return strStream.find(strText) != std::string::npos;
    return true;
}

bool CChildProcess::WaitForOutput(const std::string& strText, int nLimitMs)
{
    return WaitFor(strText, m_strOut, m_hOut, nLimitMs);
}

bool CChildProcess::WaitForError(const std::string& strText, int nLimitMs)
{
    return WaitFor(strText, m_strErr, m_hErr, nLimitMs);
}

std::string CChildProcess::ReadFirstLine(int nLimitMs)
{
    if (!WaitForOutput("\n", nLimitMs))
        return "";
    return m_strOut.substr(0, m_strOut.find('\n'));
}

void CChildProcess::Signal(int nSignal)
{
    if (m_pid > 0)
        kill(m_pid, nSignal);
}

bool CChildProcess::WaitForEnd(const CDeadline& deadline)
{
    // A pidfd turns the child's end into something poll can wait on with the deadline.
    const int hPid = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
    if (hPid < 0)
        return true;   // a kernel without pidfds: waitpid waits as long as it takes
    struct pollfd fd = {hPid, POLLIN, 0};
    int nReady;
    while ((nReady = poll(&fd, 1, deadline.RemainingMs())) < 0 && errno == EINTR) {
    }
    close(hPid);
    return nReady != 0;
}

int CChildProcess::Wait(int nLimitMs)
{
    const CDeadline deadline(nLimitMs);
    while (ReadSome(deadline)) {
    }
    if (m_pid <= 0)
        return -1;
    if ((m_hOut >= 0 || m_hErr >= 0 || !WaitForEnd(deadline)) && deadline.IsExpired()) {
        kill(m_pid, SIGKILL);
        m_strErr += "\n[test: the child had not ended after " + std::to_string(nLimitMs) + " ms; killed]\n";
    }
    for (int* ph : {&m_hOut, &m_hErr})
        if (*ph >= 0) {
            close(*ph);
            *ph = -1;
        }
    int nStatus = 0;
    while (waitpid(m_pid, &nStatus, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
}
