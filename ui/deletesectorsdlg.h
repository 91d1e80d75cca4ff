// Delete sectors: lists the flash sectors the flasher program reports and erases the chosen
// ones or the whole chip. The result tells the opener whether the link lives: 1 (OK) it does,
// 2 (Cancel) a board operation failed and the opener reports the lost connection.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "ui/boardaccess.h"

class CMessageBoxes;
class CTabStopDelegate;
class QListWidget;
class QPushButton;

class CDeleteSectorsDlg : public QDialog
{
public:
    static constexpr int kResultOk = 1;
    static constexpr int kResultCancel = 2;

    // Borrows the board and the message boxes; asks the board for its sectors at once.
    CDeleteSectorsDlg(QWidget* pParent, const CBoardAccess& board, CMessageBoxes* pBoxes);

    // Runs the dialog modally; a failure while it was being set up ends it before it shows.
    int DoModal();

    void OnSelChangeSectors();
    void OnEraseChip();
    void OnDeleteSelected();
    // Escape and the close box: the link lives unless a failure inside asked for Cancel; during
    // an erase, whether to stop it.
    void reject() override;

    CBoardAccess m_board;
    int m_nSectorCount;
    std::vector<QString> m_pSectorText;
    QWidget* m_pParent;
    std::vector<int> m_pSectorState;
    int m_nSectorSize;
    int m_nBaseAddress;

    CTabStopDelegate* TabStops() const { return m_pTabStops; }

private:
    void OnInitDialog();
    void SetTabStops();
    // Ends the modal run with this result once the running handler has returned.
    void RequestEnd(int nResult);
    void RebuildSectorLines();
    // Runs one erase on the worker and records it; Cancel is requested unless it was done.
    ESessionOutcome RunErase(const std::function<ESessionOutcome(std::vector<int>*)>& fnErase);

    QPushButton* m_btnDeleteSelected;
    QListWidget* m_listSectors;
    CMessageBoxes* m_pBoxes;
    CTabStopDelegate* m_pTabStops;
    int m_nEndResult;   // 0 while no end was requested
};
