#include "ui/aboutdlg.h"

#include <QPushButton>

#include "res/resource.h"
#include "res/templates.h"
#include "ui/dialogbuilder.h"

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent)
{
    CDialogBuilder::Build(AboutDialogTemplate(), this);
    connect(FindControl<QPushButton>(this, IDOK), &QPushButton::clicked, this, &QDialog::accept);
}
