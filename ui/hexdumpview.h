// The Hexinfo dump's view: a read-only list that paints only the rows in sight and keeps its
// selection as row ranges, so its cost does not grow with the image (a 16 MiB image has
// 16 Mi rows). Click, Shift and Ctrl clicks, dragging, the arrow and page keys select as in a
// list; select-all and copy give the selected lines joined with CR LF, as the text field did.
#pragma once

#include <QAbstractScrollArea>
#include <vector>

#include "hex/hexdumpmodel.h"

class CHexDumpView : public QAbstractScrollArea
{
public:
    explicit CHexDumpView(QWidget* pParent = nullptr);
    // Borrowed; null shows nothing.
    void SetDumpModel(const CHexDumpModel* pModel);
    const CHexDumpModel* DumpModel() const { return m_pModel; }

    void SelectAll();
    // Selected rows as sorted, separate ranges.
    const std::vector<CRowRange>& Selection() const { return m_vecSelection; }
    bool IsSelected(int nRow) const;
    // Puts the selected lines on the clipboard.
    void CopySelection();
    int TopRow() const;
    int RowHeight() const;

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;
    void scrollContentsBy(int nDx, int nDy) override;

private:
    int RowCount() const;
    int VisibleRows() const;
    int RowAt(int nY) const;
    void UpdateScrollBar();
    void EnsureVisible(int nRow);
    // The current row moves to nRow: alone selected, or (bExtend) the rows from the anchor.
    void MoveTo(int nRow, bool bExtend);
    void Toggle(int nRow);
    void SetSelection(std::vector<CRowRange> vecRanges);

    const CHexDumpModel* m_pModel;
    std::vector<CRowRange> m_vecSelection;
    int m_nCurrent;
    int m_nAnchor;
    int m_nTabPixels;
};
