#include "tools/hexinfocommand.h"

#include <cstdio>

#include "hex/hexdump.h"
#include "hex/hexfile.h"
#include "job/boardresult.h"
#include "job/imagecheck.h"
#include "job/jobtexts.h"
#include "tools/console.h"
#include "tools/consolesink.h"

int CHexInfoCommand::Run(const std::string& strPath, bool bDump)
{
    CHexFile image(strPath.c_str());
    CConsoleSink sink(m_console, "", "");
    const EImageLoad eLoad = LoadHexImage(image, &sink);
    ReportImageLoadFailure(eLoad, strPath, image, sink);
    if (eLoad != EImageLoad::Loaded) {
        if (m_bJson)
            m_console.Result("{\"file\":" + JsonString(strPath) + ",\"valid\":" +
                             (eLoad == EImageLoad::NotValid
                                  ? "false,\"error\":" + JsonString(image.GetFaultText())
                                  : std::string("true,\"loaded\":false")) +
                             "}");
        return 1;
    }
    sink.Log(LoadedHexText(strPath));

    const unsigned nStart = image.GetStartAddress();
    const unsigned nEnd = image.GetEndAddress();
    const int nRuns = CountRuns(image);
    if (m_bJson) {
        m_console.Result("{\"file\":" + JsonString(strPath) + ",\"valid\":true,\"loaded\":true,\"start\":" +
                         std::to_string(nStart) + ",\"end\":" + std::to_string(nEnd) + ",\"bytes\":" +
                         std::to_string(image.m_nByteCount) + ",\"runs\":" + std::to_string(nRuns) + "}");
    } else {
        char szLine[64];
        std::snprintf(szLine, sizeof szLine, "Startaddress: 0x%x", nStart);
        m_console.Result(szLine);
        std::snprintf(szLine, sizeof szLine, "Endaddress: 0x%x", nEnd);
        m_console.Result(szLine);
        m_console.Result("Bytecount: " + std::to_string(image.m_nByteCount));
        m_console.Result("Runs: " + std::to_string(nRuns));
    }
    const int64_t nDuplicate = FindDuplicateAddress(image);
    if (nDuplicate >= 0) {
        char szLine[80];
        std::snprintf(szLine, sizeof szLine, "warning: address 0x%06llX is written more than once",
                      static_cast<unsigned long long>(nDuplicate));
        m_console.Error("", szLine);
    }
    if (bDump && !m_bJson) {
        // One write for the whole dump: an image may have a million lines.
        std::string strDump = "Address \t\t: Data";
        for (const HexItem* p = image.m_pFirst; p != nullptr; p = p->pNext)
            strDump += "\n" + FormatDumpLine(p->dwAddress, p->byValue);
        m_console.Result(strDump);
    }
    return 0;
}
