// One board's run: connect through the boot chain, then show the info text or the sectors,
// erase, flash or read, then disconnect. Owns its link and its image: nothing is shared with
// other boards, so several jobs may run at once, one thread each.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "job/boardresult.h"
#include "job/boardsession.h"
#include "job/bootchain.h"

class CHexFile;
class CJobSink;

enum class EBoardOperation
{
    Info,
    Sectors,
    Erase,
    Flash,
    Read,
    Verify   // the image against the flash, nothing erased or written
};

// What goes before programming, or what the erase command erases.
enum class EEraseMode
{
    None,
    Chip,
    Sectors,   // the chosen sector numbers
    Image      // the sectors the image touches
};

struct CBoardRequest
{
    EBoardOperation eOperation = EBoardOperation::Info;
    std::string strOperationName;   // as the result names it, e.g. "flash"
    CBootSettings boot;             // all but the port
    std::string strImagePath;       // flash, verify, and erase by image
    bool bRawImage = false;         // the image is raw bytes placed from dwImageStart on
    uint32_t dwImageStart = 0;
    EEraseMode eEraseMode = EEraseMode::None;
    std::vector<int> vecSectors;   // ascending
    bool bVerify = true;
    uint32_t dwReadStart = 0;
    uint32_t nReadLength = 0;
    // For the record: the tool's version, and the image file's size and SHA-256 (-1 and "": not known).
    std::string strVersion;
    int64_t nImageSize = -1;
    std::string strImageSha256;
};

// A board's result under this request before anything is done: what its record says of the run.
CBoardResult MakeBoardResult(const CBoardRequest& request, const std::string& strPortName);

class CBoardJob
{
public:
    // strPortName: the port as the operator knows it; strDevice: what the link opens;
    // strOutput: this board's output file of a read; pImage: the request's image already loaded,
    // which other jobs may read at the same time (none: the job loads it).
    CBoardJob(const CBoardRequest& request, const std::string& strPortName, const std::string& strDevice,
              const std::string& strOutput, CJobSink& sink, std::shared_ptr<const CHexFile> pImage = nullptr);
    ~CBoardJob();
    CBoardJob(const CBoardJob&) = delete;
    CBoardJob& operator=(const CBoardJob&) = delete;

    CBoardResult Run();

private:
    int LoadImage();
    int RunOperation();
    int ReadInfo();   // the flasher program's text into the result
    int ShowInfo();
    int ShowSectors();
    int QuerySectorCount();
    int Erase();
    int EraseSectorList(const std::vector<int>& vecSectors);
    int Flash();
    int Verify();
    int VerifyOnly();   // the verify command: the image's checks, then Verify
    int Read();
    // An operation's outcome in this face's words: 0 done; otherwise the failure reported (for a
    // lost link its text, strWhere when given, and the lost connection), the link closed, -1.
    int Report(ESessionOutcome eOutcome, const std::string& strWhere = "");
    int Refuse(const std::string& strError);   // a check failed while connected: disconnect, -1

    const CBoardRequest& m_request;
    std::string m_strDevice;
    std::string m_strOutput;
    CJobSink& m_sink;
    CBoardSession m_session;
    std::shared_ptr<const CHexFile> m_pImage;
    int64_t m_nErasedBytes = 0;
    int m_nSectorCount = 0;
    CBoardResult m_result;
};
