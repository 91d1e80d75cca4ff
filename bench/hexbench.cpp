// Hex image benchmark: Verify + Load of a 16 MiB image against srec_cat and objcopy reading
// the same file, plus the peak memory per data byte and the cost of sorting descending records.
#include "hex/hexfile.h"
#include "support/tempdir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace
{

constexpr uint32_t kImageBytes = 16u << 20;
constexpr uint32_t kRecordBytes = 16;
constexpr uint32_t kBaseAddress = 0x00100000;
constexpr int kRounds = 5;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point tStart)
{
    return std::chrono::duration<double>(Clock::now() - tStart).count();
}

void AppendRecord(std::string& str, unsigned nType, uint16_t wAddress, const uint8_t* pData, unsigned nCount)
{
    static const char kHex[] = "0123456789ABCDEF";
    unsigned nSum = nCount + (wAddress >> 8) + (wAddress & 0xFF) + nType;
    auto put = [&str](unsigned by) {
        str += kHex[(by >> 4) & 0xF];
        str += kHex[by & 0xF];
    };
    str += ':';
    put(nCount);
    put(wAddress >> 8);
    put(wAddress & 0xFF);
    put(nType);
    for (unsigned i = 0; i < nCount; ++i) {
        put(pData[i]);
        nSum += pData[i];
    }
    put((0x100 - (nSum & 0xFF)) & 0xFF);
    str += '\n';
}

// 16-byte data records with extended linear address records, ascending or descending.
bool WriteImage(const std::string& strPath, bool bDescending)
{
    std::FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (pFile == nullptr)
        return false;
    std::string str;
    uint32_t dwPage = 0xFFFFFFFF;
    const uint32_t nRecords = kImageBytes / kRecordBytes;
    uint32_t dwSeed = 12345;
    for (uint32_t n = 0; n < nRecords; ++n) {
        const uint32_t dwAddress = kBaseAddress + kRecordBytes * (bDescending ? nRecords - 1 - n : n);
        if ((dwAddress >> 16) != dwPage) {
            dwPage = dwAddress >> 16;
            const uint8_t aby[2] = {static_cast<uint8_t>(dwPage >> 8), static_cast<uint8_t>(dwPage)};
            AppendRecord(str, 4, 0, aby, 2);
        }
        uint8_t aby[kRecordBytes];
        for (auto& by : aby) {
            dwSeed = dwSeed * 1103515245u + 12345u;
            by = static_cast<uint8_t>(dwSeed >> 16);
        }
        AppendRecord(str, 0, static_cast<uint16_t>(dwAddress), aby, kRecordBytes);
        if (str.size() > (1u << 20)) {
            std::fwrite(str.data(), 1, str.size(), pFile);
            str.clear();
        }
    }
    AppendRecord(str, 1, 0, nullptr, 0);
    std::fwrite(str.data(), 1, str.size(), pFile);
    return std::fclose(pFile) == 0;
}

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"); 0 when not readable.
long StatusKiB(const char* pszField)
{
    std::FILE* pFile = std::fopen("/proc/self/status", "r");
    if (pFile == nullptr)
        return 0;
    long nKiB = 0;
    char szLine[256];
    const size_t nField = std::strlen(pszField);
    while (std::fgets(szLine, sizeof(szLine), pFile) != nullptr)
        if (std::strncmp(szLine, pszField, nField) == 0 && szLine[nField] == ':')
            nKiB = std::strtol(szLine + nField + 1, nullptr, 10);
    std::fclose(pFile);
    return nKiB;
}

struct KelvoraRun
{
    double dVerify;
    double dLoad;
    bool bOk;
};

KelvoraRun RunKelvora(const std::string& strPath)
{
    KelvoraRun run{};
    CHexFile hex(strPath.c_str());
    const Clock::time_point t0 = Clock::now();
    const bool bVerified = hex.Verify() == 0;
    run.dVerify = Seconds(t0);
    const Clock::time_point t1 = Clock::now();
    run.bOk = bVerified && hex.Load() == 0;
    run.dLoad = Seconds(t1);
    run.bOk = run.bOk && hex.m_nByteCount == static_cast<int32_t>(kImageBytes) &&
              hex.m_pFirst->dwAddress == kBaseAddress &&
              hex.GetEndAddress() == kBaseAddress + kImageBytes - 1;
    return run;
}

// Loads the ascending image, rearranges the array as descending records would leave it
// (records in falling order, bytes within a record rising) and times Sort alone.
double TimeSortOfDescendingRecords(const std::string& strPath, bool* pbOk)
{
    CHexFile hex(strPath.c_str());
    if (hex.Verify() != 0 || hex.Load() != 0) {
        *pbOk = false;
        return 0;
    }
    HexItem* const pEnd = hex.m_pFirst + hex.m_nByteCount;
    std::reverse(hex.m_pFirst, pEnd);
    for (HexItem* p = hex.m_pFirst; p != pEnd; p += kRecordBytes)
        std::reverse(p, p + kRecordBytes);
    const Clock::time_point t0 = Clock::now();
    hex.Sort();
    const double d = Seconds(t0);
    for (const HexItem* p = hex.m_pFirst; p != nullptr && p->pNext != nullptr; p = p->pNext)
        *pbOk = *pbOk && p->pNext->dwAddress == p->dwAddress + 1;
    return d;
}

double RunTool(const std::string& strCommand)
{
    const Clock::time_point t0 = Clock::now();
    const int nStatus = std::system((strCommand + " >/dev/null 2>&1").c_str());
    const double d = Seconds(t0);
    return nStatus == 0 ? d : -1.0;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}   // namespace

int main()
{
    const CTempDir dir("kelvora-hexbench");
    const std::string& strDir = dir.Path();
    const std::string strAscending = strDir + "/ascending.hex";
    const std::string strDescending = strDir + "/descending.hex";
    const std::string strObjOut = strDir + "/objcopy.bin";
    if (!WriteImage(strAscending, false) || !WriteImage(strDescending, true)) {
        std::fprintf(stderr, "cannot write the hex files in %s\n", strDir.c_str());
        return 1;
    }
    std::printf("image: %u data bytes in %u-byte records, file %.1f MiB, %d rounds, medians\n", kImageBytes,
                kRecordBytes, static_cast<double>(std::filesystem::file_size(strAscending)) / (1 << 20),
                kRounds);

    std::vector<double> kelvora, verify, load, srec, objcopy;
    long nPeakDelta = 0;
    bool bOk = true;
    for (int i = 0; i < kRounds; ++i) {
        // The peak of the run lies far above anything before it, so the peak after the run
        // less the resident size before it is what Verify + Load took.
        const long nResidentBefore = StatusKiB("VmRSS");
        const KelvoraRun run = RunKelvora(strAscending);
        if (i == 0)
            nPeakDelta = StatusKiB("VmHWM") - nResidentBefore;
        bOk = bOk && run.bOk;
        verify.push_back(run.dVerify);
        load.push_back(run.dLoad);
        kelvora.push_back(run.dVerify + run.dLoad);
        srec.push_back(RunTool("srec_cat " + strAscending + " -Intel -o /dev/null -Binary"));
        objcopy.push_back(RunTool("objcopy -I ihex -O binary " + strAscending + " " + strObjOut));
    }
    // The first round touches memory fresh from the system, which on some virtual machines costs
    // more than all the parsing; later rounds get memory back that the process just freed.
    const double dKelvora = Median(kelvora);
    const double dCold = kelvora.front();
    const double dSrec = Median(srec);
    const double dObjcopy = Median(objcopy);
    std::printf("kelvora  Verify + Load: %.3f s (Verify %.3f s, Load incl. sort %.3f s)%s\n", dKelvora,
                Median(verify), Median(load), bOk ? "" : "  FAILED");
    std::printf("kelvora  first round  : %.3f s; rounds:", dCold);
    for (double d : kelvora)
        std::printf(" %.3f", d);
    std::printf("\n");
    if (dSrec > 0)
        std::printf(
            "srec_cat              : %.3f s   kelvora / srec_cat = %.2f, first round %.2f (target <= 0.50)\n",
            dSrec, dKelvora / dSrec, dCold / dSrec);
    else
        std::printf("srec_cat              : not available\n");
    if (dObjcopy > 0)
        std::printf("objcopy               : %.3f s   kelvora / objcopy  = %.2f, first round %.2f\n",
                    dObjcopy, dKelvora / dObjcopy, dCold / dObjcopy);
    else
        std::printf("objcopy               : not available\n");
    std::printf("peak memory growth    : %.2f bytes per data byte (item %zu bytes)\n",
                static_cast<double>(nPeakDelta) * 1024.0 / kImageBytes, sizeof(HexItem));

    std::vector<double> descending, descendingLoad;
    for (int i = 0; i < kRounds; ++i) {
        const KelvoraRun run = RunKelvora(strDescending);
        bOk = bOk && run.bOk;
        descending.push_back(run.dVerify + run.dLoad);
        descendingLoad.push_back(run.dLoad);
    }
    std::printf("descending records    : %.3f s (Load incl. sort %.3f s)%s\n", Median(descending),
                Median(descendingLoad), bOk ? "" : "  FAILED");
    const double dSort = TimeSortOfDescendingRecords(strAscending, &bOk);
    std::printf("sort alone            : %.3f s for descending records, in memory already touched%s\n", dSort,
                bOk ? "" : "  FAILED");

    return bOk ? 0 : 1;
}
