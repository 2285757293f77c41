#include "engine/core/EngineHost.h"

#include <utility>

namespace {

std::unique_ptr<EngineHost>& InstalledHost() {
    static std::unique_ptr<EngineHost> host = std::make_unique<EngineHost>();
    return host;
}

bool pumping = false;

} // namespace

EngineHost& EngineHost::Current() {
    return *InstalledHost();
}

std::unique_ptr<EngineHost> EngineHost::Install(std::unique_ptr<EngineHost> Host) {
    if (!Host) Host = std::make_unique<EngineHost>();
    return std::exchange(InstalledHost(), std::move(Host));
}

void EngineHost::Pump() {
    if (pumping) return;
    pumping = true;
    struct TReset {
        ~TReset() { pumping = false; }
    } reset;
    Current().DoPump();
    // The interval counts work from here, not the time the host took.
    Current().FSinceLastPump.Start();
}

void EngineHost::PumpIfDue() {
    const TkrvTimer& since = Current().FSinceLastPump;
    if (since.Running() && since.RunningMilliseconds() < PumpIntervalMs) return;
    Pump();
}

bool EngineHost::Pumping() {
    return pumping;
}

int EngineHost::Ask(const std::string& Text, TAskButtons Buttons) {
    Pump();
    return Current().DoAsk(Text, Buttons);
}

bool EngineHost::MoveToTrash(const std::string& Path) {
    return Current().DoMoveToTrash(Path);
}

std::string EngineHost::FileTypeName(const std::string& Path) {
    return Current().DoFileTypeName(Path);
}
