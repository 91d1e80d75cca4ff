#include "ui/messagebox.h"

CMessageBoxes::~CMessageBoxes() = default;
