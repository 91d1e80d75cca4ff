// kelvora-flash: the connection and flashing workflow on the command line.
// Boots the board through its bootstrap loader, then erases, programs and verifies an
// Intel hex image, reporting every step as one log line like the main window does.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "hex/hexfile.h"
#include "link/progresssink.h"
#include "link/targetlink.h"
#include "serial/osversion.h"
#include "serial/portdiscovery.h"

namespace
{
const char* const kFlasherFiles[] = {"main.h86", "mainnex.h86", "mainamd.h86"};
const char* const kChipNames[] = {"AUTO", "NexFlash", "AMD"};
const char* const kBoardName = "Phytec KC167CR";

void Log(const std::string& strLine)
{
    std::printf("%s\n", strLine.c_str());
    std::fflush(stdout);
}

// Shows a progress bar on stderr when it is a terminal; positions above 100 show as full.
class CTextProgress : public CProgressSink
{
public:
    explicit CTextProgress(const char* pszLabel) : m_pszLabel(pszLabel), m_bTty(isatty(2) != 0) {}
    ~CTextProgress() override { Finish(); }
    void SetProgress(int nPos) override
    {
        if (nPos > 100)
            nPos = 100;
        if (!m_bTty || nPos == m_nShown)
            return;
        m_nShown = nPos;
        std::fprintf(stderr, "\r%-16s [%-50s] %3d%%", m_pszLabel, std::string(nPos / 2, '#').c_str(), nPos);
        std::fflush(stderr);
    }
    void Finish()
    {
        if (m_bTty && m_nShown >= 0)
            std::fprintf(stderr, "\n");
        m_nShown = -1;
    }

private:
    const char* m_pszLabel;
    bool m_bTty;
    int m_nShown = -1;
};

struct COptions
{
    std::string strPort;
    int nBaudRate = 57600;
    int nChip = 0;
    std::string strDir = ".";
    std::string strImage;
    std::string strErase = "chip";   // chip, none, or a list of sector numbers
    bool bVerify = true;
    bool bInfo = true;
    bool bAskReset = true;
};

void Usage()
{
    std::printf(
        "usage: kelvora-flash [options] [IMAGE.hex]\n"
        "  --port DEVICE     serial device (default: the first simulated board, else the first port)\n"
        "  --baud N          line speed, 1200..57600 (default 57600)\n"
        "  --chip NAME       flash chip: auto, nex or amd (flasher main.h86, mainnex.h86, mainamd.h86)\n"
        "  --dir DIR         folder of prel1.hex, prel2.hex and the flasher files (default .)\n"
        "  --erase WHAT      chip (default), none, or sector numbers such as 0,1,2\n"
        "  --no-verify       program without reading the image back\n"
        "  --no-info         do not ask the flasher program for its info text\n"
        "  --yes             do not wait for Enter after \"please reset the board\"\n"
        "Without IMAGE the board is booted, listed and left unchanged.\n");
}

int ParseOptions(int argc, char** argv, COptions& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string strArg = argv[i];
        auto next = [&](std::string& strValue) {
            if (i + 1 >= argc)
                return false;
            strValue = argv[++i];
            return true;
        };
        std::string strValue;
        if (strArg == "--help" || strArg == "-h") {
            Usage();
            std::exit(0);
        } else if (strArg == "--port" && next(strValue)) {
            options.strPort = strValue;
        } else if (strArg == "--baud" && next(strValue)) {
            options.nBaudRate = std::atoi(strValue.c_str());
        } else if (strArg == "--chip" && next(strValue)) {
            if (strValue == "auto")
                options.nChip = 0;
            else if (strValue == "nex")
                options.nChip = 1;
            else if (strValue == "amd")
                options.nChip = 2;
            else
                return -1;
        } else if (strArg == "--dir" && next(strValue)) {
            options.strDir = strValue;
        } else if (strArg == "--erase" && next(strValue)) {
            options.strErase = strValue;
        } else if (strArg == "--no-verify") {
            options.bVerify = false;
        } else if (strArg == "--no-info") {
            options.bInfo = false;
        } else if (strArg == "--yes") {
            options.bAskReset = false;
        } else if (!strArg.empty() && strArg[0] != '-' && options.strImage.empty()) {
            options.strImage = strArg;
        } else {
            return -1;
        }
    }
    return 0;
}

std::string FindPort()
{
    std::vector<SerialPortInfo> ports;
    try {
        EnumerateSerialPorts(ports);
    } catch (const std::string& strError) {
        Log(strError);
    }
    for (const SerialPortInfo& port : ports)
        if (port.m_strFriendlyName.rfind("Simulated", 0) == 0)
            return port.m_strDevicePath;
    return ports.empty() ? std::string() : ports.front().m_strDevicePath;
}

// Boots the board up to the flasher program; logs like the main window's Connect.
int ConnectTarget(CTargetLink& link, const COptions& options)
{
    Log("please reset the board");
    if (options.bAskReset && isatty(0)) {
        std::fprintf(stderr, "Reset the board, then press Enter...");
        int ch;
        while ((ch = std::getchar()) != '\n' && ch != EOF) {
        }
    }
    Log("Trying to connect");
    const std::string strBsl = options.strDir + "/prel1.hex";
    const std::string strFirst = options.strDir + "/prel2.hex";
    const std::string strSecond = options.strDir + "/" + kFlasherFiles[options.nChip];
    auto fail = [&](const char* pszClosed) {
        link.Close();
        Log(link.GetErrorText());
        Log(pszClosed);
        Log("Cannot connect to target");
        return -1;
    };
    if (link.Init(options.strPort.c_str(), options.nBaudRate, strBsl.c_str(), strFirst.c_str(),
                  strSecond.c_str()) != 0)
        return fail("Serial Port closed");
    Log("Serial port opened");
    const int nId = link.Connect();
    if (nId == -1)
        return fail("Serial Port closed");
    Log(std::string("Connected to target ") + kBoardName);
    char szLine[32];
    std::snprintf(szLine, sizeof szLine, "CPU returned ID: %2X", static_cast<unsigned>(nId) & 0xFFu);
    Log(szLine);
    Log("Sending bootstraploader");
    if (link.SendBsl() != 0)
        return fail("Serial Port closed");
    Log("BSL loaded");
    Log("Sending second stage BSL");
    if (link.SendFirstLoader() != 0)
        return fail("Serial port closed");
    Log("Second stage BSL loaded");
    Log("Sending flasher program");
    {
        CTextProgress progress("Flasher program");
        if (link.SendSecondLoader(&progress) != 0)
            return fail("Serial port closed");
    }
    Log("Flasher program loaded");
    Log("Testing connection");
    {
        CTextProgress progress("Testing");
        if (link.TestConnection(&progress) != 0)
            return fail("Serial port closed");
    }
    Log("Connection tested");
    return 0;
}

int LostConnection(CTargetLink& link)
{
    Log(link.GetErrorText());
    Log("Lost connection to target");
    link.Close();
    Log("Connection closed");
    Log("Serial port closed");
    return 1;
}

int EraseAsked(CTargetLink& link, const std::string& strErase)
{
    if (strErase == "none")
        return 0;
    if (strErase == "chip") {
        Log("Erasing flash chip");
        if (link.SelectEraseGroup() != 0 || link.EraseChip() != 0) {
            Log("Error cannot delete flash chip");
            return -1;
        }
        Log("Flash chip erased");
        return 0;
    }
    size_t nPos = 0;
    while (nPos < strErase.size()) {
        size_t nEnd = strErase.find(',', nPos);
        if (nEnd == std::string::npos)
            nEnd = strErase.size();
        const int nSector = std::atoi(strErase.substr(nPos, nEnd - nPos).c_str());
        Log("Erasing sector " + std::to_string(nSector));
        if (link.SelectEraseGroup() != 0 || link.EraseSector(nSector) != 0) {
            Log("Error deleting sector");
            return -1;
        }
        nPos = nEnd + 1;
    }
    return 0;
}
}   // namespace

int main(int argc, char** argv)
{
    COptions options;
    if (ParseOptions(argc, argv, options) != 0) {
        Usage();
        return 2;
    }
    Log("Kelvora started");
    Log("OS Version: " + GetOsVersionText());

    // The image is checked before the board is touched.
    std::unique_ptr<CHexFile> pImage;
    if (!options.strImage.empty()) {
        pImage = std::make_unique<CHexFile>(options.strImage.c_str());
        if (pImage->Verify() != 0) {
            Log(options.strImage + " is not a valid intel hex file");
            return 1;
        }
        if (pImage->Load() != 0) {
            Log(options.strImage + " cannot be loaded into memory");
            return 1;
        }
        char szLine[128];
        std::snprintf(szLine, sizeof szLine, "Hex file loaded: 0x%06X .. 0x%06X, %d bytes",
                      pImage->m_pFirst->dwAddress, pImage->GetEndAddress(), pImage->m_nByteCount);
        Log(szLine);
    }

    if (options.strPort.empty())
        options.strPort = FindPort();
    Log("Port: " + (options.strPort.empty() ? std::string("(none found)") : options.strPort) +
        ", flash chip " + kChipNames[options.nChip]);

    CTargetLink link;
    if (ConnectTarget(link, options) != 0) {
        return 1;
    }

    int nExit = 0;
    if (options.bInfo) {
        if (link.SelectInfoGroup() != 0) {
            return LostConnection(link);
        }
        std::unique_ptr<std::string> pText = link.GetInfoText();
        Log("Info: " + (pText ? *pText : std::string()));
    }
    if (link.SelectEraseGroup() != 0) {
        return LostConnection(link);
    }
    const int nSectors = link.GetSectorCount();
    Log("Flash sectors: " + std::to_string(nSectors));

    if (pImage != nullptr) {
        if (EraseAsked(link, options.strErase) != 0) {
            return LostConnection(link);
        }
        Log("Flashing");
        int nResult;
        {
            CTextProgress progress("Progress flash");
            nResult = link.SelectFlashGroup() == 0 ? link.ProgramImage(&progress, pImage.get()) : -1;
        }
        if (nResult != 0) {
            Log("Flash failed");
            return LostConnection(link);
        }
        if (options.bVerify) {
            CTextProgress progress("Progress verify");
            if (link.SelectFlashGroup() != 0) {
                progress.Finish();
                return LostConnection(link);
            }
            nResult = link.VerifyImage(&progress, pImage.get());
            progress.Finish();
            if (nResult != 0) {
                Log("Verify failed");
                nExit = 1;
            } else {
                Log("Hexfile flashed and verified successfully");
            }
        } else {
            Log("Hexfile flashed successfully");
        }
    }

    link.Close();
    Log("Connection closed");
    Log("Serial port closed");
    return nExit;
}
