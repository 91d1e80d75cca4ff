// kelvora-boardsim: a simulated board on a pseudo-terminal, registered for port discovery.
// The first line on stdout is the device path to connect to.
#include "serial/simportdirectory.h"
#include "sim/boardsim.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>
#include <string>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const char kUsage[] =
    "usage: kelvora-boardsim [options]\n"
    "Simulates the board (bootstrap loader, loader chain, flasher program and NOR flash) on a\n"
    "pseudo-terminal. Prints the device path as the first line, registers it for port discovery,\n"
    "and runs until Ctrl-C or SIGTERM. Closing the port resets the board; its flash stays.\n"
    "  --baud N                  pace the line at N bit/s, 10 bits per byte (default: unpaced)\n"
    "  --sector-erase-ms MS      sector erase time (default 500)\n"
    "  --chip-erase-ms MS        chip erase time (default 2000)\n"
    "  --flash FILE              load the flash from FILE if it exists; save it after every erase\n"
    "                            and programming command and at the end\n"
    "  --name NAME               registration name (default kelvora-sim-<pid>)\n"
    "  --log                     print stage changes, commands and resets to stderr\n"
    "faults:\n"
    "  --no-answer-to-zero       the bootstrap loader ignores the 0x00 (board not reset)\n"
    "  --cpu-id HEX              identification byte of the bootstrap loader (default C5)\n"
    "  --flasher-id HEX          identification byte of the flasher program (default C5)\n"
    "  --wrong-test-echo-at N    echo test: value N (0..254) is echoed wrongly\n"
    "  --silent-after-rx N       fall silent after N received bytes (counted since reset)\n"
    "  --silent-after-tx N       fall silent after N sent bytes\n"
    "  --hang-up-after-rx N      close the pty when byte N (0-based) arrives\n"
    "  --wrong-echo-at-rx N      the echo of received byte N (0-based) is wrong\n"
    "  --erase-fails             chip and sector erase answer 'E'\n"
    "  --wrong-checksum-block K  flash block K (0-based) gets a wrong checksum\n"
    "  --flip-read-address ADDR  read-back of ADDR answers its bits flipped\n"
    "  --help                    this text\n";

enum EOption
{
    kOptBaud = 1000,
    kOptSectorMs,
    kOptChipMs,
    kOptFlash,
    kOptName,
    kOptLog,
    kOptNoZero,
    kOptCpuId,
    kOptFlasherId,
    kOptTestEcho,
    kOptSilentRx,
    kOptSilentTx,
    kOptHangUp,
    kOptWrongEcho,
    kOptEraseFails,
    kOptChecksum,
    kOptFlipRead,
    kOptHelp
};

const struct option kOptions[] = {
    {"baud", required_argument, nullptr, kOptBaud},
    {"sector-erase-ms", required_argument, nullptr, kOptSectorMs},
    {"chip-erase-ms", required_argument, nullptr, kOptChipMs},
    {"flash", required_argument, nullptr, kOptFlash},
    {"name", required_argument, nullptr, kOptName},
    {"log", no_argument, nullptr, kOptLog},
    {"no-answer-to-zero", no_argument, nullptr, kOptNoZero},
    {"cpu-id", required_argument, nullptr, kOptCpuId},
    {"flasher-id", required_argument, nullptr, kOptFlasherId},
    {"wrong-test-echo-at", required_argument, nullptr, kOptTestEcho},
    {"silent-after-rx", required_argument, nullptr, kOptSilentRx},
    {"silent-after-tx", required_argument, nullptr, kOptSilentTx},
    {"hang-up-after-rx", required_argument, nullptr, kOptHangUp},
    {"wrong-echo-at-rx", required_argument, nullptr, kOptWrongEcho},
    {"erase-fails", no_argument, nullptr, kOptEraseFails},
    {"wrong-checksum-block", required_argument, nullptr, kOptChecksum},
    {"flip-read-address", required_argument, nullptr, kOptFlipRead},
    {"help", no_argument, nullptr, kOptHelp},
    {nullptr, 0, nullptr, 0},
};

// A whole-string number within [nMin, nMax]; nBase 0 takes 0x.. and decimal.
bool ParseNumber(const char* pszText, int nBase, long long nMin, long long nMax, long long& nValue)
{
    errno = 0;
    char* pszEnd = nullptr;
    const long long n = std::strtoll(pszText, &pszEnd, nBase);
    if (errno != 0 || pszEnd == pszText || *pszEnd != '\0' || n < nMin || n > nMax)
        return false;
    nValue = n;
    return true;
}

// mkdir -p, new directories private; then the directory must be ours and closed to others.
bool MakePrivateDirectory(const std::string& strPath)
{
    for (size_t nAt = 1; nAt <= strPath.size(); ++nAt) {
        if (nAt < strPath.size() && strPath[nAt] != '/')
            continue;
        const std::string strPart = strPath.substr(0, nAt);
        if (mkdir(strPart.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st
    {};
    return lstat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// This simulator's registration for port discovery: the symbolic link NAME -> pty, and
// NAME.lock beside it, flock-ed for the whole run. Discovery offers a link only while its
// lock is held, so the leftovers of a simulator that died without cleaning up are never
// offered once its pty number belongs to someone else's terminal.
struct CRegistration
{
    std::string strLink;
    std::string strLock;
    int hLock = -1;
};

int FlockRetry(int hFile, int nOperation)
{
    int nResult;
    do
        nResult = flock(hFile, nOperation);
    while (nResult != 0 && errno == EINTR);
    return nResult;
}

// Holds the lock of the directory itself: the registrations change only under it, so that
// discovery, which removes leftovers under it too, never sees a name half taken. Its holders
// keep it for a few file operations only.
class CDirectoryLock
{
public:
    explicit CDirectoryLock(const std::string& strDirectory)
        : m_hDirectory(open(strDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_hDirectory >= 0 && FlockRetry(m_hDirectory, LOCK_EX) != 0) {
            close(m_hDirectory);
            m_hDirectory = -1;
        }
    }
    ~CDirectoryLock()
    {
        if (m_hDirectory >= 0)
            close(m_hDirectory);   // drops the lock
    }
    CDirectoryLock(const CDirectoryLock&) = delete;
    CDirectoryLock& operator=(const CDirectoryLock&) = delete;
    bool IsHeld() const { return m_hDirectory >= 0; }

private:
    int m_hDirectory;
};

bool IsSameFile(int hFile, const std::string& strPath)
{
    struct stat stFile
    {};
    struct stat stPath
    {};
    return fstat(hFile, &stFile) == 0 && lstat(strPath.c_str(), &stPath) == 0 &&
           stFile.st_dev == stPath.st_dev && stFile.st_ino == stPath.st_ino;
}

// Takes the name, replacing a leftover or another simulator's registration of it. Both files
// come into place by rename, the held lock before the link. False on failure, nothing left.
bool RegisterPort(const std::string& strName, const std::string& strDevice, CRegistration& registration)
{
    const std::string strDirectory = GetSimulatorPortDirectory();
    if (!MakePrivateDirectory(strDirectory))
        return false;
    const CDirectoryLock directoryLock(strDirectory);
    if (!directoryLock.IsHeld())
        return false;
    const std::string strLink = strDirectory + "/" + strName;
    const std::string strLock = strLink + ".lock";
    const std::string strSuffix = ".tmp" + std::to_string(getpid());
    const std::string strTempLink = strDirectory + "/." + strName + strSuffix;
    const std::string strTempLock = strDirectory + "/." + strName + ".lock" + strSuffix;
    unlink(strTempLink.c_str());
    unlink(strTempLock.c_str());

    const int hLock = open(strTempLock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (hLock < 0)
        return false;
    // A file nobody else has opened yet: the lock is free.
    if (FlockRetry(hLock, LOCK_EX | LOCK_NB) != 0 || rename(strTempLock.c_str(), strLock.c_str()) != 0) {
        unlink(strTempLock.c_str());
        close(hLock);
        return false;
    }
    if (symlink(strDevice.c_str(), strTempLink.c_str()) != 0 ||
        rename(strTempLink.c_str(), strLink.c_str()) != 0) {
        unlink(strTempLink.c_str());
        unlink(strLock.c_str());
        close(hLock);
        return false;
    }
    registration.strLink = strLink;
    registration.strLock = strLock;
    registration.hLock = hLock;
    return true;
}

// Removes the link and the lock file only while they are still ours (another simulator may
// have taken the name), then lets the lock go.
void UnregisterPort(CRegistration& registration, const std::string& strDevice)
{
    if (registration.hLock < 0)
        return;
    {
        const CDirectoryLock directoryLock(GetSimulatorPortDirectory());
        char szTarget[4096];
        const ssize_t n = readlink(registration.strLink.c_str(), szTarget, sizeof szTarget - 1);
        if (n >= 0 && strDevice == std::string(szTarget, static_cast<size_t>(n)))
            unlink(registration.strLink.c_str());
        if (IsSameFile(registration.hLock, registration.strLock))
            unlink(registration.strLock.c_str());
    }
    close(registration.hLock);
    registration.hLock = -1;
}

bool ReadOptions(int argc, char** argv, CBoardSim& sim, std::string& strName, std::string& strFlash,
                 bool& bLog, bool& bHelp)
{
    CBoardFaults faults;
    int nSectorMs = 500;
    int nChipMs = 2000;
    int nOption;
    long long n = 0;
    while ((nOption = getopt_long(argc, argv, "", kOptions, nullptr)) != -1) {
        bool bOk = true;
        switch (nOption) {
        case kOptBaud:
            bOk = ParseNumber(optarg, 10, 0, 10000000, n);
            sim.SetBaudRate(static_cast<int>(n));
            break;
        case kOptSectorMs:
            bOk = ParseNumber(optarg, 10, 0, 3600000, n);
            nSectorMs = static_cast<int>(n);
            break;
        case kOptChipMs:
            bOk = ParseNumber(optarg, 10, 0, 3600000, n);
            nChipMs = static_cast<int>(n);
            break;
        case kOptFlash:
            strFlash = optarg;
            break;
        case kOptName:
            strName = optarg;
            bOk = !strName.empty() && strName.find('/') == std::string::npos && strName[0] != '.';
            break;
        case kOptLog:
            bLog = true;
            break;
        case kOptNoZero:
            faults.bNoAnswerToZero = true;
            break;
        case kOptCpuId:
            bOk = ParseNumber(optarg, 16, 0, 255, n);
            faults.nCpuId = static_cast<int>(n);
            break;
        case kOptFlasherId:
            bOk = ParseNumber(optarg, 16, 0, 255, n);
            faults.nFlasherId = static_cast<int>(n);
            break;
        case kOptTestEcho:
            bOk = ParseNumber(optarg, 0, 0, 254, n);
            faults.nWrongTestEchoAt = static_cast<int>(n);
            break;
        case kOptSilentRx:
            bOk = ParseNumber(optarg, 0, 0, LLONG_MAX, faults.nSilentAfterRx);
            break;
        case kOptSilentTx:
            bOk = ParseNumber(optarg, 0, 0, LLONG_MAX, faults.nSilentAfterTx);
            break;
        case kOptHangUp:
            bOk = ParseNumber(optarg, 0, 0, LLONG_MAX, faults.nHangUpAfterRx);
            break;
        case kOptWrongEcho:
            bOk = ParseNumber(optarg, 0, 0, LLONG_MAX, faults.nWrongEchoAtRx);
            break;
        case kOptEraseFails:
            faults.bEraseStatusE = true;
            break;
        case kOptChecksum:
            bOk = ParseNumber(optarg, 0, 0, INT_MAX, n);
            faults.nWrongChecksumBlock = static_cast<int>(n);
            break;
        case kOptFlipRead:
            bOk = ParseNumber(optarg, 0, 0, 0xFFFFFF, faults.nFlipReadAddress);
            break;
        case kOptHelp:
            bHelp = true;
            break;
        default:
            return false;
        }
        if (!bOk) {
            std::fprintf(stderr, "kelvora-boardsim: bad value '%s' for an option\n", optarg ? optarg : "");
            return false;
        }
    }
    if (optind != argc) {
        std::fprintf(stderr, "kelvora-boardsim: unexpected argument '%s'\n", argv[optind]);
        return false;
    }
    sim.SetFaults(faults);
    sim.SetEraseTimes(nSectorMs, nChipMs);
    return true;
}
}   // namespace

int main(int argc, char** argv)
{
    CBoardSim sim;
    std::string strName = "kelvora-sim-" + std::to_string(getpid());
    std::string strFlash;
    bool bLog = false;
    bool bHelp = false;
    if (!ReadOptions(argc, argv, sim, strName, strFlash, bLog, bHelp)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (bHelp) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    // Signals arrive through a descriptor; the board thread inherits the blocked mask.
    sigset_t setSignals;
    sigemptyset(&setSignals);
    sigaddset(&setSignals, SIGINT);
    sigaddset(&setSignals, SIGTERM);
    sigaddset(&setSignals, SIGHUP);
    if (pthread_sigmask(SIG_BLOCK, &setSignals, nullptr) != 0)
        return 1;
    const int hSignals = signalfd(-1, &setSignals, SFD_CLOEXEC);
    if (hSignals < 0) {
        std::perror("kelvora-boardsim: signalfd");
        return 1;
    }

    if (!strFlash.empty()) {
        if (access(strFlash.c_str(), F_OK) == 0 && sim.LoadFlash(strFlash) != 0) {
            std::fprintf(stderr, "kelvora-boardsim: %s is no flash image (whole 32 KiB sectors)\n",
                         strFlash.c_str());
            return 1;
        }
        sim.SetFlashFile(strFlash);
    }
    if (bLog)
        sim.SetEventLog(
            [](const std::string& strEvent) { std::fprintf(stderr, "board: %s\n", strEvent.c_str()); });
    if (sim.Start() != 0) {
        std::perror("kelvora-boardsim: cannot open a pseudo-terminal");
        return 1;
    }
    const std::string strDevice = sim.GetDevicePath();
    // Registered before the path is printed, so whoever reads the path can already discover it.
    CRegistration registration;
    const bool bRegistered = RegisterPort(strName, strDevice, registration);
    std::printf("%s\n", strDevice.c_str());
    std::fflush(stdout);
    if (!bRegistered)
        std::fprintf(stderr, "kelvora-boardsim: cannot register in %s; connect to %s directly\n",
                     GetSimulatorPortDirectory().c_str(), strDevice.c_str());
    else
        std::fprintf(stderr, "kelvora-boardsim: board on %s, registered as %s\n", strDevice.c_str(),
                     registration.strLink.c_str());

    struct signalfd_siginfo info
    {};
    ssize_t n;
    do
        n = read(hSignals, &info, sizeof info);
    while (n < 0 && errno == EINTR);
    if (bLog)
        std::fprintf(stderr, "kelvora-boardsim: signal %u, ending\n", info.ssi_signo);

    UnregisterPort(registration, strDevice);
    sim.Stop();
    close(hSignals);
    if (!strFlash.empty() && !sim.GetFlash().empty() && sim.SaveFlash(strFlash) != 0) {
        std::fprintf(stderr, "kelvora-boardsim: cannot save the flash to %s\n", strFlash.c_str());
        return 1;
    }
    return 0;
}
