#include "ui/hexdumpview.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

#include "ui/hexdumpmodel.h"

CHexDumpView::CHexDumpView(QWidget* pParent) : QListView(pParent), m_pModel(nullptr)
{
    setUniformItemSizes(true);   // row heights are not asked for row by row
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void CHexDumpView::SetDumpModel(CHexDumpModel* pModel)
{
    m_pModel = pModel;
    setModel(pModel);
}

void CHexDumpView::CopySelection()
{
    if (m_pModel != nullptr && selectionModel() != nullptr)
        QGuiApplication::clipboard()->setText(m_pModel->LinesText(selectionModel()->selection()));
}

void CHexDumpView::keyPressEvent(QKeyEvent* pEvent)
{
    // The list's own copy takes only the current row.
    if (pEvent == QKeySequence::Copy) {
        CopySelection();
        pEvent->accept();
        return;
    }
    QListView::keyPressEvent(pEvent);
}
