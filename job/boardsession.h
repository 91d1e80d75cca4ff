// One board's session, from the boot chain to the close: the link and what a face asks of a
// connected board (info text, sector count, erases, programming, verifying, reading). Both faces
// call it; each operation reports its progress through the sink and ends with one outcome, and
// whether the link can still be used afterwards is decided here alone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "job/bootchain.h"
#include "link/targetlink.h"

class CHexFile;
class CJobSink;

// Addresses travel as 24 bits: a range to read or a raw image's start lies below this.
inline constexpr uint32_t kBoardAddressLimit = CTargetLink::kAddressLimit;

enum class ESessionOutcome
{
    Done,
    Refused,    // the board answered, but not what was asked for; the link is still usable
    LinkLost,   // an exchange failed: the link's error text says why, the link is not used again
    Stopped     // the sink stopped the run (CJobStopped); the link is closed
};

struct CSessionOptions
{
    // Erasing a list of sectors goes on with the next one after a sector failed (the window's
    // Delete sectors dialog), instead of stopping at the first failure (the command line).
    bool bEraseOnAfterFailure = false;
};

class CBoardSession
{
public:
    explicit CBoardSession(CJobSink& sink, const CSessionOptions& options = {});
    ~CBoardSession();
    CBoardSession(const CBoardSession&) = delete;
    CBoardSession& operator=(const CBoardSession&) = delete;

    // The boot chain (bootchain.h) on a fresh link: Done once the flasher program answered;
    // LinkLost when a step failed (reported, the link closed); Stopped.
    ESessionOutcome Connect(const CBootSettings& settings);
    // True from a successful Connect until an operation lost the link, or Close.
    bool IsConnected() const { return m_bUsable; }
    // Closes the link, without a word: the face says what it wants to.
    void Close();
    // Close, then "Connection closed" and "Serial port closed".
    void Disconnect();

    // The flasher program's information text. Refused: the text did not come (the link stays).
    ESessionOutcome ReadInfo(std::string* pstrText);
    // The number of sectors the flash chip has. A count the board could not give, or a negative
    // one, loses the link.
    ESessionOutcome CountSectors(int* pnCount);
    // A failed erase reports kTextCannotEraseChip / kTextCannotEraseSector through the sink's Fail
    // and loses the link. The sectors erased are added to *pvecErased.
    ESessionOutcome EraseChip();
    ESessionOutcome EraseSectors(const std::vector<int>& vecSectors, std::vector<int>* pvecErased);
    // Programs the image; a failure of the blocks reports kTextFlashFailed through Fail, with the
    // block at fault, and loses the link.
    ESessionOutcome Program(const CHexFile& image);
    // Reads the image back and compares it. Refused: a byte differs and the flasher program waits
    // for the next command (GetVerifyMismatch names it).
    ESessionOutcome Verify(const CHexFile& image);
    // Reads nLength bytes from dwStart into *pvecData.
    ESessionOutcome Read(uint32_t dwStart, uint32_t nLength, std::vector<uint8_t>* pvecData);

    // The link's text of its last failure (empty when there was none).
    std::string GetErrorText() const { return m_link.GetErrorText(); }
    // After a Stopped outcome: where the run stopped ("stopped while programming at 40%").
    const std::string& GetStopText() const { return m_strStopText; }
    double GetRoundTripMs() const { return m_link.GetRoundTripMs(); }
    // Bytes sent ahead of their echoes from the next operation on (the connection chose the
    // first depth); for a caller that measures both ways on one connection.
    void SetPipelineDepth(int nBytes) { m_link.SetPipelineDepth(nBytes); }
    int GetPipelineDepth() const { return m_link.GetPipelineDepth(); }
    const CByteDifference* GetVerifyMismatch() const { return m_link.GetVerifyMismatch(); }
    int32_t GetProgrammedBytes() const { return m_link.GetProgrammedBytes(); }
    uint32_t GetProgramAddress() const { return m_link.GetProgramAddress(); }
    // After a failed operation, how far it came ("Programming stopped at 0x0001FE: 254 of 501 bytes
    // were programmed"); empty when it has nothing to add.
    const std::string& GetFailureDetail() const { return m_strFailureDetail; }
    // "Verify failed" with the first difference, as the window's box and as a log line.
    std::string GetVerifyFailedBoxText() const;
    std::string GetVerifyFailedLine() const;

private:
    // Runs one operation: a CJobStopped from the sink closes the link and gives Stopped; any
    // outcome but Done and Refused leaves the link unusable.
    template <class FnOperation>
    ESessionOutcome Run(FnOperation fnOperation);
    ESessionOutcome EraseOne(int nSector);

    CJobSink& m_sink;
    CSessionOptions m_options;
    CTargetLink m_link;
    bool m_bUsable = false;
    std::string m_strStopText;
    std::string m_strFailureDetail;
};
