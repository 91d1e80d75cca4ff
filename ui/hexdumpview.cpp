#include "ui/hexdumpview.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QScrollBar>
#include <QTextOption>
#include <algorithm>
#include <limits>

#include "ui/dialogbuilder.h"

CHexDumpView::CHexDumpView(QWidget* pParent)
    : QAbstractScrollArea(pParent), m_pModel(nullptr), m_nCurrent(0), m_nAnchor(0), m_nTabPixels(0)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    m_nTabPixels = 8 * CDialogBuilder::MeasureBaseUnits(font()).nCharWidth;
}

void CHexDumpView::SetDumpModel(const CHexDumpModel* pModel)
{
    m_pModel = pModel;
    m_vecSelection.clear();
    m_nCurrent = m_nAnchor = 0;
    UpdateScrollBar();
    viewport()->update();
}

int CHexDumpView::RowCount() const
{
    return m_pModel != nullptr ? m_pModel->RowCount() : 0;
}

int CHexDumpView::RowHeight() const
{
    return fontMetrics().height() + 2;
}

int CHexDumpView::VisibleRows() const
{
    return std::max(1, viewport()->height() / RowHeight());
}

int CHexDumpView::TopRow() const
{
    return verticalScrollBar()->value();
}

int CHexDumpView::RowAt(int nY) const
{
    const int nRow = TopRow() + std::max(0, nY) / RowHeight();
    return std::min(nRow, RowCount() - 1);
}

void CHexDumpView::UpdateScrollBar()
{
    QScrollBar* pBar = verticalScrollBar();
    pBar->setRange(0, std::max(0, RowCount() - VisibleRows()));
    pBar->setPageStep(VisibleRows());
    pBar->setSingleStep(1);
}

void CHexDumpView::EnsureVisible(int nRow)
{
    if (nRow < TopRow())
        verticalScrollBar()->setValue(nRow);
    else if (nRow >= TopRow() + VisibleRows())
        verticalScrollBar()->setValue(nRow - VisibleRows() + 1);
}

bool CHexDumpView::IsSelected(int nRow) const
{
    const auto it = std::upper_bound(m_vecSelection.begin(), m_vecSelection.end(),
                                     CRowRange(nRow, std::numeric_limits<int>::max()));
    return it != m_vecSelection.begin() && std::prev(it)->second >= nRow;
}

void CHexDumpView::SetSelection(std::vector<CRowRange> vecRanges)
{
    // Sorted and merged, so that a lookup is a binary search.
    std::sort(vecRanges.begin(), vecRanges.end());
    m_vecSelection.clear();
    for (const CRowRange& range : vecRanges) {
        if (!m_vecSelection.empty() && range.first <= m_vecSelection.back().second + 1)
            m_vecSelection.back().second = std::max(m_vecSelection.back().second, range.second);
        else
            m_vecSelection.push_back(range);
    }
    viewport()->update();
}

void CHexDumpView::SelectAll()
{
    if (RowCount() > 0)
        SetSelection({{0, RowCount() - 1}});
}

void CHexDumpView::MoveTo(int nRow, bool bExtend)
{
    if (RowCount() == 0)
        return;
    m_nCurrent = std::clamp(nRow, 0, RowCount() - 1);
    if (!bExtend)
        m_nAnchor = m_nCurrent;
    SetSelection({{std::min(m_nAnchor, m_nCurrent), std::max(m_nAnchor, m_nCurrent)}});
    EnsureVisible(m_nCurrent);
}

void CHexDumpView::Toggle(int nRow)
{
    m_nCurrent = m_nAnchor = nRow;
    std::vector<CRowRange> vecRanges;
    for (const CRowRange& range : m_vecSelection) {
        if (nRow < range.first || nRow > range.second) {
            vecRanges.push_back(range);
            continue;
        }
        if (range.first < nRow)
            vecRanges.emplace_back(range.first, nRow - 1);
        if (nRow < range.second)
            vecRanges.emplace_back(nRow + 1, range.second);
    }
    if (!IsSelected(nRow))
        vecRanges.emplace_back(nRow, nRow);
    SetSelection(vecRanges);
}

void CHexDumpView::CopySelection()
{
    if (m_pModel != nullptr)
        QGuiApplication::clipboard()->setText(QString::fromStdString(m_pModel->LinesText(m_vecSelection)));
}

void CHexDumpView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const int nHeight = RowHeight();
    const int nFirst = TopRow();
    const int nLast = std::min(RowCount() - 1, nFirst + viewport()->height() / nHeight);
    QTextOption option(Qt::AlignLeft | Qt::AlignVCenter);
    option.setWrapMode(QTextOption::NoWrap);
    option.setTabStopDistance(m_nTabPixels);
    const QPalette& pal = palette();
    for (int nRow = nFirst; nRow <= nLast; ++nRow) {
        const QRect rect(0, (nRow - nFirst) * nHeight, viewport()->width(), nHeight);
        const bool bSelected = IsSelected(nRow);
        if (bSelected)
            painter.fillRect(rect, pal.brush(QPalette::Highlight));
        painter.setPen(pal.color(bSelected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(rect.adjusted(3, 0, -3, 0), QString::fromStdString(m_pModel->Line(nRow)), option);
        if (nRow == m_nCurrent && hasFocus()) {
            painter.setPen(QPen(pal.color(QPalette::Text), 1, Qt::DotLine));
            painter.drawRect(rect.adjusted(0, 0, -1, -1));
        }
    }
}

void CHexDumpView::resizeEvent(QResizeEvent* pEvent)
{
    QAbstractScrollArea::resizeEvent(pEvent);
    UpdateScrollBar();
}

void CHexDumpView::scrollContentsBy(int, int)
{
    viewport()->update();
}

void CHexDumpView::changeEvent(QEvent* pEvent)
{
    QAbstractScrollArea::changeEvent(pEvent);
    if (pEvent->type() == QEvent::FontChange) {
        // A text field's tab stops: every 32 dialog template units, 8 average characters.
        m_nTabPixels = 8 * CDialogBuilder::MeasureBaseUnits(font()).nCharWidth;
        UpdateScrollBar();
    }
}

void CHexDumpView::keyPressEvent(QKeyEvent* pEvent)
{
    if (pEvent == QKeySequence::Copy) {
        CopySelection();
        return;
    }
    if (pEvent == QKeySequence::SelectAll) {
        SelectAll();
        return;
    }
    const bool bExtend = (pEvent->modifiers() & Qt::ShiftModifier) != 0;
    switch (pEvent->key()) {
    case Qt::Key_Up:
        return MoveTo(m_nCurrent - 1, bExtend);
    case Qt::Key_Down:
        return MoveTo(m_nCurrent + 1, bExtend);
    case Qt::Key_PageUp:
        return MoveTo(m_nCurrent - VisibleRows(), bExtend);
    case Qt::Key_PageDown:
        return MoveTo(m_nCurrent + VisibleRows(), bExtend);
    case Qt::Key_Home:
        return MoveTo(0, bExtend);
    case Qt::Key_End:
        return MoveTo(RowCount() - 1, bExtend);
    default:
        QAbstractScrollArea::keyPressEvent(pEvent);
    }
}

void CHexDumpView::mousePressEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() != Qt::LeftButton || RowCount() == 0)
        return QAbstractScrollArea::mousePressEvent(pEvent);
    const int nRow = RowAt(pEvent->position().toPoint().y());
    if (pEvent->modifiers() & Qt::ControlModifier)
        Toggle(nRow);
    else
        MoveTo(nRow, (pEvent->modifiers() & Qt::ShiftModifier) != 0);
}

void CHexDumpView::mouseMoveEvent(QMouseEvent* pEvent)
{
    if (!(pEvent->buttons() & Qt::LeftButton) || RowCount() == 0)
        return QAbstractScrollArea::mouseMoveEvent(pEvent);
    MoveTo(RowAt(pEvent->position().toPoint().y()), true);
}
