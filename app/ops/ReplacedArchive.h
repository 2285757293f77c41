// The file that a new archive of its name replaces, kept for the trash: the new archive takes
// the name by a rename (the name always holds the old file or the whole new one), so the old
// one is kept under a second name beside it (a hard link, else a copy) until the new one is
// in place. Then that second name goes to the trash; on any other end it is removed, also when
// the run is ended by SIGINT or SIGTERM.
#pragma once

#include "platform/TemporaryCleanup.h"

#include <QString>

class TReplacedArchive {
public:
    TReplacedArchive() = default;
    ~TReplacedArchive();
    TReplacedArchive(const TReplacedArchive&) = delete;
    TReplacedArchive& operator=(const TReplacedArchive&) = delete;

    // Keeps a second name of File (when it exists); false when none could be made.
    bool Keep(const QString& File);
    // The new archive is in place: the kept old file goes to the trash.
    void ToTrash();

private:
    void Remove();
    QString FKept;
    int FDirFd = -1;
    TTemporaryRegistration FRegistration;
};
