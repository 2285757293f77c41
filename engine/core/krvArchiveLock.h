// The advisory lock an update holds on its archive from reading it to putting the new one in
// its place, so that two updates of one archive (two programs, or two runs of one) follow each
// other instead of both starting from the old archive and the later rename losing the earlier
// one's work. An existing archive is locked itself (flock); since the new archive replaces the
// file, a lock won on a file that is no longer under the name is let go and taken again on the
// file that is. A name with no file yet locks its folder, so two runs creating one archive
// follow each other too.
#pragma once

#include <functional>
#include <string>

class TArchiveLock {
public:
    TArchiveLock() = default;
    ~TArchiveLock();
    TArchiveLock(const TArchiveLock&) = delete;
    TArchiveLock& operator=(const TArchiveLock&) = delete;

    // Takes the lock for Archive. While another holds it, Waiting is called once and the lock
    // is tried again every few milliseconds; Stop (asked between tries) gives up: false. A file
    // system that keeps no locks is no reason to refuse the update: true without a lock.
    bool Acquire(const std::string& Archive, const std::function<void()>& Waiting,
                 const std::function<bool()>& Stop);
    void Release();

private:
    int FFd = -1;
};
