// The Hexinfo dump's lines: row 0 is the header, then one line per image byte. Lines are made
// only when asked for, so a 16 MiB image costs no text up front.
#pragma once

#include <string>
#include <utility>
#include <vector>

class CHexFile;
struct HexItem;

// Rows from first to last, both included.
using CRowRange = std::pair<int, int>;

class CHexDumpModel
{
public:
    // Walks the image once and keeps a mark every kMarkStride items for direct access.
    explicit CHexDumpModel(const CHexFile* pHexFile);

    int RowCount() const { return m_nItems + 1; }
    // The line of a row, without a line end.
    std::string Line(int nRow) const;
    // The lines of the rows in the ranges, in ascending order, each row once, joined with CR LF.
    std::string LinesText(std::vector<CRowRange> ranges) const;

private:
    static constexpr int kMarkStride = 256;

    const HexItem* Item(int nItem) const;
    void AppendLine(std::string& strText, int nRow) const;

    int m_nItems;
    std::vector<const HexItem*> m_vecMarks;   // item kMarkStride * i
    // The last item reached: a view asks for neighbouring rows, so most walks are one step.
    mutable const HexItem* m_pCursor;
    mutable int m_nCursor;
};
