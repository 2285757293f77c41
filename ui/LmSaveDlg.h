// The save dialog of the program's file-dialog set.
#pragma once

#include "ui/LmOpenSaveComm.h"

class TLmSaveDialog : public TLmCustomOpenDialog {
public:
    explicit TLmSaveDialog(QWidget* Owner = nullptr) : TLmCustomOpenDialog(Owner, true) {}
};
