#include "tools/clioptions.h"

#include <filesystem>
#include <system_error>

#include "job/adapteradvice.h"
#include "job/boardfacts.h"
#include "job/boardsession.h"
#include "job/imagewriter.h"
#include "tools/clihelpers.h"

namespace
{
constexpr uint32_t kMinPipelineDepth = 2;   // 1 would be lock-step
std::string NoAddressText(const std::string& strStart)
{
    return "--start: '" + strStart + "' is no address below 0x1000000 (decimal or 0x...)";
}

// The folder as the operator's errors name it: a whole path, "." and ".." resolved.
std::string GetAbsoluteFolder(const std::string& strDir)
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(strDir, error);
    if (error)
        return strDir;
    path = path.lexically_normal();
    if (!path.has_filename() && path != path.root_path())
        path = path.parent_path();   // "/a/b/" names the folder "/a/b"
    return path.string();
}

// --start places a raw .bin image and belongs to nothing else.
int CheckImageStart(CCliOptions& options, std::string& strError)
{
    if (!options.IsRawImage()) {
        if (options.strStart.empty())
            return 0;
        strError =
            "--start places a raw .bin image; " + options.strFile + " is Intel hex and has its addresses";
        return -1;
    }
    if (options.strStart.empty()) {
        strError = options.strFile +
                   " holds raw bytes without addresses: give --start ADDR, where its first byte goes";
        return -1;
    }
    if (ParseAddress(options.strStart, kBoardAddressLimit - 1, options.dwImageStart) != 0) {
        strError = NoAddressText(options.strStart);
        return -1;
    }
    return 0;
}
}   // namespace

const char* CCliOptions::GetCommandName() const
{
    switch (eCommand) {
    case ECommand::Ports:
        return "ports";
    case ECommand::HexInfo:
        return "hexinfo";
    case ECommand::Info:
        return "info";
    case ECommand::Sectors:
        return "sectors";
    case ECommand::Erase:
        return "erase";
    case ECommand::Flash:
        return "flash";
    case ECommand::Read:
        return "read";
    case ECommand::Verify:
        return "verify";
    case ECommand::None:
        break;
    }
    return "";
}

CBoardRequest CCliOptions::GetBoardRequest() const
{
    CBoardRequest request;
    request.eOperation = eCommand == ECommand::Sectors  ? EBoardOperation::Sectors
                         : eCommand == ECommand::Erase  ? EBoardOperation::Erase
                         : eCommand == ECommand::Flash  ? EBoardOperation::Flash
                         : eCommand == ECommand::Read   ? EBoardOperation::Read
                         : eCommand == ECommand::Verify ? EBoardOperation::Verify
                                                        : EBoardOperation::Info;
    request.strOperationName = GetCommandName();
    request.boot.nBaudRate = nBaudRate;
    request.boot.strLoaderDir = GetAbsoluteFolder(strDir.empty() ? "." : strDir);
    const CFlashChip* pChip = FindFlashChip(strFlashChip);
    request.boot.strFlasherFile = (pChip != nullptr ? pChip : &kFlashChips[0])->pszFlasherFile;
    request.boot.strBoardName = kBoardNames[0];
    request.boot.nPipelineDepth = nPipelineDepth;
    request.boot.bDepthFromLine = strPipeline.empty();
    request.strImagePath = GetImagePath();
    request.bRawImage = IsRawImage();
    request.dwImageStart = dwImageStart;
    request.eEraseMode = eEraseMode;
    request.vecSectors = vecSectors;
    request.bVerify = !bNoVerify;
    request.dwReadStart = dwReadStart;
    request.nReadLength = nReadLength;
    return request;
}

std::string CCliOptions::GetImagePath() const
{
    if (eCommand == ECommand::Flash || eCommand == ECommand::Verify)
        return strFile;
    if (eCommand == ECommand::Erase)
        return strEraseImage;
    return "";
}

bool CCliOptions::IsRawImage() const
{
    return (eCommand == ECommand::Flash || eCommand == ECommand::Verify) && IsBinaryPath(strFile);
}

bool CCliOptions::TakesSeveralPorts() const
{
    return eCommand == ECommand::Erase || eCommand == ECommand::Flash || eCommand == ECommand::Read ||
           eCommand == ECommand::Verify;
}

bool CCliOptions::Connects() const
{
    return TakesSeveralPorts() || eCommand == ECommand::Info || eCommand == ECommand::Sectors;
}

int ValidateOptions(CCliOptions& options, std::string& strError)
{
    // First: the records of a command line refused below still say what it would have erased.
    if (options.eCommand == ECommand::Flash)
        options.eEraseMode = options.strFlashErase == "chip"   ? EEraseMode::Chip
                             : options.strFlashErase == "none" ? EEraseMode::None
                                                               : EEraseMode::Image;
    else if (options.eCommand == ECommand::Erase)
        options.eEraseMode = options.bEraseChip     ? EEraseMode::Chip
                             : options.bSectorGiven ? EEraseMode::Sectors
                                                    : EEraseMode::Image;
    if (options.bQuiet && options.bVerbose) {
        strError = "-q and -v exclude each other";
        return -1;
    }
    if (options.Connects()) {
        for (const std::string& strPort : options.vecPorts) {
            if (strPort.empty()) {
                strError = "--port: the port name is empty";
                return -1;
            }
        }
        for (size_t i = 0; i < options.vecPorts.size(); ++i)
            for (size_t j = i + 1; j < options.vecPorts.size(); ++j)
                if (options.vecPorts[i] == options.vecPorts[j]) {
                    strError = "--port: " + options.vecPorts[i] + " is given twice";
                    return -1;
                }
        if (options.vecPorts.size() > 1 && !options.TakesSeveralPorts()) {
            strError = std::string(options.GetCommandName()) + " works on one board: give one --port";
            return -1;
        }
    }
    options.nPipelineDepth = 0;
    if (options.Connects() && options.bPipelineGiven) {
        uint32_t dwDepth = kDefaultPipelineDepth;
        if (!options.strPipeline.empty() &&
            (ParseAddress(options.strPipeline, static_cast<uint32_t>(kMaxPipelineDepth), dwDepth) != 0 ||
             dwDepth < kMinPipelineDepth)) {
            strError = "--pipeline: '" + options.strPipeline + "' is no depth of " +
                       std::to_string(kMinPipelineDepth) + " to " + std::to_string(kMaxPipelineDepth) +
                       " bytes";
            return -1;
        }
        options.nPipelineDepth = static_cast<int>(dwDepth);
    }
    switch (options.eCommand) {
    case ECommand::Erase: {
        const int nChosen = (options.bEraseChip ? 1 : 0) + (options.bSectorGiven ? 1 : 0) +
                            (options.strEraseImage.empty() ? 0 : 1);
        if (nChosen != 1) {
            strError = "give exactly one of --chip, --sector N... and --image FILE";
            return -1;
        }
        if (options.bSectorGiven &&
            ParseSectorList(options.vecSectorArgs, options.vecSectors, strError) != 0) {
            strError = "--sector: " + strError;
            return -1;
        }
        break;
    }
    case ECommand::Flash:
    case ECommand::Verify:
        if (CheckImageStart(options, strError) != 0)
            return -1;
        break;
    case ECommand::Read:
        if (ParseAddress(options.strStart, kBoardAddressLimit - 1, options.dwReadStart) != 0) {
            strError = NoAddressText(options.strStart);
            return -1;
        }
        if (ParseAddress(options.strLength, kBoardAddressLimit, options.nReadLength) != 0 ||
            options.nReadLength == 0) {
            strError = "--length: '" + options.strLength + "' is no length of 1 to 0x1000000 bytes";
            return -1;
        }
        if (options.nReadLength > kBoardAddressLimit - options.dwReadStart) {
            strError = "--start and --length reach beyond 0xFFFFFF, the highest address on the line";
            return -1;
        }
        break;
    default:
        break;
    }
    return 0;
}
