#include "linkjob.h"

#include "hex/hexwriter.h"

namespace
{
// The board's side of the protocol.
constexpr uint8_t kBootRequest = 0x00;   // the bootstrap loader answers it with the CPU's ID
constexpr uint8_t kId = 0xC5;            // the CPU's ID, and the flasher program's when it starts
constexpr int kLastTestValue = 0xFE;     // the echo test sends 0x00..0xFE
constexpr uint8_t kEraseGroup = 'D';
constexpr uint8_t kSectorCount = 'S';   // answered with the count
constexpr uint8_t kEraseChip = 'C';     // answered with a status once the chip is erased
constexpr uint8_t kEraseSector = 'D';   // a sector number follows, echoed, then a status
constexpr uint8_t kFlashGroup = 'F';
constexpr uint8_t kProgram = 'X';
constexpr uint8_t kBlock = 'N';      // 3 address bytes, length, data; answered with a checksum
constexpr uint8_t kReadBack = 'V';   // 3 address bytes; answered with the bytes at it and after it
constexpr uint8_t kEnd = 'B';
constexpr int kMaxBlock = 254;
// Reads that may find nothing: an echo or an answer 1, a block's checksum 4, an erase 32.
constexpr int kEchoReads = 1;
constexpr int kChecksumReads = 4;
constexpr int kEraseReads = 32;

std::vector<uint8_t> Bytes(size_t nCount, int nFirst, int nStep)
{
    std::vector<uint8_t> vec;
    for (size_t i = 0; i < nCount; ++i)
        vec.push_back(static_cast<uint8_t>(nFirst + nStep * static_cast<int>(i)));
    return vec;
}

// Bytes the board echoes, each to be answered within one read unless its bound says more.
void Echoed(CJobStep& step, const std::vector<uint8_t>& vecBytes, int nLastBound = kEchoReads)
{
    for (uint8_t by : vecBytes) {
        step.vecPc.push_back(by);
        step.vecBound.push_back(kEchoReads);
        step.vecBoard.push_back(by);
    }
    if (!vecBytes.empty())
        step.vecBound.back() = nLastBound;
}

CJobStep Step(EJobOp eOp, const std::vector<uint8_t>& vecEchoed = {})
{
    CJobStep step{eOp, {}, {}, {}};
    Echoed(step, vecEchoed);
    return step;
}

CJobStep Unanswered(EJobOp eOp, const std::vector<uint8_t>& vecBytes)
{
    return CJobStep{eOp, vecBytes, std::vector<int>(vecBytes.size(), kEchoReads), {}};
}

std::vector<uint8_t> Address(uint32_t dwAddress)
{
    return {static_cast<uint8_t>(dwAddress >> 16), static_cast<uint8_t>(dwAddress >> 8),
            static_cast<uint8_t>(dwAddress)};
}

CJobStep Programming(const CImage& image)
{
    CJobStep step = Step(EJobOp::ProgramImage, {kProgram});
    for (size_t i = 0; i < image.size();) {
        size_t nEnd = i + 1;
        while (nEnd < image.size() && nEnd - i < kMaxBlock &&
               image[nEnd].first == image[i].first + (nEnd - i))
            ++nEnd;
        std::vector<uint8_t> vecHeader = Address(image[i].first);
        vecHeader.insert(vecHeader.begin(), kBlock);
        vecHeader.push_back(static_cast<uint8_t>(nEnd - i));
        Echoed(step, vecHeader);
        std::vector<uint8_t> vecData;
        uint8_t bySum = 0;
        for (; i < nEnd; ++i) {
            vecData.push_back(image[i].second);
            bySum = static_cast<uint8_t>(bySum + image[i].second);
        }
        Echoed(step, vecData, kChecksumReads);
        step.vecBoard.push_back(static_cast<uint8_t>(0x100 - bySum));   // data plus checksum is 0 mod 256
    }
    Echoed(step, {kEnd});
    return step;
}

// Each exchange reads two image entries, the second at the address after the first here.
CJobStep Verifying(const CImage& image)
{
    CJobStep step{EJobOp::VerifyImage, {}, {}, {}};
    for (size_t i = 0; i < image.size(); i += 2) {
        std::vector<uint8_t> vecExchange = Address(image[i].first);
        vecExchange.insert(vecExchange.begin(), kReadBack);
        Echoed(step, vecExchange);
        step.vecBoard.push_back(image[i].second);
        step.vecBoard.push_back(i + 1 < image.size() ? image[i + 1].second : kAnyByte);
    }
    Echoed(step, {kEnd});
    return step;
}
}   // namespace

const std::vector<uint8_t>& BslBytes()
{
    static const std::vector<uint8_t> vec = Bytes(32, 0x03, 7);
    return vec;
}

const std::vector<uint8_t>& FirstLoaderBytes()
{
    static const std::vector<uint8_t> vec = Bytes(8, 0xA0, 3);
    return vec;
}

const std::vector<uint8_t>& FlasherBytes()
{
    static const std::vector<uint8_t> vec = Bytes(12, 0x31, 5);
    return vec;
}

// Two runs, the second across a 256-byte boundary; the odd one adds a byte beyond 64 KiB. Values
// that the protocol also uses (0x00, 0xC5, 'E', the escape) stand among the data.
const CImage& JobImage(bool bOdd)
{
    static const CImage even = {{0x1000, 0x00}, {0x1001, 0xFF}, {0x1002, 0x42}, {0x1003, 0x45},
                                {0x1004, 0xC5}, {0x1005, 0x7E}, {0x12FF, 0x11}, {0x1300, 0xFF},
                                {0x1301, 0x80}, {0x1302, 0x01}};
    static const CImage odd = [] {
        CImage image = even;
        image.emplace_back(0x20000, 0x5A);
        return image;
    }();
    return bOdd ? odd : even;
}

CLinkJob MakeLinkJob(uint8_t byVariant)
{
    CLinkJob job;
    job.bSectorErase = (byVariant & 1) != 0;
    job.nSector = byVariant >> 2;
    job.bOddImage = (byVariant & 2) != 0;
    const CImage& image = JobImage(job.bOddImage);

    CJobStep connect = Unanswered(EJobOp::Connect, {kBootRequest});
    connect.vecBoard = {kId};
    job.steps.push_back(connect);
    job.steps.push_back(Unanswered(EJobOp::SendBsl, BslBytes()));
    job.steps.push_back(Unanswered(EJobOp::SendFirstLoader, FirstLoaderBytes()));
    const size_t nLengthInfo = FlasherBytes().size() - 1;
    std::vector<uint8_t> vecSecond = {static_cast<uint8_t>(nLengthInfo >> 8),
                                      static_cast<uint8_t>(nLengthInfo)};
    vecSecond.insert(vecSecond.end(), FlasherBytes().begin(), FlasherBytes().end());
    job.steps.push_back(Unanswered(EJobOp::SendSecondLoader, vecSecond));
    CJobStep test{EJobOp::TestConnection, {}, {}, {kId}};
    Echoed(test, Bytes(kLastTestValue + 1, 0, 1));
    job.steps.push_back(test);

    job.steps.push_back(Step(EJobOp::SelectEraseGroup, {kEraseGroup}));
    CJobStep count = Step(EJobOp::GetSectorCount, {kSectorCount});
    count.vecBoard.push_back(kAnyByte);
    job.steps.push_back(count);
    job.steps.push_back(Step(EJobOp::SelectEraseGroup, {kEraseGroup}));
    CJobStep erase{job.bSectorErase ? EJobOp::EraseSector : EJobOp::EraseChip, {}, {}, {}};
    if (job.bSectorErase) {
        Echoed(erase, {kEraseSector});
        Echoed(erase, {static_cast<uint8_t>(job.nSector)}, kEraseReads);   // the echo may wait for the erase
    } else {
        Echoed(erase, {kEraseChip}, kEraseReads);
    }
    erase.vecBoard.push_back(kAnyStatus);
    job.steps.push_back(erase);

    job.steps.push_back(Step(EJobOp::SelectFlashGroup, {kFlashGroup}));
    job.steps.push_back(Programming(image));
    job.steps.push_back(Step(EJobOp::SelectFlashGroup, {kFlashGroup}));
    job.steps.push_back(Verifying(image));
    return job;
}

int WriteJobFiles(const std::string& strDir)
{
    auto write = [&strDir](const char* pszName, const CImage& image) {
        CHexWriter writer(EHexAddressing::Linear);
        for (const auto& entry : image)
            if (writer.AddData(entry.first, {entry.second}) != 0)
                return -1;
        return writer.WriteFile(strDir + "/" + pszName);
    };
    auto bytesAt0 = [](const std::vector<uint8_t>& vec) {
        CImage image;
        for (size_t i = 0; i < vec.size(); ++i)
            image.emplace_back(static_cast<uint32_t>(i), vec[i]);
        return image;
    };
    return write("prel1.hex", bytesAt0(BslBytes())) != 0 ||
                   write("prel2.hex", bytesAt0(FirstLoaderBytes())) != 0 ||
                   write("main.h86", bytesAt0(FlasherBytes())) != 0 ||
                   write("even.hex", JobImage(false)) != 0 || write("odd.hex", JobImage(true)) != 0
               ? -1
               : 0;
}
