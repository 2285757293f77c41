// Adding to an archive: add, refresh and move files into an existing archive (written by the
// writer of its own type) or a new one (by its extension), and deleting entries. The writer
// builds the new archive beside the old one and puts it in place only when the whole job
// succeeded; a ReplaceArchive run does not read an existing file of the name: the new archive
// is renamed over it once it is whole.
#pragma once

#include "app/ops/OpObserver.h"
#include "app/ops/OpResult.h"
#include "engine/core/krvCompBase.h"

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

struct TAddOptions {
    QString Archive; // ".zip" is added to a name without extension
    // Files, "folder/*.*" (every file below folder) or folders (their trees).
    QStringList Files;
    int Compression = 0; // 0 Maximum .. 3 Superfast
    TStoredDirNames StoredDirNames = sdExplorer_Auto;
    TSwitch Switch = swAdd;
    bool AllowSpanning = true;
    bool RecurseDirs = false;
    // The password for a type that takes one; empty: the archive's current password.
    QString Password;
    // A new archive replaces an existing file of its name (which keeps the name until then).
    bool ReplaceArchive = false;
    bool OldToTrash = false; // the replaced file goes to the trash, not away for good
    // A new archive takes the type of this writer instead of its extension's; an existing
    // plain gzip file takes the gzip writer only when it is asked for here (the add dialog).
    int NewType = -1;
    // Masks to leave out; the base folder of sdExplorer_UserDefineDefaultDir (default: the
    // parent of the first file's folder).
    std::vector<std::string> ExcludeSpec;
    QString DefaultDir;
};

enum class TAddRefusal {
    None,
    NotAddable, // the existing archive's type takes no files
    NoWriter,   // no writer for the type
    NoFiles,    // none of the files exists
    CannotSetAside,
};

struct TAddResult : TOpResult {
    TAddRefusal Refusal = TAddRefusal::None;
    QString ArchiveName; // the name written (with ".zip" added, ".gz" made ".tar.gz")
    bool Written = false;
    // The whole job went through: started, nothing failed or was cancelled, and the archive
    // was written when anything was to be written.
    bool Good() const {
        return Started && !Cancelled && Failed == 0 && Refused == 0 && (Done == 0 || Written);
    }
    // Files failed, or a run that was not cancelled did not go through.
    bool WentWrong() const { return HadFailures() || (Started && !Cancelled && !Good()); }
};

// A folder named among Files stands for its tree: "folder/*.*".
QStringList ExpandFolderArguments(const QStringList& Files);
TAddResult Add(const TAddOptions& Options, TOpObserver& Observer);
// The message of a refused start.
QString AddRefusalText(TAddRefusal Refusal);

struct TDeleteEntriesOptions {
    QString Archive;
    std::vector<std::string> FileSpec; // exact-name masks of the entries
};
// Deletes the entries of FileSpec; Done is the count deleted.
TAddResult DeleteEntries(const TDeleteEntriesOptions& Options, TOpObserver& Observer);
