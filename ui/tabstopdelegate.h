// Draws list lines with tab stops at every multiple of one distance, as a list box that
// expands tabs does; Qt's own item drawing puts tabs at a fixed distance of its own.
#pragma once

#include <QStyledItemDelegate>

class CTabStopDelegate : public QStyledItemDelegate
{
public:
    explicit CTabStopDelegate(QObject* pParent = nullptr);
    void SetTabDistance(int nPixels) { m_nTabPixels = nPixels; }
    int TabDistance() const { return m_nTabPixels; }
    void paint(QPainter* pPainter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    int m_nTabPixels;
};
