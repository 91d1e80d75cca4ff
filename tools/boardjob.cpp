#include "tools/boardjob.h"

#include <chrono>
#include <cstdio>
#include <exception>

#include "hex/hexfile.h"
#include "tools/boardprogress.h"
#include "tools/clihelpers.h"
#include "tools/console.h"
#include "tools/devicepermission.h"
#include "tools/imagewriter.h"
#include "tools/interrupt.h"

namespace
{
const char kBoardName[] = "Phytec KC167CR";
constexpr int kTestBytes = 255;        // the connection test echoes 0x00..0xFE
constexpr int kFlasherFirstPos = 50;   // the flasher program's bar starts where the loader chain's ended

std::string Hex6(uint32_t dwValue)
{
    char sz[16];
    std::snprintf(sz, sizeof sz, "0x%06X", dwValue);
    return sz;
}

// Names the step under way and, when Ctrl-C ends it, keeps how far its progress had come:
// the progress object is gone by the time the job hears of the interruption.
class CStep
{
public:
    CStep(std::string& strStep, int& nStopPercent, const std::string& strName, const CBoardProgress& progress)
        : m_nStopPercent(nStopPercent), m_progress(progress), m_nUncaught(std::uncaught_exceptions())
    {
        strStep = strName;
        nStopPercent = -1;
    }
    ~CStep()
    {
        if (std::uncaught_exceptions() > m_nUncaught)
            m_nStopPercent = m_progress.GetPercent();
    }
    CStep(const CStep&) = delete;
    CStep& operator=(const CStep&) = delete;

private:
    int& m_nStopPercent;
    const CBoardProgress& m_progress;
    int m_nUncaught;
};
}   // namespace

CBoardJob::CBoardJob(const CCliOptions& options, const CBoardPort& port, const std::string& strOutput,
                     CConsole& console, const std::string& strPrefix)
    : m_options(options), m_port(port), m_strOutput(strOutput), m_console(console), m_strPrefix(strPrefix)
{
    m_result.strPort = port.strName;
    m_result.strOperation = options.GetCommandName();
}

CBoardJob::~CBoardJob()
{
    m_link.Close();
}

CBoardResult CBoardJob::Run()
{
    const auto tpStart = std::chrono::steady_clock::now();
    try {
        m_strStep = "connecting";
        if (LoadImage() == 0 && ConnectBoard() == 0 && RunOperation() == 0) {
            Disconnect();
            m_result.bOk = true;
        }
    } catch (const CInterrupted&) {
        std::string strWhere = "stopped while " + m_strStep;
        if (m_nStopPercent >= 0)
            strWhere += " at " + std::to_string(m_nStopPercent) + "%";
        m_link.Close();
        m_result.bInterrupted = true;
        m_result.strError = "Interrupted: " + strWhere;
        m_console.Error(m_strPrefix, m_result.strError);
        m_console.Log(m_strPrefix, "Connection closed");
        m_console.Log(m_strPrefix, "Serial port closed");
    }
    m_result.dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - tpStart).count();
    return m_result;
}

int CBoardJob::LoadImage()
{
    const std::string strPath = m_options.GetImagePath();
    if (strPath.empty())
        return 0;
    m_pImage = std::make_unique<CHexFile>(strPath.c_str());
    if (m_pImage->Verify() != 0) {
        Fail(strPath + " is not a valid intel hex file");
        return -1;
    }
    if (m_pImage->Load() != 0) {
        Fail(strPath + " cannot be loaded into memory");
        return -1;
    }
    return 0;
}

void CBoardJob::Fail(const std::string& strError)
{
    m_result.strError += (m_result.strError.empty() ? "" : "; ") + strError;
    m_console.Error(m_strPrefix, strError);
}

int CBoardJob::ConnectBoard()
{
    m_console.Log(m_strPrefix, "Trying to connect");
    const std::string strDir = m_options.strDir.empty() ? "." : m_options.strDir;
    const std::string strBsl = strDir + "/prel1.hex";
    const std::string strFirst = strDir + "/prel2.hex";
    const std::string strSecond = strDir + "/" + m_options.GetFlasherFile();
    m_console.Detail(m_strPrefix, "Port " + m_port.strDevicePath + " at " +
                                      std::to_string(m_options.nBaudRate) + " bit/s, flasher program " +
                                      strSecond);
    if (m_link.Init(m_port.strDevicePath.c_str(), m_options.nBaudRate, strBsl.c_str(), strFirst.c_str(),
                    strSecond.c_str()) != 0)
        return FailConnect("Serial Port closed");
    ThrowIfInterrupted();
    m_console.Log(m_strPrefix, "Serial port opened");
    const int nId = m_link.Connect();
    if (nId == -1)
        return FailConnect("Serial Port closed");
    m_console.Log(m_strPrefix, std::string("Connected to target ") + kBoardName);
    char szLine[32];
    std::snprintf(szLine, sizeof szLine, "CPU returned ID: %2X", static_cast<unsigned>(nId) & 0xFFu);
    m_console.Log(m_strPrefix, szLine);
    ThrowIfInterrupted();
    m_console.Log(m_strPrefix, "Sending bootstraploader");
    if (m_link.SendBsl() != 0)
        return FailConnect("Serial Port closed");
    m_console.Log(m_strPrefix, "BSL loaded");
    m_console.Log(m_strPrefix, "Sending second stage BSL");
    ThrowIfInterrupted();
    if (m_link.SendFirstLoader() != 0)
        return FailConnect("Serial port closed");
    m_console.Log(m_strPrefix, "Second stage BSL loaded");
    m_console.Log(m_strPrefix, "Sending flasher program");
    {
        CBoardProgress progress(m_console, m_strPrefix, "Flasher program",
                                m_link.m_pSecondLoader->m_nByteCount, kFlasherFirstPos);
        CStep step(m_strStep, m_nStopPercent, "sending the flasher program", progress);
        if (m_link.SendSecondLoader(&progress) != 0)
            return FailConnect("Serial port closed");
        progress.SetProgress(100);   // the window sets the bar full once the program is sent
    }
    m_console.Log(m_strPrefix, "Flasher program loaded");
    m_console.Log(m_strPrefix, "Testing connection");
    {
        CBoardProgress progress(m_console, m_strPrefix, "Connection test", kTestBytes);
        CStep step(m_strStep, m_nStopPercent, "testing the connection", progress);
        if (m_link.TestConnection(&progress) != 0)
            return FailConnect("Serial port closed");
        progress.SetProgress(100);
    }
    m_console.Log(m_strPrefix, "Connection tested");
    return 0;
}

int CBoardJob::FailConnect(const char* pszClosedLine)
{
    m_link.Close();
    ReportOpenFailure();
    m_console.Log(m_strPrefix, pszClosedLine);
    m_console.Error(m_strPrefix, "Cannot connect to target");
    return -1;
}

void CBoardJob::ReportOpenFailure()
{
    std::string strText = m_link.GetErrorText();
    if (m_link.m_nSystemError == 0) {
        Fail(strText);
        return;
    }
    // The link's text stays as it is; the system's reason follows it.
    Fail(strText + ": " + m_link.m_strSystemError);
    if (IsPermissionRefusal(m_link.m_nSystemError))
        m_console.Error(m_strPrefix,
                        GetPermissionRemedy(m_port.strDevicePath, GetDeviceGroup(m_port.strDevicePath)));
}

int CBoardJob::LoseConnection()
{
    const std::string strText = m_link.GetErrorText();
    if (!strText.empty())
        Fail(strText);
    Fail("Lost connection to target");
    m_link.Close();
    m_console.Log(m_strPrefix, "Connection closed");
    m_console.Log(m_strPrefix, "Serial port closed");
    return -1;
}

void CBoardJob::Disconnect()
{
    m_link.Close();
    m_console.Log(m_strPrefix, "Connection closed");
    m_console.Log(m_strPrefix, "Serial port closed");
}

int CBoardJob::Refuse(const std::string& strError)
{
    Fail(strError);
    Disconnect();
    return -1;
}

int CBoardJob::RunOperation()
{
    switch (m_options.eCommand) {
    case ECommand::Info:
        return ShowInfo();
    case ECommand::Sectors:
        return ShowSectors();
    case ECommand::Erase:
        if (QuerySectorCount() != 0 || Erase(m_options.eEraseMode) != 0)
            return -1;
        m_result.nBytes = m_nErasedBytes;
        return 0;
    case ECommand::Flash:
        return Flash();
    case ECommand::Read:
        return Read();
    default:
        return 0;
    }
}

int CBoardJob::ShowInfo()
{
    m_strStep = "reading the info text";
    if (m_link.SelectInfoGroup() != 0)
        return LoseConnection();
    const std::unique_ptr<std::string> pText = m_link.GetInfoText();
    if (pText == nullptr) {
        Fail(m_link.GetErrorText());
        Disconnect();
        return -1;
    }
    m_console.Answer(m_strPrefix, *pText);
    return 0;
}

int CBoardJob::QuerySectorCount()
{
    m_strStep = "reading the sector count";
    if (m_link.SelectEraseGroup() != 0)
        return LoseConnection();
    m_nSectorCount = m_link.GetSectorCount();
    // 0 is also what a failed query returns; only the error text tells them apart.
    if (m_nSectorCount < 0 || (m_nSectorCount == 0 && !m_link.GetErrorText().empty()))
        return LoseConnection();
    m_console.Detail(m_strPrefix, "Flash sectors: " + std::to_string(m_nSectorCount));
    return 0;
}

int CBoardJob::ShowSectors()
{
    if (QuerySectorCount() != 0)
        return -1;
    m_console.Answer(m_strPrefix, "Sector\tRange\tStatus");
    for (int i = 0; i < m_nSectorCount; ++i)
        m_console.Answer(m_strPrefix, FormatSectorLine(i, false));
    return 0;
}

int CBoardJob::Erase(EEraseMode eMode)
{
    switch (eMode) {
    case EEraseMode::None:
        return 0;
    case EEraseMode::Chip: {
        m_strStep = "erasing the flash chip";
        ThrowIfInterrupted();
        m_console.Log(m_strPrefix, "Erasing flash chip");
        if (m_link.SelectEraseGroup() != 0)
            return LoseConnection();
        if (m_link.EraseChip() != 0) {
            Fail("Error cannot delete flash chip");
            return LoseConnection();
        }
        m_console.Log(m_strPrefix, "Flash chip erased");
        ThrowIfInterrupted();   // an erase reports no progress: Ctrl-C is heard once it is over
        m_nErasedBytes = static_cast<int64_t>(m_nSectorCount) * kSectorSize;
        return 0;
    }
    case EEraseMode::Sectors:
        for (int nSector : m_options.vecSectors)
            if (nSector >= m_nSectorCount)
                return Refuse("sector " + std::to_string(nSector) + " does not exist: the board has " +
                              std::to_string(m_nSectorCount) + " sectors (0.." +
                              std::to_string(m_nSectorCount - 1) + "); nothing was erased");
        return EraseSectorList(m_options.vecSectors);
    case EEraseMode::Image: {
        std::string strError;
        if (CheckImageAgainstChip(*m_pImage, m_nSectorCount, strError) != 0)
            return Refuse(m_options.GetImagePath() + ": " + strError + "; nothing was erased");
        return EraseSectorList(GetSectorsTouched(*m_pImage));
    }
    }
    return 0;
}

int CBoardJob::EraseSectorList(const std::vector<int>& vecSectors)
{
    for (int nSector : vecSectors) {
        m_strStep = "erasing sector " + std::to_string(nSector);
        ThrowIfInterrupted();
        m_console.Log(m_strPrefix, "Erasing sector " + std::to_string(nSector) + " (" +
                                       Hex6(static_cast<uint32_t>(nSector) * kSectorSize) + " - " +
                                       Hex6(static_cast<uint32_t>(nSector + 1) * kSectorSize - 1) + ")");
        if (m_link.SelectEraseGroup() != 0)
            return LoseConnection();
        if (m_link.EraseSector(nSector) != 0) {
            Fail("Error deleting sector");
            return LoseConnection();
        }
        m_nErasedBytes += kSectorSize;
        ThrowIfInterrupted();
    }
    m_console.Log(m_strPrefix, std::to_string(vecSectors.size()) +
                                   (vecSectors.size() == 1 ? " sector" : " sectors") + " erased");
    return 0;
}

int CBoardJob::Flash()
{
    if (QuerySectorCount() != 0)
        return -1;
    // Before anything is erased: an image that does not fit would fail only at verification.
    std::string strError;
    if (CheckImageAgainstChip(*m_pImage, m_nSectorCount, strError) != 0)
        return Refuse(m_options.strFile + ": " + strError + "; nothing was erased or programmed");
    if (Erase(m_options.eEraseMode) != 0)
        return -1;
    m_console.Log(m_strPrefix, "Programming " + m_options.strFile + ": " + Hex6(m_pImage->GetStartAddress()) +
                                   " - " + Hex6(m_pImage->GetEndAddress()) + ", " +
                                   std::to_string(m_pImage->m_nByteCount) + " bytes");
    m_strStep = "programming";
    if (m_link.SelectFlashGroup() != 0)
        return LoseConnection();
    {
        CBoardProgress progress(m_console, m_strPrefix, "Programming", m_pImage->m_nByteCount);
        CStep step(m_strStep, m_nStopPercent, "programming", progress);
        if (m_link.ProgramImage(&progress, m_pImage.get()) != 0) {
            Fail("Flash failed");
            return LoseConnection();
        }
    }
    m_result.nBytes = m_pImage->m_nByteCount;
    if (m_options.bNoVerify) {
        m_console.Log(m_strPrefix, "Hexfile flashed successfully");
        return 0;
    }
    return Verify();
}

int CBoardJob::Verify()
{
    m_strStep = "verifying";
    if (m_link.SelectFlashGroup() != 0)
        return LoseConnection();
    int nResult;
    {
        CBoardProgress progress(m_console, m_strPrefix, "Verifying", m_pImage->m_nByteCount);
        CStep step(m_strStep, m_nStopPercent, "verifying", progress);
        nResult = m_link.VerifyImage(&progress, m_pImage.get());
    }
    if (nResult == 0) {
        m_console.Log(m_strPrefix, "Hexfile flashed and verified successfully");
        return 0;
    }
    if (m_link.m_bVerifyMismatch == 0) {
        Fail("Verify failed");
        return LoseConnection();
    }
    // A difference leaves the link connected: the read-back was ended properly.
    char szLine[96];
    std::snprintf(szLine, sizeof szLine,
                  "Verify failed: first difference at 0x%06X, expected 0x%02X, read 0x%02X",
                  m_link.m_dwMismatchAddress, m_link.m_byMismatchExpected, m_link.m_byMismatchRead);
    Fail(szLine);
    Disconnect();
    return -1;
}

int CBoardJob::Read()
{
    if (QuerySectorCount() != 0)
        return -1;
    const uint64_t nChipEnd = static_cast<uint64_t>(m_nSectorCount) * kSectorSize;
    const uint64_t nEnd = static_cast<uint64_t>(m_options.dwReadStart) + m_options.nReadLength;
    if (nEnd > nChipEnd)
        return Refuse(
            "the range " + Hex6(m_options.dwReadStart) + " - " + Hex6(static_cast<uint32_t>(nEnd - 1)) +
            " reaches beyond the flash (" + std::to_string(m_nSectorCount) + " sectors of 32 KiB" +
            (nChipEnd > 0 ? ", up to " + Hex6(static_cast<uint32_t>(nChipEnd - 1)) : std::string()) +
            "); nothing was read");
    m_console.Log(m_strPrefix, "Reading " + Hex6(m_options.dwReadStart) + " - " +
                                   Hex6(static_cast<uint32_t>(nEnd - 1)) + ", " +
                                   std::to_string(m_options.nReadLength) + " bytes");
    m_strStep = "reading";
    if (m_link.SelectFlashGroup() != 0)
        return LoseConnection();
    std::vector<uint8_t> vecData(m_options.nReadLength);
    {
        CBoardProgress progress(m_console, m_strPrefix, "Reading", m_options.nReadLength);
        CStep step(m_strStep, m_nStopPercent, "reading", progress);
        if (m_link.ReadFlash(&progress, m_options.dwReadStart, m_options.nReadLength, vecData.data()) != 0) {
            Fail("Read failed");
            return LoseConnection();
        }
    }
    std::string strError;
    if (WriteImageFile(m_strOutput, m_options.dwReadStart, vecData, strError) != 0)
        return Refuse(strError);
    m_result.nBytes = m_options.nReadLength;
    m_console.Log(m_strPrefix, std::to_string(m_options.nReadLength) + " bytes read into " + m_strOutput);
    return 0;
}
