// The dialog templates of the operator interface, one accessor each.
#pragma once

#include "res/dialogtemplate.h"

const CDialogTemplate& KelvoraDialogTemplate();         // 102, res/maintemplates.cpp
const CDialogTemplate& AboutDialogTemplate();           // 100, res/maintemplates.cpp
const CDialogTemplate& HexInfoDialogTemplate();         // 135, res/dialogtemplates.cpp
const CDialogTemplate& DeleteSectorsDialogTemplate();   // 137, res/dialogtemplates.cpp
const CDialogTemplate& FlashItDialogTemplate();         // 138, res/dialogtemplates.cpp
