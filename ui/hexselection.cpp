// Hex file selection: the folder button, Reload and Properties.
#include "ui/kelvoradlg.h"

void CKelvoraDlg::OnBrowse() {}

void CKelvoraDlg::OnReload() {}

void CKelvoraDlg::OnProperties() {}
