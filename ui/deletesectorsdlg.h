// Delete sectors: lists the flash sectors the flasher program reports and erases the chosen
// ones or the whole chip. The result tells the opener whether the link lives: 1 (OK) it does,
// 2 (Cancel) a link operation failed and the opener reports the lost connection.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

class CMessageBoxes;
class CTabStopDelegate;
class CTargetLink;
class QListWidget;
class QPushButton;

class CDeleteSectorsDlg : public QDialog
{
public:
    static constexpr int kResultOk = 1;
    static constexpr int kResultCancel = 2;

    // Borrows the link and the message boxes; asks the board for its sectors at once.
    CDeleteSectorsDlg(QWidget* pParent, CTargetLink* pLink, CMessageBoxes* pBoxes);

    // Runs the dialog modally; a failure while it was being set up ends it before it shows.
    int DoModal();

    void OnSelChangeSectors();
    void OnEraseChip();
    void OnDeleteSelected();
    // Escape and the close box: the link lives unless a failure inside asked for Cancel.
    void reject() override;

    CTargetLink* m_pLink;
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

    QPushButton* m_btnDeleteSelected;
    QListWidget* m_listSectors;
    CMessageBoxes* m_pBoxes;
    CTabStopDelegate* m_pTabStops;
    int m_nEndResult;   // 0 while no end was requested
};
