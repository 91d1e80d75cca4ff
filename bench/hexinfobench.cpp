// Hexinfo benchmark: opening the dialog for images of 1 MiB and 16 MiB (construction, first
// paint), select-all with copy, and the memory the open dialog takes, against the naive way
// measured in the same run: the whole dump built as one text and shown in a text field.
// Run on the offscreen platform: QT_QPA_PLATFORM=offscreen build/release/bench/hexinfobench
#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <memory>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "hex/hexfile.h"
#include "hex/hexwriter.h"
#include "support/tempdir.h"
#include "ui/hexdumpview.h"
#include "ui/hexinfodlg.h"

namespace
{
using Clock = std::chrono::steady_clock;

// Heap memory in use, in MiB (small blocks and mapped large ones).
double HeapMiB()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

std::unique_ptr<CHexFile> LoadImage(const CTempDir& dir, uint32_t nBytes)
{
    const std::string strPath = dir.Path("image" + std::to_string(nBytes) + ".hex");
    CHexWriter writer(EHexAddressing::Linear);
    std::vector<uint8_t> vecData(nBytes);
    for (uint32_t i = 0; i < nBytes; ++i)
        vecData[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    if (writer.AddData(0, vecData) != 0 || writer.WriteFile(strPath) != 0)
        return nullptr;
    auto pImage = std::make_unique<CHexFile>(strPath.c_str());
    if (pImage->Verify() != 0 || pImage->Load() != 0)
        return nullptr;
    return pImage;
}

struct CFigures
{
    double dOpenSeconds;
    double dOpenMiB;
    double dCopySeconds;
    size_t nCopyChars;
};

CFigures MeasureDialog(CHexFile* pImage)
{
    CFigures figures{};
    const double dBefore = HeapMiB();
    const Clock::time_point tStart = Clock::now();
    auto pDialog = std::make_unique<CHexInfoDlg>(nullptr, pImage);
    pDialog->show();
    QApplication::processEvents();
    pDialog->grab();   // the first paint: the lines in sight are made
    figures.dOpenSeconds = SecondsSince(tStart);
    figures.dOpenMiB = HeapMiB() - dBefore;

    const Clock::time_point tCopy = Clock::now();
    pDialog->DumpView()->SelectAll();
    pDialog->DumpView()->CopySelection();
    figures.dCopySeconds = SecondsSince(tCopy);
    figures.nCopyChars = static_cast<size_t>(QGuiApplication::clipboard()->text().size());
    QGuiApplication::clipboard()->clear();
    return figures;
}

// The naive way: every line formatted into one text, put into a text field and painted.
double MeasureNaive(CHexFile* pImage, double* pdMiB)
{
    const double dBefore = HeapMiB();
    const Clock::time_point tStart = Clock::now();
    QString strDump = QStringLiteral("Address \t\t: Data\r\n");
    for (const HexItem* pItem = pImage->m_pFirst; pItem != nullptr; pItem = pItem->pNext)
        strDump += QString::asprintf("0x%06X \t: 0x%02X\r\n", static_cast<unsigned>(pItem->dwAddress),
                                     static_cast<unsigned>(pItem->byValue));
    QPlainTextEdit edit;
    edit.resize(250, 270);
    edit.setPlainText(strDump);
    edit.show();
    QApplication::processEvents();
    edit.grab();
    const double dSeconds = SecondsSince(tStart);
    *pdMiB = HeapMiB() - dBefore;
    return dSeconds;
}
}   // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    CTempDir dir("kelvora-hexinfobench");

    std::unique_ptr<CHexFile> pSmall = LoadImage(dir, 1u << 20);
    if (!pSmall) {
        std::fprintf(stderr, "hexinfobench: cannot make the 1 MiB image\n");
        return 1;
    }
    double dNaiveMiB = 0;
    const double dNaive = MeasureNaive(pSmall.get(), &dNaiveMiB);
    const CFigures small = MeasureDialog(pSmall.get());
    std::printf("1 MiB image (1048576 lines):\n");
    std::printf("  naive: whole text in a text field  %8.3f s  %7.1f MiB\n", dNaive, dNaiveMiB);
    std::printf("  Hexinfo open (build + first paint) %8.3f s  %7.1f MiB   %.0fx faster than naive\n",
                small.dOpenSeconds, small.dOpenMiB, dNaive / small.dOpenSeconds);
    std::printf("  select all + copy                  %8.3f s  (%zu characters)\n", small.dCopySeconds,
                small.nCopyChars);
    pSmall.reset();

    std::unique_ptr<CHexFile> pLarge = LoadImage(dir, 16u << 20);
    if (!pLarge) {
        std::fprintf(stderr, "hexinfobench: cannot make the 16 MiB image\n");
        return 1;
    }
    const CFigures large = MeasureDialog(pLarge.get());
    std::printf("16 MiB image (16777216 lines):\n");
    std::printf("  Hexinfo open (build + first paint) %8.3f s  %7.1f MiB   (%.1fx the 1 MiB time)\n",
                large.dOpenSeconds, large.dOpenMiB, large.dOpenSeconds / small.dOpenSeconds);
    std::printf("  select all + copy                  %8.3f s  (%zu characters)\n", large.dCopySeconds,
                large.nCopyChars);
    return 0;
}
