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
    : m_request(request), m_strDevice(strDevice), m_strOutput(strOutput), m_sink(sink), m_session(sink),
      m_pImage(std::move(pImage)), m_result(MakeBoardResult(request, strPortName))
{}

CBoardJob::~CBoardJob() = default;

CBoardResult CBoardJob::Run()
{
    const auto tpStart = std::chrono::steady_clock::now();
    m_result.tStarted = std::time(nullptr);
    m_sink.SetDoing("connecting");
    if (LoadImage() == 0) {
        CBootSettings boot = m_request.boot;
        boot.strPort = m_strDevice;
        const bool bProgram = m_request.eOperation == EBoardOperation::Flash;
        boot.job.nProgramBytes = bProgram ? m_pImage->m_nByteCount : 0;
        boot.job.nReadBackBytes =
            m_request.eOperation == EBoardOperation::Read ? m_request.nReadLength
            : m_request.eOperation == EBoardOperation::Verify || (bProgram && m_request.bVerify)
                ? m_pImage->m_nByteCount
                : 0;
        const ESessionOutcome eConnect = m_session.Connect(boot);
        if (eConnect == ESessionOutcome::Stopped) {
            Report(eConnect);
        } else if (eConnect != ESessionOutcome::Done) {
            m_sink.Error(kTextCannotConnect);
        } else {
            m_result.dRoundTripMs = m_session.GetRoundTripMs();
            if (RunOperation() == 0) {
                m_session.Disconnect();
                m_result.bOk = true;
            }
        }
    }
    if (!m_result.bInterrupted)
        m_result.strError = m_sink.GetErrors();
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

int CBoardJob::Report(ESessionOutcome eOutcome, const std::string& strWhere)
{
    switch (eOutcome) {
    case ESessionOutcome::Done:
        return 0;
    case ESessionOutcome::Stopped:
        m_result.bInterrupted = true;
        m_result.strError = "Interrupted: " + m_session.GetStopText();
        m_sink.Error(m_result.strError);
        m_session.Disconnect();
        return -1;
    case ESessionOutcome::Refused:
    case ESessionOutcome::LinkLost:
        break;
    }
    const std::string strText = m_session.GetErrorText();
    if (!strText.empty())
        m_sink.Fail(strText);
    if (!strWhere.empty())
        m_sink.Fail(strWhere);
    m_sink.Fail(kTextLostConnection);
    m_session.Disconnect();
    return -1;
}

int CBoardJob::Refuse(const std::string& strError)
{
    m_sink.Fail(strError);
    m_session.Disconnect();
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

int CBoardJob::ReadInfo()
{
    const ESessionOutcome eOutcome = m_session.ReadInfo(&m_result.strInfo);
    if (eOutcome == ESessionOutcome::Refused)
        return Refuse(m_session.GetErrorText());
    if (eOutcome != ESessionOutcome::Done)
        return Report(eOutcome);
    m_result.bInfoRead = true;
    return 0;
}

int CBoardJob::ShowInfo()
{
    if (ReadInfo() != 0)
        return -1;
    m_sink.Answer(m_result.strInfo);
    return 0;
}

int CBoardJob::QuerySectorCount()
{
    return Report(m_session.CountSectors(&m_nSectorCount));
}

int CBoardJob::ShowSectors()
{
    // The record names the flasher program that gave the list, as info's does.
    if (ReadInfo() != 0 || QuerySectorCount() != 0)
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
    case EEraseMode::Chip:
        if (Report(m_session.EraseChip()) != 0)
            return -1;
        m_nErasedBytes = static_cast<int64_t>(m_nSectorCount) * kSectorSize;
        for (int i = 0; i < m_nSectorCount; ++i)
            m_result.vecSectorsErased.push_back(i);
        return 0;
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
    const size_t nBefore = m_result.vecSectorsErased.size();
    const ESessionOutcome eOutcome = m_session.EraseSectors(vecSectors, &m_result.vecSectorsErased);
    m_nErasedBytes += static_cast<int64_t>(m_result.vecSectorsErased.size() - nBefore) * kSectorSize;
    return Report(eOutcome);
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
    const ESessionOutcome eProgram = m_session.Program(*m_pImage);
    m_result.nBytes = m_session.GetProgrammedBytes();
    if (Report(eProgram, m_session.GetFailureDetail()) != 0)
        return -1;
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
    const ESessionOutcome eOutcome = m_session.Verify(*m_pImage);
    if (eOutcome == ESessionOutcome::Done) {
        m_result.bVerified = true;
        m_sink.Log(kTextFlashedAndVerified);
        return 0;
    }
    if (eOutcome == ESessionOutcome::Stopped)
        return Report(eOutcome);
    if (const CByteDifference* pDifference = m_session.GetVerifyMismatch()) {
        m_result.bDifference = true;
        m_result.dwFirstDifference = pDifference->dwAddress;
    }
    m_sink.Fail(m_session.GetVerifyFailedLine());
    if (eOutcome == ESessionOutcome::LinkLost)
        return Report(eOutcome);
    m_session.Disconnect();
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
    std::vector<uint8_t> vecData;
    if (Report(m_session.Read(dwStart, nLength, &vecData)) != 0)
        return -1;
    std::string strError;
    if (WriteImageFile(m_strOutput, dwStart, vecData, strError) != 0)
        return Refuse(strError);
    m_result.nBytes = nLength;
    m_sink.Log(std::to_string(nLength) + " bytes read into " + m_strOutput);
    return 0;
}
