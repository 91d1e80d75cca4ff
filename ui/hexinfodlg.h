// Hexinfo: the image's start address, end address, byte count and a dump of every byte.
#pragma once

#include <QDialog>
#include <memory>

#include "hex/hexdumpmodel.h"

class CHexFile;
class CHexDumpView;

class CHexInfoDlg : public QDialog
{
public:
    // Borrows the image for the dialog's life.
    CHexInfoDlg(QWidget* pParent, CHexFile* pHexFile);

    CHexFile* m_pHexFile;

    CHexDumpView* DumpView() const { return m_pDumpView; }

private:
    void OnInitDialog();

    std::unique_ptr<CHexDumpModel> m_pDumpModel;
    CHexDumpView* m_pDumpView;
};
