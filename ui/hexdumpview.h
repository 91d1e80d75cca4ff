// The Hexinfo dump's view: a read-only list over CHexDumpModel that paints only the rows in
// sight; select-all and copy give the selected lines joined with CR LF, as the text field did.
#pragma once

#include <QListView>

class CHexDumpModel;
class CTabStopDelegate;

class CHexDumpView : public QListView
{
public:
    explicit CHexDumpView(QWidget* pParent = nullptr);
    void SetDumpModel(CHexDumpModel* pModel);
    // Puts the selected lines on the clipboard.
    void CopySelection();

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;

private:
    void UpdateTabStops();

    CHexDumpModel* m_pModel;
    CTabStopDelegate* m_pTabStops;
};
