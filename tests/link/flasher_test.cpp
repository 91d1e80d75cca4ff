// Flasher program commands against the simulated board in memory: wire bytes, answers, failures,
// progress, and a whole erase / program / verify job.
#include <functional>
#include <memory>

#include "hex/hexfile.h"
#include "linktestsupport.h"
#include "support/namedcase.h"

namespace
{
constexpr uint8_t D = 0x44, S = 0x53, C = 0x43, I = 0x49, G = 0x47, F = 0x46, X = 0x58, N = 0x4E, V = 0x56,
                  B = 0x42;
constexpr uint32_t kSectorSize = 0x8000;

class Flasher : public CMemoryBoardFixture
{
protected:
    void SetUp() override
    {
        CMemoryBoardFixture::SetUp();
        ASSERT_EQ(0, Boot(m_link)) << m_link.GetErrorText();
        m_board.ClearWireLog();
    }

    std::unique_ptr<CHexFile> Image(const std::vector<CSegment>& segments)
    {
        const std::string strPath = m_dir.Path("image" + std::to_string(m_nImages++) + ".hex");
        WriteHexFile(strPath, segments);
        auto pImage = std::make_unique<CHexFile>(strPath.c_str());
        EXPECT_EQ(0, pImage->Verify());
        EXPECT_EQ(0, pImage->Load());
        return pImage;
    }

    // The flash group selector, then programming or verifying.
    int Run(int (CTargetLink::*pfnOperation)(CProgressSink*, const CHexFile*), const CHexFile* pImage,
            CRecordingProgress* pProgress)
    {
        CRecordingProgress progress;
        return m_link.SelectFlashGroup() != 0
                   ? -1
                   : (m_link.*pfnOperation)(pProgress ? pProgress : &progress, pImage);
    }
    int Program(CHexFile* pImage, CRecordingProgress* pProgress = nullptr)
    {
        return Run(&CTargetLink::ProgramImage, pImage, pProgress);
    }
    int Verify(CHexFile* pImage, CRecordingProgress* pProgress = nullptr)
    {
        return Run(&CTargetLink::VerifyImage, pImage, pProgress);
    }

    // The blocks of a programming run as the PC sent them: start address and length.
    std::vector<std::pair<uint32_t, int>> SentBlocks() const
    {
        const std::vector<uint8_t> sent = ToBoard();
        std::vector<std::pair<uint32_t, int>> blocks;
        size_t i = 0;
        while (i < sent.size() && sent[i] != X)
            ++i;
        for (++i; i + 4 < sent.size() && sent[i] == N; i += 5 + sent[i + 4])
            blocks.emplace_back((sent[i + 1] << 16) | (sent[i + 2] << 8) | sent[i + 3], sent[i + 4]);
        return blocks;
    }

    // The addresses of the read-back exchanges of a verifying run.
    std::vector<uint32_t> ReadBackAddresses() const
    {
        const std::vector<uint8_t> sent = ToBoard();
        std::vector<uint32_t> addresses;
        for (size_t i = 0; i + 3 < sent.size(); ++i)
            if (sent[i] == V) {
                addresses.push_back((sent[i + 1] << 16) | (sent[i + 2] << 8) | sent[i + 3]);
                i += 3;
            }
        return addresses;
    }

    // Faults count bytes since the reset: the boot's, then what the log holds since it was cleared.
    void SetFault(void (*pfnSet)(CBoardFaults&, long long nRx, long long nTx))
    {
        CBoardFaults faults;
        pfnSet(faults, kBootRx + 255 + static_cast<long long>(ToBoard().size()),
               2 + 255 + static_cast<long long>(FromBoard().size()));
        m_board.SetFaults(faults);
    }

    int m_nImages = 0;
};

// Every byte is echoed: the expected log for what the PC sends, with answers after some.
CWireEntries Echoed(std::initializer_list<int> sent)
{
    CWireEntries log;
    for (int by : sent) {
        log.emplace_back(true, by);
        log.emplace_back(false, by);
    }
    return log;
}

CWireEntries operator+(CWireEntries a, const CWireEntries& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

CWireEntries Answer(std::initializer_list<int> answers)
{
    CWireEntries log;
    for (int by : answers)
        log.emplace_back(false, by);
    return log;
}

TEST_F(Flasher, EachCommandOnTheWire)
{
    constexpr int kStatusOk = 0x4F;   // the simulated flasher's; anything but 'E' is success
    auto pImage = Image({{0x012345, {0x01, 0x02, 0x03}}});
    CWireEntries info = Echoed({I, G}) + Answer({static_cast<int>(std::string(kInfo).size())});
    for (char ch : std::string(kInfo))
        info.emplace_back(false, ch);
    const std::pair<std::function<bool()>, CWireEntries> cases[] = {
        {[&] { return m_link.SelectEraseGroup() == 0 && m_link.GetSectorCount() == kSectorCount; },
         Echoed({D, S}) + Answer({kSectorCount})},
        {[&] { return m_link.SelectEraseGroup() == 0 && m_link.EraseChip() == 0; },
         Echoed({D, C}) + Answer({kStatusOk})},
        {[&] { return m_link.SelectEraseGroup() == 0 && m_link.EraseSector(7) == 0; },
         Echoed({D, D, 7}) + Answer({kStatusOk})},
        {[&] {
             std::unique_ptr<std::string> pText =
                 m_link.SelectInfoGroup() == 0 ? m_link.GetInfoText() : nullptr;
             return pText && *pText == kInfo;
         },
         info},
        {[&] { return Program(pImage.get()) == 0; },
         Echoed({F, X, N, 0x01, 0x23, 0x45, 3, 0x01, 0x02, 0x03}) + Answer({0xFA}) + Echoed({B})},
        // The odd last byte gets an exchange of its own; its second answer byte is read and ignored.
        {[&] { return Verify(pImage.get()) == 0; }, Echoed({F, V, 0x01, 0x23, 0x45}) + Answer({0x01, 0x02}) +
                                                        Echoed({V, 0x01, 0x23, 0x47}) + Answer({0x03, 0xFF}) +
                                                        Echoed({B})},
    };
    for (const auto& c : cases) {
        m_board.ClearWireLog();
        EXPECT_TRUE(c.first()) << m_link.GetErrorText();
        EXPECT_EQ(c.second, Entries(m_board.GetWireLog()));
    }
}

struct CBlockCase : CNamedCase
{
    std::vector<CSegment> segments;
    std::vector<std::pair<uint32_t, int>> blocks;
};

class FlashBlocks : public Flasher, public ::testing::WithParamInterface<CBlockCase>
{};

TEST_P(FlashBlocks, SplitAt254AndAtGaps)
{
    const CBlockCase& c = GetParam();
    auto pImage = Image(c.segments);
    ASSERT_EQ(0, Program(pImage.get())) << m_link.GetErrorText();
    EXPECT_EQ(c.blocks, SentBlocks());
    EXPECT_EQ(0, Verify(pImage.get()));
    const std::vector<uint8_t> flash = m_board.GetFlash();
    for (const CSegment& segment : c.segments)
        for (size_t i = 0; i < segment.second.size(); ++i)
            ASSERT_EQ(segment.second[i], flash.at(segment.first + i)) << segment.first + i;
}

INSTANTIATE_TEST_SUITE_P(
    Link, FlashBlocks,
    ::testing::Values(
        CBlockCase{"OneByte", {{0x100, {0x80}}}, {{0x100, 1}}},
        CBlockCase{"Exactly254", {{0x1000, Pattern(254)}}, {{0x1000, 254}}},
        CBlockCase{"Just255", {{0x1000, Pattern(255)}}, {{0x1000, 254}, {0x10FE, 1}}},
        CBlockCase{
            "OneAddressGap", {{0x2000, Pattern(10)}, {0x200B, Pattern(5)}}, {{0x2000, 10}, {0x200B, 5}}},
        CBlockCase{"AcrossA64KiBPage", {{0xFFF0, Pattern(300)}}, {{0xFFF0, 254}, {0x100EE, 46}}},
        CBlockCase{"SumMultipleOf256", {{0x300, {0x80, 0x80}}}, {{0x300, 2}}}),
    CCaseName());

TEST_F(Flasher, ProgressPositions)
{
    struct
    {
        std::vector<CSegment> segments;
        std::vector<int> program;
        std::vector<int> verify;
    } cases[] = {
        // One byte: one block counted as length + 1, which runs past 100.
        {{{0x100, {0x11}}}, {0, 200, 100}, {100}},
        // 255 bytes: blocks of 254 and 1; read-back in pairs, the odd last one without a step.
        {{{0x1000, Pattern(255)}}, {0, 100, 100, 100}, {}},
        {{{0x2000, Pattern(4)}}, {0, 125, 100}, {50, 100, 100}},
        // A gap after the first byte: that byte's exchange checks only itself.
        {{{0x3000, {0x01}}, {0x3002, {0x02, 0x03}}}, {0, 66, 166, 100}, {33, 100, 100}},
    };
    for (const auto& c : cases) {
        auto pImage = Image(c.segments);
        CRecordingProgress program;
        ASSERT_EQ(0, Program(pImage.get(), &program));
        EXPECT_EQ(c.program, program.m_positions);
        CRecordingProgress verify;
        ASSERT_EQ(0, Verify(pImage.get(), &verify));
        if (!c.verify.empty())
            EXPECT_EQ(c.verify, verify.m_positions);
        else
            EXPECT_EQ(100, verify.m_positions.back());
    }
}

TEST_F(Flasher, VerifyComparesTheSecondByteOnlyWithTheNextAddress)
{
    // 0x600 and 0x700 are not neighbours: each gets its own exchange. The byte at 0x700 is 0xFF,
    // which is also what the erased 0x601 reads, so only its own exchange can tell it apart.
    // Two bytes at 0x800 are no neighbours either.
    auto pImage =
        Image({{0x600, {0x12}}, {0x700, {0xFF}}, {0x701, {0x34}}, {0x800, {0x55, 0x66}}, {0x800, {0x55}}});
    ASSERT_EQ(0, Program(pImage.get()));
    m_board.ClearWireLog();
    EXPECT_EQ(0, Verify(pImage.get())) << m_link.GetErrorText();
    EXPECT_EQ((std::vector<uint32_t>{0x600, 0x700, 0x800, 0x800}), ReadBackAddresses());

    CBoardFaults faults;
    faults.nFlipReadAddress = 0x700;
    m_board.SetFaults(faults);
    m_link.SetErrorText("unchanged");
    EXPECT_EQ(-1, Verify(pImage.get()));
    EXPECT_EQ("unchanged", m_link.GetErrorText());
}

// A difference ends the read-back as a good run does: the flasher waits for a command again.
TEST_F(Flasher, VerifyMismatchEndsTheReadBackAndKeepsTheFirstDifference)
{
    const std::vector<uint8_t> bytes = Pattern(8, 0x40);
    auto pImage = Image({{0x900, bytes}});
    ASSERT_EQ(0, Program(pImage.get()));
    // The first and the second byte of an exchange, and the image's last byte, second of the last.
    for (uint32_t dwFlip : {0x902u, 0x905u, 0x907u}) {
        CBoardFaults faults;
        faults.nFlipReadAddress = dwFlip;
        m_board.SetFaults(faults);
        m_board.ClearWireLog();
        m_link.SetErrorText("unchanged");
        EXPECT_EQ(-1, Verify(pImage.get()));
        EXPECT_EQ("unchanged", m_link.GetErrorText());
        const uint8_t byImage = bytes[dwFlip - 0x900];
        ASSERT_NE(nullptr, m_link.GetVerifyMismatch());
        EXPECT_EQ(dwFlip, m_link.GetVerifyMismatch()->dwAddress);
        EXPECT_EQ(byImage, m_link.GetVerifyMismatch()->byExpected);
        EXPECT_EQ(static_cast<uint8_t>(~byImage), m_link.GetVerifyMismatch()->byRead);
        EXPECT_EQ(B, ToBoard().back());
        EXPECT_TRUE(m_link.IsFlasherReady());
        ASSERT_EQ(0, m_link.SelectEraseGroup()) << m_link.GetErrorText();
        EXPECT_EQ(kSectorCount, m_link.GetSectorCount());
    }
    m_board.SetFaults(CBoardFaults());
    EXPECT_EQ(0, Verify(pImage.get()));
    EXPECT_EQ(nullptr, m_link.GetVerifyMismatch());
    EXPECT_TRUE(m_link.IsFlasherReady());
}

TEST_F(Flasher, VerifyMismatchWhoseEndIsNotEchoedLeavesTheFlasherNotReady)
{
    auto pImage = Image({{0x900, Pattern(8, 0x40)}});
    ASSERT_EQ(0, Program(pImage.get()));
    const long long nRxBefore = kBootRx + 255 + static_cast<long long>(ToBoard().size());
    CBoardFaults faults;
    faults.nFlipReadAddress = 0x902;
    faults.nWrongEchoAtRx = nRxBefore + 9;   // the selector, two exchanges of 'V' and 3 address bytes, 'B'
    m_board.SetFaults(faults);
    EXPECT_EQ(-1, Verify(pImage.get()));
    ASSERT_NE(nullptr, m_link.GetVerifyMismatch());
    EXPECT_FALSE(m_link.IsFlasherReady());
    EXPECT_NE("", m_link.GetErrorText());
}

TEST_F(Flasher, ReadFlashGivesBackWhatWasProgrammed)
{
    auto pImage = Image({{0x8FFF, Pattern(11, 7)}});
    ASSERT_EQ(0, Program(pImage.get()));
    for (uint32_t nLength : {1u, 10u, 11u}) {
        std::vector<uint8_t> read(nLength);
        ASSERT_EQ(0, m_link.SelectFlashGroup());
        CRecordingProgress progress;
        ASSERT_EQ(0, m_link.ReadFlash(&progress, 0x8FFF, nLength, read.data())) << m_link.GetErrorText();
        const std::vector<uint8_t> expected = Pattern(11, 7);
        EXPECT_EQ(std::vector<uint8_t>(expected.begin(), expected.begin() + nLength), read);
        EXPECT_EQ(100, progress.m_positions.back());
    }
    uint8_t by = 0;
    m_board.ClearWireLog();
    EXPECT_EQ(-1, m_link.ReadFlash(nullptr, 0xFFFFFF, 2, &by));
    EXPECT_EQ("Error invalid read range", m_link.GetErrorText());
    EXPECT_TRUE(ToBoard().empty());
}

// Failures of the commands: result, text (or that it stayed), what went out.
struct CFailCase : CNamedCase
{
    void (*pfnSetFault)(CBoardFaults&, long long nRx, long long nTx);
    int (*pfnRun)(CTargetLink&, CHexFile*);
    const char* pszError;   // null: the text stays as it was
};

class FlasherFailure : public Flasher, public ::testing::WithParamInterface<CFailCase>
{};

TEST_P(FlasherFailure, ResultAndText)
{
    const CFailCase& c = GetParam();
    auto pImage = Image({{0x1000, Pattern(20)}});
    SetFault(c.pfnSetFault);
    m_link.SetErrorText("unchanged");
    EXPECT_EQ(-1, c.pfnRun(m_link, pImage.get()));
    EXPECT_EQ(c.pszError != nullptr ? c.pszError : "unchanged", m_link.GetErrorText());
}

int RunProgram(CTargetLink& link, CHexFile* pImage)
{
    CRecordingProgress progress;
    return link.SelectFlashGroup() != 0 ? -1 : link.ProgramImage(&progress, pImage);
}

INSTANTIATE_TEST_SUITE_P(
    Link, FlasherFailure,
    ::testing::Values(
        CFailCase{"WrongSelectorEcho", [](CBoardFaults& f, long long n, long long) { f.nWrongEchoAtRx = n; },
                  [](CTargetLink& l, CHexFile*) { return l.SelectEraseGroup(); }, "Error connection lost"},
        CFailCase{"NoSelectorEcho", [](CBoardFaults& f, long long n, long long) { f.nSilentAfterRx = n; },
                  [](CTargetLink& l, CHexFile*) { return l.SelectInfoGroup(); }, "Error connection lost"},
        CFailCase{"CableOffAtSelector", [](CBoardFaults& f, long long n, long long) { f.nHangUpAfterRx = n; },
                  [](CTargetLink& l, CHexFile*) { return l.SelectFlashGroup(); },
                  "Error cannot read data from COM-Port"},
        CFailCase{
            "NoSectorCount", [](CBoardFaults& f, long long, long long n) { f.nSilentAfterTx = n + 2; },
            [](CTargetLink& l, CHexFile*) { return l.SelectEraseGroup() != 0 ? -1 : l.GetSectorCount() - 1; },
            "Error cannot read data from COM-Port"},
        CFailCase{"ChipEraseAnswersE", [](CBoardFaults& f, long long, long long) { f.bEraseStatusE = true; },
                  [](CTargetLink& l, CHexFile*) { return l.SelectEraseGroup() != 0 ? -1 : l.EraseChip(); },
                  nullptr},
        CFailCase{"SectorEraseAnswersE",
                  [](CBoardFaults& f, long long, long long) { f.bEraseStatusE = true; },
                  [](CTargetLink& l, CHexFile*) { return l.SelectEraseGroup() != 0 ? -1 : l.EraseSector(1); },
                  nullptr},
        CFailCase{"SectorBeyondTheChip", [](CBoardFaults&, long long, long long) {},
                  [](CTargetLink& l, CHexFile*) {
                      return l.SelectEraseGroup() != 0 ? -1
                                                       : l.EraseSector(CMemoryBoardFixture::kSectorCount);
                  },
                  nullptr},
        CFailCase{"WrongSectorEcho",
                  [](CBoardFaults& f, long long n, long long) { f.nWrongEchoAtRx = n + 2; },
                  [](CTargetLink& l, CHexFile*) { return l.SelectEraseGroup() != 0 ? -1 : l.EraseSector(2); },
                  nullptr},
        CFailCase{"WrongChecksum", [](CBoardFaults& f, long long, long long) { f.nWrongChecksumBlock = 0; },
                  RunProgram, "Error during flash process"},
        CFailCase{"NoChecksum",
                  [](CBoardFaults& f, long long, long long n) { f.nSilentAfterTx = n + 2 + 5 + 20; },
                  RunProgram, "Error during flash process"},
        CFailCase{"WrongDataEcho",
                  [](CBoardFaults& f, long long n, long long) { f.nWrongEchoAtRx = n + 2 + 5 + 3; },
                  RunProgram, "Error during flash process"},
        CFailCase{"NoEndEcho",
                  [](CBoardFaults& f, long long n, long long) { f.nSilentAfterRx = n + 2 + 5 + 20; },
                  RunProgram, "Error connection lost"},
        CFailCase{"InfoTextCutShort",
                  [](CBoardFaults& f, long long, long long n) { f.nSilentAfterTx = n + 2 + 1 + 3; },
                  [](CTargetLink& l, CHexFile*) {
                      return l.SelectInfoGroup() != 0 ? -1 : (l.GetInfoText() ? 0 : -1);
                  },
                  "Error cannot read data from COM-Port"}),
    CCaseName());

// A refused number sends nothing after the group selector, so the flasher still waits for
// a command and the next erase hits the sector asked for and no other.
TEST_F(Flasher, RefusedSectorNumberSendsNothingAndTheNextEraseIsExact)
{
    auto pImage =
        Image({{5, {0}}, {kSectorSize + 5, {0}}, {2 * kSectorSize + 5, {0}}, {3 * kSectorSize + 5, {0}}});
    ASSERT_EQ(0, Program(pImage.get()));
    for (int nSector : {-1, 256, 300}) {
        ASSERT_EQ(0, m_link.SelectEraseGroup());
        m_board.ClearWireLog();
        m_link.SetErrorText("unchanged");
        EXPECT_EQ(-1, m_link.EraseSector(nSector));
        EXPECT_EQ("unchanged", m_link.GetErrorText());
        EXPECT_TRUE(ToBoard().empty()) << nSector;
        ASSERT_EQ(0, m_link.EraseSector(1)) << nSector;
    }
    const std::vector<uint8_t> flash = m_board.GetFlash();
    for (uint32_t dwSector = 0; dwSector < 4; ++dwSector)
        EXPECT_EQ(dwSector == 1 ? 0xFF : 0x00, flash[dwSector * kSectorSize + 5]) << dwSector;
}

TEST_F(Flasher, FailedBlockSendsNoEndByte)
{
    CBoardFaults faults;
    faults.nWrongChecksumBlock = 1;
    m_board.SetFaults(faults);
    auto pImage = Image({{0x1000, Pattern(300)}});
    EXPECT_EQ(-1, Program(pImage.get()));
    const std::vector<uint8_t> sent = ToBoard();
    EXPECT_EQ(2u + 2 * 5 + 300, sent.size());   // F X, two block headers, the data; no B
}

class FlasherFacts : public CMemoryBoardFixture
{};

// The count is a signed byte; a length byte 0 gives an empty info text. Each round boots a new
// session, with target files changed in between.
TEST_F(FlasherFacts, SectorCountAndInfoText)
{
    const std::pair<int, const char*> cases[] = {{0x10, "x"}, {0xFF, ""}, {0x80, kInfo}};
    for (const auto& c : cases) {
        WriteTargets(kFlasherSize, c.first, c.second);
        CTargetLink link;
        ASSERT_EQ(0, Boot(link)) << link.GetErrorText();
        ASSERT_EQ(0, link.SelectEraseGroup());
        EXPECT_EQ(static_cast<signed char>(c.first), link.GetSectorCount());
        ASSERT_EQ(0, link.SelectInfoGroup());
        std::unique_ptr<std::string> pText = link.GetInfoText();
        ASSERT_NE(nullptr, pText);
        EXPECT_EQ(c.second, *pText);
        link.Close();
    }
}

TEST_F(FlasherFacts, WholeJobWithGapsAcrossAPageAndAnOddCount)
{
    ASSERT_EQ(0, Boot(m_link)) << m_link.GetErrorText();
    // Three runs, the first crossing a 64 KiB page, the second starting at an odd address.
    const std::vector<CSegment> segments = {
        {0x0FE00, Pattern(1001, 1)}, {0x10533, Pattern(500, 2)}, {0x12000, Pattern(1534, 3)}};
    const std::string strPath = m_dir.Path("job.hex");
    WriteHexFile(strPath, segments);
    CHexFile image(strPath.c_str());
    ASSERT_EQ(0, image.Verify());
    ASSERT_EQ(0, image.Load());
    ASSERT_EQ(3035, image.m_nByteCount);

    ASSERT_EQ(0, m_link.SelectEraseGroup());
    ASSERT_EQ(0, m_link.EraseChip());
    CRecordingProgress program;
    ASSERT_EQ(0, m_link.SelectFlashGroup());
    ASSERT_EQ(0, m_link.ProgramImage(&program, &image)) << m_link.GetErrorText();
    CRecordingProgress verify;
    ASSERT_EQ(0, m_link.SelectFlashGroup());
    ASSERT_EQ(0, m_link.VerifyImage(&verify, &image)) << m_link.GetErrorText();
    EXPECT_EQ(100, verify.m_positions.back());

    std::vector<uint8_t> expected(kSectorCount * kSectorSize, 0xFF);
    for (const CSegment& segment : segments)
        std::copy(segment.second.begin(), segment.second.end(), expected.begin() + segment.first);
    EXPECT_TRUE(expected == m_board.GetFlash());
}
}   // namespace
