#include "ui/deletesectorsdlg.h"

#include <QListWidget>
#include <QPushButton>

#include "job/boardfacts.h"
#include "job/jobtexts.h"
#include "res/resource.h"
#include "res/templates.h"
#include "ui/boardworker.h"
#include "ui/busycursor.h"
#include "ui/dialogbuilder.h"
#include "ui/messagebox.h"
#include "ui/sectorlines.h"
#include "ui/tabstopdelegate.h"
#include "ui/windowsink.h"

CDeleteSectorsDlg::CDeleteSectorsDlg(QWidget* pParent, const CBoardAccess& board, CMessageBoxes* pBoxes)
    : QDialog(pParent), m_board(board), m_nSectorCount(0), m_pParent(pParent), m_nSectorSize(kSectorSize),
      m_nBaseAddress(0), m_btnDeleteSelected(nullptr), m_listSectors(nullptr), m_pBoxes(pBoxes),
      m_pTabStops(nullptr), m_nEndResult(0)
{
    CDialogBuilder::Build(DeleteSectorsDialogTemplate(), this);
    m_btnDeleteSelected = FindControl<QPushButton>(this, IDC_DELETE_SELECTED);
    m_listSectors = FindControl<QListWidget>(this, IDC_SECTOR_LIST);
    m_listSectors->setSelectionMode(QAbstractItemView::MultiSelection);
    m_pTabStops = new CTabStopDelegate(m_listSectors);
    m_listSectors->setItemDelegate(m_pTabStops);
    connect(m_listSectors, &QListWidget::itemSelectionChanged, this, [this] { OnSelChangeSectors(); });
    connect(FindControl<QPushButton>(this, IDC_ERASE_CHIP), &QPushButton::clicked, this,
            [this] { OnEraseChip(); });
    connect(m_btnDeleteSelected, &QPushButton::clicked, this, [this] { OnDeleteSelected(); });
    connect(FindControl<QPushButton>(this, IDOK), &QPushButton::clicked, this, [this] { done(kResultOk); });
    OnInitDialog();
}

int CDeleteSectorsDlg::DoModal()
{
    if (m_nEndResult != 0)
        return m_nEndResult;
    return exec();
}

void CDeleteSectorsDlg::RequestEnd(int nResult)
{
    m_nEndResult = nResult;
    if (isVisible())
        done(nResult);
}

void CDeleteSectorsDlg::reject()
{
    if (m_board.pWorker->IsRunning()) {
        AskToStopRun(*m_board.pWorker, *m_pBoxes, this);
        return;
    }
    done(m_nEndResult != 0 ? m_nEndResult : kResultOk);
}

void CDeleteSectorsDlg::SetTabStops()
{
    // The distance is measured against the system font's base unit, which is 8 pixels where the
    // dialog font's is 6: that ratio puts the columns at 3/8 and 3/4 of the list's width, so the
    // widest range and the status stay in sight whatever font stands in for the dialog's.
    const int nListUnit = CDialogBuilder::MeasureBaseUnits(m_listSectors->font()).nCharWidth;
    const int nSystemUnit = (nListUnit * 8 + 3) / 6;
    const int nDistance = SectorTabDistance(m_listSectors->frameGeometry().width(), nSystemUnit);
    m_pTabStops->SetTabDistance(TabDistancePixels(nDistance, nListUnit));
}

void CDeleteSectorsDlg::OnInitDialog()
{
    SetTabStops();
    m_listSectors->addItem(QString::fromLatin1(kSectorHeader));
    // A count the board could not give ends the dialog as a lost link, as a negative one does.
    ESessionOutcome eOutcome = ESessionOutcome::LinkLost;
    RunDialogOperation(m_board, this, m_pBoxes,
                       [&] { eOutcome = m_board.pSession->CountSectors(&m_nSectorCount); });
    if (eOutcome != ESessionOutcome::Done) {
        m_nSectorCount = 0;
        RequestEnd(kResultCancel);
    }
    const size_t nSectors = m_nSectorCount > 0 ? static_cast<size_t>(m_nSectorCount) : 0u;
    m_pSectorText.assign(nSectors, QString());
    m_pSectorState.assign(nSectors, kSectorUnknown);
    RebuildSectorLines();
}

void CDeleteSectorsDlg::RebuildSectorLines()
{
    while (m_listSectors->count() > 1)
        delete m_listSectors->takeItem(1);
    for (size_t i = 0; i < m_pSectorState.size(); ++i) {
        m_pSectorText[i] = QString::fromStdString(
            FormatSectorLine(static_cast<int>(i), m_pSectorState[i] == kSectorDeleted,
                             static_cast<uint32_t>(m_nSectorSize), static_cast<uint32_t>(m_nBaseAddress)));
        m_listSectors->addItem(m_pSectorText[i]);
    }
}

void CDeleteSectorsDlg::OnSelChangeSectors()
{
    QListWidgetItem* pHeader = m_listSectors->item(0);
    if (pHeader != nullptr && pHeader->isSelected())
        pHeader->setSelected(false);
    m_btnDeleteSelected->setEnabled(!m_listSectors->selectedItems().isEmpty());
}

ESessionOutcome CDeleteSectorsDlg::RunErase(const std::function<ESessionOutcome(std::vector<int>*)>& fnErase)
{
    COperationRecord record("erase");
    ESessionOutcome eOutcome = ESessionOutcome::LinkLost;
    RunDialogOperation(m_board, this, m_pBoxes,
                       [&] { eOutcome = fnErase(&record.Result().vecSectorsErased); });
    record.Result().nBytes = static_cast<int64_t>(record.Result().vecSectorsErased.size()) * m_nSectorSize;
    record.Finish(eOutcome, *m_board.pSession, m_board.pSink->GetErrors());
    if (m_board.fnRecord)
        m_board.fnRecord(record.Result());
    if (eOutcome != ESessionOutcome::Done)
        RequestEnd(kResultCancel);
    return eOutcome;
}

void CDeleteSectorsDlg::OnEraseChip()
{
    CBusyCursor busy;
    const int nSectors = static_cast<int>(m_pSectorState.size());
    const ESessionOutcome eOutcome = RunErase([&](std::vector<int>* pvecErased) {
        const ESessionOutcome eErase = m_board.pSession->EraseChip();
        for (int i = 0; eErase == ESessionOutcome::Done && i < nSectors; ++i)
            pvecErased->push_back(i);
        return eErase;
    });
    if (eOutcome != ESessionOutcome::Done)
        return;
    m_pSectorState.assign(m_pSectorState.size(), kSectorDeleted);
    RebuildSectorLines();
}

void CDeleteSectorsDlg::OnDeleteSelected()
{
    // Sectors go in ascending order, each with its own selector; a failing one does not stop
    // the others (the session's option), each failure with its box.
    std::vector<int> vecSelected;
    for (int nLine = 1; nLine < m_listSectors->count(); ++nLine)
        if (m_listSectors->item(nLine)->isSelected())
            vecSelected.push_back(nLine - 1);
    std::vector<int> vecErased;
    if (!vecSelected.empty())
        RunErase([&](std::vector<int>* pvecErased) {
            const ESessionOutcome eErase = m_board.pSession->EraseSectors(vecSelected, pvecErased);
            vecErased = *pvecErased;
            return eErase;
        });
    for (int nSector : vecErased)
        m_pSectorState[static_cast<size_t>(nSector)] = kSectorDeleted;
    RebuildSectorLines();
}
