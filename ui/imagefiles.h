// Which files the window takes as images: through the folder button, dropped on it, or named
// on its command line. Each way ends in the same checks (CKelvoraDlg::OpenHexFile).
#pragma once

#include <QStringList>

#include <string>

#include "ui/messagebox.h"

class QMimeData;

// The folder button's open-file dialog.
CFileDialogSpec HexFileDialogSpec();

// The one local file of a drop when its name ends in ".hex" or ".h86" (any letter case); empty
// for anything else, also for several files.
std::string DroppedImagePath(const QMimeData& mime);

// The image named on the command line (the first argument after the program's name), made
// absolute against the working folder; empty without one.
std::string StartImagePath(const QStringList& arguments);
