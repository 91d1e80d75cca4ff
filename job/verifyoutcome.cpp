#include "job/verifyoutcome.h"

#include <cstdio>

#include "job/jobtexts.h"
#include "link/targetlink.h"

EVerifyOutcome VerifyOnBoard(CTargetLink& link, CHexFile& image, CProgressSink* pProgress)
{
    if (link.VerifyImage(pProgress, &image) == 0)
        return EVerifyOutcome::Verified;
    return link.m_bVerifyMismatch == 1 && link.IsFlasherReady() ? EVerifyOutcome::Mismatch
                                                                : EVerifyOutcome::Failed;
}

std::string VerifyFailedBoxText(const CTargetLink& link)
{
    if (link.m_bVerifyMismatch != 1)
        return kTextVerifyFailed;
    char szText[96];
    std::snprintf(szText, sizeof szText, "%s\nFirst difference at 0x%06X: image 0x%02X, board 0x%02X",
                  kTextVerifyFailed, static_cast<unsigned>(link.m_dwMismatchAddress),
                  static_cast<unsigned>(link.m_byMismatchExpected),
                  static_cast<unsigned>(link.m_byMismatchRead));
    return szText;
}

std::string VerifyFailedLine(const CTargetLink& link)
{
    if (link.m_bVerifyMismatch != 1)
        return kTextVerifyFailed;
    char szLine[96];
    std::snprintf(szLine, sizeof szLine, "%s: first difference at 0x%06X, expected 0x%02X, read 0x%02X",
                  kTextVerifyFailed, static_cast<unsigned>(link.m_dwMismatchAddress),
                  static_cast<unsigned>(link.m_byMismatchExpected),
                  static_cast<unsigned>(link.m_byMismatchRead));
    return szLine;
}
