// Reading an image back from the board and what the result means for the link.
#pragma once

#include <string>

class CHexFile;
class CProgressSink;
class CTargetLink;

enum class EVerifyOutcome
{
    Verified,
    Mismatch,   // a byte differs; the flasher program waits for the next command
    Failed      // the exchange broke: the link is lost
};

// Verifies the image, after the flash group was selected.
EVerifyOutcome VerifyOnBoard(CTargetLink& link, const CHexFile& image, CProgressSink* pProgress);

// After a failed verification: "Verify failed", and where a byte differs, the first difference
// as a second line of the window's box ("\nFirst difference at 0x%06X: image 0x%02X, board 0x%02X").
std::string VerifyFailedBoxText(const CTargetLink& link);
// The same as one log line: "Verify failed: first difference at 0x%06X, expected 0x%02X, read 0x%02X",
// or "Verify failed" when no byte differed.
std::string VerifyFailedLine(const CTargetLink& link);
