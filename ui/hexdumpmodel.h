// The Hexinfo dump as a list model: row 0 is the header, then one line per image byte.
// Lines are made only when a view asks for them, so a 16 MiB image costs no text up front.
#pragma once

#include <QAbstractListModel>
#include <QItemSelection>
#include <QString>
#include <vector>

class CHexFile;
struct HexItem;

class CHexDumpModel : public QAbstractListModel
{
public:
    // Walks the image once (leaving its cursor m_pCurrent on the last item, as every walk of
    // the image does) and keeps a mark every kMarkStride items for direct access.
    explicit CHexDumpModel(CHexFile* pHexFile, QObject* pParent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;

    // The line of a row, without a line end.
    QString Line(int nRow) const;
    // The lines of the selected rows, in ascending order, each row once, joined with CR LF.
    QString LinesText(const QItemSelection& selection) const;

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
