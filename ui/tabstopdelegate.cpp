#include "ui/tabstopdelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QTextOption>

CTabStopDelegate::CTabStopDelegate(QObject* pParent) : QStyledItemDelegate(pParent), m_nTabPixels(0) {}

void CTabStopDelegate::paint(QPainter* pPainter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QString strText = opt.text;
    opt.text.clear();
    const QWidget* pWidget = opt.widget;
    QStyle* pStyle = pWidget != nullptr ? pWidget->style() : QApplication::style();
    pStyle->drawControl(QStyle::CE_ItemViewItem, &opt, pPainter, pWidget);   // background, selection, focus

    QRect rectText = pStyle->subElementRect(QStyle::SE_ItemViewItemText, &opt, pWidget);
    QTextOption textOption(Qt::AlignLeft | Qt::AlignVCenter);
    textOption.setWrapMode(QTextOption::NoWrap);
    if (m_nTabPixels > 0)
        textOption.setTabStopDistance(m_nTabPixels);
    const bool bSelected = (opt.state & QStyle::State_Selected) != 0;
    pPainter->save();
    pPainter->setFont(opt.font);
    pPainter->setPen(opt.palette.color(bSelected ? QPalette::HighlightedText : QPalette::Text));
    pPainter->drawText(rectText, strText, textOption);
    pPainter->restore();
}
