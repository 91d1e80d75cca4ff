// kelvora-boardsim: a simulated board on a pseudo-terminal, registered for port discovery.
// The first line on stdout is the device path to connect to.
#include "serial/simportregistry.h"
#include "sim/boardsim.h"
#include "sim/portregistration.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const char kDescription[] =
    "Simulates the board (bootstrap loader, loader chain, flasher program and NOR flash) on a\n"
    "pseudo-terminal. Prints the device path as the first line, registers it for port discovery,\n"
    "and runs until Ctrl-C or SIGTERM. Closing the port resets the board; its flash stays.\n"
    "SIGUSR1 unplugs the board and plugs the next one in: the registration and the pty go, a fresh\n"
    "pty comes under the same registered name (its path printed as another line), the board reset\n"
    "and its flash kept, as an adapter unplugged and plugged in again (kelvora-cli flash --repeat\n"
    "--no-prompt waits for exactly that).\n";

// A whole-string number within [nMin, nMax]; nBase 0 takes 0x.. and decimal.
bool ParseNumber(const std::string& strText, int nBase, long long nMin, long long nMax, long long& nValue)
{
    errno = 0;
    char* pszEnd = nullptr;
    const long long n = std::strtoll(strText.c_str(), &pszEnd, nBase);
    if (errno != 0 || pszEnd == strText.c_str() || *pszEnd != '\0' || n < nMin || n > nMax)
        return false;
    nValue = n;
    return true;
}

// An option taking a number within [nMin, nMax] into value; another text is a usage error.
template <typename T>
CLI::Option* AddNumber(CLI::App& app, const char* pszName, const char* pszType, T& value, int nBase,
                       long long nMin, long long nMax, const char* pszHelp)
{
    const auto fnSet = [&value, pszName, nBase, nMin, nMax](const std::string& strText) {
        long long n = 0;
        if (!ParseNumber(strText, nBase, nMin, nMax, n))
            throw CLI::ValidationError(pszName, "bad value '" + strText + "'");
        value = static_cast<T>(n);
    };
    return app.add_option_function<std::string>(pszName, fnSet, pszHelp)->type_name(pszType);
}

struct CSimOptions
{
    int nBaud = 0;
    int nAdapterMs = 0;
    int nByteUs = 20;
    int nSectorMs = 500;
    int nChipMs = 2000;
    std::string strFlash;
    std::string strName = "kelvora-sim-" + std::to_string(getpid());
    bool bLog = false;
    CBoardFaults faults;
    int nFaultyBoard = 0;   // 0: every board has the faults
};

void AddOptions(CLI::App& app, CSimOptions& o)
{
    // A repeated option's last value counts, where CLI11 would refuse the repeat.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.set_help_flag("--help", "this text");
    AddNumber(app, "--baud", "N", o.nBaud, 10, 0, 10000000,
              "pace the line at N bit/s, 10 bits per byte (default: unpaced)");
    AddNumber(app, "--adapter-latency", "MS", o.nAdapterMs, 10, 0, 255,
              "put a USB serial adapter in front of the board: answers are held MS ms (FTDI default 16, "
              "tuned 1) or until 62 bytes piled up, bytes to the board wait for the next 1 ms USB frame "
              "(default 0: no adapter)");
    AddNumber(app, "--byte-time-us", "US", o.nByteUs, 10, 0, 1000000,
              "time the flasher program takes to take a received byte; with --baud, a byte arriving "
              "sooner is lost (overrun) (default 20)");
    AddNumber(app, "--sector-erase-ms", "MS", o.nSectorMs, 10, 0, 3600000, "sector erase time (default 500)");
    AddNumber(app, "--chip-erase-ms", "MS", o.nChipMs, 10, 0, 3600000, "chip erase time (default 2000)");
    app.add_option("--flash", o.strFlash,
                   "load the flash from FILE if it exists; save it after every erase and programming command "
                   "and at the end")
        ->type_name("FILE");
    app.add_option_function<std::string>(
           "--name",
           [&o](const std::string& strName) {
               // It becomes a file name in the registry, and a dot would hide it from discovery.
               if (strName.empty() || strName.find('/') != std::string::npos || strName[0] == '.')
                   throw CLI::ValidationError("--name", "bad value '" + strName + "'");
               o.strName = strName;
           },
           "registration name (default kelvora-sim-<pid>)")
        ->type_name("NAME");
    app.add_flag("--log", o.bLog, "print stage changes, commands, overruns and resets to stderr");

    const char kFaults[] = "Faults";
    CBoardFaults& f = o.faults;
    app.add_flag("--no-answer-to-zero", f.bNoAnswerToZero,
                 "the bootstrap loader ignores the 0x00 (board not reset)")
        ->group(kFaults);
    AddNumber(app, "--cpu-id", "HEX", f.nCpuId, 16, 0, 255,
              "identification byte of the bootstrap loader (default C5)")
        ->group(kFaults);
    AddNumber(app, "--flasher-id", "HEX", f.nFlasherId, 16, 0, 255,
              "identification byte of the flasher program (default C5)")
        ->group(kFaults);
    AddNumber(app, "--wrong-test-echo-at", "N", f.nWrongTestEchoAt, 0, 0, 254,
              "echo test: value N (0..254) is echoed wrongly")
        ->group(kFaults);
    AddNumber(app, "--silent-after-rx", "N", f.nSilentAfterRx, 0, 0, LLONG_MAX,
              "fall silent after N received bytes (counted since reset)")
        ->group(kFaults);
    AddNumber(app, "--silent-after-tx", "N", f.nSilentAfterTx, 0, 0, LLONG_MAX,
              "fall silent after N sent bytes")
        ->group(kFaults);
    AddNumber(app, "--hang-up-after-rx", "N", f.nHangUpAfterRx, 0, 0, LLONG_MAX,
              "close the pty when byte N (0-based) arrives")
        ->group(kFaults);
    AddNumber(app, "--wrong-echo-at-rx", "N", f.nWrongEchoAtRx, 0, 0, LLONG_MAX,
              "the echo of received byte N (0-based) is wrong")
        ->group(kFaults);
    app.add_flag("--erase-fails", f.bEraseStatusE, "chip and sector erase answer 'E'")->group(kFaults);
    AddNumber(app, "--wrong-checksum-block", "K", f.nWrongChecksumBlock, 0, 0, INT_MAX,
              "flash block K (0-based) gets a wrong checksum")
        ->group(kFaults);
    AddNumber(app, "--flip-read-address", "ADDR", f.nFlipReadAddress, 0, 0, 0xFFFFFF,
              "read-back of ADDR answers its bits flipped")
        ->group(kFaults);
    AddNumber(app, "--faulty-board", "N", o.nFaultyBoard, 10, 1, INT_MAX,
              "only board N (1 the first, each SIGUSR1 plugs in the next) has the faults above")
        ->group(kFaults);
}
}   // namespace

int main(int argc, char** argv)
{
    CSimOptions options;
    CLI::App app(kDescription, "kelvora-boardsim");
    AddOptions(app, options);
    app.set_version_flag("--version", "kelvora-boardsim " KELVORA_VERSION_TEXT);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "kelvora-boardsim: %s\n%s", e.what(), app.help().c_str());
        return 2;
    }
    CBoardSim sim;
    sim.SetBaudRate(options.nBaud);
    sim.SetAdapterLatency(options.nAdapterMs);
    sim.SetByteTime(options.nByteUs);
    sim.SetEraseTimes(options.nSectorMs, options.nChipMs);
    sim.SetFaults(options.nFaultyBoard > 1 ? CBoardFaults() : options.faults);
    const std::string& strFlash = options.strFlash;

    // Signals arrive through a descriptor; the board thread inherits the blocked mask.
    sigset_t setSignals;
    sigemptyset(&setSignals);
    sigaddset(&setSignals, SIGINT);
    sigaddset(&setSignals, SIGTERM);
    sigaddset(&setSignals, SIGHUP);
    sigaddset(&setSignals, SIGUSR1);
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
    if (options.bLog)
        sim.SetEventLog(
            [](const std::string& strEvent) { std::fprintf(stderr, "board: %s\n", strEvent.c_str()); });
    if (sim.Start() != 0) {
        std::perror("kelvora-boardsim: cannot open a pseudo-terminal");
        return 1;
    }
    const std::string strDevice = sim.GetDevicePath();
    // Registered before the path is printed, so whoever reads the path can already discover it.
    CPortRegistration registration;
    const bool bRegistered = registration.Register(options.strName, strDevice);
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
    for (int nBoard = 2;; ++nBoard) {
        ssize_t n;
        do
            n = read(hSignals, &info, sizeof info);
        while (n < 0 && errno == EINTR);
        if (n != sizeof info || info.ssi_signo != SIGUSR1)
            break;
        // Gone for good before it comes back: a watcher sees the name leave and return.
        registration.Unregister();
        sim.Stop();
        sim.SetFaults(options.nFaultyBoard == 0 || options.nFaultyBoard == nBoard ? options.faults
                                                                                  : CBoardFaults());
        if (sim.Start() != 0) {
            std::perror("kelvora-boardsim: cannot open a pseudo-terminal");
            return 1;
        }
        const bool bBack = registration.Register(options.strName, sim.GetDevicePath());
        std::printf("%s\n", sim.GetDevicePath().c_str());
        std::fflush(stdout);
        if (options.bLog || !bBack)
            std::fprintf(stderr, "kelvora-boardsim: board %d on %s%s\n", nBoard, sim.GetDevicePath().c_str(),
                         bBack ? "" : ", not registered");
    }
    if (options.bLog)
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
