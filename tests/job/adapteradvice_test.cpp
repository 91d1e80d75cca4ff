// A USB adapter's latency timer: found and lowered on a device tree of the test's own, found in
// a registry of the test's own, and what the log says about it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fnmatch.h>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "job/adapteradvice.h"
#include "serial/latencytimer.h"
#include "serial/windowsportdiscovery.h"
#include "support/tempdir.h"

namespace
{
std::string ReadFile(const std::string& strPath)
{
    std::ifstream file(strPath);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(LatencyTimer, LinuxLowersAWritableTimerAndPutsItBack)
{
    CTempDir dir;
    const std::string strFile = dir.Path("sys/class/tty/ttyUSB7/device/latency_timer");
    std::filesystem::create_directories(dir.Path("sys/class/tty/ttyUSB7/device"));
    std::filesystem::create_directories(dir.Path("dev"));
    std::filesystem::create_directories(dir.Path("by-id"));
    std::ofstream(dir.Path("dev/ttyUSB7")).flush();
    // Named through a link, as /dev/serial/by-id names an adapter.
    std::filesystem::create_symlink(dir.Path("dev/ttyUSB7"), dir.Path("by-id/usb-FTDI_A10K3X2Q"));
    const struct
    {
        const char* pszContent;   // of latency_timer; null: no such file
        int nFoundMs;
        bool bLowered;
    } aCases[] = {{"16\n", 16, true}, {"1\n", 1, false}, {nullptr, -1, false}, {"x\n", -1, false}};
    for (const auto& testCase : aCases) {
        SCOPED_TRACE(testCase.pszContent ? testCase.pszContent : "none");
        std::filesystem::remove(strFile);
        if (testCase.pszContent != nullptr)
            std::ofstream(strFile) << testCase.pszContent;
        const CLatencyTimer timer = LowerLatencyTimerIn(dir.Path("by-id/usb-FTDI_A10K3X2Q"), dir.Path("sys"));
        EXPECT_EQ(testCase.nFoundMs, timer.nFoundMs);
        EXPECT_EQ(testCase.bLowered, timer.bLowered);
        if (!testCase.bLowered)
            continue;
        EXPECT_EQ(strFile, timer.strSetting);
        EXPECT_EQ("1\n", ReadFile(strFile));
        RestoreLatencyTimer(timer);
        EXPECT_EQ("16\n", ReadFile(strFile));
    }
}

// The package's udev rule, as udev reads it: its match keys and the commands it runs, with %p the
// tty's device path.
struct CUdevRule
{
    std::map<std::string, std::string> matches;   // KEY== and its value
    std::vector<std::string> vecRuns;             // RUN+= commands
    std::string strAssigned;                      // every other assignment, joined
};

CUdevRule ReadUdevRule(const std::string& strPath)
{
    std::string strText = ReadFile(strPath);
    for (size_t nAt; (nAt = strText.find("\\\n")) != std::string::npos;)
        strText.erase(nAt, 2);   // continued lines
    CUdevRule rule;
    std::istringstream lines(strText);
    std::string strLine;
    const std::regex pair("([A-Z]+(\\{[a-z_]+\\})?)(==|\\+=|=)\"([^\"]*)\"");
    while (std::getline(lines, strLine)) {
        if (strLine.empty() || strLine[0] == '#')
            continue;
        for (std::sregex_iterator it(strLine.begin(), strLine.end(), pair), end; it != end; ++it) {
            if ((*it)[3] == "==")
                rule.matches[(*it)[1]] = (*it)[4];
            else if ((*it)[1] == "RUN" && (*it)[3] == "+=")
                rule.vecRuns.push_back((*it)[4]);
            else
                rule.strAssigned += (*it)[0].str() + " ";
        }
    }
    return rule;
}

// The rule opens the very file the Linux latency timer code lowers (on a device tree laid out
// as the kernel lays out an FTDI adapter's tty) to dialout, for FTDI adapters only, and leaves
// the timer's value alone.
TEST(LatencyTimer, ThePackagesUdevRuleOpensTheTimerFileToDialout)
{
    CTempDir dir;
    const std::string strPort = "devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB3";
    const std::string strTty = strPort + "/tty/ttyUSB3";   // udev's %p, under /sys
    std::filesystem::create_directories(dir.Path("sys/" + strTty));
    std::filesystem::create_directories(dir.Path("sys/class/tty"));
    std::filesystem::create_directories(dir.Path("dev"));
    std::ofstream(dir.Path("sys/" + strPort + "/latency_timer")) << "16\n";
    std::filesystem::create_symlink("../../../ttyUSB3", dir.Path("sys/" + strTty + "/device"));
    std::filesystem::create_symlink("../../" + strTty, dir.Path("sys/class/tty/ttyUSB3"));
    std::ofstream(dir.Path("dev/ttyUSB3")).flush();
    const CLatencyTimer timer = LowerLatencyTimerIn(dir.Path("dev/ttyUSB3"), dir.Path("sys"));
    ASSERT_EQ(16, timer.nFoundMs);
    RestoreLatencyTimer(timer);

    const CUdevRule rule = ReadUdevRule(KELVORA_UDEV_RULE);
    EXPECT_EQ(
        (std::map<std::string, std::string>{
            {"ACTION", "add"}, {"SUBSYSTEM", "tty"}, {"KERNEL", "ttyUSB[0-9]*"}, {"DRIVERS", "ftdi_sio"}}),
        rule.matches);
    EXPECT_EQ(0, fnmatch(rule.matches.at("KERNEL").c_str(), "ttyUSB3", 0));
    EXPECT_EQ("", rule.strAssigned);   // no ATTR{latency_timer}=: other programs keep their timer
    // Each command, its program and its arguments, with the file as the device tree has it.
    std::vector<std::string> vecCommands;
    for (std::string strRun : rule.vecRuns) {
        const size_t nAt = strRun.find("/sys%p/");
        ASSERT_NE(std::string::npos, nAt) << strRun;
        const std::string strFile = dir.Path("sys/" + strTty) + strRun.substr(nAt + 6);
        ASSERT_TRUE(std::filesystem::exists(strFile)) << strFile;
        EXPECT_TRUE(std::filesystem::equivalent(strFile, timer.strSetting)) << strFile;
        vecCommands.push_back(strRun.substr(0, nAt));
        EXPECT_EQ(0, access(vecCommands.back().substr(0, vecCommands.back().find(' ')).c_str(), X_OK))
            << strRun;
    }
    EXPECT_EQ((std::vector<std::string>{"/bin/chgrp dialout ", "/bin/chmod g+w "}), vecCommands);
}

// HKLM as paths: key -> its values; subkeys are the keys one level below.
class CFakeRegistry : public CWindowsDiscoveryApi
{
public:
    std::map<std::string, std::map<std::string, std::string>> keys;
    int nOpen = 0;

    bool GetVersion(unsigned long*, unsigned long*) override { return false; }
    unsigned long GetLastError() override { return 0; }
    bool OpenSerialInterfaces() override { return false; }
    bool EnumInterface(unsigned long) override { return false; }
    bool GetInterfaceDetail(std::string&) override { return false; }
    bool GetProperty(EProperty, std::string&) override { return false; }
    bool GetInstanceId(std::string&) override { return false; }
    bool GetParentInstanceId(std::string&) override { return false; }
    void CloseSerialInterfaces() override {}

    long OpenKey(RegKey, const std::string& strName, RegKey* phKey) override
    {
        const auto it = keys.find(strName);
        if (it == keys.end())
            return 2;   // ERROR_FILE_NOT_FOUND
        ++nOpen;
        *phKey = const_cast<std::string*>(&it->first);
        return 0;
    }
    long EnumKey(RegKey hKey, unsigned long dwIndex, std::string& strName) override
    {
        const std::string strPrefix = *static_cast<std::string*>(hKey) + "\\";
        for (const auto& key : keys)
            if (key.first.rfind(strPrefix, 0) == 0 &&
                key.first.find('\\', strPrefix.size()) == std::string::npos && dwIndex-- == 0) {
                strName = key.first.substr(strPrefix.size());
                return 0;
            }
        return static_cast<long>(kErrorNoMoreItems);
    }
    long QueryValue(RegKey hKey, const char* pszName, std::string& strValue) override
    {
        const auto& values = keys.at(*static_cast<std::string*>(hKey));
        const auto it = values.find(pszName);
        if (it == values.end())
            return 2;
        strValue = it->second;
        return 0;
    }
    void CloseKey(RegKey) override { --nOpen; }
};

TEST(LatencyTimer, WindowsReadsTheFtdiSettingOfThePort)
{
    const std::string strFtdi = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
    CFakeRegistry registry;
    registry.keys[strFtdi] = {};
    registry.keys[strFtdi + "\\VID_0403+PID_6001+A1"] = {};
    registry.keys[strFtdi + "\\VID_0403+PID_6001+A1\\0000"] = {};
    registry.keys[strFtdi + "\\VID_0403+PID_6001+A1\\0000\\Device Parameters"] = {{"PortName", "COM4"},
                                                                                  {"LatencyTimer", "2"}};
    registry.keys[strFtdi + "\\VID_0403+PID_6001+B2"] = {};
    registry.keys[strFtdi + "\\VID_0403+PID_6001+B2\\0000"] = {};
    registry.keys[strFtdi + "\\VID_0403+PID_6001+B2\\0000\\Device Parameters"] = {{"PortName", "COM7"},
                                                                                  {"LatencyTimer", "16"}};
    const CLatencyTimer timer = FindFtdiLatencyTimer("COM7", registry);
    EXPECT_EQ(16, timer.nFoundMs);
    EXPECT_FALSE(timer.bLowered);
    EXPECT_EQ("HKLM\\" + strFtdi + "\\VID_0403+PID_6001+B2\\0000\\Device Parameters", timer.strSetting);
    EXPECT_EQ(-1, FindFtdiLatencyTimer("COM3", registry).nFoundMs);
    EXPECT_EQ(0, registry.nOpen);   // every key closed
    EXPECT_EQ(-1, FindFtdiLatencyTimer("COM7", *std::make_unique<CFakeRegistry>()).nFoundMs);
}

TEST(LatencyTimer, AdviceSaysTheCostAndTheRemedyOnce)
{
    // 32 KiB programmed and verified: 32768 + 130 blocks of 6 + 65536.
    EXPECT_EQ(99084, EstimateEchoedBytes(32768, true, 0));
    EXPECT_EQ(200, EstimateEchoedBytes(0, false, 100));
    CLatencyTimer timerLinux;
    timerLinux.nFoundMs = 16;
    timerLinux.strSetting = "/sys/class/tty/ttyUSB0/device/latency_timer";
    EXPECT_EQ(
        "The adapter's latency timer is 16 ms (/sys/class/tty/ttyUSB0/device/latency_timer), and it could "
        "not be lowered: each echoed byte may wait that long, about 26 min for this job. With the Kelvora "
        "package installed, join the group dialout and plug the adapter in again: Kelvora then sets it to 1 "
        "ms while it holds the port. Without the package, add the udev rule ACTION==\"add\", "
        "SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", ATTR{latency_timer}=\"1\" to "
        "/etc/udev/rules.d/99-kelvora.rules.",
        FormatLatencyAdvice(timerLinux, 99084));
    CLatencyTimer timerWindows;
    timerWindows.nFoundMs = 16;
    timerWindows.strSetting = "HKLM\\X\\Device Parameters";
    EXPECT_EQ(
        "The adapter's latency timer is 16 ms (HKLM\\X\\Device Parameters): each echoed byte may wait that "
        "long, about 4 s for this job. To set it to 1 ms: Device Manager, the port's Properties, Port "
        "Settings, Advanced, Latency Timer (msec) 1, then plug the adapter in again.",
        FormatLatencyAdvice(timerWindows, 200));
    timerLinux.bLowered = true;   // lowered for the session: a detail, no advice
    EXPECT_EQ("", FormatLatencyAdvice(timerLinux, 99084));
    EXPECT_EQ("The adapter's latency timer was 16 ms: set to 1 ms until the port is closed",
              FormatLatencyLowered(timerLinux));
    EXPECT_EQ("", FormatLatencyAdvice(CLatencyTimer(), 99084));   // no adapter we know of
    const CJobSize flash32k{32768, 32768};
    EXPECT_EQ(99084, EstimateEchoedBytes(flash32k));
    EXPECT_EQ("Line round trip 16.40 ms per byte: about 27 min for this job",
              FormatRoundTrip(16.4, 0, EstimateJobSeconds(flash32k, 16.4, 1, 57600)));
    EXPECT_EQ("Line round trip 0.35 ms per byte", FormatRoundTrip(0.35, 0, 0));
    // Pipelined at 16 ms: the line's time and one round trip per block (4 KiB: 4181 bytes sent at
    // 5760 B/s and 17 blocks of 16.4 ms, then 2048 exchanges whose 12288 replies take 2.13 s).
    const double dPipelined = EstimateJobSeconds(CJobSize{4096, 4096}, 16.4, 103, 57600);
    EXPECT_NEAR(0.726 + 0.279 + 2.133 + 0.016, dPipelined, 0.01);
    EXPECT_EQ("Line round trip 16.40 ms per byte, 103 bytes sent ahead: about 4 s for this job",
              FormatRoundTrip(16.4, 103, dPipelined));
    // A shallow depth is what bounds it: 16 bytes per round trip.
    EXPECT_NEAR(4181 / (16 / 0.0164) + 0.279 + 2048 * 4 / (16 / 0.0164) + 0.0164,
                EstimateJobSeconds(CJobSize{4096, 4096}, 16.4, 16, 57600), 0.01);
}

// Enough bytes ahead to fill a round trip, within the asked depth and the most the link takes.
TEST(LatencyTimer, DepthCoversTheRoundTrip)
{
    const struct
    {
        double dRoundTripMs;
        int nBaudRate;
        int nDepth;
        int nExpected;
    } aCases[] = {{0.4, 57600, 16, 16},    {17.4, 57600, 16, 103}, {17.4, 9600, 16, 19},
                  {17.4, 57600, 200, 200}, {100, 115200, 16, 255}, {1e300, 57600, 16, 255}};
    for (const auto& c : aCases)
        EXPECT_EQ(c.nExpected, GetDepthForRoundTrip(c.dRoundTripMs, c.nBaudRate, c.nDepth)) << c.dRoundTripMs;
}
}   // namespace
