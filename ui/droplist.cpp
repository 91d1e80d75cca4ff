#include "ui/droplist.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <QStyle>

CDropList::CDropList(QWidget* pParent) : QComboBox(pParent) {}

void CDropList::showPopup()
{
    if (m_fnBeforeOpen)
        m_fnBeforeOpen();
    QAbstractItemView* pView = view();
    // The widest entry, the frame, and a scroll bar for a long list.
    const int nWidth = pView->sizeHintForColumn(0) + 2 * pView->frameWidth() +
                       style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, pView);
    pView->setMinimumWidth(std::max(width(), nWidth));
    QComboBox::showPopup();
}
