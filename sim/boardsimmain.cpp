// kelvora-boardsim: a simulated board on a pseudo-terminal, registered for port discovery.
// The first line on stdout is the device path to connect to.
#include "serial/simportregistry.h"
#include "sim/boardsim.h"
#include "sim/portregistration.h"

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
    CPortRegistration registration;
    const bool bRegistered = registration.Register(strName, strDevice);
    std::printf("%s\n", strDevice.c_str());
    std::fflush(stdout);
    if (!bRegistered)
        std::fprintf(stderr, "kelvora-boardsim: cannot register in %s; connect to %s directly\n",
                     CSimPortRegistry::GetDefaultDirectory().c_str(), strDevice.c_str());
    else
        std::fprintf(stderr, "kelvora-boardsim: board on %s, registered as %s\n", strDevice.c_str(),
                     registration.GetLinkPath().c_str());

    struct signalfd_siginfo info
    {};
    ssize_t n;
    do
        n = read(hSignals, &info, sizeof info);
    while (n < 0 && errno == EINTR);
    if (bLog)
        std::fprintf(stderr, "kelvora-boardsim: signal %u, ending\n", info.ssi_signo);

    registration.Unregister();
    sim.Stop();
    close(hSignals);
    if (!strFlash.empty() && !sim.GetFlash().empty() && sim.SaveFlash(strFlash) != 0) {
        std::fprintf(stderr, "kelvora-boardsim: cannot save the flash to %s\n", strFlash.c_str());
        return 1;
    }
    return 0;
}
