#include "hex/hexdumpmodel.h"

#include <algorithm>
#include <string>
#include <utility>

#include "hex/hexdump.h"
#include "hex/hexfile.h"

CHexDumpModel::CHexDumpModel(const CHexFile* pHexFile) : m_nItems(0), m_pCursor(nullptr), m_nCursor(-1)
{
    for (const HexItem* pItem = pHexFile->m_pFirst; pItem != nullptr; pItem = pItem->pNext) {
        if (m_nItems % kMarkStride == 0)
            m_vecMarks.push_back(pItem);
        ++m_nItems;
    }
}

const HexItem* CHexDumpModel::Item(int nItem) const
{
    const int nMark = nItem / kMarkStride;
    if (m_pCursor == nullptr || m_nCursor > nItem || m_nCursor < nMark * kMarkStride) {
        m_pCursor = m_vecMarks[static_cast<size_t>(nMark)];
        m_nCursor = nMark * kMarkStride;
    }
    while (m_nCursor < nItem) {
        m_pCursor = m_pCursor->pNext;
        ++m_nCursor;
    }
    return m_pCursor;
}

std::string CHexDumpModel::Line(int nRow) const
{
    std::string strLine;
    AppendLine(strLine, nRow);
    return strLine;
}

void CHexDumpModel::AppendLine(std::string& strText, int nRow) const
{
    if (nRow == 0) {
        strText += kDumpHeader;
        return;
    }
    const HexItem* pItem = Item(nRow - 1);
    char szLine[kDumpLineMax + 1];
    strText.append(szLine, static_cast<size_t>(FormatDumpLine(szLine, pItem->dwAddress, pItem->byValue)));
}

std::string CHexDumpModel::LinesText(std::vector<CRowRange> ranges) const
{
    std::sort(ranges.begin(), ranges.end());

    std::string strText;
    int nNext = 0;   // rows below this one are done: overlapping ranges give each row once
    bool bFirst = true;
    for (const auto& range : ranges) {
        const int nLast = std::min(range.second, m_nItems);
        for (int nRow = std::max(range.first, nNext); nRow <= nLast; ++nRow) {
            if (!bFirst)
                strText += "\r\n";
            bFirst = false;
            AppendLine(strText, nRow);
        }
        nNext = std::max(nNext, range.second + 1);
    }
    return strText;
}
