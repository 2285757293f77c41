// Mail: an archive attached as it is, or files zipped first into a private folder, handed to
// the desktop's mail program (which shows the message for editing). The zipped attachment's
// folder stays after the run, since the mail program reads it later: it lies in the program's own
// cache folder ($XDG_CACHE_HOME/quillar/mail), never in the shared temporary folder, and goes at
// a start of the program a day later.
#pragma once

#include "app/ops/OpAdd.h"
#include "app/ops/OpObserver.h"
#include "app/ops/OpResult.h"

#include <QString>
#include <QStringList>

struct TMailOptions {
    // The archive to attach; when empty, Files zipped as the file name of Name.
    QString Archive;
    QString Name;
    QStringList Files; // files, or folders standing for their trees
    TStoredDirNames StoredDirNames = sdExplorer_Auto;
};

enum class TMailFailure { None, NoTempFolder, NothingPacked, NoMailProgram, NotTaken };

struct TMailResult : TOpResult {
    TMailFailure Failure = TMailFailure::None;
    int MailStatus = 0; // the mail program's exit status
    QString MailError;  // what it wrote to its error output, or why it did not start
    TAddResult Packing; // what zipping the files did
    QString Attachment;
};

TMailResult Mail(const TMailOptions& Options, TOpObserver& Observer);
// Removes the attachment folders of mails older than MaxAgeSeconds (run at start-up).
void RemoveOldMailCopies(long MaxAgeSeconds = 24 * 60 * 60);
// The message of a failure (empty for none).
QString MailFailureText(const TMailResult& Result);
