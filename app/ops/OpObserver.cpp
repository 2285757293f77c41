// The answers of an operation that runs without anyone to ask.
#include "app/ops/OpObserver.h"

#include "engine/core/EngineHost.h"

bool TOpObserver::Progress(int, int) {
    EngineHost::Pump();
    return false;
}

void TOpObserver::Status(const QString&, const QString&) {}

void TOpObserver::Log(const QString&) {}

TOverwriteAnswer TOpObserver::AskOverwrite(const QString&, std::int64_t, TDateTime, QString&) {
    return TOverwriteAnswer::Yes;
}

bool TOpObserver::AskPassword(const QString&, std::string&) {
    return false;
}

void TOpObserver::PasswordRejected(const QString&) {}

bool TOpObserver::AskNextVolume(std::string&, const std::string&) {
    return false;
}

bool TOpObserver::AskDisk(const QString&) {
    return false;
}

bool TOpObserver::AskSaveName(const QString&, QString&, const QString&, int, bool) {
    return true; // the name offered
}

bool TOpObserver::Confirm(const QString&) {
    return true;
}

bool TOpObserver::AskNestedTar(const QString&, bool) {
    return true;
}

bool TOpObserver::AskCorruptHeader() {
    return true;
}

TReplaceAnswer TOpObserver::AskReplace(const std::string&, const std::string&, TDateTime, TDateTime,
                                       std::int64_t, std::int64_t) {
    return TReplaceAnswer::Yes;
}

TDupeAnswer TOpObserver::AskRenameDupe(const std::string&, std::string&) {
    return TDupeAnswer::Skip; // a new name needs a person
}

bool TOpObserver::AskWriteProtectedArchive(const std::string&) {
    return true;
}

int TOpObserver::AskOutputExists(const std::string&) {
    return mrYes;
}

bool TOpObserver::AskInsertDisk(const std::string&, bool) {
    return false;
}

bool TOpObserver::AskDiskError(bool) {
    return false;
}

bool TOpObserver::AskClearDisk(const std::string&, std::int64_t RequiredSpace, std::int64_t FreeSpace,
                               std::int64_t DiskCapacity) {
    return RequiredSpace <= DiskCapacity && RequiredSpace <= FreeSpace;
}
