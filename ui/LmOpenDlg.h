// The open dialog of the program's file-dialog set.
#pragma once

#include "ui/LmOpenSaveComm.h"

class TLmOpenDialog : public TLmCustomOpenDialog {
public:
    explicit TLmOpenDialog(QWidget* Owner = nullptr) : TLmCustomOpenDialog(Owner, false) {}
};
