#include "job/verifyoutcome.h"

#include <cstdio>

#include "job/jobtexts.h"
#include "link/targetlink.h"

EVerifyOutcome VerifyOnBoard(CTargetLink& link, const CHexFile& image, CProgressSink* pProgress)
{
    if (link.VerifyImage(pProgress, &image) == 0)
        return EVerifyOutcome::Verified;
    return link.GetVerifyMismatch() != nullptr && link.IsFlasherReady() ? EVerifyOutcome::Mismatch
                                                                        : EVerifyOutcome::Failed;
}

namespace
{
// "Verify failed" and, where a byte differs, its address, the image's byte and the board's, in
// the face's own words.
std::string VerifyFailedText(const CTargetLink& link, const char* pszDifference)
{
    const CByteDifference* pDifference = link.GetVerifyMismatch();
    if (pDifference == nullptr)
        return kTextVerifyFailed;
    char szText[96];
    std::snprintf(szText, sizeof szText, pszDifference, static_cast<unsigned>(pDifference->dwAddress),
                  static_cast<unsigned>(pDifference->byExpected), static_cast<unsigned>(pDifference->byRead));
    return kTextVerifyFailed + std::string(szText);
}
}   // namespace

std::string VerifyFailedBoxText(const CTargetLink& link)
{
    return VerifyFailedText(link, "\nFirst difference at 0x%06X: image 0x%02X, board 0x%02X");
}

std::string VerifyFailedLine(const CTargetLink& link)
{
    return VerifyFailedText(link, ": first difference at 0x%06X, expected 0x%02X, read 0x%02X");
}
