#include "ui/hexdumpview.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

#include "ui/dialogbuilder.h"
#include "ui/hexdumpmodel.h"
#include "ui/tabstopdelegate.h"

CHexDumpView::CHexDumpView(QWidget* pParent) : QListView(pParent), m_pModel(nullptr), m_pTabStops(nullptr)
{
    setUniformItemSizes(true);   // row heights are not asked for row by row
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTextElideMode(Qt::ElideNone);
    m_pTabStops = new CTabStopDelegate(this);
    setItemDelegate(m_pTabStops);
    UpdateTabStops();
}

void CHexDumpView::changeEvent(QEvent* pEvent)
{
    QListView::changeEvent(pEvent);
    if (pEvent->type() == QEvent::FontChange)
        UpdateTabStops();
}

void CHexDumpView::UpdateTabStops()
{
    // A text field's tab stops: every 32 dialog template units, 8 average characters.
    m_pTabStops->SetTabDistance(8 * CDialogBuilder::MeasureBaseUnits(font()).nCharWidth);
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
