#include "job/boardsession.h"

#include <cstdio>

#include "hex/hexfile.h"
#include "job/boardfacts.h"
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

// Which block failed and how: a board that answered a wrong sum, or one that went silent.
std::string FormatBlockFault(const CBlockFault& fault)
{
    char szSums[96];
    if (fault.nAnswer < 0)
        std::snprintf(szSums, sizeof szSums, "no checksum came (expected 0x%02X)",
                      static_cast<unsigned>(fault.byExpected));
    else
        std::snprintf(szSums, sizeof szSums, "the board answered checksum 0x%02X, expected 0x%02X",
                      static_cast<unsigned>(fault.nAnswer), static_cast<unsigned>(fault.byExpected));
    return "Block " + FormatAddress(fault.dwAddress) + " - " +
           FormatAddress(fault.dwAddress + static_cast<uint32_t>(fault.nLength) - 1) + " (" +
           std::to_string(fault.nLength) + " bytes): " + szSums;
}
}   // namespace

CBoardSession::CBoardSession(CJobSink& sink, const CSessionOptions& options)
    : m_sink(sink), m_options(options)
{}

CBoardSession::~CBoardSession()
{
    m_link.Close();
}

template <class FnOperation>
ESessionOutcome CBoardSession::Run(FnOperation fnOperation)
{
    if (!m_bUsable)
        return ESessionOutcome::LinkLost;
    ESessionOutcome eOutcome = ESessionOutcome::LinkLost;
    m_strFailureDetail.clear();
    try {
        eOutcome = fnOperation();
    } catch (const CJobStopped&) {
        // Ends after the exchange under way: nothing after it is taken as done.
        m_strStopText = "stopped while " + m_sink.GetDoing();
        if (m_sink.GetStopPercent() >= 0)
            m_strStopText += " at " + std::to_string(m_sink.GetStopPercent()) + "%";
        m_link.Close();
        eOutcome = ESessionOutcome::Stopped;
    }
    if (eOutcome != ESessionOutcome::Done && eOutcome != ESessionOutcome::Refused)
        m_bUsable = false;
    return eOutcome;
}

ESessionOutcome CBoardSession::Connect(const CBootSettings& settings)
{
    m_bUsable = true;   // for Run; the chain decides
    return Run([&] {
        m_sink.SetDoing("connecting");
        return RunBootChain(m_link, settings, m_sink) == 0 ? ESessionOutcome::Done
                                                           : ESessionOutcome::LinkLost;
    });
}

void CBoardSession::Close()
{
    m_bUsable = false;
    m_link.Close();
}

void CBoardSession::Disconnect()
{
    Close();
    m_sink.Log(kTextConnectionClosed);
    m_sink.Log(kTextSerialPortClosed);
}

ESessionOutcome CBoardSession::ReadInfo(std::string* pstrText)
{
    return Run([&] {
        m_sink.SetDoing("reading the info text");
        if (m_link.SelectInfoGroup() != 0)
            return ESessionOutcome::LinkLost;
        const std::unique_ptr<std::string> pText = m_link.GetInfoText();
        if (pText == nullptr)
            return ESessionOutcome::Refused;
        *pstrText = *pText;
        return ESessionOutcome::Done;
    });
}

ESessionOutcome CBoardSession::CountSectors(int* pnCount)
{
    return Run([&] {
        m_sink.SetDoing("reading the sector count");
        if (m_link.SelectEraseGroup() != 0)
            return ESessionOutcome::LinkLost;
        // A failed query also answers 0: only a text set by this query tells them apart, and a
        // good answer keeps the text of the failure before it.
        const std::string strBefore = m_link.GetErrorText();
        m_link.SetErrorText("");
        const int nCount = m_link.GetSectorCount();
        if (nCount < 0 || (nCount == 0 && !m_link.GetErrorText().empty()))
            return ESessionOutcome::LinkLost;
        m_link.SetErrorText(strBefore);
        *pnCount = nCount;
        m_sink.Detail("Flash sectors: " + std::to_string(nCount));
        return ESessionOutcome::Done;
    });
}

ESessionOutcome CBoardSession::EraseChip()
{
    return Run([&] {
        m_sink.SetDoing("erasing the flash chip");
        m_sink.CheckPoint();
        CErasingScope erasing(m_sink);
        m_sink.StepLine("Erasing flash chip");
        if (m_link.SelectEraseGroup() != 0)
            return ESessionOutcome::LinkLost;
        if (m_link.EraseChip() != 0) {
            m_sink.StepFailed(kTextCannotEraseChip);
            return ESessionOutcome::LinkLost;
        }
        m_sink.StepLine("Flash chip erased");
        m_sink.CheckPoint();   // an erase reports no progress: a stop is heard once it is over
        return ESessionOutcome::Done;
    });
}

ESessionOutcome CBoardSession::EraseOne(int nSector)
{
    if (m_link.SelectEraseGroup() != 0)
        return ESessionOutcome::LinkLost;
    if (m_link.EraseSector(nSector) != 0) {
        m_sink.StepFailed(kTextCannotEraseSector);
        return ESessionOutcome::LinkLost;
    }
    return ESessionOutcome::Done;
}

ESessionOutcome CBoardSession::EraseSectors(const std::vector<int>& vecSectors, std::vector<int>* pvecErased)
{
    return Run([&] {
        ESessionOutcome eOutcome = ESessionOutcome::Done;
        for (int nSector : vecSectors) {
            m_sink.SetDoing("erasing sector " + std::to_string(nSector));
            m_sink.CheckPoint();
            CErasingScope erasing(m_sink);
            const uint32_t dwFirst = static_cast<uint32_t>(nSector) * kSectorSize;
            m_sink.StepLine("Erasing sector " + std::to_string(nSector) + " (" + FormatAddress(dwFirst) +
                            " - " + FormatAddress(dwFirst + kSectorSize - 1) + ")");
            if (EraseOne(nSector) == ESessionOutcome::Done) {
                pvecErased->push_back(nSector);
            } else {
                eOutcome = ESessionOutcome::LinkLost;
                if (!m_options.bEraseOnAfterFailure)
                    return eOutcome;
            }
            m_sink.CheckPoint();
        }
        if (eOutcome == ESessionOutcome::Done)
            m_sink.StepLine(std::to_string(vecSectors.size()) +
                            (vecSectors.size() == 1 ? " sector" : " sectors") + " erased");
        return eOutcome;
    });
}

ESessionOutcome CBoardSession::Program(const CHexFile& image)
{
    return Run([&] {
        m_sink.SetDoing("programming");
        if (m_link.SelectFlashGroup() != 0)
            return ESessionOutcome::LinkLost;
        CJobStepScope step(m_sink, {"Programming", "programming", EJobBar::Flash, image.m_nByteCount, 0});
        if (m_link.ProgramImage(step.Progress(), &image) != 0) {
            m_sink.StepFailed(kTextFlashFailed);
            if (const CBlockFault* pFault = m_link.GetBlockFault())
                m_sink.Fail(FormatBlockFault(*pFault));
            m_strFailureDetail = "Programming stopped at " + FormatAddress(m_link.GetProgramAddress()) +
                                 ": " + std::to_string(m_link.GetProgrammedBytes()) + " of " +
                                 std::to_string(image.m_nByteCount) + " bytes were programmed";
            return ESessionOutcome::LinkLost;
        }
        return ESessionOutcome::Done;
    });
}

ESessionOutcome CBoardSession::Verify(const CHexFile& image)
{
    return Run([&] {
        m_sink.SetDoing("verifying");
        if (m_link.SelectFlashGroup() != 0)
            return ESessionOutcome::LinkLost;
        CJobStepScope step(m_sink, {"Verifying", "verifying", EJobBar::Verify, image.m_nByteCount, 0});
        switch (VerifyOnBoard(m_link, image, step.Progress())) {
        case EVerifyOutcome::Verified:
            return ESessionOutcome::Done;
        case EVerifyOutcome::Mismatch:
            return ESessionOutcome::Refused;
        case EVerifyOutcome::Failed:
            break;
        }
        return ESessionOutcome::LinkLost;
    });
}

ESessionOutcome CBoardSession::Read(uint32_t dwStart, uint32_t nLength, std::vector<uint8_t>* pvecData)
{
    return Run([&] {
        m_sink.SetDoing("reading");
        if (m_link.SelectFlashGroup() != 0)
            return ESessionOutcome::LinkLost;
        pvecData->assign(nLength, 0);
        CJobStepScope step(m_sink, {"Reading", "reading", EJobBar::Read, nLength, 0});
        if (m_link.ReadFlash(step.Progress(), dwStart, nLength, pvecData->data()) != 0) {
            m_sink.StepFailed("Read failed");
            return ESessionOutcome::LinkLost;
        }
        return ESessionOutcome::Done;
    });
}

std::string CBoardSession::GetVerifyFailedBoxText() const
{
    return VerifyFailedBoxText(m_link);
}

std::string CBoardSession::GetVerifyFailedLine() const
{
    return VerifyFailedLine(m_link);
}
