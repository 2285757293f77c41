// The engine's host in the application: the engine's pump runs Qt's event loop once, its
// questions go through the prompter, files go to the freedesktop trash and file types are
// named by the shared MIME database.
#pragma once

#include "engine/core/EngineHost.h"

class TQtEngineHost : public EngineHost {
protected:
    bool HasEventLoop() const override { return true; }
    void DoPump() override;
    int DoAsk(const std::string& Text, TAskButtons Buttons) override;
    bool DoMoveToTrash(const std::string& Path) override;
    std::string DoFileTypeName(const std::string& Path) override;
};
