// The choices of the option panels of the add dialogs (the Add dialog's and the Add Options
// dialog's), as the add operation takes them.
#pragma once

#include "engine/core/krvCompBase.h"

struct TAddPanelChoice {
    TSwitch Switch = swAdd; // add, refresh or move
    int Compression = 0;    // 0 Maximum .. 3 Superfast
    bool AllowSpanning = true;
    bool SaveFullPath = false;
    bool IncludeSubfolders = false; // the Add dialog's panel only
};

// The action list's entry as the add operation's switch.
inline TSwitch AddSwitchOf(int ActionIndex) {
    return ActionIndex == 1 ? swRefresh : ActionIndex == 2 ? swMove : swAdd;
}
