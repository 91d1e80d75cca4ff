// The Delete sectors and Flash it buttons.
#include "ui/kelvoradlg.h"

void CKelvoraDlg::OnDeleteSectors() {}

void CKelvoraDlg::OnFlash() {}
