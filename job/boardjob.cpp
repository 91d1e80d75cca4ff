#include "job/boardjob.h"

#include <chrono>
#include <ctime>

#include "hex/hexfile.h"
#include "job/adapteradvice.h"
#include "job/boardfacts.h"
#include "job/imagecheck.h"
#include "job/imagewriter.h"
#include "job/jobsink.h"
#include "job/jobtexts.h"
#include "job/verifyoutcome.h"

namespace
{
// From the last check for a stop up to the erase's end: nothing stops the run in between.
class CErasingScope
{
public:
    explicit CErasingScope(CJobSink& sink) : m_sink(sink) { m_sink.SetErasing(true); }
    ~CErasingScope() { m_sink.SetErasing(false); }
    CErasingScope(const CErasingScope&) = delete;
    CErasingScope& operator=(const CErasingScope&) = delete;

private:
    CJobSink& m_sink;
};
}   // namespace

CBoardResult MakeBoardResult(const CBoardRequest& request, const std::string& strPortName)
{
    CBoardResult result;
    result.strPort = strPortName;
    result.strOperation = request.strOperationName;
    result.strVersion = request.strVersion;
    result.tStarted = result.tEnded = std::time(nullptr);
    result.strImage = request.strImagePath;
    result.nImageSize = request.nImageSize;
    result.strImageSha256 = request.strImageSha256;
    if (request.eOperation == EBoardOperation::Flash || request.eOperation == EBoardOperation::Erase) {
        const char* const pszModes[] = {"none", "chip", "sectors", "image"};
        result.strErase = pszModes[static_cast<int>(request.eEraseMode)];
    }
    return result;
}

CBoardJob::CBoardJob(const CBoardRequest& request, const std::string& strPortName,
                     const std::string& strDevice, const std::string& strOutput, CJobSink& sink,
                     std::shared_ptr<const CHexFile> pImage)
    : m_request(request), m_strDevice(strDevice), m_strOutput(strOutput), m_sink(sink),
      m_pImage(std::move(pImage)), m_result(MakeBoardResult(request, strPortName))
{}

CBoardJob::~CBoardJob()
{
    m_link.Close();
}

CBoardResult CBoardJob::Run()
{
    const auto tpStart = std::chrono::steady_clock::now();
    m_result.tStarted = std::time(nullptr);
    try {
        m_sink.SetDoing("connecting");
        CBootSettings boot = m_request.boot;
        boot.strPort = m_strDevice;
        if (LoadImage() == 0) {
            const bool bProgram = m_request.eOperation == EBoardOperation::Flash;
            boot.nJobEchoedBytes =
                EstimateEchoedBytes(bProgram ? m_pImage->m_nByteCount : 0, bProgram && m_request.bVerify,
                                    m_request.eOperation == EBoardOperation::Read     ? m_request.nReadLength
                                    : m_request.eOperation == EBoardOperation::Verify ? m_pImage->m_nByteCount
                                                                                      : 0);
            if (RunBootChain(m_link, boot, m_sink) != 0) {
                m_sink.Error(kTextCannotConnect);
            } else {
                m_result.dRoundTripMs = m_link.GetRoundTripMs();
                if (RunOperation() == 0) {
                    Disconnect();
                    m_result.bOk = true;
                }
            }
        }
        m_result.strError = m_sink.GetErrors();
    } catch (const CJobStopped&) {
        std::string strWhere = "stopped while " + m_sink.GetDoing();
        if (m_sink.GetStopPercent() >= 0)
            strWhere += " at " + std::to_string(m_sink.GetStopPercent()) + "%";
        m_link.Close();
        m_result.bInterrupted = true;
        m_result.strError = "Interrupted: " + strWhere;
        m_sink.Error(m_result.strError);
        m_sink.Log(kTextConnectionClosed);
        m_sink.Log(kTextSerialPortClosed);
    }
    m_result.dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - tpStart).count();
    m_result.tEnded = std::time(nullptr);
    return m_result;
}

int CBoardJob::LoadImage()
{
    const std::string& strPath = m_request.strImagePath;
    if (strPath.empty() || m_pImage != nullptr)
        return 0;
    auto pImage = std::make_shared<CHexFile>(strPath.c_str());
    m_pImage = pImage;
    return LoadJobImage(*pImage, strPath, m_request.bRawImage, m_request.dwImageStart, m_sink);
}

int CBoardJob::LoseConnection(const std::string& strWhere)
{
    const std::string strText = m_link.GetErrorText();
    if (!strText.empty())
        m_sink.Fail(strText);
    if (!strWhere.empty())
        m_sink.Error(strWhere);
    m_sink.Fail(kTextLostConnection);
    m_link.Close();
    m_sink.Log(kTextConnectionClosed);
    m_sink.Log(kTextSerialPortClosed);
    return -1;
}

void CBoardJob::Disconnect()
{
    m_link.Close();
    m_sink.Log(kTextConnectionClosed);
    m_sink.Log(kTextSerialPortClosed);
}

int CBoardJob::Refuse(const std::string& strError)
{
    m_sink.Fail(strError);
    Disconnect();
    return -1;
}

int CBoardJob::RunOperation()
{
    switch (m_request.eOperation) {
    case EBoardOperation::Info:
        return ShowInfo();
    case EBoardOperation::Sectors:
        return ShowSectors();
    case EBoardOperation::Erase:
        if (QuerySectorCount() != 0 || Erase() != 0)
            return -1;
        m_result.nBytes = m_nErasedBytes;
        return 0;
    case EBoardOperation::Flash:
        return Flash();
    case EBoardOperation::Read:
        return Read();
    case EBoardOperation::Verify:
        return VerifyOnly();
    }
    return 0;
}

int CBoardJob::ShowInfo()
{
    m_sink.SetDoing("reading the info text");
    if (m_link.SelectInfoGroup() != 0)
        return LoseConnection();
    const std::unique_ptr<std::string> pText = m_link.GetInfoText();
    if (pText == nullptr)
        return Refuse(m_link.GetErrorText());
    m_sink.Answer(*pText);
    m_result.bInfoRead = true;
    m_result.strInfo = *pText;
    return 0;
}

int CBoardJob::QuerySectorCount()
{
    m_sink.SetDoing("reading the sector count");
    if (m_link.SelectEraseGroup() != 0)
        return LoseConnection();
    m_nSectorCount = m_link.GetSectorCount();
    // 0 is also what a failed query returns; only the error text tells them apart.
    if (m_nSectorCount < 0 || (m_nSectorCount == 0 && !m_link.GetErrorText().empty()))
        return LoseConnection();
    m_sink.Detail("Flash sectors: " + std::to_string(m_nSectorCount));
    return 0;
}

int CBoardJob::ShowSectors()
{
    if (QuerySectorCount() != 0)
        return -1;
    // The window's status column tells what it erased in its session; here it would say nothing.
    auto withoutStatus = [](const std::string& strLine) { return strLine.substr(0, strLine.rfind('\t')); };
    m_sink.Answer(withoutStatus(kSectorHeader));
    for (int i = 0; i < m_nSectorCount; ++i)
        m_sink.Answer(withoutStatus(FormatSectorLine(i, false)));
    m_result.nSectorsListed = m_nSectorCount;
    return 0;
}

int CBoardJob::Erase()
{
    switch (m_request.eEraseMode) {
    case EEraseMode::None:
        return 0;
    case EEraseMode::Chip: {
        m_sink.SetDoing("erasing the flash chip");
        m_sink.CheckPoint();
        CErasingScope erasing(m_sink);
        m_sink.Log("Erasing flash chip");
        if (m_link.SelectEraseGroup() != 0)
            return LoseConnection();
        if (m_link.EraseChip() != 0) {
            m_sink.Fail(kTextCannotEraseChip);
            return LoseConnection();
        }
        m_sink.Log("Flash chip erased");
        m_sink.CheckPoint();   // an erase reports no progress: a stop is heard once it is over
        m_nErasedBytes = static_cast<int64_t>(m_nSectorCount) * kSectorSize;
        for (int i = 0; i < m_nSectorCount; ++i)
            m_result.vecSectorsErased.push_back(i);
        return 0;
    }
    case EEraseMode::Sectors:
        for (int nSector : m_request.vecSectors)
            if (nSector >= m_nSectorCount)
                return Refuse("sector " + std::to_string(nSector) + " does not exist: the board has " +
                              std::to_string(m_nSectorCount) + " sectors (0.." +
                              std::to_string(m_nSectorCount - 1) + "); nothing was erased");
        return EraseSectorList(m_request.vecSectors);
    case EEraseMode::Image: {
        std::string strError;
        if (CheckImageAgainstChip(*m_pImage, m_nSectorCount, strError) != 0)
            return Refuse(m_request.strImagePath + ": " + strError + "; nothing was erased");
        return EraseSectorList(GetSectorsTouched(*m_pImage));
    }
    }
    return 0;
}

int CBoardJob::EraseSectorList(const std::vector<int>& vecSectors)
{
    for (int nSector : vecSectors) {
        m_sink.SetDoing("erasing sector " + std::to_string(nSector));
        m_sink.CheckPoint();
        CErasingScope erasing(m_sink);
        const uint32_t dwFirst = static_cast<uint32_t>(nSector) * kSectorSize;
        m_sink.Log("Erasing sector " + std::to_string(nSector) + " (" + FormatAddress(dwFirst) + " - " +
                   FormatAddress(dwFirst + kSectorSize - 1) + ")");
        if (m_link.SelectEraseGroup() != 0)
            return LoseConnection();
        if (m_link.EraseSector(nSector) != 0) {
            m_sink.Fail(kTextCannotEraseSector);
            return LoseConnection();
        }
        m_nErasedBytes += kSectorSize;
        m_result.vecSectorsErased.push_back(nSector);
        m_sink.CheckPoint();
    }
    m_sink.Log(std::to_string(vecSectors.size()) + (vecSectors.size() == 1 ? " sector" : " sectors") +
               " erased");
    return 0;
}

int CBoardJob::Flash()
{
    if (QuerySectorCount() != 0)
        return -1;
    // Before anything is erased: an image that does not fit would fail only at verification.
    std::string strError;
    if (CheckImageAgainstChip(*m_pImage, m_nSectorCount, strError) != 0)
        return Refuse(m_request.strImagePath + ": " + strError + "; nothing was erased or programmed");
    if (Erase() != 0)
        return -1;
    m_sink.Log("Programming " + m_request.strImagePath + ": " + FormatAddress(m_pImage->GetStartAddress()) +
               " - " + FormatAddress(m_pImage->GetEndAddress()) + ", " +
               std::to_string(m_pImage->m_nByteCount) + " bytes");
    m_sink.SetDoing("programming");
    if (m_link.SelectFlashGroup() != 0)
        return LoseConnection();
    {
        CJobStepScope step(m_sink, {"Programming", "programming", EJobBar::Flash, m_pImage->m_nByteCount, 0});
        if (m_link.ProgramImage(step.Progress(), m_pImage.get()) != 0) {
            m_sink.Fail(kTextFlashFailed);
            return LoseConnection("Programming stopped at " + FormatAddress(m_link.GetProgramAddress()) +
                                  ": " + std::to_string(m_link.GetProgrammedBytes()) + " of " +
                                  std::to_string(m_pImage->m_nByteCount) + " bytes were programmed");
        }
    }
    m_result.nBytes = m_pImage->m_nByteCount;
    if (!m_request.bVerify) {
        m_sink.Log(kTextFlashed);
        return 0;
    }
    return Verify();
}

int CBoardJob::VerifyOnly()
{
    if (QuerySectorCount() != 0)
        return -1;
    std::string strError;
    if (CheckImageAgainstChip(*m_pImage, m_nSectorCount, strError) != 0)
        return Refuse(m_request.strImagePath + ": " + strError + "; nothing was read");
    m_sink.Log("Verifying " + m_request.strImagePath + ": " + FormatAddress(m_pImage->GetStartAddress()) +
               " - " + FormatAddress(m_pImage->GetEndAddress()) + ", " +
               std::to_string(m_pImage->m_nByteCount) + " bytes");
    m_result.nBytes = m_pImage->m_nByteCount;
    return Verify();
}

int CBoardJob::Verify()
{
    m_sink.SetDoing("verifying");
    if (m_link.SelectFlashGroup() != 0)
        return LoseConnection();
    EVerifyOutcome eOutcome;
    {
        CJobStepScope step(m_sink, {"Verifying", "verifying", EJobBar::Verify, m_pImage->m_nByteCount, 0});
        eOutcome = VerifyOnBoard(m_link, *m_pImage, step.Progress());
    }
    if (eOutcome == EVerifyOutcome::Verified) {
        m_result.bVerified = true;
        m_sink.Log(kTextFlashedAndVerified);
        return 0;
    }
    if (const CByteDifference* pDifference = m_link.GetVerifyMismatch()) {
        m_result.bDifference = true;
        m_result.dwFirstDifference = pDifference->dwAddress;
    }
    m_sink.Fail(VerifyFailedLine(m_link));
    if (eOutcome == EVerifyOutcome::Failed)
        return LoseConnection();
    Disconnect();
    return -1;
}

int CBoardJob::Read()
{
    if (QuerySectorCount() != 0)
        return -1;
    const uint64_t nChipEnd = static_cast<uint64_t>(m_nSectorCount) * kSectorSize;
    const uint32_t dwStart = m_request.dwReadStart;
    const uint32_t nLength = m_request.nReadLength;
    const uint64_t nEnd = static_cast<uint64_t>(dwStart) + nLength;
    const std::string strRange =
        FormatAddress(dwStart) + " - " + FormatAddress(static_cast<uint32_t>(nEnd - 1));
    if (nEnd > nChipEnd)
        return Refuse("the range " + strRange + " reaches beyond the flash (" +
                      std::to_string(m_nSectorCount) + " sectors of 32 KiB" +
                      (nChipEnd > 0 ? ", up to " + FormatAddress(static_cast<uint32_t>(nChipEnd - 1)) : "") +
                      "); nothing was read");
    m_sink.Log("Reading " + strRange + ", " + std::to_string(nLength) + " bytes");
    m_sink.SetDoing("reading");
    if (m_link.SelectFlashGroup() != 0)
        return LoseConnection();
    std::vector<uint8_t> vecData(nLength);
    {
        CJobStepScope step(m_sink, {"Reading", "reading", EJobBar::Read, nLength, 0});
        if (m_link.ReadFlash(step.Progress(), dwStart, nLength, vecData.data()) != 0) {
            m_sink.Fail("Read failed");
            return LoseConnection();
        }
    }
    std::string strError;
    if (WriteImageFile(m_strOutput, dwStart, vecData, strError) != 0)
        return Refuse(strError);
    m_result.nBytes = nLength;
    m_sink.Log(std::to_string(nLength) + " bytes read into " + m_strOutput);
    return 0;
}
